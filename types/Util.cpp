#include "types/Util.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <ostream>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/Trace.h"
#include "image/ByteOrder.h"
#include "lang/Array.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/ByteArrayOutputStream.h"
#include "lang/Exceptions.h"
#include "lang/InputStream.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"

namespace kelvor::jdbc::kelcore {
namespace {

// Position of the start byte that holds the length of the variable section.
constexpr int32_t FD_VARIABLE_LENGTH_AT = 5;
// Entries start after the 6-byte start and the variable section.
constexpr int32_t FD_START_LENGTH = 6;

// A counted read that must deliver exactly n bytes; a premature end is an EOFException, which
// the callers hand to the driver's I/O failure handler like any other stream failure.
void readExactly(lang::InputStream& stream, int8_t* dst, int32_t n) {
  int32_t done = 0;
  while (done < n) {
    const int32_t k = stream.read(dst + done, n - done);
    if (k <= 0) throw lang::EOFException();
    done += k;
  }
}

// Holds the trace sink's lock while a dump prints its lines, released on every exit.
class SinkLock {
 public:
  SinkLock() { Trace::lockSink(); }
  ~SinkLock() { Trace::unlockSink(); }
  SinkLock(const SinkLock&) = delete;
  SinkLock& operator=(const SinkLock&) = delete;
};

constexpr const char* DUMP_PREFIX = "0x";
constexpr const char* DUMP_SEPARATOR = " ";

// Pass 1: prefix + two hex digits + separator per value; pass 2: decimal + separator.
template <typename Values>
void dumpTwoPasses(std::ostream& out, const Values& values, bool firstPass) {
  if (firstPass) {
    const auto flags = out.flags();
    const auto fill = out.fill();
    for (const auto v : values) {
      out << DUMP_PREFIX << std::hex << std::setw(2) << std::setfill('0')
          << (static_cast<int32_t>(v) & 0xFF) << DUMP_SEPARATOR;
    }
    out.flags(flags);
    out.fill(fill);
    out << '\n';
  }
  for (const auto v : values) out << static_cast<int64_t>(v) << DUMP_SEPARATOR;
  out << '\n';
}

}  // namespace

int32_t Util::formatAlignment(const lang::ByteArray* fd, int32_t entry) {
  return formatEntry(fd, entry) & 7;
}

int8_t Util::formatEntry(const lang::ByteArray* fd, int32_t entry) {
  if (fd == nullptr) lang::throwNullPointer("format descriptor");
  if (fd->length() <= FD_VARIABLE_LENGTH_AT) {
    lang::throwIndexOutOfBounds(FD_VARIABLE_LENGTH_AT, fd->length());
  }
  // security: fd[5] and entry are both outside our control; the sum is formed in 64 bits and
  // compared with the length, so no value of either reads outside the array
  const int64_t at = int64_t{unsignedByte((*fd)[FD_VARIABLE_LENGTH_AT])} + FD_START_LENGTH + entry;
  if (entry < 0 || at >= fd->length()) lang::throwIndexOutOfBounds(at, fd->length());
  return (*fd)[static_cast<int32_t>(at)];
}

int32_t Util::formatSize(const lang::ByteArray* fd, int32_t entry) {
  return (formatEntry(fd, entry) >> 3) & 0x1F;
}

int32_t Util::alignAbove(int32_t value, int32_t mask) {
  if (mask < 0 || mask >= static_cast<int32_t>(ALIGNMENT_SHIFTS.size())) {
    lang::throwIndexOutOfBounds(mask, static_cast<int64_t>(ALIGNMENT_SHIFTS.size()));
  }
  const int32_t s = ALIGNMENT_SHIFTS[static_cast<size_t>(mask)] & 0x1F;
  // Unsigned arithmetic wraps at the top of the range instead of overflowing.
  const uint32_t above = (static_cast<uint32_t>(value >> s) + 1U) << s;
  return static_cast<int32_t>(above);
}

void Util::expectByte(lang::InputStream& stream, int32_t expected) {
  int32_t b = -1;
  try {
    b = stream.read();
  } catch (const lang::IOException& e) {
    ErrorRaiser::raiseIOFailure(e);
  }
  // The end of the stream (-1) is a mismatch even when a caller expects -1.
  if (b < 0 || b != expected) {
    ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "unexpected byte in type descriptor");
  }
}

Ref<lang::Object> Util::deserialize(const lang::ByteArray* bytes) {
  if (bytes == nullptr) return nullptr;
  lang::ByteArrayInputStream in(Ref<lang::ByteArray>(const_cast<lang::ByteArray*>(bytes)));
  // A descriptor tree holds its children by Ref: a cycle in the stream describes no tree and
  // would never be freed.
  lang::ObjectInputStream objects(in, true);
  return objects.readObject();
}

void Util::dumpBytes(const lang::ByteArray* bytes) {
  if (bytes == nullptr) lang::throwNullPointer("dumpBytes of null");
  SinkLock hold;
  dumpTwoPasses(Trace::sink(), bytes->span(), true);
}

void Util::dumpBytesPlain(const lang::ByteArray* bytes) {
  if (bytes == nullptr) lang::throwNullPointer("dumpBytesPlain of null");
  SinkLock hold;
  dumpTwoPasses(Trace::sink(), bytes->span(), false);
}

void Util::dumpLongs(const lang::LongArray* values) {
  if (values == nullptr) lang::throwNullPointer("dumpLongs of null");
  SinkLock hold;
  std::ostream& out = Trace::sink();
  for (const int64_t v : values->span()) out << v << DUMP_SEPARATOR;
  out << '\n';
}

void Util::dumpUnsignedBytes(const lang::ByteArray* bytes) {
  const Ref<lang::IntArray> values = toUnsignedInts(bytes);
  SinkLock hold;
  dumpTwoPasses(Trace::sink(), values->span(), true);
}

int8_t Util::readByte(lang::InputStream& stream) {
  try {
    const int32_t b = stream.read();
    if (b < 0) throw lang::EOFException();
    return static_cast<int8_t>(b);
  } catch (const lang::IOException& e) {
    ErrorRaiser::raiseIOFailure(e);
  }
}

Ref<lang::ByteArray> Util::readBytes(lang::InputStream& stream, int32_t n) {
  // Reads larger than this are sized by what the stream says it still holds.
  constexpr int32_t SMALL_READ = 4096;
  if (n < 0) throw lang::NegativeArraySizeException(n);
  try {
    // security: n is untrusted; size the buffer by what the stream can still deliver (at least
    // a small chunk, for streams that cannot tell), never by n alone. One counted read may
    // deliver fewer bytes than asked for in any case.
    const int32_t capacity = std::min(n, std::max(stream.available(), SMALL_READ));
    Ref<lang::ByteArray> buf = lang::ByteArray::make(capacity);
    const int32_t k = stream.read(buf->data(), capacity);
    if (k == n) return buf;
    if (k < 0) throw lang::NegativeArraySizeException(k);  // end of stream
    return lang::ByteArray::copyOf(buf->data(), k);
  } catch (const lang::IOException& e) {
    ErrorRaiser::raiseIOFailure(e);
  }
}

int64_t Util::readUB4(lang::InputStream& stream) {
  int8_t b[4];
  try {
    readExactly(stream, b, 4);
  } catch (const lang::IOException& e) {
    ErrorRaiser::raiseIOFailure(e);
  }
  return static_cast<int32_t>(loadBE32(b));  // widened with its sign
}

int16_t Util::readSB2(lang::InputStream& stream) {
  int8_t b[2];
  try {
    readExactly(stream, b, 2);
  } catch (const lang::IOException& e) {
    ErrorRaiser::raiseIOFailure(e);
  }
  return static_cast<int16_t>(loadBE16(b));
}

Ref<lang::ByteArray> Util::serialize(const lang::Object* value) {
  if (value == nullptr) return nullptr;
  lang::ByteArrayOutputStream out;
  lang::ObjectOutputStream objects(out);
  objects.writeObject(value);
  objects.flush();
  return out.detachByteArray();
}

void Util::skipBytes(lang::InputStream& stream, int32_t n) {
  try {
    static_cast<void>(stream.skip(static_cast<int64_t>(n)));
  } catch (const lang::IOException& e) {
    ErrorRaiser::raiseIOFailure(e);
  }
}

Ref<lang::IntArray> Util::toUnsignedInts(const lang::ByteArray* bytes) {
  if (bytes == nullptr) lang::throwNullPointer("toUnsignedInts of null");
  Ref<lang::IntArray> out = lang::IntArray::make(bytes->length());
  for (int32_t i = 0; i < bytes->length(); ++i) (*out)[i] = unsignedByte((*bytes)[i]);
  return out;
}

void Util::readFully(lang::InputStream& stream, lang::ByteArray* buffer) {
  if (buffer == nullptr) lang::throwNullPointer("readFully into null");
  try {
    stream.readFully(*buffer);
  } catch (const lang::IOException& e) {
    ErrorRaiser::raiseIOFailure(e);
  }
}

}  // namespace kelvor::jdbc::kelcore
