#include "image/PickleInputStream.h"

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

using imagetest::byteArray;
using imagetest::counting;

class ExposedInput : public PickleInputStream {
 public:
  using PickleInputStream::PickleInputStream;
  std::recursive_mutex& monitor() { return lock_; }
};

TEST(PickleInputStreamTest, UnreadMovesTheReadPositionBack) {
  const auto image = byteArray(counting(8, 0x40));
  PickleInputStream in(image);
  EXPECT_EQ(in.offset(), 0);
  EXPECT_EQ(in.imageBytes().get(), image.get());
  for (int i = 0; i < 4; ++i) (void)in.read();
  EXPECT_EQ(in.offset(), 4);
  in.unread(3);
  EXPECT_EQ(in.offset(), 1);
  EXPECT_EQ(in.read(), 0x41);
  in.unread(-5);  // forward
  EXPECT_EQ(in.offset(), 7);
  EXPECT_EQ(in.read(), 0x47);
  EXPECT_EQ(in.read(), -1);  // at the end: the platform's end of stream
}

TEST(PickleInputStreamTest, PositionOutsideTheImageFailsTheNextReadAndReadsNothing) {
  const auto image = byteArray(counting(8));
  struct Case {
    const char* name;
    int32_t unread;  // from position 0
  };
  const Case cases[] = {
      {"before the start", 1},
      {"past the end", -9},
      {"wrapped round", INT32_MIN},  // 0 - INT32_MIN wraps, without overflow
      {"far past the end", -INT32_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PickleInputStream in(image);
    in.unread(c.unread);
    const int32_t moved = in.offset();
    EXPECT_THROW(in.read(), lang::IndexOutOfBoundsException);
    auto dst = lang::ByteArray::make(4);
    EXPECT_THROW(in.read(*dst, 0, 4), lang::IndexOutOfBoundsException);
    EXPECT_EQ(imagetest::contents(dst), (imagetest::Bytes{0, 0, 0, 0}));
    EXPECT_EQ(in.offset(), moved);
    in.unread(moved);  // back to 0: readable again
    EXPECT_EQ(in.read(), 0);
  }
  EXPECT_THROW(PickleInputStream(nullptr), lang::NullPointerException);
}

TEST(PickleInputStreamTest, ConcurrentOffsetAndUnreadWaitForTheStreamMonitor) {
  const std::function<void(PickleInputStream&)> ops[] = {
      [](PickleInputStream& s) { (void)s.offset(); },
      [](PickleInputStream& s) { s.unread(1); },
  };
  for (const auto& op : ops) {
    auto in = lang::makeRef<ExposedInput>(byteArray(counting(4)));
    imagetest::expectWaitsForMonitor(in->monitor(), [&] { op(*in); });
  }
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
