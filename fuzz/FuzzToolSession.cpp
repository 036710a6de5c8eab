// Fuzz target: the tool's whole session on arbitrary inputs. The input is cut into a TDS, a
// layout description, a format descriptor, attribute names, a JSON value and an image; the
// type is served and created through the in-memory connection (type information, format
// descriptor, TDS parse with its fix-ups, layout) and then described, the image decoded and
// dumped, and the value encoded. Every refusal is an exit status; a crash, a sanitizer report
// or a hang is a bug.
//
// input  := flags(1) tdsLen(UB2) layoutLen(UB2) fdLen(UB1) namesLen(UB2) valueLen(UB2)
//           tds layout fd names value image
//   a part is cut short where the input ends; layoutLen 0: no layout, fdLen 0: the default
//   format descriptor, namesLen 0: no names, valueLen 0: nothing to encode
//   flags  bit 0 raw model; bits 1-2 the image offset; bit 3 a slice, whose begin is
//          1 + bits 4-5 and count bits 6-7 less 1
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include "tools/kelcore/Commands.h"

namespace {

using kelvor::tools::Commands;

struct Cursor {
  const uint8_t* data;
  size_t size;
  size_t at = 0;

  size_t number(int bytes) {
    size_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | (at < size ? data[at++] : 0);
    return value;
  }
  std::string take(size_t n) {
    n = std::min(n, size - at);
    std::string part(reinterpret_cast<const char*>(data + at), n);
    at += n;
    return part;
  }
};

std::string hexSource(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "hex:";
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 10 || size > (1u << 16)) return 0;
  Cursor in{data, size};
  const size_t flags = in.number(1);
  const size_t tdsLength = in.number(2);
  const size_t layoutLength = in.number(2);
  const size_t fdLength = in.number(1);
  const size_t namesLength = in.number(2);
  const size_t valueLength = in.number(2);
  Commands::TypeOptions type;
  type.tds = hexSource(in.take(tdsLength));
  if (layoutLength != 0) type.layout = hexSource(in.take(layoutLength));
  if (fdLength != 0) type.formatDescriptor = hexSource(in.take(fdLength));
  // JSON arguments are always inline text: a leading space keeps an "@" from naming a file.
  if (namesLength != 0) type.names = " " + in.take(namesLength);
  const std::string value = " " + in.take(valueLength);
  const std::string image = hexSource(in.take(size));

  std::istringstream none;
  std::ostringstream out;
  std::ostringstream err;
  const Commands::Streams streams{none, out, err};
  (void)Commands::describe(type, streams);

  Commands::DecodeOptions decode;
  decode.type = type;
  decode.image = image;
  decode.raw = (flags & 1) != 0;
  decode.offset = static_cast<int64_t>((flags >> 1) & 3);
  if ((flags & 8) != 0) {
    decode.begin = 1 + static_cast<int64_t>((flags >> 4) & 3);
    decode.count = static_cast<int32_t>((flags >> 6) & 3) - 1;
  }
  (void)Commands::decode(decode, streams);

  Commands::DumpOptions dump;
  dump.type = type;
  dump.image = image;
  dump.offset = decode.offset;
  (void)Commands::dump(dump, streams);

  if (valueLength != 0) {
    Commands::EncodeOptions encode;
    encode.type = type;
    encode.value = value;
    encode.raw = decode.raw;
    encode.hex = true;
    (void)Commands::encode(encode, streams);
  }
  return 0;
}
