#include "types/KelvorType.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <latch>
#include <thread>
#include <vector>

#include "adt/StreamInfo.h"
#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/RawValue.h"
#include "image/PickleContext.h"
#include "lang/Array.h"
#include "lang/String.h"
#include "types/Util.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::makeRef;
using lang::ObjectArray;
using typetest::bytesOf;
using typetest::codeOf;
using typetest::filled;
using typetest::TestType;

// A value whose reported length disagrees with its bytes.
class InconsistentValue final : public SqlValue {
 public:
  explicit InconsistentValue(Ref<ByteArray> bytes) : SqlValue(std::move(bytes)) {}
  int64_t getLength() const noexcept override { return 10; }
};

// fd[5] = 0, so entry 5 sits at index 11.
constexpr int32_t ENTRY_5_AT = 11;
Ref<ByteArray> formatDescriptorWithEntry5(int entry) {
  auto fd = ByteArray::make(16);
  (*fd)[ENTRY_5_AT] = static_cast<int8_t>(entry);
  return fd;
}

TEST(KelvorTypeTest, FirstAlignmentQueryFillsTheSizeAndLaterQueriesKeepTheCache) {
  auto fd = formatDescriptorWithEntry5(0x23);  // size 4, mask 3
  auto t = makeRef<TestType>();
  EXPECT_EQ(t->getNativeAlignment(fd.get()), 3);
  (*fd)[ENTRY_5_AT] = 0x45;  // size 8, mask 5: only seen if fd were read again
  EXPECT_EQ(t->getNativeSize(fd.get()), 4);
  EXPECT_EQ(t->getNativeAlignment(fd.get()), 3);
  // Once filled, the descriptor is not even looked at.
  EXPECT_EQ(t->getNativeSize(nullptr), 4);

  auto other = makeRef<TestType>();
  EXPECT_EQ(other->getNativeSize(fd.get()), 8);
  EXPECT_EQ(other->getNativeAlignment(nullptr), 5);
}

TEST(KelvorTypeTest, SizeZeroEntryIsLookedUpAgainOnEveryCall) {
  auto fd = formatDescriptorWithEntry5(0x03);  // size 0, mask 3
  auto t = makeRef<TestType>();
  EXPECT_EQ(t->getNativeSize(fd.get()), 0);
  EXPECT_EQ(t->getNativeAlignment(fd.get()), 3);
  (*fd)[ENTRY_5_AT] = 0x2A;  // size 5, mask 2
  EXPECT_EQ(t->getNativeAlignment(fd.get()), 2);
  EXPECT_EQ(t->getNativeSize(fd.get()), 5);
  auto shortFd = ByteArray::make(ENTRY_5_AT);
  EXPECT_THROW(makeRef<TestType>()->getNativeAlignment(shortFd.get()), lang::IndexOutOfBoundsException);
}

TEST(KelvorTypeTest, ConcurrentFillsAgreeOnSizeAndAlignment) {
  const auto fd = formatDescriptorWithEntry5(0x3A);  // size 7, mask 2
  constexpr int THREADS = 8;
  constexpr int ROUNDS = 200;
  std::atomic<int> wrong{0};
  for (int round = 0; round < ROUNDS; ++round) {
    auto shared = makeRef<TestType>();
    std::latch start(THREADS);
    std::vector<std::thread> threads;
    for (int i = 0; i < THREADS; ++i) {
      threads.emplace_back([&, i] {
        start.arrive_and_wait();
        // Half ask for the alignment first: a thread that sees the size published by
        // another must also see its alignment, never the initial 0.
        const int32_t a = (i % 2 == 0) ? shared->getNativeAlignment(fd.get()) : -1;
        const int32_t s = shared->getNativeSize(fd.get());
        const int32_t b = shared->getNativeAlignment(fd.get());
        if (s != 7 || b != 2 || (a != -1 && a != 2)) wrong.fetch_add(1);
      });
    }
    for (auto& th : threads) th.join();
  }
  EXPECT_EQ(wrong.load(), 0);
}

TEST(KelvorTypeTest, ParseTDSTakesConsecutiveIndexesFromTheReader) {
  StreamInfo reader(ByteArray::make(1), 0);
  reader.nullIndexCounter() = 4;
  reader.offsetIndexCounter() = 9;
  auto a = makeRef<TestType>();
  auto b = makeRef<TestType>();
  a->parseTDS(reader);
  b->parseTDS(reader);
  EXPECT_EQ(a->nullIndexForTest(), 4);
  EXPECT_EQ(a->offsetIndexForTest(), 9);
  EXPECT_EQ(b->nullIndexForTest(), 5);
  EXPECT_EQ(b->offsetIndexForTest(), 10);
  EXPECT_EQ(reader.nullIndexCounter(), 6);
  EXPECT_EQ(reader.offsetIndexCounter(), 11);
  EXPECT_EQ(reader.getRelativeOffset(), 0);  // the base reads no bytes
}

TEST(KelvorTypeTest, PickleWritesLengthThenBytes) {
  struct Case {
    int32_t size;
    std::vector<int> lengthField;
  };
  const std::vector<Case> cases = {
      {0, {0x00}},
      {3, {0x03}},
      {245, {0xF5}},
      {246, {0xFE, 0x00, 0x00, 0x00, 0xF6}},
      {300, {0xFE, 0x00, 0x00, 0x01, 0x2C}},
  };
  auto t = makeRef<TestType>();
  for (const Case& c : cases) {
    PickleContext ctx;
    ctx.initStream();
    const auto data = filled(c.size, 0x11);
    RawValue value(data);
    const int32_t n = t->pickle(ctx, &value);
    const auto field = static_cast<int32_t>(c.lengthField.size());
    EXPECT_EQ(n, field + c.size) << c.size;
    const auto out = ctx.toByteArray();
    ASSERT_EQ(out->length(), field + c.size) << c.size;
    for (int32_t i = 0; i < field; ++i) {
      EXPECT_EQ((*out)[i], static_cast<int8_t>(c.lengthField[static_cast<size_t>(i)])) << c.size;
    }
    EXPECT_EQ(std::memcmp(out->data() + field, data->data(), static_cast<size_t>(c.size)), 0);
  }
}

TEST(KelvorTypeTest, PickleRefusesWhatIsNotAConsistentSqlValue) {
  auto t = makeRef<TestType>();
  PickleContext ctx;
  ctx.initStream();
  auto text = lang::String::of("not a value");
  EXPECT_THROW(static_cast<void>(t->pickle(ctx, text.get())), lang::ClassCastException);
  EXPECT_THROW(static_cast<void>(t->pickle(ctx, nullptr)), lang::NullPointerException);
  // Heap-held: the raised error keeps a reference to the offending value.
  auto lying = makeRef<InconsistentValue>(filled(3, 1));
  EXPECT_EQ(codeOf([&] { static_cast<void>(t->pickle(ctx, lying.get())); }),
            DriverException::ERR_INTERNAL);
  EXPECT_EQ(ctx.offset(), 0);  // nothing half-written
  auto empty = makeRef<RawValue>();  // no bytes at all: an empty data value
  EXPECT_EQ(t->pickle(ctx, empty.get()), 1);
  EXPECT_TRUE(ctx.toByteArray()->sameContents(*bytesOf({0x00})));
}

class ToSqlValueArrayTest : public ::testing::Test {
 protected:
  ToSqlValueArrayTest() {
    for (int i = 0; i < 3; ++i) elements.push_back(filled(2, static_cast<int8_t>(10 * i)));
    values = ObjectArray::of({elements[0], elements[1], elements[2]});
  }
  // The bytes behind each converted element, in order.
  std::vector<ByteArray*> sourcesOf(const Ref<ObjectArray>& out) const {
    std::vector<ByteArray*> s;
    for (int32_t i = 0; i < out->length(); ++i) {
      auto* v = dynamic_cast<SqlValue*>(out->at(i));
      s.push_back(v == nullptr ? nullptr : v->shareBytes().get());
    }
    return s;
  }
  std::vector<Ref<ByteArray>> elements;
  Ref<ObjectArray> values;
  Ref<TestType> t = makeRef<TestType>();
};

TEST_F(ToSqlValueArrayTest, SlicesFromBeginIndexWithCountOrToTheEnd) {
  // Only the connection's identity matters here: it is handed on, never used.
  auto* connection = reinterpret_cast<Connection*>(this);
  const auto some = t->toSqlValueArray(values.get(), connection, 2, 3);
  ASSERT_TRUE(some);
  EXPECT_TRUE(some->isArrayOf<SqlValue>());
  EXPECT_EQ(sourcesOf(some), (std::vector<ByteArray*>{elements[1].get(), elements[2].get()}));
  EXPECT_EQ(t->lastConnection, connection);

  // -1: every element from beginIndex to the end, not the array's length from there.
  const auto rest = t->toSqlValueArray(values.get(), nullptr, 2, -1);
  EXPECT_EQ(sourcesOf(rest), (std::vector<ByteArray*>{elements[1].get(), elements[2].get()}));
  EXPECT_EQ(t->toSqlValueArray(values.get(), nullptr, 1, -1)->length(), 3);
  EXPECT_EQ(sourcesOf(t->toSqlValueArray(values.get(), nullptr, 3, 1)),
            (std::vector<ByteArray*>{elements[2].get()}));
  EXPECT_EQ(t->toSqlValueArray(values.get(), nullptr, 1, 0)->length(), 0);
}

TEST_F(ToSqlValueArrayTest, BeginIndexOutsideTheArrayNeverReadsOutside) {
  for (const int64_t begin : {int64_t{4}, int64_t{5}, int64_t{1} << 40, int64_t{INT64_MAX}}) {
    for (const int32_t count : {-1, 1, 3, INT32_MAX}) {
      const auto out = t->toSqlValueArray(values.get(), nullptr, begin, count);
      ASSERT_TRUE(out);
      EXPECT_EQ(out->length(), 0) << begin << "," << count;
    }
  }
  for (const int64_t begin : {int64_t{0}, int64_t{-1}, int64_t{INT64_MIN}}) {
    EXPECT_THROW(t->toSqlValueArray(values.get(), nullptr, begin, -1),
                 lang::IndexOutOfBoundsException)
        << begin;
  }
  EXPECT_THROW(t->toSqlValueArray(values.get(), nullptr, 1, -2), lang::NegativeArraySizeException);
  EXPECT_EQ(t->conversions, 0);
}

TEST_F(ToSqlValueArrayTest, NullNonArrayAndBadElements) {
  EXPECT_EQ(t->toSqlValueArray(nullptr, nullptr, 1, -1), nullptr);
  auto text = lang::String::of("abc");
  try {
    t->toSqlValueArray(text.get(), nullptr, 1, -1);
    FAIL() << "a string is not an array";
  } catch (const DriverException& e) {
    EXPECT_EQ(e.code(), DriverException::ERR_CONVERSION);
    EXPECT_EQ(e.offendingValue().get(), text.get());
  }
  // A primitive array is not an array of object references either.
  EXPECT_EQ(codeOf([&] { t->toSqlValueArray(elements[0].get(), nullptr, 1, -1); }),
            DriverException::ERR_CONVERSION);
  // Null elements convert to null; an element the subclass refuses fails the whole call.
  auto mixed = ObjectArray::of({nullptr, elements[0]});
  const auto out = t->toSqlValueArray(mixed.get(), nullptr, 1, -1);
  EXPECT_EQ(out->at(0), nullptr);
  EXPECT_NE(out->at(1), nullptr);
  auto bad = ObjectArray::of({elements[0], text});
  EXPECT_EQ(codeOf([&] { t->toSqlValueArray(bad.get(), nullptr, 1, -1); }),
            DriverException::ERR_CONVERSION);
}

TEST(KelvorTypeTest, UnpickleReadsOrSkipsOneDataValue) {
  // FF | 03 a b c | FE 00 00 01 2C + 300 bytes | 02 x y | FE 00 00 00 02 p q | FF | 07
  std::vector<int8_t> image = {-1, 3, 'a', 'b', 'c', -2, 0, 0, 1, 0x2C};
  image.insert(image.end(), 300, 0x55);
  for (const int b : std::initializer_list<int>{2, 'x', 'y', 0xFE, 0, 0, 0, 2, 'p', 'q', 0xFF, 7}) {
    image.push_back(static_cast<int8_t>(b));
  }
  auto bytes = ByteArray::copyOf(image.data(), static_cast<int32_t>(image.size()));
  PickleContext ctx(bytes);
  auto t = makeRef<TestType>();
  EXPECT_EQ(t->unpickle(ctx, KelvorType::STYLE_SKIP, nullptr), nullptr);
  EXPECT_EQ(ctx.offset(), 1);  // the null marker alone
  const auto abc = lang::dynamicRef<ByteArray>(t->unpickle(ctx, 3, nullptr));
  ASSERT_NE(abc, nullptr);
  EXPECT_TRUE(abc->sameContents(*bytesOf({'a', 'b', 'c'})));
  EXPECT_EQ(t->lastStyle, 3);
  EXPECT_EQ(ctx.offset(), 5);
  t->lastStyle = -1;
  EXPECT_EQ(t->unpickle(ctx, KelvorType::STYLE_SKIP, nullptr), nullptr);
  EXPECT_EQ(t->lastStyle, -1);  // a skip converts nothing
  EXPECT_EQ(ctx.offset(), 310);

  // The caller has read the first length byte already.
  const int8_t first = ctx.readByte();
  const auto xy = lang::dynamicRef<ByteArray>(t->unpickle(ctx, first, 2, nullptr));
  ASSERT_NE(xy, nullptr);
  EXPECT_TRUE(xy->sameContents(*bytesOf({'x', 'y'})));
  const int8_t longFirst = ctx.readByte();
  EXPECT_EQ(t->unpickle(ctx, longFirst, KelvorType::STYLE_SKIP, nullptr), nullptr);
  EXPECT_EQ(t->unpickle(ctx, 3, nullptr), nullptr);  // a null read (not skipped) is null too
  EXPECT_EQ(ctx.readByte(), 7);
}

// A descriptor with all six fields set to distinct values.
Ref<TestType> populated() {
  auto t = makeRef<TestType>(2002);
  StreamInfo reader(ByteArray::make(1), 0);
  reader.nullIndexCounter() = 7;
  reader.offsetIndexCounter() = 3;
  t->parseTDS(reader);
  const auto fd = formatDescriptorWithEntry5(0x3A);  // size 7, mask 2
  EXPECT_EQ(t->getNativeSize(fd.get()), 7);
  t->setAuxCode(-9);
  return t;
}

void expectPopulated(TestType& t) {
  EXPECT_EQ(t.nullIndexForTest(), 7);
  EXPECT_EQ(t.offsetIndexForTest(), 3);
  EXPECT_EQ(t.getNativeSize(nullptr), 7);  // restored: no descriptor needed
  EXPECT_EQ(t.getNativeAlignment(nullptr), 2);
  EXPECT_EQ(t.getTypeCode(), 2002);
  EXPECT_EQ(t.getAuxCode(), -9);
}

TEST(KelvorTypeTest, SerialRoundTripThroughTheRegisteredClasses) {
  const auto original = populated();
  const auto bytes = Util::serialize(original.get());
  ASSERT_TRUE(bytes);
  const auto back = Util::deserialize(bytes.get());
  auto* copy = dynamic_cast<TestType*>(back.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, original.get());
  expectPopulated(*copy);
  EXPECT_EQ(lang::findSerialClass("KelvorType"), &KelvorType::SERIAL_CLASS);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
