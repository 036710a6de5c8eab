#include <gtest/gtest.h>

#include <sstream>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/RawValue.h"
#include "driver/Trace.h"
#include "lang/String.h"
#include "tests/support/DriverCode.h"

namespace kelvor::jdbc {
namespace {

using lang::ByteArray;
using lang::makeRef;
using lang::Ref;
using testsupport::codeOf;

TEST(ErrorRaiserTest, CarriesCodeMessageAndOffendingValue) {
  auto value = lang::String::of("bad");
  try {
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, value.get());
    FAIL() << "raise returned";
  } catch (const DriverException& e) {
    EXPECT_EQ(e.code(), 59);
    EXPECT_EQ(e.offendingValue().get(), value.get());
    EXPECT_STREQ(e.what(), DriverException::messageFor(59));
  }
  EXPECT_EQ(codeOf([] { ErrorRaiser::raise(47, "fixed text"); }), 47);
  EXPECT_EQ(codeOf([] { ErrorRaiser::raiseStackOverflow(); }), 62);
  EXPECT_EQ(codeOf([] { ErrorRaiser::raiseIOFailure(lang::IOException("disk")); }),
            DriverException::ERR_IO);
}

TEST(RawValueTest, BuildsFromBytesSharedAndFromHexText) {
  auto bytes = ByteArray::of({1, 2, -1});
  auto shared = RawValue::fromObject(bytes.get());
  EXPECT_EQ(shared->shareBytes().get(), bytes.get());
  EXPECT_EQ(shared->getLength(), 3);
  EXPECT_NE(shared->getBytes().get(), bytes.get());

  auto fromHex = RawValue::fromObject(lang::String::of("0102fF").get());
  EXPECT_TRUE(fromHex->equals(shared.get()));
  EXPECT_EQ(RawValue::fromObject(nullptr), nullptr);
}

TEST(RawValueTest, RefusesOtherObjectsAndBadHexWithConversionError) {
  for (const char* text : {"012", "0g", "zz"}) {
    auto s = lang::String::of(text);
    EXPECT_EQ(codeOf([&] { (void)RawValue::fromObject(s.get()); }), 59) << text;
  }
  auto ints = lang::IntArray::make(2);
  EXPECT_EQ(codeOf([&] { (void)RawValue::fromObject(ints.get()); }), 59);
}

TEST(SqlValueTest, EqualityNeedsSameClassAndBytes) {
  auto a = makeRef<RawValue>(ByteArray::of({7, 8}));
  auto b = makeRef<RawValue>(ByteArray::of({7, 8}));
  auto c = makeRef<RawValue>(ByteArray::of({7, 9}));
  auto plain = makeRef<SqlValue>(ByteArray::of({7, 8}));
  EXPECT_TRUE(a->equals(b.get()));
  EXPECT_EQ(a->hashCode(), b->hashCode());
  EXPECT_FALSE(a->equals(c.get()));
  EXPECT_FALSE(a->equals(plain.get()));
  EXPECT_EQ(makeRef<SqlValue>()->getLength(), 0);
}

// Counts how often it is formatted, to show that a switch that is off formats nothing.
struct CountingPart {
  int* count;
};
std::ostream& operator<<(std::ostream& out, const CountingPart& p) {
  ++*p.count;
  return out << "part";
}

TEST(TraceTest, FormatsOnlyWhileTheSwitchIsOn) {
  std::ostringstream sink;
  Trace::setSink(&sink);
  TraceSwitch traceSwitch{0};
  int formatted = 0;
  if (Trace::on(traceSwitch)) Trace::line("Cls", CountingPart{&formatted});
  EXPECT_EQ(formatted, 0);
  EXPECT_TRUE(sink.str().empty());

  traceSwitch = 1;
  if (Trace::on(traceSwitch)) Trace::line("Cls", "n=", 5, ' ', CountingPart{&formatted});
  Trace::setSink(nullptr);
  EXPECT_EQ(formatted, 1);
  EXPECT_EQ(sink.str(), "Cls: n=5 part\n");
}

}  // namespace
}  // namespace kelvor::jdbc
