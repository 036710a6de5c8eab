#include <gtest/gtest.h>

#include "lang/ByteArrayInputStream.h"
#include "lang/ByteArrayOutputStream.h"

namespace kelvor::lang {
namespace {

TEST(ByteArrayStreamTest, InputReadsBytesUnsignedThenMinusOneAtTheEnd) {
  ByteArrayInputStream in(ByteArray::of({-1, 5}));
  EXPECT_EQ(in.available(), 2);
  EXPECT_EQ(in.read(), 255);
  EXPECT_EQ(in.read(), 5);
  EXPECT_EQ(in.read(), -1);
  const Ref<ByteArray> dst = ByteArray::make(4);
  EXPECT_EQ(in.read(*dst, 0, 4), -1);
  EXPECT_EQ(in.read(*dst, 0, 0), 0);
}

TEST(ByteArrayStreamTest, InputChecksRangesClipsWindowsAndClampsSkips) {
  const Ref<ByteArray> src = ByteArray::of({1, 2, 3, 4, 5});
  ByteArrayInputStream window(src, 1, 100);  // clipped to the array's end
  EXPECT_EQ(window.available(), 4);
  const Ref<ByteArray> dst = ByteArray::make(3);
  EXPECT_THROW(window.read(*dst, 2, 2), IndexOutOfBoundsException);
  EXPECT_THROW(window.read(*dst, -1, 1), IndexOutOfBoundsException);
  EXPECT_EQ(window.read(*dst, 1, 2), 2);
  EXPECT_EQ(dst->at(1), 2);
  EXPECT_EQ(dst->at(2), 3);
  window.mark();
  EXPECT_EQ(window.skip(-5), 0);
  EXPECT_EQ(window.skip(100), 2);  // only what remains
  EXPECT_EQ(window.available(), 0);
  window.reset();
  EXPECT_EQ(window.read(), 4);
  EXPECT_THROW(ByteArrayInputStream(src, 6, 1), IndexOutOfBoundsException);
  EXPECT_THROW(ByteArrayInputStream(nullptr), NullPointerException);
}

TEST(ByteArrayStreamTest, OutputGrowsAndKeepsEveryByte) {
  ByteArrayOutputStream out(1);
  for (int i = 0; i < 1000; ++i) out.write(i);
  const int8_t tail[] = {7, 8, 9};
  out.write(tail, 3);
  EXPECT_EQ(out.size(), 1003);
  EXPECT_GE(out.capacity(), 1003);
  const Ref<ByteArray> bytes = out.toByteArray();
  ASSERT_EQ(bytes->length(), 1003);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(bytes->at(i), static_cast<int8_t>(i)) << i;
  EXPECT_EQ(bytes->at(1002), 9);
  EXPECT_THROW(out.write(*bytes, 1000, 4), IndexOutOfBoundsException);
  out.reset();
  EXPECT_EQ(out.size(), 0);
  EXPECT_THROW(ByteArrayOutputStream(-1), IllegalArgumentException);
}

// The detached array owns the buffer: later writes to the stream, which starts again from
// nothing, never show through it, and each array frees its own bytes (the sanitizer build
// checks that none is freed twice or kept).
TEST(ByteArrayStreamTest, DetachedArrayTakesTheBytesAndLeavesTheStreamEmpty) {
  ByteArrayOutputStream out(0);
  EXPECT_EQ(out.detachByteArray()->length(), 0);
  const int8_t body[] = {1, 2, 3, 4, 5};
  for (int i = 0; i < 100; ++i) out.write(body, 5);
  const Ref<ByteArray> first = out.detachByteArray();
  EXPECT_EQ(out.size(), 0);
  EXPECT_EQ(out.capacity(), 0);
  out.write(body + 4, 1);
  out.write(9);
  const Ref<ByteArray> second = out.detachByteArray();
  ASSERT_EQ(first->length(), 500);
  for (int i = 0; i < 500; ++i) ASSERT_EQ(first->at(i), body[i % 5]) << i;
  EXPECT_TRUE(second->sameContents(*ByteArray::of({5, 9})));
  EXPECT_THROW(ByteArray::adoptBuffer(nullptr, -1), NegativeArraySizeException);
}

// A stream that starts in its creator's buffer keeps the bytes there until they outgrow it,
// then in a buffer of its own; the creator's buffer is never freed (the sanitizer build checks
// it), and detaching copies out of it.
TEST(ByteArrayStreamTest, BorrowedBufferIsUsedUntilOutgrownAndNeverFreed) {
  for (const int32_t total : {0, 7, 8, 9, 100}) {
    SCOPED_TRACE(total);
    int8_t scratch[8] = {};
    ByteArrayOutputStream out(scratch, 8);
    for (int32_t i = 0; i < total; ++i) out.write(i + 1);
    if (total <= 8) {
      EXPECT_EQ(out.capacity(), 8);
      if (total > 0) {
        EXPECT_EQ(scratch[total - 1], total);
      }
    }
    const Ref<ByteArray> bytes = out.detachByteArray();
    ASSERT_EQ(bytes->length(), total);
    for (int32_t i = 0; i < total; ++i) ASSERT_EQ(bytes->at(i), i + 1) << i;
    EXPECT_NE(bytes->data(), scratch);
    EXPECT_EQ(out.capacity(), 0);
    out.write(5);  // starts again on a buffer of its own
    EXPECT_TRUE(out.toByteArray()->sameContents(*ByteArray::of({5})));
  }
}

}  // namespace
}  // namespace kelvor::lang
