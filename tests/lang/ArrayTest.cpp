#include "lang/Array.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "lang/String.h"

namespace kelvor::lang {
namespace {

TEST(ArrayTest, NewArraysAreZeroedAndCheckedAccessGuardsBothEnds) {
  const Ref<LongArray> a = LongArray::make(3);
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(a->at(i), 0);
  a->set(2, -7);
  EXPECT_EQ(a->at(2), -7);
  EXPECT_THROW(a->at(3), IndexOutOfBoundsException);
  EXPECT_THROW(a->at(-1), IndexOutOfBoundsException);
  EXPECT_THROW(a->set(3, 1), IndexOutOfBoundsException);
  EXPECT_THROW(IntArray::make(-1), NegativeArraySizeException);
  EXPECT_THROW(IntArray::make(int64_t{INT32_MAX} + 1), IllegalArgumentException);
  EXPECT_EQ(ByteArray::make(0)->length(), 0);
  EXPECT_STREQ(CharArray::make(0)->className(), "char[]");
}

TEST(ArrayTest, EqualsIsIdentityWhileSameContentsComparesElements) {
  const Ref<IntArray> a = IntArray::of({1, 2});
  const Ref<IntArray> b = IntArray::of({1, 2});
  EXPECT_FALSE(a->equals(b.get()));
  EXPECT_TRUE(a->sameContents(*b));
  EXPECT_FALSE(a->sameContents(*IntArray::of({1})));
}

TEST(ArrayTest, ObjectArrayKnowsItsElementClass) {
  const Ref<ObjectArray> strings = ObjectArray::makeOf<String>(2);
  EXPECT_TRUE(strings->isArrayOf<String>());
  EXPECT_FALSE(strings->isArrayOf<Object>());
  EXPECT_EQ(strings->at(1), nullptr);
  EXPECT_THROW(strings->set(2, String::of("x")), IndexOutOfBoundsException);
  EXPECT_TRUE(ObjectArray::make(0)->isArrayOf<Object>());
}

// Long runs are copied in pieces: every length around the piece size, at every offset of the
// source within a word, arrives whole (each byte distinct, so a piece dropped, repeated or
// shifted shows).
TEST(ArrayTest, LongCopiesArriveWholeAcrossThePieces) {
  std::vector<int8_t> source(3 * lang::COPY_PIECE + 16);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<int8_t>(i * 7 + i / 251);
  for (const size_t length : {lang::COPY_PIECE - 1, lang::COPY_PIECE, lang::COPY_PIECE + 1,
                              2 * lang::COPY_PIECE, 3 * lang::COPY_PIECE + 5}) {
    for (size_t shift = 0; shift < 8; shift += 3) {
      auto copy = lang::ByteArray::copyOf(source.data() + shift, static_cast<int32_t>(length));
      ASSERT_EQ(copy->length(), static_cast<int32_t>(length));
      EXPECT_EQ(std::memcmp(copy->data(), source.data() + shift, length), 0)
          << length << "+" << shift;
    }
  }
}

}  // namespace
}  // namespace kelvor::lang
