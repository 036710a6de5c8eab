#include "lang/SharedBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/CharValue.h"
#include "driver/NumberValue.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Decimal.h"
#include "lang/String.h"
#include "lang/Timestamp.h"

namespace kelvor::jdbc {
namespace {

// A value whose constructor refuses a form of two bytes.
class PickyValue final : public SqlValue {
 public:
  explicit PickyValue(lang::Ref<lang::ByteArray> bytes) : SqlValue(std::move(bytes)) {
    if (byteLength() == 2) throw std::invalid_argument("two bytes");
  }
  explicit PickyValue(InlineForm form) : SqlValue(form) {
    if (byteLength() == 2) throw std::invalid_argument("two bytes");
  }
};

// A value with its bytes inline and the array shareBytes makes of them: either may go first
// (the sanitizer build checks for leaks and for use after free). A constructor that throws
// leaves nothing behind.
TEST(SharedBlockTest, ValueAndItsBytesOutliveEachOtherEitherWay) {
  const int8_t form[] = {0x40, 0x01, 0x2A};  // 42
  lang::Ref<lang::ByteArray> kept;
  {
    const auto value = SqlValue::withBytesCopied<NumberValue>(form, 3);
    EXPECT_EQ(value->intValue(), 42);
    EXPECT_TRUE(value->equals(lang::makeRef<NumberValue>(lang::ByteArray::of({64, 1, 42})).get()));
    kept = value->shareBytes();
  }
  ASSERT_EQ(kept->length(), 3);  // the value is gone; its bytes are not
  EXPECT_EQ(kept->at(2), 42);
  kept = nullptr;

  lang::Ref<NumberValue> value = SqlValue::withBytesCopied<NumberValue>(form, 0);
  EXPECT_EQ(value->getLength(), 0);
  kept = value->shareBytes();
  kept = nullptr;  // the bytes go first
  EXPECT_EQ(value->shareBytes()->length(), 0);
  value = nullptr;

  // A long form gets an array of its own; the value is the same.
  const std::vector<int8_t> text(SqlValue::SHARED_BLOCK_MAX_BYTES + 1, 'k');
  const auto chars = SqlValue::withBytesCopied<CharValue>(
      text.data(), static_cast<int32_t>(text.size()), lang::Ref<CharsetConverter>());
  EXPECT_EQ(chars->stringValue(), std::string(text.begin(), text.end()));

  EXPECT_THROW(SqlValue::withBytesCopied<PickyValue>(form, 2), std::invalid_argument);
  {
    const lang::BlockArena::Scope read;  // the same in a read's block
    EXPECT_THROW(SqlValue::withBytesCopied<PickyValue>(form, 2), std::invalid_argument);
  }
  EXPECT_THROW(SqlValue::withBytesCopied<NumberValue>(form, -1), lang::NegativeArraySizeException);
}

// Forms on both sides of the inline bound, in a read and outside one: the bytes, length,
// equality and hash are those of a value made from an array, shareBytes hands out one array
// however often it is called, and setBytes replaces the form.
TEST(SharedBlockTest, InlineFormsAreTheFormWithoutAnArray) {
  EXPECT_LE(sizeof(NumberValue), 24u);  // where the form is lives in the base's spare bytes
  for (const bool inRead : {false, true}) {
    std::optional<lang::BlockArena::Scope> read;
    if (inRead) read.emplace();
    for (const int32_t length :
         {0, 1, SqlValue::SHARED_BLOCK_MAX_BYTES, SqlValue::SHARED_BLOCK_MAX_BYTES + 1}) {
      SCOPED_TRACE(testing::Message() << "length " << length << (inRead ? " in a read" : ""));
      std::vector<int8_t> form(static_cast<size_t>(length));
      for (size_t i = 0; i < form.size(); ++i) form[i] = static_cast<int8_t>(i * 7 + 1);
      const auto value = SqlValue::withBytesCopied<PickyValue>(form.data(), length);
      const auto same = lang::makeRef<PickyValue>(lang::ByteArray::copyOf(form.data(), length));
      EXPECT_TRUE(value->hasBytes());
      EXPECT_EQ(value->getLength(), length);
      EXPECT_TRUE(std::ranges::equal(value->byteSpan(), form));
      EXPECT_TRUE(value->equals(same.get()));
      EXPECT_TRUE(same->equals(value.get()));
      EXPECT_EQ(value->hashCode(), same->hashCode());
      const lang::Ref<lang::ByteArray> shared = value->shareBytes();
      ASSERT_TRUE(shared);
      EXPECT_EQ(value->shareBytes().get(), shared.get());
      EXPECT_TRUE(std::ranges::equal(shared->span(), form));
      EXPECT_TRUE(std::ranges::equal(value->getBytes()->span(), form));
      EXPECT_NE(value->getBytes().get(), shared.get());

      value->setBytes(lang::ByteArray::of({9, 9, 9}));
      EXPECT_EQ(value->getLength(), 3);
      EXPECT_EQ(value->shareBytes()->at(1), 9);
      EXPECT_FALSE(value->equals(same.get()));
      EXPECT_TRUE(std::ranges::equal(shared->span(), form));  // the old array is the caller's
      value->setBytes(nullptr);
      EXPECT_FALSE(value->hasBytes());
      EXPECT_EQ(value->shareBytes(), nullptr);
      EXPECT_EQ(value->getBytes(), nullptr);
      EXPECT_FALSE(value->equals(same.get()));  // no bytes is not 0 bytes
    }
  }
}

// Threads that ask a fresh inline value for its array at once all get the same one; the
// copies of those that lost the race are freed (the sanitizer builds check both).
TEST(SharedBlockTest, ConcurrentShareBytesPublishesOneArray) {
  const int8_t form[] = {0x40, 0x01, 0x2A};
  for (int round = 0; round < 200; ++round) {
    const auto value = SqlValue::withBytesCopied<NumberValue>(form, 3);
    std::vector<lang::Ref<lang::ByteArray>> got(4);
    std::vector<std::thread> threads;
    for (auto& slot : got) threads.emplace_back([&value, &slot] { slot = value->shareBytes(); });
    for (auto& t : threads) t.join();
    for (const auto& a : got) {
      EXPECT_EQ(a.get(), got[0].get());
      EXPECT_EQ(a->at(2), 42);
    }
  }
}

// The objects of a read share blocks: they outlive the read and each other in any order, on
// any thread, and the block goes with the last of them (the sanitizer build checks for leaks
// and for use after free). A read inside a read uses the outer arena; an arena that has filled
// its blocks, and an object too large to place, fall back to allocations of their own.
TEST(SharedBlockTest, ArenaObjectsOutliveTheReadAndEachOther) {
  const int8_t form[] = {0x40, 0x01, 0x2A};  // 42
  std::vector<lang::Ref<NumberValue>> values;
  lang::Ref<lang::ObjectArray> array;
  lang::Ref<lang::ObjectArray> late;
  {
    {
      const lang::BlockArena::Scope platform(lang::BlockArena::Scope::MIN_IMAGE - 1, false);
      EXPECT_EQ(lang::BlockArena::current(), nullptr);  // a short read to platform objects
    }
    {
      // A short read of values: one block sized from the image, then allocations of their own.
      const lang::BlockArena::Scope small(10, true);
      lang::BlockArena* arena = lang::BlockArena::current();
      ASSERT_NE(arena, nullptr);
      std::vector<void*> places;
      while (void* place = arena->place(8)) places.push_back(place);
      const size_t room = places.size() * 16;                      // back pointer and object
      for (void* place : places) lang::SharedBlock::leave(place);  // never made
      EXPECT_LE(room, 10 * lang::BlockArena::Scope::SHORT_BYTES_PER_IMAGE_BYTE +
                          lang::BlockArena::Scope::SHORT_BASE_BYTES);
      EXPECT_GE(room, 10 * lang::BlockArena::Scope::SHORT_BYTES_PER_IMAGE_BYTE);
      EXPECT_EQ(SqlValue::withBytesCopied<NumberValue>(form, 3)->intValue(), 42);  // block full
    }
    const lang::BlockArena::Scope read;
    lang::BlockArena* arena = lang::BlockArena::current();
    ASSERT_NE(arena, nullptr);
    {
      const lang::BlockArena::Scope inner;
      EXPECT_EQ(lang::BlockArena::current(), arena);
    }
    EXPECT_EQ(lang::BlockArena::current(), arena);
    EXPECT_EQ(arena->place(lang::BlockArena::MAX_PLACED + 1), nullptr);
    array = lang::ObjectArray::make(3);
    for (int i = 0; i < 20000; ++i)  // more than MAX_BLOCKS hold
      values.push_back(SqlValue::withBytesCopied<NumberValue>(form, 3));
    late = lang::ObjectArray::make(3);
    array->set(0, values[0]);
  }
  EXPECT_EQ(lang::BlockArena::current(), nullptr);
  EXPECT_NE(values.front()->classBits() & lang::Object::IN_SHARED_BLOCK, 0);
  EXPECT_NE(array->classBits() & lang::Object::IN_SHARED_BLOCK, 0);
  EXPECT_EQ(late->classBits() & lang::Object::IN_SHARED_BLOCK, 0);  // past MAX_BLOCKS
  // Keep every seventh value and the bytes of every eleventh; the rest goes now.
  std::vector<lang::Ref<lang::Object>> kept;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i % 7 == 0) kept.push_back(values[i]);
    if (i % 11 == 0) kept.push_back(values[i]->shareBytes());
  }
  values.clear();
  EXPECT_EQ(static_cast<NumberValue*>(array->at(0))->intValue(), 42);
  std::thread([moved = std::move(kept)]() mutable {
    for (const auto& o : moved) {
      if (const auto* n = SqlValue::as<SqlValue>(o.get())) {
        EXPECT_EQ(static_cast<const NumberValue*>(n)->intValue(), 42);
      } else {
        EXPECT_EQ(static_cast<const lang::ByteArray&>(*o).at(2), 42);
      }
    }
    moved.clear();
  }).join();
}

// The platform's objects made inside a read are placed in its block, those made outside take
// allocations of their own; either kind outlives the read and goes on any thread (the sanitizer
// build checks that each is freed the way it was allocated, and once).
TEST(SharedBlockTest, PlatformObjectsMadeInAndOutsideAReadGoTheirOwnWay) {
  std::vector<lang::Ref<lang::Object>> made;
  {
    const lang::BlockArena::Scope read(40, true);
    made.push_back(lang::String::of("placed"));
    made.push_back(lang::Decimal::parse("-12.50"));
    made.push_back(lang::Timestamp::of(2026, 12, 8, 1, 2, 3));
    lang::BlockArena* arena = lang::BlockArena::current();
    while (void* place = arena->place(64)) lang::SharedBlock::leave(place);  // fill the block
    made.push_back(lang::String::of("past the block"));
  }
  made.push_back(lang::Decimal::of(7));
  std::thread([kept = std::move(made)]() mutable {
    ASSERT_EQ(kept.size(), 5U);
    EXPECT_EQ(kept[0]->toString(), "placed");
    EXPECT_EQ(kept[1]->toString(), "-12.50");
    EXPECT_EQ(static_cast<const lang::Timestamp&>(*kept[2]).second(), 3);
    EXPECT_EQ(kept[3]->toString(), "past the block");
    EXPECT_EQ(kept[4]->toString(), "7");
    kept.erase(kept.begin() + 1);  // from the middle of the block first
    kept.clear();
  }).join();
}

}  // namespace
}  // namespace kelvor::jdbc
