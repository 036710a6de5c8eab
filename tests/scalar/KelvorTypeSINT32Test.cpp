#include "scalar/KelvorTypeSINT32.h"

#include <gtest/gtest.h>

#include "adt/StreamInfo.h"
#include "driver/DriverException.h"
#include "image/UnpickleContext.h"
#include "lang/Boxed.h"
#include "tests/scalar/ScalarTestSupport.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

using namespace scalartest;
using S = KelvorTypeSINT32;

TEST(KelvorTypeSINT32Test, TDSEntryTakesIndexesAndNoBytesAndTheBasesLayout) {
  StreamInfo reader(typetest::bytesOf({8}), 0);
  Probe<S> a;
  Probe<S> b;
  a.parseTDS(reader);
  b.parseTDS(reader);
  EXPECT_EQ(b.nullIndexForTest(), 1);
  EXPECT_EQ(b.offsetIndexForTest(), 1);
  EXPECT_EQ(reader.getRelativeOffset(), 0);
  EXPECT_EQ(a.getTypeCode(), 2);
  auto fd = formatDescriptor(5, 0x23);  // the base's entry: size 4, mask 3
  EXPECT_EQ(a.getNativeSize(fd.get()), 4);
  EXPECT_EQ(a.getNativeAlignment(fd.get()), 3);
}

TEST(KelvorTypeSINT32Test, EveryConversionAndReadIsTheNumbersAndSerialFormsRoundTrip) {
  auto s = lang::makeRef<S>();
  auto boxed = lang::Integer::of(INT32_MIN);
  EXPECT_EQ(lang::dynamicRef<NumberValue>(s->toSqlValue(boxed.get(), nullptr))->intValue(),
            INT32_MIN);
  auto ints = lang::IntArray::of({4, 5, 6});
  EXPECT_EQ(s->toSqlValueArray(ints.get(), nullptr, 3, 5)->length(), 1);
  auto chars = lang::CharArray::of({u'1'});
  EXPECT_EQ(typetest::codeOf([&] { s->toSqlValueArray(chars.get(), nullptr, 1, -1); }),
            DriverException::ERR_CONVERSION);
  UnpickleContext ctx(arrayOf(slots({65536})), 0, nullptr, nullptr, 0);
  EXPECT_EQ(s->unpickle(ctx, 2, 2, nullptr)->toString(), "65536");  // the platform decimal
  EXPECT_EQ(ctx.offset(), 23);
  EXPECT_EQ(s->toObject(lang::ByteArray::make(0), 1, nullptr), nullptr);
  EXPECT_NE(dynamic_cast<S*>(Util::deserialize(Util::serialize(s.get()).get()).get()), nullptr);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
