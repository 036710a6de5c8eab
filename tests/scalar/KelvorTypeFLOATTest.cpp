#include "scalar/KelvorTypeFLOAT.h"

#include <gtest/gtest.h>

#include "adt/StreamInfo.h"
#include "driver/DriverException.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Boxed.h"
#include "tests/scalar/ScalarTestSupport.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

using namespace scalartest;
using F = KelvorTypeFLOAT;

TEST(KelvorTypeFLOATTest, TDSEntryTakesIndexesAndStepsOverOneOperandByte) {
  StreamInfo reader(typetest::bytesOf({126, 0x05}), 0);
  reader.nullIndexCounter() = 2;
  reader.offsetIndexCounter() = 5;
  Probe<F> f;
  f.parseTDS(reader);
  EXPECT_EQ(f.nullIndexForTest(), 2);
  EXPECT_EQ(f.offsetIndexForTest(), 5);
  EXPECT_EQ(reader.nullIndexCounter(), 3);
  EXPECT_EQ(reader.offsetIndexCounter(), 6);
  EXPECT_EQ(reader.readByte(), 5);  // the next entry starts right after the operand
  f.setTypeCode(2);
  EXPECT_EQ(f.getTypeCode(), 6);
  auto fd = formatDescriptor(12, 0x5B);  // the number's entry: size 11, mask 3
  EXPECT_EQ(f.getNativeSize(fd.get()), 11);
  EXPECT_EQ(f.getNativeAlignment(fd.get()), 3);
}

TEST(KelvorTypeFLOATTest, EveryConversionAndReadIsTheNumbersAndSerialFormsRoundTrip) {
  auto f = lang::makeRef<F>();
  auto boxed = lang::Double::of(2.5);
  const auto value = lang::dynamicRef<NumberValue>(f->toSqlValue(boxed.get(), nullptr));
  EXPECT_EQ(value->doubleValue(), 2.5);
  auto floats = lang::FloatArray::of({1.5f, 4.0f});
  EXPECT_EQ(f->toSqlValueArray(floats.get(), nullptr, 2, -1)->at(0)->toString(), "4");
  EXPECT_EQ(typetest::codeOf([&] { f->toObject(value->shareBytes(), 9, nullptr); }),
            DriverException::ERR_UNSUPPORTED);
  const auto image = arrayOf(slots({std::nullopt, 17}));
  UnpickleContext ctx(image, 0, nullptr, nullptr, 0);
  EXPECT_EQ(f->unpickle(ctx, 2, 1, nullptr), nullptr);
  const auto bytes = lang::dynamicRef<lang::ByteArray>(f->unpickle(ctx, 2, 3, nullptr));
  EXPECT_TRUE(bytes->sameContents(*arrayOf(formOf(17))));
  UnpickleContext bulk(image, 0, nullptr, nullptr, 0);
  EXPECT_EQ(dynamic_cast<lang::DoubleArray&>(*F::unpickleFixedNumberArray(bulk, 1, 2, 5))[1], 17);
  PickleContext pickled(arrayOf(dataValues({-3})));
  EXPECT_EQ(dynamic_cast<lang::LongArray&>(*F::unpickleNumberArray(pickled, 1, 1, 7))[0], -3);
  f->setAuxCode(9);
  const auto back = Util::deserialize(Util::serialize(f.get()).get());
  auto* copy = dynamic_cast<F*>(back.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->getAuxCode(), 9);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
