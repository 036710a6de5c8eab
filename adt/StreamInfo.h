// The reader of one type descriptor segment (TDS), handed to every descriptor's parseTDS. It
// walks the TDS bytes front to back, hands out null-indicator and offset indexes in parse
// order, and queues the fix-ups that the object type's parser resolves after its attribute
// list. Belongs to the one thread that parses.
//
// TDS numbers are big-endian: UB1 unsigned byte, SB2 signed 16-bit, UB4 four bytes read as a
// 32-bit number and widened with its sign (FF FF FF FF -> -1).
//
// Every read checks the bytes that remain before it touches memory and fails with
// IndexOutOfBoundsException, reading and advancing nothing. Positions are kept in 64 bits, so
// a hostile skip or seek cannot wrap around into the TDS: it leaves the position outside the
// bytes, and the next read fails.
#pragma once

#include <cstdint>
#include <vector>

#include "adt/TDSPatch.h"
#include "lang/Array.h"
#include "lang/Object.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class StreamInfo : public lang::Object {
 public:
  // Over the TDS in bytes, starting at the low 32 bits of offset. Null bytes:
  // NullPointerException.
  StreamInfo(Ref<lang::ByteArray> bytes, int64_t offset);

  // The absolute index in getBytes() of the next byte to read.
  int64_t getOffset() const noexcept { return offset_; }
  // Queues TDSPatch(KIND_OBJECT_TYPE, owner, position, typeByte).
  void addPatch(int64_t position, int8_t typeByte, Ref<KelvorType> owner);
  // Appends a patch; a null patch throws NullPointerException (the queue never holds one, so
  // nextPatch's null always means empty).
  void addPatch(Ref<TDSPatch> patch);
  // Queues TDSPatch(KIND_ELEMENT_TYPE, owner, position, 0).
  void addPatch(int64_t position, Ref<KelvorType> owner);
  // Reads one byte; unequal to expected (both signed): ERR_TDS_FORMAT. The position moves past
  // the byte either way.
  void expectByte(int8_t expected);
  // Removes and returns the oldest queued patch; null when none is queued.
  Ref<TDSPatch> nextPatch();
  // Moves forward to the patch's position; a position behind the current one: ERR_TDS_FORMAT.
  // Returns the patch's position.
  int64_t seekToPatch(const TDSPatch& patch);
  // The position relative to the start of the TDS.
  int64_t getRelativeOffset() const noexcept { return offset_ - startOffset_; }
  int8_t readByte();
  int64_t readUB4();
  int16_t readSB2();
  int32_t readUB1();
  // Moves the position by n (negative moves back); checked by the next read.
  void skipBytes(int32_t n);
  // Moves to a position relative to the start of the TDS; checked by the next read.
  void setRelativeOffset(int64_t rel);
  const Ref<lang::ByteArray>& getBytes() const noexcept { return bytes_; }

  // The two index counters, read and advanced in place by the descriptors' parseTDS: a
  // descriptor takes its nullIndex and offsetIndex from them, then advances them.
  int32_t& nullIndexCounter() noexcept { return nullIndexCounter_; }
  int32_t& offsetIndexCounter() noexcept { return offsetIndexCounter_; }
  // Nesting depth of embedded types and fix-ups being parsed; a DepthGuard bounds it.
  int32_t& depth() noexcept { return depth_; }
  // Patches queued and not yet taken.
  int32_t pendingPatches() const noexcept {
    return static_cast<int32_t>(patches_.size() - head_);
  }
  // Where the next queued patch will stand: an attribute list notes the mark when it begins,
  // and its fix-up pass takes the patches from there on.
  int32_t patchMark() const noexcept { return static_cast<int32_t>(patches_.size()); }
  // Takes the patch at `cursor` and advances the cursor; null once the cursor reaches the end
  // of the queue. Patches queued while a pass runs land behind the cursor's end and are taken
  // in turn; those before the pass's mark (enclosing lists') stay in place.
  Ref<TDSPatch> nextPatchSince(int32_t& cursor);
  // Forgets the patches from `mark` on, once a pass has taken them all.
  void dropPatchesFrom(int32_t mark);

  const char* className() const noexcept override { return "StreamInfo"; }

 private:
  // Throws IndexOutOfBoundsException unless n bytes remain at the position.
  void requireBytes(int32_t n) const {
    // security: the position may have been moved anywhere by untrusted skips and seeks;
    // compare it with the length, never add to it
    if (offset_ < 0 || n > bytes_->length() - offset_) throwShortRead(n);
  }
  [[noreturn]] void throwShortRead(int32_t n) const;
  // Stores a new position, kept within a band far wider than any array so that repeated
  // hostile moves cannot overflow 64 bits either.
  void moveTo(int64_t position) noexcept;

  int32_t nullIndexCounter_ = 0;    // next null-indicator index to hand out
  int32_t offsetIndexCounter_ = 0;  // next offset index to hand out
  // Queued fix-ups, oldest first. Taken ones stay as null until their pass drops them, so that
  // taking is O(1) and marks keep their meaning: the queue is linear in the fix-ups.
  std::vector<Ref<TDSPatch>> patches_;
  size_t head_ = 0;                 // nextPatch's position: patches before it are taken
  Ref<lang::ByteArray> bytes_;      // the array holding the TDS
  int32_t startOffset_;             // index in bytes_ where the TDS starts
  int64_t offset_;                  // index in bytes_ of the next byte; may lie outside
  int32_t depth_ = 0;               // nesting depth while parsing
};

}  // namespace kelvor::jdbc::kelcore
