#include "adt/StreamInfo.h"

#include <algorithm>
#include <utility>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/ByteOrder.h"
#include "lang/Exceptions.h"

namespace kelvor::jdbc::kelcore {
namespace {

// Positions are clamped to ±2^40: far outside any array (arrays stop below 2^31), and far
// inside int64, so adding one more 32-bit step can never overflow.
constexpr int64_t POSITION_BAND = int64_t{1} << 40;

}  // namespace

StreamInfo::StreamInfo(Ref<lang::ByteArray> bytes, int64_t offset)
    : bytes_(std::move(bytes)),
      startOffset_(static_cast<int32_t>(offset)),  // low 32 bits
      offset_(startOffset_) {
  if (!bytes_) lang::throwNullPointer("StreamInfo over null");
}

void StreamInfo::throwShortRead(int32_t n) const {
  lang::throwIndexOutOfBounds(offset_ + n - 1, bytes_->length());
}

void StreamInfo::moveTo(int64_t position) noexcept {
  offset_ = std::clamp(position, -POSITION_BAND, POSITION_BAND);
}

void StreamInfo::addPatch(int64_t position, int8_t typeByte, Ref<KelvorType> owner) {
  addPatch(lang::makeRef<TDSPatch>(TDSPatch::KIND_OBJECT_TYPE, std::move(owner), position,
                                   typeByte));
}

void StreamInfo::addPatch(Ref<TDSPatch> patch) {
  if (!patch) lang::throwNullPointer("addPatch of null");
  patches_.push_back(std::move(patch));
}

void StreamInfo::addPatch(int64_t position, Ref<KelvorType> owner) {
  addPatch(lang::makeRef<TDSPatch>(TDSPatch::KIND_ELEMENT_TYPE, std::move(owner), position,
                                   int8_t{0}));
}

void StreamInfo::expectByte(int8_t expected) {
  if (readByte() != expected) {
    ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "unexpected byte in type descriptor");
  }
}

Ref<TDSPatch> StreamInfo::nextPatchSince(int32_t& cursor) {
  while (cursor >= 0 && static_cast<size_t>(cursor) < patches_.size()) {
    Ref<TDSPatch> patch = std::move(patches_[static_cast<size_t>(cursor)]);
    ++cursor;
    if (patch) return patch;  // null: taken already
  }
  return nullptr;
}

void StreamInfo::dropPatchesFrom(int32_t mark) {
  if (mark < 0 || static_cast<size_t>(mark) >= patches_.size()) return;
  patches_.resize(static_cast<size_t>(mark));
  head_ = std::min(head_, patches_.size());
}

Ref<TDSPatch> StreamInfo::nextPatch() {
  while (head_ < patches_.size()) {
    Ref<TDSPatch> first = std::move(patches_[head_]);
    ++head_;
    if (first) return first;
  }
  return nullptr;
}

int64_t StreamInfo::seekToPatch(const TDSPatch& patch) {
  const int64_t rel = getRelativeOffset();
  const int64_t position = patch.getPosition();
  if (rel < position) {
    setRelativeOffset(position);
  } else if (rel > position) {
    // Fix-up descriptions always lie ahead of the pass; going back would reparse (or loop).
    ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "fix-up position behind the reader");
  }
  return position;
}

int8_t StreamInfo::readByte() {
  requireBytes(1);
  const int8_t b = (*bytes_)[static_cast<int32_t>(offset_)];
  offset_ += 1;
  return b;
}

int64_t StreamInfo::readUB4() {
  requireBytes(4);
  const uint32_t v = loadBE32(bytes_->data() + offset_);
  offset_ += 4;
  return static_cast<int32_t>(v);  // widened with its sign
}

int16_t StreamInfo::readSB2() {
  requireBytes(2);
  const auto v = static_cast<int16_t>(loadBE16(bytes_->data() + offset_));
  offset_ += 2;
  return v;
}

int32_t StreamInfo::readUB1() { return readByte() & 0xFF; }

void StreamInfo::skipBytes(int32_t n) { moveTo(offset_ + n); }

void StreamInfo::setRelativeOffset(int64_t rel) {
  // security: rel comes from the TDS; clamp before adding so the sum stays inside int64
  moveTo(startOffset_ + std::clamp(rel, -POSITION_BAND, POSITION_BAND));
}

}  // namespace kelvor::jdbc::kelcore
