#include "image/UnpickleContext.h"

#include <climits>
#include <string>
#include <utility>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/ByteOrder.h"

namespace kelvor::jdbc::kelcore {
namespace {

// Size of a number slot: a length byte and room for 21 bytes of number.
constexpr int32_t kNumberSlotSize = 22;

}  // namespace

UnpickleContext::UnpickleContext() = default;

UnpickleContext::UnpickleContext(Ref<lang::ByteArray> image, int32_t offset,
                                 Ref<lang::ByteArray> nullIndicators,
                                 Ref<lang::LongArray> attributeOffsets, int8_t descriptorFlag)
    : image_(std::move(image)),
      offset_(offset),
      baseOffset_(offset),
      attributeOffsets_(std::move(attributeOffsets)),
      nullIndicators_(std::move(nullIndicators)),
      descriptorFlag_(descriptorFlag) {}

void UnpickleContext::throwOutOfImage(int32_t skip, int32_t n) const {
  throw lang::IndexOutOfBoundsException("linear image read of " + std::to_string(n) +
                                        " bytes at " + std::to_string(int64_t{offset_} + skip) +
                                        " outside an image of " +
                                        std::to_string(image_->length()) + " bytes");
}

void UnpickleContext::raiseOverlongNumberSlot() const {
  const int32_t left = image_->length() - offset_;
  const Ref<lang::ByteArray> slot =
      lang::ByteArray::copyOf(cursor(), left < kNumberSlotSize ? left : kNumberSlotSize);
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, "number slot length above 21", slot.get());
}

void UnpickleContext::throwNoImage() { lang::throwNullPointer("UnpickleContext has no image"); }

inline void UnpickleContext::moveTo(int64_t position) noexcept {
  if (position > INT32_MAX) position = INT32_MAX;
  if (position < INT32_MIN) position = INT32_MIN;
  offset_ = static_cast<int32_t>(position);
}

inline int32_t UnpickleContext::wrappedFromBase(int64_t rel) const noexcept {
  // Modulo 2^64, then the low 32 bits: no signed overflow for any rel.
  return static_cast<int32_t>(static_cast<uint64_t>(int64_t{baseOffset_}) +
                              static_cast<uint64_t>(rel));
}

inline Ref<lang::ByteArray> UnpickleContext::takeBytes(int32_t skip, int32_t n) {
  // security: n comes from the image (or the caller); nothing is allocated before this check.
  requireBytes(skip, n);
  Ref<lang::ByteArray> bytes = lang::ByteArray::copyOf(cursor() + skip, n);
  offset_ += skip + n;  // inside the image: checked above
  return bytes;
}

int8_t UnpickleContext::isNull(int32_t attributeIndex) const {
  if (!nullIndicators_) lang::throwNullPointer("UnpickleContext has no null indicators");
  return nullIndicators_->at(attributeIndex);
}

bool UnpickleContext::enterFixedValue(int32_t format, int32_t offsetIndex, int32_t nullIndex,
                                      int32_t size, KelvorType* type) {
  if (format == 1) {
    if (isNull(nullIndex) != 0) {  // nothing consumed
      if (observer_ != nullptr) [[unlikely]] {
        observer_->field(slotPosition(offsetIndex), 0, FieldKind::NULL_INDICATOR, type, nullIndex);
      }
      return false;
    }
    skipToRelative(attributeOffset(offsetIndex));
    return true;
  }
  const int8_t flag = readByte();
  if ((flag & 1) != 0) {
    skipBytes(size);
    if (observer_ != nullptr) [[unlikely]] {
      observer_->field(offset() - size - 1, 1, FieldKind::NULL_ELEMENT_FLAG, type, size);
    }
    return false;
  }
  if (observer_ != nullptr) [[unlikely]] observer_->field(offset() - 1, 1, FieldKind::ELEMENT_FLAG, type, flag & 0xFF);
  return true;
}

int64_t UnpickleContext::attributeOffset(int32_t attributeIndex) const {
  if (!attributeOffsets_) lang::throwNullPointer("UnpickleContext has no attribute offsets");
  return attributeOffsets_->at(attributeIndex);
}

int32_t UnpickleContext::slotPosition(int32_t attributeIndex) const noexcept {
  if (!attributeOffsets_ || attributeIndex < 0 || attributeIndex >= attributeOffsets_->length()) {
    return offset_;
  }
  return wrappedFromBase((*attributeOffsets_)[attributeIndex]);
}

int32_t UnpickleContext::mark() noexcept {
  markedOffset_ = offset_;
  return markedOffset_;
}

int32_t UnpickleContext::restoreMark() noexcept {
  offset_ = markedOffset_;
  return offset_;
}

int32_t UnpickleContext::followOffset() {
  requireBytes(4);
  const auto rel = static_cast<int32_t>(loadBE32(cursor()));
  markedOffset_ = offset_ + 4;  // inside the image: checked above
  offset_ = wrappedFromBase(rel);
  return offset_;
}

void UnpickleContext::jumpTo(int64_t rel) noexcept {
  markedOffset_ = offset_;
  offset_ = wrappedFromBase(rel);
}

int32_t UnpickleContext::relativeOffset() const noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(offset_) - static_cast<uint32_t>(baseOffset_));
}

void UnpickleContext::skipToRelative(int32_t rel) noexcept { skipToRelative(int64_t{rel}); }

void UnpickleContext::skipToRelative(int64_t rel) noexcept {
  // offset - base and base + rel in 64 bits: the target lies ahead of the position whenever
  // the test passes, so the cursor never moves backwards; a target past 2^31-1 stops there.
  const int64_t base = baseOffset_;
  if (int64_t{offset_} - base >= rel) return;
  moveTo(rel >= int64_t{INT32_MAX} - base ? int64_t{INT32_MAX} : base + rel);
}

int8_t UnpickleContext::readByte() {
  requireBytes(1);
  return (*image_)[offset_++];
}

Ref<lang::ByteArray> UnpickleContext::readBytes(int32_t n) {
  if (n < 0) throw lang::NegativeArraySizeException(n);  // an array of n bytes cannot exist
  return takeBytes(0, n);
}

int64_t UnpickleContext::readUB4() {
  requireBytes(4);
  const auto value = static_cast<int32_t>(loadBE32(cursor()));
  offset_ += 4;
  return value;
}

int64_t UnpickleContext::readImageLength() {
  const int64_t length = readUB4();
  // security: the length comes from the image; a negative one is no length, and one that
  // claims more than follows would read bytes that are not there or a value without its end
  if (length < 0) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "negative linear image length");
  if (const int64_t left = int64_t{image_->length()} - offset_; length > left) {
    lang::throwIndexOutOfBounds(length, left);
  }
  return length;
}

int16_t UnpickleContext::readSB2() {
  requireBytes(2);
  const auto value = static_cast<int16_t>(loadBE16(cursor()));
  offset_ += 2;
  return value;
}

Ref<lang::ByteArray> UnpickleContext::readUB4Bytes() {
  requireBytes(4);
  return takeBytes(4, static_cast<int32_t>(loadBE32(cursor())));
}

Ref<lang::ByteArray> UnpickleContext::readUB2Bytes() {
  requireBytes(2);
  // The result starts at the length itself: n + 2 bytes, n <= 65535.
  return takeBytes(0, int32_t{loadBE16(cursor())} + 2);
}

Ref<lang::ByteArray> UnpickleContext::readNumberSlot() {
  requireBytes(1);
  const int32_t length = static_cast<uint8_t>(*cursor());
  // A slot holds at most 21 bytes of number: a longer L is no number, and its bytes would run
  // into the next slot. The bulk readers of the number descriptor refuse it the same way.
  if (length > kNumberSlotSize - 1) raiseOverlongNumberSlot();
  requireBytes(1, length);
  Ref<lang::ByteArray> bytes = lang::ByteArray::copyOf(cursor() + 1, length);
  moveTo(int64_t{offset_} + kNumberSlotSize);  // the whole slot, whatever the length
  return bytes;
}

void UnpickleContext::skipBytes(int32_t n) {
  if (n >= 0) moveTo(int64_t{offset_} + n);
}

void UnpickleContext::skipUB4Bytes() {
  requireBytes(4);
  const auto n = static_cast<int32_t>(loadBE32(cursor()));
  moveTo(int64_t{offset_} + 4 + n);
}

void UnpickleContext::skipUB2Bytes() {
  requireBytes(2);
  moveTo(int64_t{offset_} + 2 + loadBE16(cursor()));
}

}  // namespace kelvor::jdbc::kelcore
