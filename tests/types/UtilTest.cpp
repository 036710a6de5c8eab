#include "types/Util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

#include "driver/DriverException.h"
#include "driver/Trace.h"
#include "lang/Array.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/Exceptions.h"
#include "lang/String.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::ByteArrayInputStream;
using typetest::bytesOf;
using typetest::codeOf;
using typetest::TraceCapture;

ByteArrayInputStream streamOf(const std::vector<int>& values) {
  return ByteArrayInputStream(bytesOf(values));
}

// A stream that records what it is asked for and can fail on demand.
class ProbeStream final : public lang::InputStream {
 public:
  explicit ProbeStream(int32_t size, bool failing = false) : size_(size), failing_(failing) {}
  int32_t read() override {
    if (failing_) throw lang::IOException("device gone");
    return pos_ < size_ ? (pos_++ & 0x7F) : -1;
  }
  int32_t read(int8_t* dst, int32_t n) override {
    if (failing_) throw lang::IOException("device gone");
    largestRequest = std::max(largestRequest, n);
    if (n <= 0) return 0;
    if (pos_ == size_) return -1;
    const int32_t k = std::min(n, size_ - pos_);
    for (int32_t i = 0; i < k; ++i) dst[i] = static_cast<int8_t>(pos_++ & 0x7F);
    return k;
  }
  int64_t skip(int64_t n) override {
    if (failing_) throw lang::IOException("device gone");
    return InputStream::skip(n);
  }
  int32_t available() override { return size_ - pos_; }
  int32_t largestRequest = 0;

 private:
  int32_t size_;
  int32_t pos_ = 0;
  bool failing_;
};

// fd[5] = 2: two bytes of variable section, so entry k sits at 8 + k.
Ref<ByteArray> formatDescriptor() {
  return bytesOf({0, 0, 0, 0, 0, 2, 9, 9, /*entry 0*/ 0x01, 0x02, 0x03, 0x04, 0x05,
                  /*entry 5*/ 0x23, /*entry 6*/ 0xFF});
}

TEST(UtilTest, FormatEntryIsFoundAfterTheVariableSectionAndBoundsChecked) {
  const auto fd = formatDescriptor();
  EXPECT_EQ(Util::formatEntry(fd.get(), 5), 0x23);  // position 2 + 6 + 5 = 13
  EXPECT_EQ(Util::formatSize(fd.get(), 5), 4);
  EXPECT_EQ(Util::formatAlignment(fd.get(), 5), 3);
  // A negative entry byte: the size is still 5 unsigned bits.
  EXPECT_EQ(Util::formatSize(fd.get(), 6), 31);
  EXPECT_EQ(Util::formatAlignment(fd.get(), 6), 7);
  for (const int32_t entry : {7, -1, INT32_MAX, INT32_MIN}) {
    EXPECT_THROW(Util::formatEntry(fd.get(), entry), lang::IndexOutOfBoundsException) << entry;
  }
  const auto pastEnd = bytesOf({0, 0, 0, 0, 0, 0xFF, 1, 2, 3});  // fd[5] points past the end
  EXPECT_THROW(Util::formatSize(pastEnd.get(), 0), lang::IndexOutOfBoundsException);
  const auto tooShort = bytesOf({0, 0, 0});
  EXPECT_THROW(Util::formatAlignment(tooShort.get(), 0), lang::IndexOutOfBoundsException);
  EXPECT_THROW(Util::formatEntry(nullptr, 5), lang::NullPointerException);
}

TEST(UtilTest, AlignAboveFollowsTheShiftTable) {
  struct Case {
    int32_t value, mask, expected;
  };
  const std::vector<Case> cases = {
      {5, 3, 8},   {9, 7, 16},  {3, 1, 4},  {5, 0, 6},   {1, 7, 8},  {8, 7, 16},
      {5, 2, 6},   {5, 4, 6},   {5, 5, 6},  {5, 6, 6},   {5, 8, 6},  {-3, 3, 0},
      {INT32_MAX, 0, INT32_MIN},  // wraps as 32-bit arithmetic does, no overflow
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Util::alignAbove(c.value, c.mask), c.expected) << c.value << " mask " << c.mask;
  }
  EXPECT_EQ(Util::ALIGNMENT_SHIFTS.size(), 9U);
  EXPECT_THROW(Util::alignAbove(5, 9), lang::IndexOutOfBoundsException);
  EXPECT_THROW(Util::alignAbove(5, -1), lang::IndexOutOfBoundsException);
}

TEST(UtilTest, ExpectByteConsumesOneByteAndRejectsOthersAndTheEnd) {
  auto in = streamOf({39, 40});
  Util::expectByte(in, 39);
  EXPECT_EQ(codeOf([&] { Util::expectByte(in, 38); }), DriverException::ERR_TDS_FORMAT);
  EXPECT_EQ(in.available(), 0);
  // At the end the read answers -1; that must not pass for an expected -1.
  EXPECT_EQ(codeOf([&] { Util::expectByte(in, -1); }), DriverException::ERR_TDS_FORMAT);
}

TEST(UtilTest, FixedWidthReadsAreBigEndianWithTheirSign) {
  struct Case {
    std::vector<int> bytes;
    int64_t ub4;
    int16_t sb2;
  };
  const std::vector<Case> cases = {
      {{0xFF, 0xFF, 0xFF, 0xFE}, -2, -1},
      {{0x00, 0x00, 0x01, 0x00}, 256, 0},
      {{0x80, 0x00, 0x00, 0x00}, INT32_MIN, INT16_MIN},
      {{0x7F, 0xFF, 0xFF, 0xFF}, INT32_MAX, INT16_MAX},
  };
  for (const Case& c : cases) {
    auto a = streamOf(c.bytes);
    EXPECT_EQ(Util::readUB4(a), c.ub4);
    EXPECT_EQ(a.available(), 0);
    auto b = streamOf(c.bytes);
    EXPECT_EQ(Util::readSB2(b), c.sb2);
    EXPECT_EQ(b.available(), 2);
  }
  auto sb2 = streamOf({0xFF, 0xFE, 0x01, 0x00});
  EXPECT_EQ(Util::readSB2(sb2), -2);
  EXPECT_EQ(Util::readSB2(sb2), 256);
  auto single = streamOf({0xFE});
  EXPECT_EQ(Util::readByte(single), -2);
}

TEST(UtilTest, FixedWidthReadsAtTheEndFailInsteadOfReturningGarbage) {
  for (int have = 0; have < 4; ++have) {
    auto in = ByteArrayInputStream(ByteArray::make(have));
    EXPECT_EQ(codeOf([&] { Util::readUB4(in); }), DriverException::ERR_IO) << have;
  }
  auto one = streamOf({0x01});
  EXPECT_EQ(codeOf([&] { Util::readSB2(one); }), DriverException::ERR_IO);
  auto none = streamOf({});
  EXPECT_EQ(codeOf([&] { Util::readByte(none); }), DriverException::ERR_IO);
  auto six = streamOf({1, 2, 3, 4, 5, 6});
  Util::skipBytes(six, 2);
  auto buffer = ByteArray::make(3);
  Util::readFully(six, buffer.get());
  EXPECT_TRUE(buffer->sameContents(*bytesOf({3, 4, 5})));
  EXPECT_EQ(codeOf([&] { Util::readFully(six, buffer.get()); }), DriverException::ERR_IO);
}

TEST(UtilTest, ReadBytesReturnsWhatOneReadDelivers) {
  auto in = streamOf({1, 2, 3, 4});
  const auto got = Util::readBytes(in, 10);
  ASSERT_EQ(got->length(), 4);
  EXPECT_TRUE(got->sameContents(*bytesOf({1, 2, 3, 4})));

  auto exact = streamOf({1, 2, 3, 4, 5});
  EXPECT_TRUE(Util::readBytes(exact, 3)->sameContents(*bytesOf({1, 2, 3})));
  EXPECT_EQ(Util::readBytes(exact, 0)->length(), 0);
  EXPECT_TRUE(Util::readBytes(exact, 2)->sameContents(*bytesOf({4, 5})));
  // The end of the stream: the read answers -1.
  EXPECT_THROW(Util::readBytes(exact, 1), lang::NegativeArraySizeException);
  EXPECT_THROW(Util::readBytes(exact, -1), lang::NegativeArraySizeException);
}

TEST(UtilTest, ReadBytesWithAHugeCountAllocatesOnlyWhatTheStreamHolds) {
  ProbeStream in(16);
  const auto got = Util::readBytes(in, INT32_MAX);
  EXPECT_EQ(got->length(), 16);
  // The buffer handed to the read was sized by the stream, not by the count.
  EXPECT_LE(in.largestRequest, 4096);
}

TEST(UtilTest, StreamFailuresBecomeTheDriversIOFailure) {
  ProbeStream in(8, /*failing=*/true);
  auto buffer = ByteArray::make(2);
  const std::vector<std::function<void()>> ops = {
      [&] { Util::expectByte(in, 1); },      [&] { Util::readByte(in); },
      [&] { Util::readBytes(in, 2); },       [&] { Util::readUB4(in); },
      [&] { Util::readSB2(in); },            [&] { Util::skipBytes(in, 2); },
      [&] { Util::readFully(in, buffer.get()); },
  };
  for (size_t i = 0; i < ops.size(); ++i) {
    EXPECT_EQ(codeOf(ops[i]), DriverException::ERR_IO) << "operation " << i;
  }
}

TEST(UtilTest, SerializeOfNullIsNullBothWays) {
  EXPECT_EQ(Util::serialize(nullptr), nullptr);
  EXPECT_EQ(Util::deserialize(nullptr), nullptr);
  const auto bytes = Util::serialize(lang::String::of("tds").get());
  ASSERT_TRUE(bytes);
  const auto back = Util::deserialize(bytes.get());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->toString(), "tds");
}

TEST(UtilTest, DumpsPrintEveryValueOnTheTraceSink) {
  TraceCapture capture;
  Util::dumpBytes(bytesOf({0x1F, 0x80}).get());
  Util::dumpUnsignedBytes(bytesOf({0x80, 0xFF}).get());
  Util::dumpBytesPlain(bytesOf({0xFF}).get());
  Util::dumpLongs(lang::LongArray::of({INT64_MIN, 7}).get());
  EXPECT_EQ(capture.str(),
            "0x1f 0x80 \n31 -128 \n"
            "0x80 0xff \n128 255 \n"
            "-1 \n"
            "-9223372036854775808 7 \n");
  EXPECT_THROW(Util::dumpBytes(nullptr), lang::NullPointerException);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
