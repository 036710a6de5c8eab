#include "image/PickleContext.h"

#include <cassert>
#include <climits>
#include <cstring>
#include <string>
#include <utility>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/ByteOrder.h"

namespace kelvor::jdbc::kelcore {

TraceSwitch PickleContext::TRACE{0};

namespace {

constexpr const char* kTraceName = "PickleContext";

// Flags bytes written: FLAG_TOPLEVEL plus one kind flag.
constexpr int32_t kObjectFlags = PickleContext::FLAG_TOPLEVEL | PickleContext::FLAG_OBJECT;
constexpr int32_t kCollectionFlags =
    PickleContext::FLAG_TOPLEVEL | PickleContext::FLAG_COLLECTION;
constexpr int32_t kLocatorFlags = PickleContext::FLAG_TOPLEVEL | PickleContext::FLAG_LOCATOR;
// The placeholder length: the smallest value that forces the 5-byte form, so that any real
// length can be patched over it without moving the body.
constexpr int32_t kPlaceholderLength = PickleContext::MAX_SHORT_LENGTH + 1;

}  // namespace

// --- construction and accessors ---------------------------------------------------------------

PickleContext::PickleContext() = default;

PickleContext::PickleContext(Ref<lang::ByteArray> image)
    : image_(image.get()), ownedImage_(std::move(image)) {}

PickleContext::PickleContext(Ref<lang::ByteArray> image, int64_t offset)
    : image_(image.get()), ownedImage_(std::move(image)),
      offset_(static_cast<int32_t>(offset)) {}  // low 32 bits

void PickleContext::initStream() {
  outStream_ = lang::makeRef<PickleOutputStream>();
  out_ = outStream_.get();
}

void PickleContext::initStream(int32_t size) {
  outStream_ = lang::makeRef<PickleOutputStream>(size);
  out_ = outStream_.get();
}

void PickleContext::attachStream(Ref<PickleOutputStream> stream) {
  outStream_ = std::move(stream);
  out_ = outStream_.get();
}

PickleContext::ImageScope::ImageScope(PickleContext& ctx)
    : ctx_(ctx), stream_(scratch_, IMAGE_SCRATCH), hold_(stream_.monitor()) {
  assert(ctx.out_ == nullptr);
  ctx.out_ = &stream_;
  ctx.held_ = true;
}

PickleContext::ImageScope::~ImageScope() {
  ctx_.out_ = ctx_.outStream_.get();  // none, as the scope requires of the context
  ctx_.held_ = false;
}

int32_t PickleContext::streamOffset() const { return out_->offset(); }

Ref<lang::ByteArray> PickleContext::toByteArray() const { return stream().toByteArray(); }

Ref<lang::ByteArray> PickleContext::takeImage() { return stream().detachByteArray(); }

void PickleContext::throwNoStream() { lang::throwNullPointer("PickleContext has no output stream"); }

void PickleContext::throwStreamTooLong() {
  throw lang::IllegalArgumentException("stream above 2^31-1 bytes");
}

// --- writers ------------------------------------------------------------------------------------
//
// Each writer has two ways out: inside an ImageScope (held_) the held appends, a room check and
// a store; otherwise the stream's own appends, each under the monitor, through which a stream
// of the caller's (a test double) sees every append.

void PickleContext::handleOutputFailure(const lang::IOException& failure) {
  if constexpr (DEBUG_TRACE != 0) Trace::emit(kTraceName, failure.what());
  ErrorRaiser::raiseIOFailure(failure);
}

inline int32_t PickleContext::writeFlagsAndVersion(int32_t flags) {
  PickleOutputStream& out = stream();
  int8_t* b = held_ ? out.reserveHeld(2) : scratch_;
  b[0] = static_cast<int8_t>(flags);
  b[1] = static_cast<int8_t>(IMAGE_VERSION);
  if (held_) {
    out.commitHeld(2);
  } else {
    out.write(b, 2);
  }
  return 2;
}

int32_t PickleContext::writeObjectHeader(int32_t imageLength) {
  if (Trace::on(TRACE)) {
    Trace::line(kTraceName, "writeObjectHeader length ", imageLength, " at ", offset());
  }
  if (held_ && imageLength >= 0) {
    // flags, version and the length field as one append
    const int32_t n = 2 + lengthFieldSize(imageLength);
    int8_t* b = out_->reserveHeld(n);
    b[0] = static_cast<int8_t>(kObjectFlags);
    b[1] = static_cast<int8_t>(IMAGE_VERSION);
    putLength(b + 2, imageLength);
    out_->commitHeld(n);
    return n;
  }
  int32_t n = writeFlagsAndVersion(kObjectFlags);
  n += writeLength(imageLength);
  return n;
}

int32_t PickleContext::writeCollectionHeader(int32_t elementCount) {
  return writeCollectionHeader(kPlaceholderLength, elementCount);
}

int32_t PickleContext::writeCollectionHeader(int32_t imageLength, int32_t elementCount) {
  if (Trace::on(TRACE)) {
    Trace::line(kTraceName, "writeCollectionHeader length ", imageLength, " count ",
                elementCount, " at ", offset());
  }
  int32_t n = writeFlagsAndVersion(kCollectionFlags);
  n += writeLength(imageLength);
  // The prefix segment: its length (1), its single byte (01), then the 00 that readers drop.
  static constexpr int8_t kPrefix[3] = {1, 1, 0};
  if (held_) {
    out_->appendHeld(kPrefix, 3);
  } else {
    out_->write(kPrefix, 3);
  }
  n += 3;
  n += writeLength(elementCount);
  return n;
}

int32_t PickleContext::writeLocatorHeader(const lang::ByteArray* locator) {
  return writeLocatorHeader(kPlaceholderLength, locator);
}

int32_t PickleContext::writeLocatorHeader(int32_t imageLength, const lang::ByteArray* locator) {
  if (locator == nullptr) lang::throwNullPointer("PickleContext.writeLocatorHeader: null locator");
  const int32_t n = locator->length();
  // The prefix segment's length n+1 must be a 32-bit length.
  if (n == INT32_MAX) {
    ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG, "locator longer than 2^31-2 bytes");
  }
  if (Trace::on(TRACE)) {
    Trace::line(kTraceName, "writeLocatorHeader length ", imageLength, " locator ", n, " at ",
                offset());
  }
  int32_t total = writeFlagsAndVersion(kLocatorFlags);
  total += writeLength(imageLength);
  total += writeLength(n + 1);
  if (held_) {
    out_->appendHeld(0);  // the prefix segment's first byte, which readers drop
    out_->appendHeld(locator->data(), n);
  } else {
    out_->write(0);
    out_->write(locator->data(), n);
  }
  return total + 1 + n;
}

int32_t PickleContext::writeLength(int32_t length) {
  PickleOutputStream& out = stream();
  // One unsigned compare takes the short form and sends negatives to the long path.
  if (static_cast<uint32_t>(length) <= static_cast<uint32_t>(MAX_SHORT_LENGTH)) {
    if (held_) {
      out.appendHeld(length);
    } else {
      out.write(length);
    }
    return 1;
  }
  if (length < 0) {
    ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, "negative length in an image");
  }
  if (held_) {
    fillLongLength(out.reserveHeld(5), length);
    out.commitHeld(5);
    return 5;
  }
  fillLongLength(length);
  try {
    out.write(scratch_, 5);
  } catch (const lang::IOException& failure) {
    handleOutputFailure(failure);
  }
  return 5;
}

inline int32_t PickleContext::appendData(const int8_t* data, int32_t n) {
  PickleOutputStream& out = stream();
  if (held_) {
    out.appendHeld(data, n);
    return n;
  }
  try {
    out.write(data, n);
  } catch (const lang::IOException& failure) {
    handleOutputFailure(failure);
  }
  return n;
}

int32_t PickleContext::writeData(const lang::ByteArray* data) {
  if (data == nullptr) lang::throwNullPointer("PickleContext.writeData: null data");
  return appendData(data->data(), data->length());
}

int32_t PickleContext::writeData(const int8_t* data, int32_t n) {
  if (n < 0) lang::throwIndexOutOfBounds(n, 0);
  return appendData(data, n);
}

int32_t PickleContext::writeDataValueToStream(const int8_t* data, int32_t n) {
  PickleOutputStream& out = stream();
  if (n < 0) lang::throwIndexOutOfBounds(n, 0);
  const int32_t prefix = putLength(scratch_, n);
  try {
    out.writeWithPrefix(scratch_, prefix, data, n);
  } catch (const lang::IOException& failure) {
    handleOutputFailure(failure);
  }
  return prefix + n;
}

int32_t PickleContext::writeDepthNull(int8_t depth) {
  PickleOutputStream& out = stream();
  int8_t* b = held_ ? out.reserveHeld(2) : scratch_;
  b[0] = static_cast<int8_t>(DEPTH_NULL_MARKER);
  b[1] = depth;
  if (held_) {
    out.commitHeld(2);
  } else {
    out.write(b, 2);
  }
  return 2;
}

void PickleContext::patchLengthInStream(int32_t at, int32_t length) {
  PickleOutputStream& out = stream();
  if (Trace::on(TRACE)) Trace::line(kTraceName, "patchLength at ", at, " length ", length);
  if (held_) {
    fillLongLength(out.placeHeld(at, 5), length);
    return;
  }
  fillLongLength(length);
  std::lock_guard<lang::Monitor> hold(out.monitor());  // as overwrite() holds it
  out.overwriteHeld(at, scratch_, 5);
}

Ref<lang::ByteArray> PickleContext::longLengthBytes(int32_t length) {
  if (!lengthBuffer_) lengthBuffer_ = lang::ByteArray::make(5);
  fillLongLength(lengthBuffer_->data(), length);
  return lengthBuffer_;
}

// --- readers ------------------------------------------------------------------------------------

void PickleContext::throwOutOfImage(int32_t skip, int32_t n) const {
  throw lang::IndexOutOfBoundsException("image read of " + std::to_string(n) + " bytes at " +
                                        std::to_string(int64_t{offset_} + skip) +
                                        " outside an image of " +
                                        std::to_string(image_->length()) + " bytes");
}

void PickleContext::throwNoImage() { lang::throwNullPointer("PickleContext has no image"); }

inline void PickleContext::moveTo(int64_t position) noexcept {
  if (position > INT32_MAX) position = INT32_MAX;
  if (position < INT32_MIN) position = INT32_MIN;
  offset_ = static_cast<int32_t>(position);
}

inline PickleContext::LengthField PickleContext::lengthFrom(uint32_t first) const {
  if (first <= static_cast<uint32_t>(MAX_SHORT_LENGTH)) {
    return {static_cast<int32_t>(first), 1};
  }
  requireBytes(5);
  // Assembled as 32-bit two's complement: FE 80 00 00 00 is negative, and readers of data
  // reject it below.
  return {static_cast<int32_t>(loadBE32(image_->data() + offset_ + 1)), 5};
}

inline Ref<lang::ByteArray> PickleContext::takeBytes(int32_t skip, int32_t n) {
  // security: n comes from the image (or the caller); nothing is allocated before this check.
  requireBytes(skip, n);
  Ref<lang::ByteArray> bytes = lang::ByteArray::copyOf(image_->data() + offset_ + skip, n);
  offset_ += skip + n;  // inside the image: checked above
  return bytes;
}

inline std::span<const int8_t> PickleContext::passBytes(int32_t skip, int32_t n) {
  // security: n comes from the image; checked as takeBytes checks it
  requireBytes(skip, n);
  const std::span<const int8_t> bytes(image_->data() + offset_ + skip, static_cast<size_t>(n));
  offset_ += skip + n;
  return bytes;
}

int8_t PickleContext::readByteChecked() {
  requireBytes(1);
  return (*image_)[offset_++];
}

int32_t PickleContext::readLength() {
  const LengthField f = lengthFrom(peekByte());
  offset_ += f.size;
  return f.value;
}

int32_t PickleContext::readLength(bool lengthCountsItself) {
  const LengthField f = lengthFrom(peekByte());
  offset_ += f.size;
  if (!lengthCountsItself) return f.value;
  // The size of the field as read, not as the value would be written: writers always write
  // the image length in 5 bytes. Subtracted modulo 2^32 (a hostile value must not overflow).
  return static_cast<int32_t>(static_cast<uint32_t>(f.value) - static_cast<uint32_t>(f.size));
}

int32_t PickleContext::readRestOfLength(int8_t first) {
  if ((first & 0xFF) != LONG_LENGTH_MARKER) return first & 0xFF;
  requireBytes(4);
  const auto value = static_cast<int32_t>(loadBE32(image_->data() + offset_));
  offset_ += 4;
  return value;
}

void PickleContext::skipLengthChecked() {
  const uint32_t first = peekByte();
  moveTo(int64_t{offset_} + (first > static_cast<uint32_t>(MAX_SHORT_LENGTH) ? 5 : 1));
}

void PickleContext::skipRestOfLength(int8_t first) {
  if ((first & 0xFF) == LONG_LENGTH_MARKER) moveTo(int64_t{offset_} + 4);
}

Ref<lang::ByteArray> PickleContext::readBytes(int32_t n) {
  if (n < 0) throw lang::NegativeArraySizeException(n);  // an array of n bytes cannot exist
  return takeBytes(0, n);
}

Ref<lang::ByteArray> PickleContext::readLengthAndBytes() {
  const LengthField f = lengthFrom(peekByte());
  return takeBytes(f.size, f.value);
}

Ref<lang::ByteArray> PickleContext::readDataValue() {
  const uint32_t first = peekByte();
  if (first == static_cast<uint32_t>(NULL_MARKER)) {
    ++offset_;
    return nullptr;
  }
  const LengthField f = lengthFrom(first);
  return takeBytes(f.size, f.value);
}

Ref<lang::ByteArray> PickleContext::readDataValue(int8_t first) {
  if ((first & 0xFF) != LONG_LENGTH_MARKER) return takeBytes(0, first & 0xFF);
  requireBytes(4);
  return takeBytes(4, static_cast<int32_t>(loadBE32(image_->data() + offset_)));
}

std::span<const int8_t> PickleContext::readDataSpanChecked() {
  const uint32_t first = peekByte();
  if (first == static_cast<uint32_t>(NULL_MARKER)) {
    ++offset_;
    return {};
  }
  const LengthField f = lengthFrom(first);
  return passBytes(f.size, f.value);
}

std::span<const int8_t> PickleContext::readDataSpan(int8_t first) {
  if ((first & 0xFF) != LONG_LENGTH_MARKER) return passBytes(0, first & 0xFF);
  requireBytes(4);
  return passBytes(4, static_cast<int32_t>(loadBE32(image_->data() + offset_)));
}

Ref<lang::ByteArray> PickleContext::readShortDataValue() {
  const uint32_t first = peekByte();
  if (first == static_cast<uint32_t>(NULL_MARKER)) return nullptr;  // left in place
  return takeBytes(1, static_cast<int32_t>(first));
}

void PickleContext::skipDataValue() {
  const uint32_t first = peekByte();
  if (first == static_cast<uint32_t>(NULL_MARKER)) {
    ++offset_;
    return;
  }
  const LengthField f = lengthFrom(first);
  // security: the skipped bytes must exist, as if they were read; a negative length fails too.
  requireBytes(f.size, f.value);
  offset_ += f.size + f.value;
}

void PickleContext::skipDataValue(int8_t first) {
  if ((first & 0xFF) != LONG_LENGTH_MARKER) {
    requireBytes(first & 0xFF);
    offset_ += first & 0xFF;
    return;
  }
  requireBytes(4);
  const auto n = static_cast<int32_t>(loadBE32(image_->data() + offset_));
  requireBytes(4, n);
  offset_ += 4 + n;
}

void PickleContext::skipBytes(int32_t n) {
  if (n > 0) moveTo(int64_t{offset_} + n);
}

void PickleContext::skipTo(int64_t at) {
  if (at > offset_) moveTo(at);
}

}  // namespace kelvor::jdbc::kelcore
