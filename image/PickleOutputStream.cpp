#include "image/PickleOutputStream.h"

#include <climits>
#include <cstring>
#include <mutex>

#include "lang/Exceptions.h"

namespace kelvor::jdbc::kelcore {

PickleOutputStream::PickleOutputStream() = default;

PickleOutputStream::PickleOutputStream(int32_t initialSize)
    : lang::ByteArrayOutputStream(initialSize) {}

PickleOutputStream::PickleOutputStream(int8_t* scratch, int32_t capacity) noexcept
    : lang::ByteArrayOutputStream(scratch, capacity) {}

void PickleOutputStream::write(int32_t b) {
  std::lock_guard<lang::Monitor> hold(lock_);
  appendHeld(b);
}

void PickleOutputStream::write(const int8_t* src, int32_t n) {
  if (n <= 0) return;
  std::lock_guard<lang::Monitor> hold(lock_);
  appendHeld(src, n);
}

void PickleOutputStream::writeWithPrefix(const int8_t* prefix, int32_t prefixLen,
                                         const int8_t* src, int32_t n) {
  std::lock_guard<lang::Monitor> hold(lock_);
  const int64_t extra = int64_t{prefixLen} + n;
  if (extra > capacity_ - count_) {
    if (extra > INT32_MAX) throw lang::IllegalArgumentException("stream above 2^31-1 bytes");
    ensureRoom(static_cast<int32_t>(extra));
  }
  int8_t* out = buf_ + count_;
  if (prefixLen > 0) std::memcpy(out, prefix, static_cast<size_t>(prefixLen));
  if (n > 0) lang::copyBytes(out + prefixLen, src, static_cast<size_t>(n));
  count_ += static_cast<int32_t>(extra);
}

int32_t PickleOutputStream::offset() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  return count_;
}

void PickleOutputStream::overwrite(int32_t beginOffset, const lang::ByteArray* b, int32_t off,
                                   int32_t len) {
  if (b == nullptr) lang::throwNullPointer("PickleOutputStream.overwrite from null");
  std::lock_guard<lang::Monitor> hold(lock_);
  // Every operand is the caller's: compare, never add, so that no sum can wrap round.
  // Source: 0 <= off <= b.length and 0 <= len <= b.length - off.
  const bool sourceOk = off >= 0 && len >= 0 && off <= b->length() && len <= b->length() - off;
  if (!sourceOk) throw lang::IndexOutOfBoundsException();
  overwriteHeld(beginOffset, b->data() + off, len);
}

void PickleOutputStream::throwOutside() { throw lang::IndexOutOfBoundsException(); }

}  // namespace kelvor::jdbc::kelcore
