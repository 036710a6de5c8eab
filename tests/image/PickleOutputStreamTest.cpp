#include "image/PickleOutputStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <functional>
#include <mutex>
#include <thread>

#include "tests/image/ImageTestBytes.h"
#include "tests/image/MonitorCheck.h"

namespace kelvor::jdbc::kelcore {
namespace {

using imagetest::Bytes;
using imagetest::byteArray;
using imagetest::contents;
using imagetest::counting;

// Exposes the whole buffer (capacity included) and the monitor.
class ExposedStream : public PickleOutputStream {
 public:
  using PickleOutputStream::PickleOutputStream;
  Bytes raw() const {
    Bytes v;
    for (int32_t i = 0; i < capacity_; ++i) v.push_back(static_cast<uint8_t>(buf_[i]));
    return v;
  }
  lang::Monitor& monitor() { return lock_; }
};

// A stream of capacity 16 holding the 7 bytes 10..16.
lang::Ref<ExposedStream> sevenOfSixteen() {
  auto s = lang::makeRef<ExposedStream>(16);
  const auto seven = byteArray(counting(7, 10));
  s->write(*seven);
  return s;
}

TEST(PickleOutputStreamTest, OffsetCountsTheBytesWritten) {
  auto s = lang::makeRef<PickleOutputStream>();
  EXPECT_EQ(s->offset(), 0);
  s->write(*byteArray(counting(7)));
  EXPECT_EQ(s->offset(), 7);
  // Growing past the initial capacity keeps the count and the bytes.
  auto small = lang::makeRef<PickleOutputStream>(2);
  small->write(*byteArray(counting(40)));
  EXPECT_EQ(small->offset(), 40);
  EXPECT_EQ(contents(small->toByteArray()), counting(40));
  EXPECT_THROW(PickleOutputStream(-1), lang::IllegalArgumentException);
}

TEST(PickleOutputStreamTest, OverwriteReplacesARangeAndKeepsTheCount) {
  auto s = sevenOfSixteen();
  s->overwrite(2, byteArray({0xA0, 0xA1, 0xA2, 0xA3, 0xA4}).get(), 0, 5);
  EXPECT_EQ(s->offset(), 7);
  EXPECT_EQ(contents(s->toByteArray()), (Bytes{10, 11, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4}));
  // A range from the middle of the source.
  s->overwrite(0, byteArray({1, 2, 3, 4}).get(), 2, 2);
  EXPECT_EQ(contents(s->toByteArray()), (Bytes{3, 4, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4}));
}

TEST(PickleOutputStreamTest, OverwriteOfNothingChangesNothing) {
  auto s = sevenOfSixteen();
  const Bytes before = s->raw();
  const auto src = byteArray({1, 2, 3});
  s->overwrite(3, src.get(), 3, 0);   // off at the end of the source
  s->overwrite(16, src.get(), 0, 0);  // at the end of the capacity
  s->overwrite(-5, src.get(), 0, 0);  // a negative start places nothing
  EXPECT_EQ(s->raw(), before);
  EXPECT_EQ(s->offset(), 7);
}

TEST(PickleOutputStreamTest, OverwriteBeyondTheCountStaysOutOfTheOutputUntilAppendedOver) {
  auto s = sevenOfSixteen();
  s->overwrite(10, byteArray({0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5}).get(), 0, 6);  // ends at 16
  EXPECT_EQ(s->offset(), 7);
  EXPECT_EQ(contents(s->toByteArray()), counting(7, 10));
  const Bytes raw = s->raw();
  EXPECT_EQ(Bytes(raw.begin() + 10, raw.end()), (Bytes{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5}));
  s->write(*byteArray({1, 2, 3, 4, 5}));  // appends at 7..11, over two of the placed bytes
  EXPECT_EQ(contents(s->toByteArray()), imagetest::concat({counting(7, 10), {1, 2, 3, 4, 5}}));
}

TEST(PickleOutputStreamTest, OverwriteOutOfBoundsThrowsAndCopiesNothing) {
  struct Case {
    const char* name;
    int32_t beginOffset, off, len;
  };
  // Source of 8 bytes; stream of capacity 16 holding 7.
  const Case cases[] = {
      {"negative off", 0, -1, 1},
      {"off past the source", 0, 9, 0},
      {"negative len", 0, 0, -1},
      {"off + len past the source", 0, 4, 5},
      {"off + len wraps round", 0, 1, INT32_MAX},
      {"off at INT32_MAX", 0, INT32_MAX, 1},
      {"target end past the capacity", 12, 0, 5},
      {"beginOffset + len wraps round", INT32_MAX, 0, 1},
      {"negative beginOffset", -1, 0, 1},
      {"negative beginOffset ending inside", -2, 0, 5},
      {"beginOffset INT32_MIN", INT32_MIN, 0, 8},
      {"empty range past the capacity", 17, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = sevenOfSixteen();
    const Bytes before = s->raw();
    const auto src = byteArray(counting(8, 0xC0));
    EXPECT_THROW(s->overwrite(c.beginOffset, src.get(), c.off, c.len),
                 lang::IndexOutOfBoundsException);
    EXPECT_EQ(s->raw(), before);
    EXPECT_EQ(s->offset(), 7);
  }
  auto s = sevenOfSixteen();
  EXPECT_THROW(s->overwrite(0, nullptr, 0, 0), lang::NullPointerException);
}

TEST(PickleOutputStreamTest, OffsetAndOverwriteWaitForTheStreamMonitor) {
  const std::function<void(PickleOutputStream&)> ops[] = {
      [](PickleOutputStream& s) { (void)s.offset(); },
      [](PickleOutputStream& s) { s.overwrite(0, byteArray({1}).get(), 0, 1); },
  };
  for (const auto& op : ops) {
    auto s = sevenOfSixteen();
    imagetest::expectWaitsForMonitor(s->monitor(), [&] { op(*s); });
  }
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
