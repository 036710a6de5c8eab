// Static helpers shared by the descriptors: the connection's format descriptor (native size and
// alignment of each built-in type), rounding offsets up to an alignment, small checked reads
// from a byte stream, object serialisation to and from byte arrays, and byte dumps on the trace
// sink. Stateless apart from a constant table; safe from any thread.
//
// Format descriptor:
//   fd := start(6) variable(h) entry*      h = fd[5] unsigned
//   entry number k sits at h + 6 + k; bits 0-2 hold the alignment mask (alignment - 1),
//   bits 3-7 the native size in bytes.
//
// The stream helpers catch the stream's IOException and hand it to the driver's I/O failure
// handler, which raises it as DriverException ERR_IO. A premature end of stream in a read that
// needs a fixed number of bytes (readByte, readUB4, readSB2) is such a failure too, never a
// value made of whatever the end-of-stream marker looks like.
#pragma once

#include <array>
#include <cstdint>

#include "lang/Object.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class Util : public lang::Object {
 public:
  // Alignment mask (alignment - 1) -> log2 of the alignment; masks that are not 2^s - 1 give 0.
  static constexpr std::array<int32_t, 9> ALIGNMENT_SHIFTS = {0, 1, 0, 2, 0, 0, 0, 3, 0};

  Util() = default;

  // Alignment mask of entry `entry` (0..7).
  static int32_t formatAlignment(const lang::ByteArray* fd, int32_t entry);
  // The entry byte itself. Null fd: NullPointerException; fd shorter than 6 bytes, a negative
  // entry or one that lies beyond the descriptor: IndexOutOfBoundsException.
  static int8_t formatEntry(const lang::ByteArray* fd, int32_t entry);
  // Native size in bytes of entry `entry` (0..31).
  static int32_t formatSize(const lang::ByteArray* fd, int32_t entry);
  // The smallest multiple of 2^s strictly above value, s = ALIGNMENT_SHIFTS[mask]; callers
  // call it only for a value that is not aligned yet. Wraps as 32-bit arithmetic does. A mask
  // outside 0..8 throws IndexOutOfBoundsException.
  static int32_t alignAbove(int32_t value, int32_t mask);
  // The next byte of the stream must equal expected, else ERR_TDS_FORMAT; the end of the
  // stream never matches.
  static void expectByte(lang::InputStream& stream, int32_t expected);
  // One object read back from bytes written by serialize; null for null. Failures of the
  // serial stream (StreamCorruptedException, EOFException) pass through.
  static Ref<lang::Object> deserialize(const lang::ByteArray* bytes);
  static int32_t unsignedByte(int8_t b) noexcept { return b & 0xFF; }

  // Dumps on the trace sink, printed under the sink's lock. A null array throws
  // NullPointerException before anything is printed.
  // Two lines: the bytes in hex ("0x1f 0x80 "), then in signed decimal ("31 -128 ").
  static void dumpBytes(const lang::ByteArray* bytes);
  // One line: the bytes in signed decimal.
  static void dumpBytesPlain(const lang::ByteArray* bytes);
  // One line: the values in decimal.
  static void dumpLongs(const lang::LongArray* values);
  // As dumpBytes over the unsigned values 0..255.
  static void dumpUnsignedBytes(const lang::ByteArray* bytes);

  // The next byte, signed. End of stream: DriverException ERR_IO.
  static int8_t readByte(lang::InputStream& stream);
  // One counted read of up to n bytes: an array of the bytes that read delivered. n < 0, or the
  // end of the stream (the read answers -1), throws NegativeArraySizeException.
  static Ref<lang::ByteArray> readBytes(lang::InputStream& stream, int32_t n);
  // Four bytes, big-endian, combined in 32 bits and widened with the sign (FF FF FF FE -> -2).
  // Fewer than four bytes left: DriverException ERR_IO.
  static int64_t readUB4(lang::InputStream& stream);
  // Two bytes, big-endian, signed. Fewer than two bytes left: DriverException ERR_IO.
  static int16_t readSB2(lang::InputStream& stream);
  // Null for null; else the object's serial form.
  static Ref<lang::ByteArray> serialize(const lang::Object* value);
  // The stream's skip; the count actually skipped is not reported.
  static void skipBytes(lang::InputStream& stream, int32_t n);
  // element i = bytes[i] & 0xFF. Null throws NullPointerException.
  static Ref<lang::IntArray> toUnsignedInts(const lang::ByteArray* bytes);
  // Fills the whole buffer; a premature end: DriverException ERR_IO. Null buffer throws
  // NullPointerException.
  static void readFully(lang::InputStream& stream, lang::ByteArray* buffer);

  const char* className() const noexcept override { return "Util"; }
};

}  // namespace kelvor::jdbc::kelcore
