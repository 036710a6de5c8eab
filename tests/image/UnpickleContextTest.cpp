#include "image/UnpickleContext.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

#include "tests/image/ImageTestBytes.h"

namespace kelvor::jdbc::kelcore {
namespace {

using imagetest::byteArray;
using imagetest::Bytes;
using imagetest::concat;
using imagetest::contents;
using imagetest::counting;
using lang::ByteArray;
using lang::LongArray;

using UC = UnpickleContext;

UnpickleContext at(const Bytes& image, int32_t offset = 0) {
  return UnpickleContext(byteArray(image), offset, nullptr, nullptr, 0);
}

TEST(UnpickleContextTest, ConstructionSetsPositionAndBaseAndKeepsTheArrays) {
  const auto image = byteArray(counting(200));
  const auto nulls = byteArray({0, 1, 0});
  const auto offsets = LongArray::of({0, 4, 26});
  UnpickleContext c(image, 100, nulls, offsets, 5);
  EXPECT_EQ(c.offset(), 100);
  EXPECT_EQ(c.baseOffset(), 100);
  EXPECT_EQ(c.relativeOffset(), 0);
  EXPECT_EQ(c.markedOffset(), 0);
  EXPECT_EQ(c.pendingValue(), nullptr);
  EXPECT_EQ(c.descriptorFlag(), 5);
  EXPECT_EQ(c.image().get(), image.get());
  EXPECT_EQ(c.nullIndicators().get(), nulls.get());
  EXPECT_EQ(c.attributeOffsets().get(), offsets.get());
  EXPECT_EQ(c.isNull(1), 1);
  EXPECT_EQ(c.isNull(2), 0);
  EXPECT_EQ(c.attributeOffset(2), 26);
  for (int32_t bad : {-1, 3, INT32_MAX, INT32_MIN}) {
    EXPECT_THROW((void)c.isNull(bad), lang::IndexOutOfBoundsException) << bad;
    EXPECT_THROW((void)c.attributeOffset(bad), lang::IndexOutOfBoundsException) << bad;
  }
  UnpickleContext bare = at({1, 2});
  EXPECT_THROW((void)bare.isNull(0), lang::NullPointerException);
  EXPECT_THROW((void)bare.attributeOffset(0), lang::NullPointerException);
  UnpickleContext empty;
  EXPECT_EQ(empty.offset(), 0);
  EXPECT_THROW((void)empty.readByte(), lang::NullPointerException);
}

TEST(UnpickleContextTest, FollowOffsetMarksThePlaceAfterItAndRestoreReturns) {
  Bytes image = counting(120);
  image[104] = 0x00;
  image[105] = 0x00;
  image[106] = 0x00;
  image[107] = 0x10;
  UnpickleContext c(byteArray(image), 100, nullptr, nullptr, 0);
  c.skipBytes(4);
  EXPECT_EQ(c.followOffset(), 116);
  EXPECT_EQ(c.offset(), 116);
  EXPECT_EQ(c.markedOffset(), 108);
  EXPECT_EQ(c.readByte(), 116);
  EXPECT_EQ(c.restoreMark(), 108);
  EXPECT_EQ(c.offset(), 108);
  EXPECT_EQ(c.mark(), 108);

  // jumpTo: relative to the base, low 32 bits of the sum.
  c.jumpTo(8);
  EXPECT_EQ(c.offset(), 108);
  c.jumpTo((int64_t{1} << 32) + 10);
  EXPECT_EQ(c.offset(), 110);
  EXPECT_EQ(c.markedOffset(), 108);
}

TEST(UnpickleContextTest, HostileRelativeOffsetsLeadNowhereReadable) {
  struct Case {
    const char* name;
    Bytes rel;
  };
  const Case cases[] = {
      {"2^31-1", {0x7F, 0xFF, 0xFF, 0xFF}},  // base + rel wraps below zero
      {"-2^31", {0x80, 0x00, 0x00, 0x00}},
      {"past the end", {0x00, 0x00, 0x01, 0x00}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    UnpickleContext c = at(concat({counting(100), k.rel, {0x77}}), 100);
    (void)c.followOffset();
    EXPECT_THROW((void)c.readByte(), lang::IndexOutOfBoundsException);
    EXPECT_THROW((void)c.readUB4Bytes(), lang::IndexOutOfBoundsException);
    EXPECT_EQ(c.restoreMark(), 104);
    EXPECT_EQ(c.readByte(), 0x77);
  }
  // 64-bit jumps at the extremes compute without overflow.
  UnpickleContext c = at(counting(8), 4);
  for (int64_t rel : {INT64_MAX, INT64_MIN, int64_t{INT32_MAX}, int64_t{INT32_MIN}}) {
    c.jumpTo(rel);
    EXPECT_EQ(c.offset(), static_cast<int32_t>(static_cast<uint64_t>(rel) + 4)) << rel;
  }
}

TEST(UnpickleContextTest, SkipToRelativeNeverMovesBackwards) {
  struct Case {
    int32_t fromRel;
    int64_t rel;
    int32_t expectedRel;
  };
  const Case cases[] = {{10, 8, 10}, {3, 8, 8}, {3, 3, 3}, {3, -5, 3}, {0, 0, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.rel);
    UnpickleContext a = at(counting(64), 20);
    a.skipBytes(k.fromRel);
    a.skipToRelative(static_cast<int32_t>(k.rel));
    EXPECT_EQ(a.relativeOffset(), k.expectedRel);
    UnpickleContext b = at(counting(64), 20);
    b.skipBytes(k.fromRel);
    b.skipToRelative(k.rel);
    EXPECT_EQ(b.relativeOffset(), k.expectedRel);
  }
  // Targets beyond 2^31-1 stop there instead of wrapping round behind the cursor.
  struct Far {
    const char* name;
    int32_t base;
    std::function<void(UnpickleContext&)> op;
  };
  const Far far[] = {
      {"64-bit 2^32 + 1", 0, [](UC& c) { c.skipToRelative((int64_t{1} << 32) + 1); }},
      {"64-bit INT64_MAX", 2, [](UC& c) { c.skipToRelative(INT64_MAX); }},
      {"32-bit past the top", INT32_MAX - 10, [](UC& c) { c.skipToRelative(100); }},
      {"32-bit INT32_MAX", 5, [](UC& c) { c.skipToRelative(INT32_MAX); }},
  };
  for (const Far& f : far) {
    SCOPED_TRACE(f.name);
    UnpickleContext c = at(counting(8), f.base);
    f.op(c);
    EXPECT_EQ(c.offset(), INT32_MAX);
    EXPECT_THROW((void)c.readByte(), lang::IndexOutOfBoundsException);
  }
}

TEST(UnpickleContextTest, FixedWidthReads) {
  struct Case {
    Bytes bytes;
    std::function<int64_t(UnpickleContext&)> read;
    int64_t value;
    int32_t consumed;
  };
  const auto sb2 = [](UC& c) -> int64_t { return c.readSB2(); };
  const auto ub4 = [](UC& c) -> int64_t { return c.readUB4(); };
  const auto byte = [](UC& c) -> int64_t { return c.readByte(); };
  const Case cases[] = {
      {{0xFF, 0xFE}, sb2, -2, 2},
      {{0x7F, 0xFF}, sb2, 32767, 2},
      {{0x80, 0x00}, sb2, -32768, 2},
      {{0xFF, 0xFF, 0xFF, 0xFF}, ub4, -1, 4},
      {{0x80, 0x00, 0x00, 0x00}, ub4, INT32_MIN, 4},
      {{0x00, 0x00, 0x01, 0x02}, ub4, 258, 4},
      {{0x80}, byte, -128, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.value);
    UnpickleContext c = at(concat({{0x99}, k.bytes, {0x42}}), 1);
    EXPECT_EQ(k.read(c), k.value);
    EXPECT_EQ(c.offset(), 1 + k.consumed);
    EXPECT_EQ(c.readByte(), 0x42);
    // One byte short: fails, consumes nothing.
    UnpickleContext s = at(concat({{0x99}, Bytes(k.bytes.begin(), k.bytes.end() - 1)}), 1);
    EXPECT_THROW(k.read(s), lang::IndexOutOfBoundsException);
    EXPECT_EQ(s.offset(), 1);
  }
}

TEST(UnpickleContextTest, LengthPrefixedReadsAndNumberSlots) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::function<Ref<ByteArray>(UnpickleContext&)> read;
    Bytes value;
    int32_t consumed;
  };
  const auto ub4 = [](UC& c) { return c.readUB4Bytes(); };
  const auto ub2 = [](UC& c) { return c.readUB2Bytes(); };
  const auto slot = [](UC& c) { return c.readNumberSlot(); };
  const Case cases[] = {
      {"UB4 value", {0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB}, ub4, {0xAA, 0xBB}, 6},
      {"empty UB4 value", {0x00, 0x00, 0x00, 0x00}, ub4, {}, 4},
      {"UB2 value with its length", {0x00, 0x03, 0x41, 0x42, 0x43}, ub2,
       {0x00, 0x03, 0x41, 0x42, 0x43}, 5},
      {"empty UB2 value", {0x00, 0x00}, ub2, {0x00, 0x00}, 2},
      {"number slot of 2", concat({{0x02, 0xC1, 0x02}, counting(19)}), slot, {0xC1, 0x02}, 22},
      {"number slot of 21", concat({{21}, counting(21, 1)}), slot, counting(21, 1), 22},
      {"number slot of 0", counting(22), slot, {}, 22},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    UnpickleContext c = at(concat({{0x99, 0x98}, k.bytes, {0x42}}), 2);
    EXPECT_EQ(contents(k.read(c)), k.value);
    EXPECT_EQ(c.offset(), 2 + k.consumed);
    EXPECT_EQ(c.readByte(), 0x42);
  }
  // A number slot consumes 22 bytes even when its unused tail is missing; the next read fails.
  UnpickleContext c = at({0x01, 0x05});
  EXPECT_EQ(contents(c.readNumberSlot()), Bytes{0x05});
  EXPECT_EQ(c.offset(), 22);
  EXPECT_THROW((void)c.readByte(), lang::IndexOutOfBoundsException);
}

TEST(UnpickleContextTest, HostileOrTruncatedLengthsFailWithoutReadingOrMoving) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::function<void(UnpickleContext&)> op;
  };
  const auto ub4 = [](UC& c) { (void)c.readUB4Bytes(); };
  const auto ub2 = [](UC& c) { (void)c.readUB2Bytes(); };
  const auto slot = [](UC& c) { (void)c.readNumberSlot(); };
  const Case cases[] = {
      {"UB4 2^31-1", {0x7F, 0xFF, 0xFF, 0xFF, 0x01}, ub4},
      {"UB4 negative", {0x80, 0x00, 0x00, 0x00, 0x01}, ub4},
      {"UB4 -1", {0xFF, 0xFF, 0xFF, 0xFF}, ub4},
      {"UB4 value short", {0x00, 0x00, 0x00, 0x05, 0xAA}, ub4},
      {"UB4 length short", {0x00, 0x00, 0x00}, ub4},
      {"UB2 value short", {0x00, 0x03, 0x41, 0x42}, ub2},
      {"UB2 65535", {0xFF, 0xFF, 0x00}, ub2},
      {"UB2 length short", {0x00}, ub2},
      {"number short", {0x05, 0x01, 0x02}, slot},
      {"number at the end", {}, slot},
      {"follow short", {0x00, 0x00, 0x00}, [](UC& c) { (void)c.followOffset(); }},
      {"skip UB4 short", {0x00, 0x00}, [](UC& c) { c.skipUB4Bytes(); }},
      {"skip UB2 short", {0x00}, [](UC& c) { c.skipUB2Bytes(); }},
      {"bytes short", {0x01, 0x02, 0x03}, [](UC& c) { (void)c.readBytes(4); }},
      {"bytes INT32_MAX", {0x01}, [](UC& c) { (void)c.readBytes(INT32_MAX); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    UnpickleContext c = at(concat({{0x99}, k.bytes}), 1);
    EXPECT_THROW(k.op(c), lang::IndexOutOfBoundsException);
    EXPECT_EQ(c.offset(), 1);
    EXPECT_EQ(c.markedOffset(), 0);
  }
  UnpickleContext c = at({1, 2});
  EXPECT_THROW((void)c.readBytes(-1), lang::NegativeArraySizeException);
  EXPECT_EQ(c.offset(), 0);
}

TEST(UnpickleContextTest, Skips) {
  UnpickleContext c = at(counting(32));
  c.skipBytes(-1);
  c.skipBytes(0);
  EXPECT_EQ(c.offset(), 0);
  c.skipBytes(5);
  EXPECT_EQ(c.offset(), 5);

  UnpickleContext u4 = at({0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0x42});
  u4.skipUB4Bytes();
  EXPECT_EQ(u4.offset(), 6);
  UnpickleContext u2 = at({0x00, 0x02, 0xAA, 0xBB, 0x42});
  u2.skipUB2Bytes();
  EXPECT_EQ(u2.offset(), 4);
  // A skip ends where the length says; the next read checks it.
  UnpickleContext past = at({0x00, 0x00, 0x00, 0x09, 0xAA});
  past.skipUB4Bytes();
  EXPECT_EQ(past.offset(), 13);
  EXPECT_THROW((void)past.readByte(), lang::IndexOutOfBoundsException);
  // A negative UB4 length moves by what it says, from the end of the length.
  UnpickleContext back = at({0x10, 0x11, 0x12, 0x13, 0xFF, 0xFF, 0xFF, 0xFF}, 4);
  back.skipUB4Bytes();
  EXPECT_EQ(back.offset(), 7);
  // Forward moves stop at 2^31-1.
  UnpickleContext top = at({0x7F, 0xFF, 0xFF, 0xFF});
  top.skipUB4Bytes();
  EXPECT_EQ(top.offset(), INT32_MAX);
  UnpickleContext big = at(counting(16), 10);
  big.skipBytes(INT32_MAX);
  EXPECT_EQ(big.offset(), INT32_MAX);
  EXPECT_THROW((void)big.readByte(), lang::IndexOutOfBoundsException);
}

// An object at offset 3 of a larger buffer: flag byte, UB4 value, UB2 value, SB2, UB4, a
// relative offset to an out-of-line UB4 value at the end, and a number slot.
TEST(UnpickleContextTest, EveryProperPrefixOfALinearImageFailsCleanly) {
  const Bytes image = concat({
      {0xE0, 0xE1, 0xE2},            // before the object
      {0x01},                        // 3: flag byte
      {0x00, 0x00, 0x00, 0x03},      // 4: UB4 length
      {0xAA, 0xBB, 0xCC},            // 8
      {0x00, 0x02, 0xDD, 0xEE},      // 11: UB2 value
      {0xFF, 0xFE},                  // 15: SB2
      {0x00, 0x00, 0x01, 0x00},      // 17: UB4
      {0x00, 0x00, 0x00, 0x2C},      // 21: relative offset 44 -> 47
      concat({{0x03, 0xC2, 0x01, 0x02}, counting(18)}),  // 25: number slot
      {0x00, 0x00, 0x00, 0x02, 0x12, 0x34},             // 47: out-of-line value
  });
  ASSERT_EQ(image.size(), 53u);
  const auto script = [](UnpickleContext& c) {
    EXPECT_EQ(c.readByte(), 1);
    EXPECT_EQ(contents(c.readUB4Bytes()), (Bytes{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(contents(c.readUB2Bytes()), (Bytes{0x00, 0x02, 0xDD, 0xEE}));
    EXPECT_EQ(c.readSB2(), -2);
    EXPECT_EQ(c.readUB4(), 256);
    EXPECT_EQ(c.followOffset(), 47);
    EXPECT_EQ(contents(c.readUB4Bytes()), (Bytes{0x12, 0x34}));
    EXPECT_EQ(c.restoreMark(), 25);
    EXPECT_EQ(contents(c.readNumberSlot()), (Bytes{0xC2, 0x01, 0x02}));
    EXPECT_EQ(c.relativeOffset(), 44);
  };
  UnpickleContext whole = at(image, 3);
  script(whole);
  for (size_t k = 0; k < image.size(); ++k) {
    SCOPED_TRACE(k);
    UnpickleContext c = at(Bytes(image.begin(), image.begin() + k), 3);
    EXPECT_THROW(script(c), lang::IndexOutOfBoundsException);
  }
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
