#include "catalog/TDSWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "catalog/AttributeType.h"
#include "catalog/LayoutWriter.h"
#include "catalog/TypeDefinition.h"
#include "driver/DriverException.h"
#include "types/DepthGuard.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::catalog {
namespace {

using jdbc::DriverException;
using jdbc::kelcore::typetest::codeOf;
using T = AttributeType;

std::vector<int> unsignedBytes(const lang::ByteArray& a) {
  std::vector<int> v;
  for (int32_t i = 0; i < a.length(); ++i) v.push_back(a[i] & 0xFF);
  return v;
}

// The 18 header bytes of a TDS of the given length, version and leaf slot count.
std::vector<int> header(int size, int version, int slots) {
  return {0, 0, size >> 8, size & 0xFF,   // size
          38, version & 0xFF,              // mark, version
          0, 0, slots >> 8, slots & 0xFF,  // leaf slots in bytes 8-9
          0, 41, 0, 0, 0, 0, 0, 0};        // flag, mark, SB2 0, four skipped bytes
}

std::vector<int> concat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(TDSWriterTest, SmallTypeIsByteExact) {
  TypeDefinition person("HR", "PERSON", 3);
  person.addAttribute("ID", T::numberType(10, 2))
      .addAttribute("NAME", T::varcharType(40, 1, 106))
      .addAttribute("BORN", T::dateType())
      .addAttribute("PHOTO", T::rawType(2000));
  const std::vector<int> list = {3, 10, 2,              // NUMBER precision 10, scale 2
                                 7, 0, 40, 1, 0, 106,   // VARCHAR 40, form 1, charset 106
                                 2,                     // DATE
                                 19, 0x07, 0xD0,        // RAW 2000
                                 40};
  EXPECT_EQ(unsignedBytes(*TDSWriter::write(person)),
            concat(header(18 + 14, 3, 4), list));
}

TEST(TDSWriterTest, EveryKindWritesItsOpcodeAndOperands) {
  struct Case {
    T type;
    std::vector<int> entry;
  };
  const std::vector<Case> cases = {
      {T::numberType(255, 255, T::NumberOpcode::NUMBER_8), {4, 255, 255}},
      {T::numberType(0, 129, T::NumberOpcode::NUMBER_2), {6, 0, 129}},
      {T::floatType(63), {5, 63}},
      {T::sint32Type(), {8}},
      {T::charType(32767, 127, -1), {1, 0x7F, 0xFF, 0x7F, 0xFF, 0xFF}},
      {T::varcharType(0), {7, 0, 0, 1, 0, 106}},
      {T::rawType(32767), {19, 0x7F, 0xFF}},
      {T::blobType(), {30}},
      {T::clobType(), {29}},
      {T::bfileType(), {31}},
      {T::refType("HR.PERSON"), {9}},
  };
  for (const Case& c : cases) {
    TypeDefinition one("S", "ONE", -1);
    one.addAttribute("A", c.type);
    const int size = 18 + static_cast<int>(c.entry.size()) + 1;
    EXPECT_EQ(unsignedBytes(*TDSWriter::write(one)),
              concat(concat(header(size, -1, 1), c.entry), {40}))
        << "opcode " << c.type.opcode();
  }
}

TEST(TDSWriterTest, EmbeddedObjectsNestTheirListsAndCountTheirLeaves) {
  TypeDefinition point("GEO", "POINT");
  point.addAttribute("LAT", T::numberType(9, 6)).addAttribute("LON", T::numberType(9, 6));
  TypeDefinition address("HR", "ADDRESS");
  address.addAttribute("STREET", T::varcharType(30)).addAttribute("AT", T::embeddedType(point));
  TypeDefinition site("HR", "SITE");
  site.addAttribute("OPENED", T::dateType())
      .addAttribute("WHERE", T::embeddedType(address))
      .addAttribute("PLAN", T::blobType());
  const std::vector<int> list = {2,                                    // OPENED
                                 39, 7, 0, 30, 1, 0, 106,              // WHERE: STREET
                                 39, 3, 9, 6, 3, 9, 6, 40,             //   AT: LAT, LON
                                 40,                                   // end of WHERE
                                 30, 40};                              // PLAN, end
  EXPECT_EQ(site.leafSlotCount(), 5);
  EXPECT_EQ(site.nestingLevels(), 3);
  EXPECT_EQ(unsignedBytes(*TDSWriter::write(site)),
            concat(header(18 + static_cast<int>(list.size()), 1, 5), list));
  // The embedded definitions were copied: changing the original later changes nothing.
  point.addAttribute("ALT", T::numberType(9, 2));
  EXPECT_EQ(site.leafSlotCount(), 5);
}

TEST(TDSWriterTest, DefinitionsThatCannotBeEncodedAreRefused) {
  TypeDefinition empty("S", "EMPTY");
  const std::vector<std::function<void()>> refused = {
      [] { T::numberType(256, 0); },
      [] { T::numberType(0, -1); },
      [] { T::numberType(1, 1, static_cast<T::NumberOpcode>(5)); },
      [] { T::floatType(256); },
      [] { T::rawType(32768); },
      [] { T::rawType(-1); },
      [] { T::charType(32768); },
      [] { T::varcharType(10, 128); },
      [] { T::varcharType(10, -1); },
      [] { T::varcharType(10, 1, 32768); },
      [] { T::refType(""); },
      [&] { T::embeddedType(empty); },
      [] { TypeDefinition("", "X"); },
      [] { TypeDefinition("A.B", "X"); },
      [] { TypeDefinition("S", "X", 128); },
      [] { TypeDefinition("S", "X").addAttribute("", T::dateType()); },
      [] {
        TypeDefinition("S", "X").addAttribute("A", T::dateType()).addAttribute("A", T::blobType());
      },
  };
  for (size_t i = 0; i < refused.size(); ++i) {
    EXPECT_EQ(codeOf(refused[i]), DriverException::ERR_INVALID_ARGUMENT) << "case " << i;
  }
}

TEST(TDSWriterTest, LeafSlotsAndNestingStopAtWhatTheHeaderAndTheParserHold) {
  TypeDefinition wide("S", "WIDE");
  for (int i = 0; i < 255; ++i) wide.addAttribute("N" + std::to_string(i), T::numberType(1, 0));
  TypeDefinition widest("S", "WIDEST");
  for (int i = 0; i < 257; ++i) widest.addAttribute("W" + std::to_string(i), T::embeddedType(wide));
  const auto tds = TDSWriter::write(widest);
  EXPECT_EQ(((*tds)[8] & 0xFF) << 8 | ((*tds)[9] & 0xFF), 65535);
  EXPECT_EQ(codeOf([&] { widest.addAttribute("MORE", T::dateType()); }),
            DriverException::ERR_INVALID_ARGUMENT);
  EXPECT_EQ(widest.leafSlotCount(), 65535);  // unchanged by the refusal

  TypeDefinition chain("S", "L1");
  chain.addAttribute("X", T::dateType());
  for (int level = 2; level <= 100; ++level) {
    TypeDefinition outer("S", "L" + std::to_string(level));
    chain = outer.addAttribute("IN", T::embeddedType(chain));
  }
  EXPECT_EQ(TDSWriter::write(chain)->length(), 18 + 99 + 1 + 100);  // 99 x 39, DATE, 100 x 40
  EXPECT_EQ(codeOf([&] { TypeDefinition("S", "L101").addAttribute("IN", T::embeddedType(chain)); }),
            DriverException::ERR_INVALID_ARGUMENT);
}

TEST(TDSWriterTest, CollectionTypeIsByteExact) {
  const TypeDefinition names = TypeDefinition::collectionType(
      "HR", "NAMES", T::varcharType(20), 300, TypeDefinition::CollectionKind::BOUNDED, 2);
  const std::vector<int> body = {28, 0, 0, 0, 29,    // the element entry stands at byte 29
                                 0, 0, 0x01, 0x2C,   // maximum 300
                                 3, 42,              // bounded; the fix-up pass follows
                                 7, 0, 20, 1, 0, 106};  // VARCHAR 20, form 1, charset 106
  // No layout slots: a collection has no layout description.
  EXPECT_EQ(unsignedBytes(*TDSWriter::write(names)), concat(header(18 + 17, 2, 0), body));
}

// The UPT shapes: an object's collection attribute is 27 .. FB pointing past the outer 42 at
// 0 and the collection's whole segment; a collection's object element is 27 .. FA pointing past
// the element entry at 0, four bytes and the object's whole segment. Positions count from the
// start of the segment that holds the entry.
TEST(TDSWriterTest, UptEntriesPointAtWholeNestedSegments) {
  TypeDefinition point("GEO", "POINT");
  point.addAttribute("X", T::numberType(5, 0));
  const std::vector<int> pointTds = concat(header(18 + 4, 1, 1), {3, 5, 0, 40});
  const TypeDefinition points = TypeDefinition::collectionType("GEO", "PTS", T::embeddedType(point), 9);
  const std::vector<int> pointsTds = concat(
      header(18 + 11 + 6 + 5 + 22, 1, 0),
      concat({28, 0, 0, 0, 29, 0, 0, 0, 9, 1, 42,   // element entry at 29
              27, 0, 0, 0, 35, 0xFA,                 // its description at 35
              0, 0, 0, 0, 0},                        // the ignored byte and four bytes
             pointTds));
  EXPECT_EQ(unsignedBytes(*TDSWriter::write(points)), pointsTds);

  TypeDefinition path("GEO", "PATH");
  path.addAttribute("N", T::numberType(5, 0))
      .addAttribute("P", T::collectionAttribute(points))
      .addAttribute("E", T::embeddedType(point));
  // The embedded list ends with 40; the outermost with 42, then the description at 33.
  const std::vector<int> list = {3, 5, 0, 27, 0, 0, 0, 33, 0xFB, 39, 3, 5, 0, 40, 42, 0};
  EXPECT_EQ(unsignedBytes(*TDSWriter::write(path)),
            concat(header(static_cast<int>(18 + list.size() + pointsTds.size()), 1, 3),
                   concat(list, pointsTds)));
  EXPECT_EQ(T::collectionAttribute(points).leafSlotCount(), 1);
  EXPECT_EQ(codeOf([&] { (void)T::collectionAttribute(point); }),
            DriverException::ERR_INVALID_ARGUMENT);
  // Collections of collections nest until the parser's bound, and no further.
  TypeDefinition nested = TypeDefinition::collectionType("S", "C0", T::dateType(), 0);
  int32_t depth = 0;
  EXPECT_NE(codeOf([&] {
              for (;; ++depth) {
                nested = TypeDefinition::collectionType("S", "C" + std::to_string(depth + 1),
                                                        T::collectionAttribute(nested), 0);
              }
            }),
            0);
  EXPECT_GT(depth, 10);
  EXPECT_LE(nested.nestingLevels(), jdbc::kelcore::MAX_NESTING_DEPTH);
}

TEST(TDSWriterTest, CollectionsOfWhatCannotBeWrittenAreRefused) {
  TypeDefinition point("GEO", "POINT");
  point.addAttribute("X", T::numberType(5, 0));
  const auto make = [](T element, int64_t max) {
    return [=] { (void)TypeDefinition::collectionType("S", "C", element, max); };
  };
  // A REF element is taken, naming its target as a REF attribute does.
  EXPECT_EQ(codeOf(make(T::refType("GEO.POINT"), 0)), testsupport::NOTHING_RAISED);
  EXPECT_EQ(TypeDefinition::collectionType("S", "C", T::refType("GEO.POINT"), 0)
                .elementType()->refTarget(),
            "GEO.POINT");
  // The maximum would read back negative.
  EXPECT_EQ(codeOf(make(T::dateType(), int64_t{1} << 31)), DriverException::ERR_INVALID_ARGUMENT);
  EXPECT_EQ(codeOf(make(T::dateType(), -1)), DriverException::ERR_INVALID_ARGUMENT);
  TypeDefinition dates = TypeDefinition::collectionType("S", "C", T::dateType(), INT32_MAX);
  EXPECT_EQ(codeOf([&] { dates.addAttribute("A", T::dateType()); }),
            DriverException::ERR_INVALID_ARGUMENT);
  EXPECT_TRUE(dates.attributes().empty());
  // Neither embeddable nor laid out: both would describe an object that is not there.
  EXPECT_EQ(codeOf([&] { (void)T::embeddedType(dates); }), DriverException::ERR_INVALID_ARGUMENT);
  const auto fd = LayoutWriter::defaultFormatDescriptor();
  EXPECT_EQ(codeOf([&] { (void)LayoutWriter::write(dates, fd.get()); }),
            DriverException::ERR_INVALID_ARGUMENT);
}

}  // namespace
}  // namespace kelvor::catalog
