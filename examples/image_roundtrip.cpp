// Writes a small object image through PickleContext the way every image writer does (a
// header with a placeholder length, the attributes, then one in-place patch of the length),
// reads it back with a reader context and prints both.
//
// The image holds an object of three attributes: a 4-byte value, a null, and a 300-byte value
// whose length needs the 5-byte form.
#include <cstdio>
#include <string>

#include "image/PickleContext.h"
#include "lang/Array.h"

namespace {

using kelvor::jdbc::kelcore::PickleContext;
using kelvor::lang::ByteArray;
using kelvor::lang::Ref;

void printHex(const char* label, const ByteArray& bytes, int32_t from, int32_t to) {
  std::printf("%-22s", label);
  for (int32_t i = from; i < to; ++i) std::printf(" %02x", static_cast<uint8_t>(bytes[i]));
  std::printf("\n");
}

}  // namespace

int main() {
  Ref<ByteArray> small = ByteArray::of({0x4b, 0x45, 0x4c, 0x31});
  Ref<ByteArray> large = ByteArray::make(300);
  for (int32_t i = 0; i < large->length(); ++i) (*large)[i] = static_cast<int8_t>(i);

  // Write: header with placeholder, body, one patch of the length.
  PickleContext writer;
  writer.initStream();
  const int32_t start = writer.offset();
  int32_t total = writer.writeObjectHeader();
  total += writer.writeLength(small->length());
  total += writer.writeData(small.get());
  total += writer.writeAtomicNull();
  total += writer.writeLength(large->length());
  total += writer.writeData(large.get());
  writer.patchLength(start + 2, total);
  Ref<ByteArray> image = writer.toByteArray();

  std::printf("image: %d bytes, %d counted by the writer\n", image->length(), total);
  printHex("  header", *image, 0, 7);
  printHex("  attribute 1", *image, 7, 12);
  printHex("  attribute 2 (null)", *image, 12, 13);
  printHex("  attribute 3 length", *image, 13, 18);
  printHex("  attribute 3 first 8", *image, 18, 26);

  // Read it back.
  PickleContext reader(image);
  const int8_t flags = reader.readByte();
  if (!PickleContext::isToplevelImage(flags) || PickleContext::lacksObjectFlag(flags) ||
      !reader.checkVersion()) {
    std::fprintf(stderr, "not an object image\n");
    return 1;
  }
  const int32_t length = reader.readLength();
  std::printf("read back: flags 0x%02x, image length %d\n", static_cast<uint8_t>(flags), length);
  for (int attribute = 1; reader.imageOffset() < length; ++attribute) {
    Ref<ByteArray> value = reader.readDataValue();
    if (!value) {
      std::printf("  attribute %d: null\n", attribute);
      continue;
    }
    std::printf("  attribute %d: %d bytes", attribute, value->length());
    if (value->length() <= 8) {
      std::printf(" \"%s\"", std::string(reinterpret_cast<const char*>(value->data()),
                                         static_cast<size_t>(value->length())).c_str());
    }
    std::printf(" %s\n", value->sameContents(attribute == 1 ? *small : *large) ? "(equal)"
                                                                             : "(DIFFERS)");
  }
  return length == image->length() ? 0 : 1;
}
