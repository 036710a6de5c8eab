#include "lang/SharedBlock.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "driver/CharValue.h"
#include "driver/NumberValue.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"

namespace kelvor::jdbc {
namespace {

// A value whose constructor refuses a form of two bytes.
class PickyValue final : public SqlValue {
 public:
  explicit PickyValue(lang::Ref<lang::ByteArray> bytes) : SqlValue(std::move(bytes)) {
    if (shareBytes()->length() == 2) throw std::invalid_argument("two bytes");
  }
};

// A value and its bytes made in one allocation are still two objects: either may go first,
// and the block goes with the later one (the sanitizer build checks for leaks and for use
// after free). A constructor that throws leaves nothing behind.
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
  EXPECT_THROW(SqlValue::withBytesCopied<NumberValue>(form, -1), lang::NegativeArraySizeException);
}

}  // namespace
}  // namespace kelvor::jdbc
