// Fuzz target: reads arbitrary bytes as images of fixed types, at an offset and in each style:
// an object type with an embedded object (both layouts, chosen by the byte at the offset) and
// a collection of numbers (whole, sliced, as SQL values and as an int array).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/MemoryConnection.h"
#include "driver/ObjectDescriptor.h"
#include "lang/Array.h"

namespace {

using kelvor::jdbc::MemoryConnection;
using kelvor::lang::ByteArray;
using kelvor::lang::Ref;

Ref<ByteArray> bytesOf(std::vector<int> v) {
  auto a = ByteArray::make(static_cast<int64_t>(v.size()));
  for (size_t i = 0; i < v.size(); ++i) (*a)[static_cast<int32_t>(i)] = static_cast<int8_t>(v[i]);
  return a;
}

struct Types {
  Ref<MemoryConnection> conn = kelvor::lang::makeRef<MemoryConnection>();
  Ref<kelvor::jdbc::kelcore::KelvorTypeADT> object;
  Ref<kelvor::jdbc::kelcore::KelvorTypeCOLLECTION> numbers;

  Types() {
    const std::vector<int> header = {0, 0, 0, 0, 38, 1, 0, 0, 0, 3, 0, 41, 0, 0, 0, 0, 0, 0};
    // OBJ (NUMBER, 39 { DATE, VARCHAR(20) }) with a layout of three slots
    std::vector<int> obj = header;
    obj.insert(obj.end(), {3, 10, 0, 39, 2, 7, 0, 20, 1, 0, 106, 40, 40});
    MemoryConnection::TypeInfo info;
    info.tds = bytesOf(obj);
    info.layout = bytesOf({0, 0, 0, 3, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 24, 0, 0, 0, 32});
    info.attributes = {{"N", "NUMBER", "SYS"}, {"E", "INNER", "F"}};
    conn->addType("F.OBJ", info);
    MemoryConnection::TypeInfo inner;
    std::vector<int> in = header;
    in.insert(in.end(), {2, 7, 0, 20, 1, 0, 106, 40});
    inner.tds = bytesOf(in);
    inner.attributes = {{"D", "DATE", "SYS"}, {"S", "VARCHAR", "SYS"}};
    conn->addType("F.INNER", inner);
    // NUMS: collection of NUMBER
    std::vector<int> col = {0, 0, 0, 0, 38, 1, 0, 0, 0, 0, 0, 41, 0, 0, 0, 0, 0, 0,
                            28, 0, 0, 0, 29, 0, 0, 0, 0, 1, 42, 3, 10, 0};
    MemoryConnection::TypeInfo nums;
    nums.tds = bytesOf(col);
    nums.attributes = {{"ELEMENT", "NUMBER", "SYS"}};
    conn->addType("F.NUMS", nums);
    conn->setServerFormatDescriptor(bytesOf(std::vector<int>(32, 0)));
    object = kelvor::jdbc::ObjectDescriptor::createDescriptor("F.OBJ", conn.get())->getKelvorType();
    numbers = kelvor::lang::makeRef<kelvor::jdbc::kelcore::KelvorTypeCOLLECTION>("F.NUMS", conn.get());
    (void)numbers->getNumAttributes();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Types types;
  if (size < 2 || size > (1u << 16)) return 0;
  const int64_t offset = data[0] % 4;
  const int32_t style = data[1] % 10;
  auto image = ByteArray::copyOf(reinterpret_cast<const int8_t*>(data + 2),
                                 static_cast<int32_t>(size - 2));
  if (image->length() <= offset) return 0;
  try {
    (void)types.object->fromImage(image.get(), offset, nullptr, 1 + style % 2, nullptr);
  } catch (const kelvor::lang::Throwable&) {
  }
  try {
    (void)types.numbers->fromImage(image.get(), offset, nullptr, style, nullptr);
  } catch (const kelvor::lang::Throwable&) {
  }
  try {
    (void)types.numbers->fromImage(image.get(), offset, nullptr, 1 + data[1] % 7, 2, style, nullptr);
  } catch (const kelvor::lang::Throwable&) {
  }
  return 0;
}
