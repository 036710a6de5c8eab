// The fix-up queue of a TDS parse as a whole: what a failed or a lopsided segment leaves
// behind, and how the queue scales with the number of fix-ups.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include <chrono>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/DriverException.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::makeRef;
using typetest::append;
using typetest::bytesOf;
using typetest::codeOf;
using typetest::tdsHeader;
using typetest::ub4;
using V = std::vector<int>;

// 28 entry: element position, maximum 0, kind 1.
V collectionEntry(int64_t position) {
  V e = {28};
  append(e, ub4(position));
  append(e, ub4(0));
  e.push_back(1);
  return e;
}

TEST(TDSFixUpTest, FixUpLeftByAnEmbeddedPassFailsTheParseAndKeepsNoTree) {
  // header | 28 -> A | 39 | 28 -> B | 42 | [A] DATE | [B] DATE | 40: the embedded list's pass
  // jumps past A to its own B, and the outer list, ending with 40, runs no pass of its own.
  const int64_t a = 18 + 10 + 1 + 10 + 1;
  V tds = tdsHeader();
  append(tds, collectionEntry(a));
  tds.push_back(39);
  append(tds, collectionEntry(a + 1));
  append(tds, {42, 2, 2, 40});
  auto t = makeRef<KelvorTypeADT>("S.LOST");
  EXPECT_EQ(codeOf([&] { t->parseTDS(bytesOf(tds), 0); }), DriverException::ERR_TDS_FORMAT);
  EXPECT_FALSE(t->parsedAttributeTypes());
}

TEST(TDSFixUpTest, FailedCollectionSegmentsLeaveTheirDescriptorUnreferenced) {
  // A collection parsing its own segment queues its element fix-up on itself: a failure must
  // not leave descriptor -> reader -> fix-up -> descriptor behind.
  const V entry = collectionEntry(29);
  V endsWith40 = tdsHeader();
  append(endsWith40, entry);
  append(endsWith40, {40, 2});
  V endsWith28 = tdsHeader();
  append(endsWith28, entry);
  append(endsWith28, {28, 2});
  V cutAfterEntry = tdsHeader();
  append(cutAfterEntry, entry);
  for (const V& tds : {endsWith40, endsWith28, cutAfterEntry}) {
    auto c = makeRef<KelvorTypeCOLLECTION>("S.NUMS", nullptr);
    EXPECT_ANY_THROW(c->parseTDS(bytesOf(tds), 0));
    EXPECT_EQ(c->referenceCount(), 1) << tds.size();
  }
}

TEST(TDSFixUpTest, PatchedTypesLetGoOfTheSegmentOnceParsed) {
  // 27 FA -> position 24: one byte, four bytes, then a complete TDS holding a DATE.
  V tds = tdsHeader();
  tds.push_back(27);
  append(tds, ub4(25));
  append(tds, {0xFA, 42, 0, 0, 0, 0, 0});
  V inner = tdsHeader();
  append(inner, {2, 40});
  // Copied element by element: GCC 12 at -O3 reports a bogus -Warray-bounds on the range insert.
  std::copy(inner.begin(), inner.end(), std::back_inserter(tds));
  Ref<lang::ByteArray> bytes = bytesOf(tds);
  auto t = makeRef<KelvorTypeADT>("S.HOLDER");
  t->parseTDS(bytes, 0);
  ASSERT_EQ(t->getNumAttributes(), 1);
  EXPECT_EQ(bytes->referenceCount(), 1);
}

// n collection entries (n even) whose elements are DATEs: in one list ending with 42, or split
// in two halves, the second in an embedded list: header | first half | 39 | second half | 42 |
// their elements | 42 | the first half's elements.
Ref<lang::ByteArray> manyFixUps(int n, bool split) {
  const int half = n / 2;
  const int64_t endOfEntries = 18 + 10 * int64_t{n} + (split ? 1 : 0);  // the (inner) 42
  const int64_t innerElements = endOfEntries + 1;
  const int64_t outerElements = split ? innerElements + half + 1 : endOfEntries + 1;
  V tds = tdsHeader();
  for (int i = 0; i < n; ++i) {
    if (split && i == half) tds.push_back(39);
    append(tds,
           collectionEntry(split && i >= half ? innerElements + (i - half) : outerElements + i));
  }
  tds.push_back(42);
  if (split) {
    tds.insert(tds.end(), half, 2);
    tds.push_back(42);
  }
  tds.insert(tds.end(), split ? half : n, 2);
  return bytesOf(tds);
}

double secondsToParse(const Ref<lang::ByteArray>& tds, int expectedAttributes) {
  auto t = makeRef<KelvorTypeADT>("S.MANY");
  const auto start = std::chrono::steady_clock::now();
  t->parseTDS(tds, 0);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(t->getNumAttributes(), expectedAttributes);
  return took.count();
}

TEST(TDSFixUpTest, FixUpsSplitAcrossAnEmbeddedListCostNoMoreThanOneList) {
  const int n = 80000;
  const double one = secondsToParse(manyFixUps(n, false), n);
  const double split = secondsToParse(manyFixUps(n, true), n / 2 + 1);
  // Linear either way; a queue that erased from its middle took over ten times as long.
  EXPECT_LT(split, 3 * one + 0.1) << "one list " << one << " s, split " << split << " s";
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
