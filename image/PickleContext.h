// Writes and reads the pickled image format: the image header, the length encoding, the null
// markers and the data values that every type descriptor writes or reads through it. Works as
// a writer (appending to a PickleOutputStream) or as a reader (walking a byte array with a
// position), chosen by the constructor. A context belongs to one thread for one top-level
// operation and has no lock; its stream takes its own. A whole image is best written inside an
// ImageScope: the scope's stream starts in scratch space of its own, and its monitor is held
// once from start to end, so that each write is a room check and a store.
//
// image      := flags(1) version(1) imagelen kind-part body
//   flags    := 84 object | 88 collection, elements inline | 90 collection given by a locator
//               (FLAG_TOPLEVEL plus exactly one kind flag)
//   version  := 01; readers accept any version up to IMAGE_VERSION
//   imagelen := a length counting the whole image, from the flags byte to the last body byte,
//               its own bytes included. Writers reserve the 5-byte form, FE 00 00 00 F6, and
//               patch it in place once the body is written; readers take either form.
// kind-part  := (nothing)                          object: the attributes follow
//             | 01 01 00 length(count)             inline elements: prefix length 1, prefix
//                                                  byte 01, a 00 that readers drop; count
//                                                  elements follow
//             | length(n+1) 00 locator(n)          locator: the image ends with the locator
// length     := b                                  0 <= b <= 245
//             | FE be32                            written for 246 and above
// in a length position: FF null, FD null embedded object, FC depth(1) null with a depth byte
// data value := length bytes(length) | FF
//
// Readers take every first byte above 245 as the 5-byte form (readLength, skipLength,
// readLengthAndBytes, readDataValue()); the operations handed a first byte that the caller
// has already read (readRestOfLength, skipRestOfLength, readDataValue(byte),
// skipDataValue(byte)) take only FE as the long form and any other byte as the length itself.
//
// Hostile input: positions and lengths read from the image are untrusted. Every read checks
// that its bytes lie inside the image before it touches memory or allocates; a failed read
// throws IndexOutOfBoundsException and leaves the position where the operation started. A
// length read from the image that is negative or runs past the end is such a failure, in the
// skips of a data value too. readBytes(n) with a negative n from the caller throws
// NegativeArraySizeException, as creating an array of that size does. Plain moves (skipBytes,
// skipTo, skipLength, skipRestOfLength) only move, never backwards, and never past 2^31-1; the
// next read checks where they led.
#pragma once

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <span>

#include "driver/Trace.h"
#include "image/ByteOrder.h"
#include "image/FieldObserver.h"
#include "image/PickleOutputStream.h"
#include "lang/ByteCopy.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc::kelcore {

using lang::Ref;

class PickleContext : public lang::Object {
 public:
  // When non-zero, an output failure's text is printed to the trace sink before it is handed
  // to the driver.
  static constexpr int32_t DEBUG_TRACE = 0;
  static constexpr int32_t NULL_MARKER = 255;           // atomic null
  static constexpr int32_t LONG_LENGTH_MARKER = 254;    // 5-byte length form
  static constexpr int32_t EMBEDDED_NULL_MARKER = 253;  // null embedded (inline) object
  static constexpr int32_t DEPTH_NULL_MARKER = 252;     // null, then a depth byte
  static constexpr int32_t MAX_SHORT_LENGTH = 245;      // largest length written in one byte
  static constexpr int32_t FLAG_TOPLEVEL = 128;         // flags byte: an image of this format
  static constexpr int32_t FLAG_64 = 64;
  static constexpr int32_t FLAG_32 = 32;
  static constexpr int32_t FLAG_LOCATOR = 16;     // collection given by a locator
  static constexpr int32_t FLAG_COLLECTION = 8;   // collection with its elements inline
  static constexpr int32_t FLAG_OBJECT = 4;       // object image
  static constexpr int32_t FLAG_2 = 2;
  static constexpr int32_t FLAG_1 = 1;
  static constexpr int32_t AUX_FLAG_64 = 64;
  static constexpr int32_t AUX_FLAG_32 = 32;
  static constexpr int32_t AUX_FLAG_16 = 16;
  static constexpr int32_t AUX_FLAG_8 = 8;
  static constexpr int32_t IMAGE_VERSION = 1;     // version written; highest version read

  // Trace switch of the class: patchLength and the header writers trace when it is on.
  static TraceSwitch TRACE;

  // A writer without a stream: initStream must come before the first write.
  PickleContext();
  // A reader over image at position 0. The image is borrowed for the reader's life.
  explicit PickleContext(Ref<lang::ByteArray> image);
  // A reader over image at the low 32 bits of offset.
  PickleContext(Ref<lang::ByteArray> image, int64_t offset);
  // The same over an image that the caller keeps alive for the reader's whole life, without
  // taking a count of it (two atomic operations per read); image() takes one when asked.
  struct Borrowed {};
  PickleContext(const lang::ByteArray* image, int64_t offset, Borrowed) noexcept
      : image_(image), offset_(static_cast<int32_t>(offset)) {}  // low 32 bits

  // The size of an ImageScope's scratch space: a small image never leaves it.
  static constexpr int32_t IMAGE_SCRATCH = 256;

  // Gives the writer a new stream of default or given initial capacity.
  void initStream();
  void initStream(int32_t size);
  // Gives the writer a stream of the caller's (a pre-sized one, or a test double).
  void attachStream(Ref<PickleOutputStream> stream);
  // The writer's stream; null in a reader.
  PickleOutputStream* outStream() const noexcept { return out_; }

  // One whole image written by the calling thread into a stream that the scope makes and owns:
  // it starts in the scope's scratch space, and its monitor is held from the scope's start to
  // its end, so that the context's writers append straight into the buffer. The context must
  // not have a stream yet; it has none again when the scope ends. Lives on the writer's stack.
  class ImageScope {
   public:
    explicit ImageScope(PickleContext& ctx);
    ~ImageScope();
    ImageScope(const ImageScope&) = delete;
    ImageScope& operator=(const ImageScope&) = delete;
    // Everything written, as an array of its own (an image still in the scratch space is
    // copied into one new array: one allocation); the stream is left empty.
    Ref<lang::ByteArray> takeImage() { return stream_.detachByteArray(); }
    // Makes room for n more bytes at once, where the writer knows (a bound of) what follows.
    void reserve(int32_t n) { (void)stream_.reserveHeld(n); }

   private:
    PickleContext& ctx_;
    int8_t scratch_[IMAGE_SCRATCH];
    PickleOutputStream stream_;
    std::lock_guard<lang::Monitor> hold_;  // after stream_: released before it goes
  };

  Ref<lang::ByteArray> image() const {
    return Ref<lang::ByteArray>(const_cast<lang::ByteArray*>(image_));
  }
  // The image without a count, valid while the reader is.
  const lang::ByteArray* imageBorrowed() const noexcept { return image_; }
  int32_t imageOffset() const noexcept { return offset_; }
  // With a stream, the number of bytes written so far; without one, the reader position.
  int32_t offset() const {
    if (held_) return out_->offsetHeld();
    return out_ != nullptr ? streamOffset() : offset_;
  }
  // A copy of everything written; NullPointerException without a stream.
  Ref<lang::ByteArray> toByteArray() const;
  // Everything written, as an array that takes over the stream's buffer (no copy); the stream
  // is left empty. NullPointerException without a stream.
  Ref<lang::ByteArray> takeImage();

  // Tests of a flags byte or of a byte found in a length position (taken unsigned).
  static bool isToplevelImage(int8_t flags) noexcept { return (flags & FLAG_TOPLEVEL) != 0; }
  static bool lacksObjectFlag(int8_t flags) noexcept { return (flags & FLAG_OBJECT) == 0; }
  static bool isCollectionImage(int8_t flags) noexcept { return (flags & FLAG_COLLECTION) != 0; }
  static bool isLocatorImage(int8_t flags) noexcept { return (flags & FLAG_LOCATOR) != 0; }
  static bool isAtomicNull(int8_t b) noexcept { return (b & 0xFF) == NULL_MARKER; }
  static bool isEmbeddedNull(int8_t b) noexcept { return (b & 0xFF) == EMBEDDED_NULL_MARKER; }
  static bool isDepthNull(int8_t b) noexcept { return (b & 0xFF) == DEPTH_NULL_MARKER; }
  // Bytes that writeLength takes for length: 5 above MAX_SHORT_LENGTH, else 1.
  static int32_t lengthFieldSize(int32_t length) noexcept {
    return length > MAX_SHORT_LENGTH ? 5 : 1;
  }

  // Writers. Each returns the number of bytes it wrote; callers add the counts up. Without a
  // stream they throw NullPointerException.
  //
  // 84 01 FE 00 00 00 F6: the object header with the length placeholder.
  [[nodiscard]] int32_t writeObjectHeader() {
    if (held_ && !Trace::on(TRACE)) {
      int8_t* b = out_->reserveHeld(7);
      b[0] = static_cast<int8_t>(FLAG_TOPLEVEL | FLAG_OBJECT);
      b[1] = static_cast<int8_t>(IMAGE_VERSION);
      fillLongLength(b + 2, MAX_SHORT_LENGTH + 1);  // the placeholder
      out_->commitHeld(7);
      return 7;
    }
    return writeObjectHeader(MAX_SHORT_LENGTH + 1);
  }
  // 84 01 length(imageLength).
  [[nodiscard]] int32_t writeObjectHeader(int32_t imageLength);
  // The collection header with the length placeholder.
  [[nodiscard]] int32_t writeCollectionHeader(int32_t elementCount);
  // 88 01 length(imageLength) 01 01 00 length(elementCount).
  [[nodiscard]] int32_t writeCollectionHeader(int32_t imageLength, int32_t elementCount);
  // The locator header with the length placeholder.
  [[nodiscard]] int32_t writeLocatorHeader(const lang::ByteArray* locator);
  // 90 01 length(imageLength) length(n+1) 00 locator(n).
  [[nodiscard]] int32_t writeLocatorHeader(int32_t imageLength, const lang::ByteArray* locator);
  // The length encoding of length. A negative length has no encoding (its low byte would read
  // back as a marker or a wrong length): it raises ERR_INVALID_ARGUMENT and writes nothing.
  // A stream failure of the long form is handed to the driver's I/O failure routine.
  // Out of line: callers across the library's boundary link to it.
  [[nodiscard]] int32_t writeLength(int32_t length);
  // All bytes of data; a stream failure is handed to the driver's I/O failure routine.
  [[nodiscard]] int32_t writeData(const lang::ByteArray* data);
  // The same from n bytes at data (n < 0 throws IndexOutOfBoundsException).
  [[nodiscard]] int32_t writeData(const int8_t* data, int32_t n);
  // A whole data value, length(n) and the n bytes, as one append: the same bytes as
  // writeLength(n) + writeData(data, n), with the stream's monitor taken once instead of
  // twice. n < 0 throws IndexOutOfBoundsException; a stream failure is handed to the driver's
  // I/O failure routine.
  [[nodiscard, gnu::always_inline]] int32_t writeDataValue(const int8_t* data, int32_t n) {
    if (held_ && n >= 0) return appendDataValueHeld(data, n);
    return writeDataValueToStream(data, n);
  }
  // writeDataValue and writeAtomicNull for a run of values inside an ImageScope, the position
  // kept in the run's own cursor instead of the stream's count: a store through int8_t may
  // alias any object, so the compiler reloads a count kept in memory after every byte stored.
  // The stream counts what the run wrote at each growth and when the run goes (on an
  // exception too: every value written whole).
  class HeldRun {
   public:
    explicit HeldRun(PickleContext& ctx) noexcept
        : out_(*ctx.out_), at_(out_.cursorHeld()), end_(out_.endHeld()) {
      assert(ctx.held_);
    }
    ~HeldRun() { out_.settleHeld(at_); }
    HeldRun(const HeldRun&) = delete;
    HeldRun& operator=(const HeldRun&) = delete;
    [[nodiscard, gnu::always_inline]] int32_t writeDataValue(const int8_t* data, int32_t n) {
      const int32_t prefix = lengthFieldSize(n);
      if (n > INT32_MAX - prefix) throwStreamTooLong();
      int8_t* p = room(prefix + n);
      putLength(p, n);
      copyBytes(p + prefix, data, n);
      at_ = p + prefix + n;
      return prefix + n;
    }
    [[nodiscard]] int32_t writeAtomicNull() {
      int8_t* p = room(1);
      *p = static_cast<int8_t>(NULL_MARKER);
      at_ = p + 1;
      return 1;
    }
    // The stream position the next write takes.
    int32_t offset() const noexcept { return out_.offsetOf(at_); }
    // FE 00 00 00 F6 84 01 FE 00 00 00 F6: the placeholder of a nested image's length field,
    // then the image's object header with its own placeholder. Returns 12. Only where the
    // context writesNestedObjectHeader().
    [[nodiscard]] int32_t writeNestedObjectHeader() {
      int8_t* b = room(12);
      fillLongLength(b, MAX_SHORT_LENGTH + 1);
      b[5] = static_cast<int8_t>(FLAG_TOPLEVEL | FLAG_OBJECT);
      b[6] = static_cast<int8_t>(IMAGE_VERSION);
      fillLongLength(b + 7, MAX_SHORT_LENGTH + 1);
      at_ = b + 12;
      return 12;
    }
    // Patches both placeholders that writeNestedObjectHeader wrote at `at` with the image's
    // length (what each of them counts).
    void patchNestedObjectLength(int32_t at, int32_t imageLength) {
      int8_t* b = out_.placeHeld(at, 12);
      fillLongLength(b, imageLength);
      fillLongLength(b + 7, imageLength);
    }

   private:
    int8_t* room(int32_t n) {
      if (end_ - at_ < n) [[unlikely]] {
        out_.settleHeld(at_);
        at_ = out_.reserveHeld(n);
        end_ = out_.endHeld();
      }
      return at_;
    }
    PickleOutputStream& out_;
    int8_t* at_;
    int8_t* end_;
  };
  [[nodiscard]] int32_t writeAtomicNull() { return writeMarker(NULL_MARKER); }  // FF
  [[nodiscard]] int32_t writeEmbeddedNull() { return writeMarker(EMBEDDED_NULL_MARKER); }  // FD
  [[nodiscard]] int32_t writeDepthNull(int8_t depth);  // FC depth
  // Overwrites the 5 bytes at stream position at with FE and length big-endian: one overwrite.
  void patchLength(int32_t at, int32_t length) {
    if (held_ && !Trace::on(TRACE)) {
      fillLongLength(out_->placeHeld(at, 5), length);
      return;
    }
    patchLengthInStream(at, length);
  }
  // Fills the context's 5-byte array with FE and length big-endian and returns it (the same
  // array every time, made at the first call).
  Ref<lang::ByteArray> longLengthBytes(int32_t length);
  // Whether the writers append straight to the buffer (inside an ImageScope).
  bool appendsDirectly() const noexcept { return held_; }
  // Whether HeldRun's nested-image writers may be used: inside an ImageScope, the class's
  // trace off.
  bool writesNestedObjectHeader() const noexcept { return held_ && !Trace::on(TRACE); }
  // Inside an ImageScope, makes room for n >= 0 more bytes at once, where the writer knows a
  // bound of what follows (never beyond 2^31-1 bytes in all: the writes themselves fail
  // there); elsewhere nothing.
  void reserve(int32_t n) {
    if (held_) (void)out_->reserveHeld(std::min(n, INT32_MAX - out_->offsetHeld()));
  }

  // Readers. All advance past what they consume unless said otherwise. Without an image they
  // throw NullPointerException.
  int8_t readByte() {
    if (const lang::ByteArray* img = byteInImage()) [[likely]]
      return img->data()[offset_++];
    return readByteChecked();
  }
  // Reads the version byte: true if it is at most IMAGE_VERSION. Advances 1 in every case.
  bool checkVersion() { return static_cast<uint8_t>(readByte()) <= uint32_t{IMAGE_VERSION}; }
  // A length in either form; 255 is not a null here but the start of a 5-byte form.
  int32_t readLength();
  // As readLength, less the size of the field actually read (5 or 1) when the length counts
  // itself.
  int32_t readLength(bool lengthCountsItself);
  // For a first byte the caller has read: FE takes the next 4 bytes; any other byte is the
  // length and nothing is consumed.
  int32_t readRestOfLength(int8_t first);
  void skipLength() {
    const lang::ByteArray* img = byteInImage();
    if (img != nullptr && static_cast<uint8_t>(img->data()[offset_]) <= MAX_SHORT_LENGTH)
        [[likely]] {
      ++offset_;
      return;
    }
    skipLengthChecked();
  }
  void skipRestOfLength(int8_t first);
  Ref<lang::ByteArray> readBytes(int32_t n);
  Ref<lang::ByteArray> readLengthAndBytes();
  // A data value, or null (after consuming the FF) for the null marker.
  Ref<lang::ByteArray> readDataValue();
  Ref<lang::ByteArray> readDataValue(int8_t first);
  // A data value with a one-byte length (0 to 254), or null for FF, which is left in place.
  Ref<lang::ByteArray> readShortDataValue();
  // readDataValue without the copy: the value's bytes where they lie in the image, checked as
  // readDataValue checks them, the context after them. A null gives a span with null data.
  // The span is valid while the image is.
  std::span<const int8_t> readDataSpan() {
    // The common value without a call: a one-byte length and its bytes, inside the image.
    if (const lang::ByteArray* img = byteInImage()) [[likely]] {
      const auto at = static_cast<uint32_t>(offset_);
      const uint32_t first = static_cast<uint8_t>(img->data()[at]);
      if (first <= MAX_SHORT_LENGTH && first < static_cast<uint32_t>(img->length()) - at) {
        offset_ += static_cast<int32_t>(1 + first);
        return {img->data() + at + 1, first};
      }
    }
    return readDataSpanChecked();
  }
  std::span<const int8_t> readDataSpan(int8_t first);
  void skipDataValue();
  void skipDataValue(int8_t first);
  // Advances n if n > 0.
  void skipBytes(int32_t n);
  // Moves to at if at lies ahead; never moves backwards.
  void skipTo(int64_t at);

  // The listener the readers report their fields to; null (the default) for none. Not owned:
  // it outlives the read.
  FieldObserver* observer() const noexcept { return observer_; }
  void setObserver(FieldObserver* observer) noexcept { observer_ = observer; }

  const char* className() const noexcept override { return "PickleContext"; }

 private:
  struct LengthField {
    int32_t value;
    int32_t size;  // 1 or 5
  };

  // security: positions and lengths come from the image. Checks that n bytes lie at
  // offset_ + skip; the position may be anywhere (a move or the constructor put it there).
  // Unsigned compares, never sums: a negative position or n is above every length.
  void requireBytes(int32_t skip, int32_t n) const {
    const lang::ByteArray* img = image_;
    if (img == nullptr) throwNoImage();
    if (!bytesWithin(img->length(), offset_, skip, n)) throwOutOfImage(skip, n);
  }
  void requireBytes(int32_t n) const { requireBytes(0, n); }
  // The image when the byte at offset_ lies inside it; null otherwise (no image, or the
  // position outside it), for the caller's checked path to raise.
  const lang::ByteArray* byteInImage() const noexcept {
    const lang::ByteArray* img = image_;
    if (img == nullptr || static_cast<uint32_t>(offset_) >= static_cast<uint32_t>(img->length())) {
      return nullptr;
    }
    return img;
  }
  // The readers' out-of-line paths: every form and every failure.
  int8_t readByteChecked();
  void skipLengthChecked();
  std::span<const int8_t> readDataSpanChecked();
  // The byte at offset_, checked, unsigned; does not move.
  uint32_t peekByte() const {
    requireBytes(1);
    return static_cast<uint8_t>((*image_)[offset_]);
  }
  // The length field whose first byte (at offset_) is first; does not move.
  LengthField lengthFrom(uint32_t first) const;
  // The n bytes at offset_ + skip as a new array, then moves past them; checked first.
  Ref<lang::ByteArray> takeBytes(int32_t skip, int32_t n);
  std::span<const int8_t> passBytes(int32_t skip, int32_t n);
  // Moves to position, held to the int32 range.
  void moveTo(int64_t position) noexcept;
  PickleOutputStream& stream() const {
    if (out_ == nullptr) throwNoStream();
    return *out_;
  }
  // Appends n >= 0 bytes, handing a stream failure to the driver.
  int32_t appendData(const int8_t* data, int32_t n);
  // The out-of-line halves of the writers above: everything but their held fast path.
  int32_t streamOffset() const;
  void patchLengthInStream(int32_t at, int32_t length);
  // A one-byte marker.
  int32_t writeMarker(int32_t marker) {
    if (held_) {
      out_->appendHeld(marker);
    } else {
      stream().write(marker);
    }
    return 1;
  }
  // writeDataValue through the stream's appends.
  int32_t writeDataValueToStream(const int8_t* data, int32_t n);
  // writeDataValue inside an ImageScope: the length field and the bytes in reserved room.
  [[gnu::always_inline]] int32_t appendDataValueHeld(const int8_t* data, int32_t n) {
    const int32_t prefix = lengthFieldSize(n);
    if (n > INT32_MAX - prefix) throwStreamTooLong();
    int8_t* p = out_->reserveHeld(prefix + n);
    putLength(p, n);
    copyBytes(p + prefix, data, n);
    out_->commitHeld(prefix + n);
    return prefix + n;
  }
  // n >= 0 bytes from src to dst: the short data values of numbers and dates without a call.
  // Reads and writes only the n bytes (overlapping fixed-size moves, never past the end).
  static void copyBytes(int8_t* dst, const int8_t* src, int32_t n) noexcept {
    const auto k = static_cast<size_t>(n);
    if (n > 16) {
      lang::copyBytes(dst, src, k);
    } else if (n >= 8) {
      std::memcpy(dst, src, 8);
      std::memcpy(dst + k - 8, src + k - 8, 8);
    } else if (n >= 4) {
      std::memcpy(dst, src, 4);
      std::memcpy(dst + k - 4, src + k - 4, 4);
    } else if (n > 0) {
      dst[0] = src[0];
      dst[k / 2] = src[k / 2];
      dst[k - 1] = src[k - 1];
    }
  }
  // Writes the flags byte and the version byte in one write.
  int32_t writeFlagsAndVersion(int32_t flags);
  void fillLongLength(int32_t length) noexcept { fillLongLength(scratch_, length); }
  static void fillLongLength(int8_t* b, int32_t length) noexcept {
    b[0] = static_cast<int8_t>(LONG_LENGTH_MARKER);
    storeBE32(b + 1, static_cast<uint32_t>(length));
  }
  // The length field of length >= 0 at p (room for 5 bytes); returns its size.
  static int32_t putLength(int8_t* p, int32_t length) noexcept {
    if (length <= MAX_SHORT_LENGTH) {
      p[0] = static_cast<int8_t>(length);
      return 1;
    }
    fillLongLength(p, length);
    return 5;
  }

  [[noreturn]] void throwOutOfImage(int32_t skip, int32_t n) const;
  [[noreturn]] static void throwNoImage();
  [[noreturn]] static void throwNoStream();
  [[noreturn]] static void throwStreamTooLong();
  [[noreturn]] static void handleOutputFailure(const lang::IOException& failure);

  PickleOutputStream* out_ = nullptr;  // the writer's stream; null in a reader
  Ref<PickleOutputStream> outStream_;  // out_ when the context shares in owning it
  const lang::ByteArray* image_ = nullptr;  // the reader's image; null in a writer
  Ref<lang::ByteArray> ownedImage_;          // its count, unless the reader borrows it
  int32_t offset_ = 0;                 // reader position: index of the next byte to read
  // An ImageScope holds out_'s monitor, and out_ is a plain PickleOutputStream of its making:
  // the writers append with the stream's held appends.
  bool held_ = false;
  int8_t scratch_[8] = {};             // header bytes and long lengths on their way out
  Ref<lang::ByteArray> lengthBuffer_;  // longLengthBytes's array, made at its first call
  FieldObserver* observer_ = nullptr;  // not owned; null: nobody listens
};

}  // namespace kelvor::jdbc::kelcore
