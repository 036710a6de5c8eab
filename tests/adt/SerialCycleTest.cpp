// Descriptor trees hold their children by Ref and their parents by plain pointer: a serial
// stream that closes a cycle through a descriptor describes no tree, would never be freed, and
// sends the descriptor's operations round the cycle for ever. Reading refuses it.
#include <gtest/gtest.h>

#include <vector>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "lang/Exceptions.h"
#include "tests/types/TypeTestSupport.h"
#include "types/KelvorTypeUPT.h"
#include "types/Util.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::makeRef;
using typetest::append;
using typetest::bytesOf;
using typetest::tdsHeader;
using typetest::ub4;
using V = std::vector<int>;

// The serial form of `root`, written while `close` holds a cycle and read after `open` broke
// it again (the writer follows back-references; the test must not leak its own cycle).
Ref<lang::ByteArray> streamWithCycle(const Ref<lang::Object>& root,
                                     const std::function<void()>& close,
                                     const std::function<void()>& open) {
  close();
  Ref<lang::ByteArray> bytes = Util::serialize(root.get());
  open();
  return bytes;
}

TEST(SerialCycleTest, UptAttachedToItselfIsRefused) {
  auto upt = makeRef<KelvorTypeUPT>("S.LOOP", nullptr);
  auto bytes = streamWithCycle(
      upt, [&] { upt->attachObjectType(upt); }, [&] { upt->attachObjectType(nullptr); });
  EXPECT_THROW(Util::deserialize(bytes.get()), lang::StreamCorruptedException);
}

TEST(SerialCycleTest, ObjectTypeReachingItselfThroughItsAttributesIsRefused) {
  // One attribute, a collection; its element is made the object type itself.
  V tds = tdsHeader();
  tds.push_back(28);
  append(tds, ub4(29));
  append(tds, ub4(0));
  append(tds, {1, 42, 2});
  auto t = makeRef<KelvorTypeADT>("S.SELF");
  t->parseTDS(bytesOf(tds), 0);
  Ref<KelvorTypeCOLLECTION> c = lang::dynamicRef<KelvorTypeCOLLECTION>(t->getAttributeType(0));
  ASSERT_TRUE(c);
  (void)t->getEffectiveType();  // the collection takes the type's name: no parent to ask
  Ref<KelvorType> element = c->getElementType();
  auto bytes = streamWithCycle(
      t, [&] { c->attachElementType(t, 39); }, [&] { c->attachElementType(element, 2); });
  EXPECT_THROW(Util::deserialize(bytes.get()), lang::StreamCorruptedException);
  // The same tree without the cycle reads back.
  EXPECT_TRUE(Util::deserialize(Util::serialize(t.get()).get()));
}

TEST(SerialCycleTest, ObjectArrayHoldingItselfIsRefusedByTheDescriptorReader) {
  auto a = lang::ObjectArray::make(1);
  auto bytes = streamWithCycle(
      a, [&] { a->set(0, a); }, [&] { a->set(0, nullptr); });
  EXPECT_THROW(Util::deserialize(bytes.get()), lang::StreamCorruptedException);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
