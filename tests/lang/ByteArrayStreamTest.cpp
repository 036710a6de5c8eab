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

}  // namespace
}  // namespace kelvor::lang
