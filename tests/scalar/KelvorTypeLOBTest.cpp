// KelvorTypeBLOB, KelvorTypeCLOB and KelvorTypeBFILE differ only in their type code, value
// class and slot size: one typed suite covers the three.
#include <gtest/gtest.h>

#include <vector>

#include "driver/BfileValue.h"
#include "driver/BlobValue.h"
#include "driver/ClobValue.h"
#include "driver/DriverException.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/String.h"
#include "scalar/KelvorTypeBFILE.h"
#include "scalar/KelvorTypeBLOB.h"
#include "scalar/KelvorTypeCLOB.h"
#include "tests/scalar/TestConnection.h"
#include "tests/types/TypeTestSupport.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::makeRef;
using scalartest::TestConnection;
using typetest::bytesOf;
using typetest::codeOf;
using typetest::filled;

template <typename T, typename V, int32_t CODE, int32_t SLOT>
struct Lob {
  using Type = T;
  using Value = V;
  static constexpr int32_t code = CODE;
  static constexpr int32_t slot = SLOT;
};

template <typename L>
class KelvorTypeLOBTest : public ::testing::Test {
 protected:
  Ref<TestConnection> conn_ = makeRef<TestConnection>();
  Ref<typename L::Type> type_ = makeRef<typename L::Type>(conn_.get());
};

using Lobs = ::testing::Types<Lob<KelvorTypeBLOB, BlobValue, 2004, 86>,
                              Lob<KelvorTypeCLOB, ClobValue, 2005, 86>,
                              Lob<KelvorTypeBFILE, BfileValue, -13, 530>>;
TYPED_TEST_SUITE(KelvorTypeLOBTest, Lobs);

TYPED_TEST(KelvorTypeLOBTest, TypeCodeValueClassAndStyles) {
  using Value = typename TypeParam::Value;
  auto& t = *this->type_;
  EXPECT_EQ(t.getTypeCode(), TypeParam::code);
  const auto locator = bytesOf({0, 2, 5, 6});
  for (const int32_t style : {1, 2}) {
    const auto v = lang::dynamicRef<Value>(t.toObject(locator, style, nullptr));
    ASSERT_TRUE(v) << style;
    EXPECT_EQ(v->getLocator(), locator);
    EXPECT_EQ(v->getConnection().get(), this->conn_.get());
  }
  EXPECT_EQ(t.toObject(locator, 3, nullptr), locator);
  EXPECT_EQ(codeOf([&] { t.toObject(locator, 9, nullptr); }), DriverException::ERR_CONVERSION);
  for (const int32_t style : {1, 2, 3, 9}) {
    EXPECT_EQ(t.toObject(ByteArray::make(0), style, nullptr), nullptr);
  }

  auto own = makeRef<Value>(this->conn_, locator);
  EXPECT_EQ(t.toSqlValue(own.get(), nullptr), own);
  EXPECT_EQ(t.toSqlValue(nullptr, nullptr), nullptr);
  // No conversion from any other representation, another locator class included.
  const std::vector<Ref<lang::Object>> others = {
      makeRef<BlobValue>(this->conn_, locator), makeRef<ClobValue>(this->conn_, locator),
      makeRef<BfileValue>(this->conn_, locator), locator};
  for (const auto& o : others) {
    if (dynamic_cast<Value*>(o.get()) != nullptr) continue;
    EXPECT_EQ(codeOf([&] { t.toSqlValue(o.get(), nullptr); }), DriverException::ERR_CONVERSION)
        << o->className();
  }
}

TYPED_TEST(KelvorTypeLOBTest, LinearSlotsEndWhereTheirFormSays) {
  using Value = typename TypeParam::Value;
  auto& t = *this->type_;
  constexpr int32_t S = TypeParam::slot;
  constexpr int32_t B = 3;
  constexpr int32_t SKIP = KelvorType::STYLE_SKIP;
  // Flag form: flag 0, a locator of 2 + n bytes, the slot padded to S bytes after the flag.
  auto flagged = [&](int32_t n, int32_t flag) {
    auto image = ByteArray::make(1 + std::max(S, n + 2) + 1);
    (*image)[0] = static_cast<int8_t>(flag);
    (*image)[1] = static_cast<int8_t>(n >> 8);
    (*image)[2] = static_cast<int8_t>(n);
    for (int32_t i = 0; i < n; ++i) (*image)[3 + i] = static_cast<int8_t>(i + 1);
    return image;
  };
  struct Case {
    Ref<ByteArray> image;
    int32_t style;
    int32_t length;  // of the locator read, with its 2 length bytes; 0: null
    int32_t end;
  };
  const std::vector<Case> cases = {
      {flagged(18, 0), B, 20, 1 + S},          // short locator: the slot's end
      {flagged(S + 10, 0), B, S + 12, S + 13},  // longer than the slot: its own end
      {flagged(18, 0), SKIP, 0, 1 + S},
      {flagged(18, 1), B, 0, 21},                // null: only the prefixed string
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    UnpickleContext ctx(cases[i].image, 0, nullptr, nullptr, 0);
    const auto out = lang::dynamicRef<ByteArray>(t.unpickle(ctx, 2, cases[i].style, nullptr));
    EXPECT_EQ(out ? out->length() : 0, cases[i].length) << i;
    EXPECT_EQ(ctx.offset(), cases[i].end) << i;
  }

  // Offset form: the slot at 1 holds rel 6; the locator lies at 6.
  const auto image = bytesOf({9, 0, 0, 0, 6, 9, 0, 2, 'l', 'c'});
  for (const int32_t style : {1, SKIP}) {
    UnpickleContext ctx(image, 0, bytesOf({0}), lang::LongArray::of({1}), 0);
    const auto out = t.unpickle(ctx, 1, style, nullptr);
    EXPECT_EQ(ctx.offset(), 5);
    if (style == SKIP) {
      EXPECT_EQ(out, nullptr);
    } else {
      const auto v = lang::dynamicRef<Value>(out);
      ASSERT_TRUE(v);
      EXPECT_TRUE(v->getLocator()->sameContents(*bytesOf({0, 2, 'l', 'c'})));
    }
  }
  UnpickleContext nullCtx(image, 0, bytesOf({1}), lang::LongArray::of({1}), 0);
  EXPECT_EQ(t.unpickle(nullCtx, 1, 1, nullptr), nullptr);
  EXPECT_EQ(nullCtx.offset(), 0);
}

TYPED_TEST(KelvorTypeLOBTest, SerialRoundTripLeavesTheConnectionToSetConnection) {
  using Value = typename TypeParam::Value;
  const auto back = Util::deserialize(Util::serialize(this->type_.get()).get());
  auto* copy = dynamic_cast<typename TypeParam::Type*>(back.get());
  ASSERT_NE(copy, nullptr);
  const auto locator = filled(4, 1);
  EXPECT_EQ(lang::dynamicRef<Value>(copy->toObject(locator, 1, nullptr))->getConnection(),
            nullptr);
  copy->setConnection(this->conn_.get());
  EXPECT_EQ(lang::dynamicRef<Value>(copy->toObject(locator, 1, nullptr))->getConnection(),
            this->conn_);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
