// Ownership handles: a raw pointer becomes an owning Ref only on purpose, and never for an
// object that nothing owns (one on the stack, say), whose release would free memory that was
// never allocated.
#include "lang/Ref.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

#include "adt/StreamInfo.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/Boxed.h"
#include "lang/Exceptions.h"
#include "lang/String.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::lang {
namespace {

static_assert(!std::is_convertible_v<String*, Ref<String>>,
              "a raw pointer must not turn into an owner unnoticed");
static_assert(std::is_convertible_v<Ref<String>, Ref<const Object>>);

TEST(RefTest, RetainingAnUnownedObjectIsRefusedAndLeavesItUntouched) {
  // Made with new but never handed to a Ref: nothing owns it.
  const std::unique_ptr<Object> loose(new Object());
  EXPECT_THROW(Ref<Object>{loose.get()}, IllegalStateException);
  EXPECT_EQ(loose->referenceCount(), 0);
  EXPECT_FALSE(Ref<Object>::ifOwned(loose.get()));
  // An owned object is retained as before.
  Ref<String> owned = String::of("x");
  Ref<Object> again(owned.get());
  EXPECT_EQ(owned->referenceCount(), 2);
}

// dynamicRef of an rvalue moves the count when the class matches, and takes nothing from an
// object of another class: a count taken twice would leak it, one lost would free it early.
TEST(RefTest, DynamicRefOfAnRvalueHandsItsCountOverOnlyOnAMatch) {
  const Ref<String> text = String::of("x");
  Ref<Object> any = text;
  const Ref<String> same = dynamicRef<String>(std::move(any));
  EXPECT_FALSE(any);
  EXPECT_EQ(same.get(), text.get());
  EXPECT_EQ(text->referenceCount(), 2);

  Ref<Object> other = text;
  EXPECT_FALSE(dynamicRef<Integer>(std::move(other)));
  EXPECT_EQ(other.get(), text.get());
  EXPECT_EQ(text->referenceCount(), 3);
}

TEST(RefTest, ClassCastToAFinalClassTakesTheExactClassOnly) {
  const Ref<String> text = String::of("x");
  Object* any = text.get();
  EXPECT_EQ(classCast<String>(any), text.get());
  EXPECT_EQ(classCast<Integer>(any), nullptr);
  EXPECT_EQ(classCast<String>(static_cast<Object*>(nullptr)), nullptr);  // no class to read
  EXPECT_EQ(classCast<Object>(any), any);  // not final: the general cast
}

TEST(RefTest, DescriptorOnTheStackCannotQueueItselfAsAFixUp) {
  using namespace jdbc::kelcore;
  // 28 entry: position, maximum, kind. The fix-up would hold the collection by Ref.
  StreamInfo reader(typetest::bytesOf({0, 0, 0, 29, 0, 0, 0, 0, 1}), 0);
  KelvorTypeCOLLECTION onStack("S.NUMS", nullptr);
  EXPECT_THROW(onStack.parseTDS(reader), IllegalStateException);
  EXPECT_EQ(reader.pendingPatches(), 0);
}

TEST(RefTest, ErrorRaiserKeepsAnOwnedOffendingValueAndDropsAnUnownedOne) {
  Object onStack;
  try {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_CONVERSION, &onStack);
    FAIL() << "raise returned";
  } catch (const jdbc::DriverException& e) {
    EXPECT_EQ(e.code(), jdbc::DriverException::ERR_CONVERSION);
    EXPECT_EQ(e.offendingValue(), nullptr);
  }
  EXPECT_EQ(onStack.referenceCount(), 0);
}

}  // namespace
}  // namespace kelvor::lang
