// The linear image builder, byte for byte on a small type, its failures by code, and the type
// generator it is exercised with: determinism, coverage, and images for every generated value.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/AttributeType.h"
#include "catalog/LayoutWriter.h"
#include "catalog/LinearImageBuilder.h"
#include "catalog/TDSWriter.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/BlobValue.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/DateValue.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "lang/String.h"
#include "tests/support/DriverCode.h"
#include "tests/support/TypeGenerator.h"

namespace kelvor::catalog {
namespace {

using jdbc::DriverException;
using jdbc::MemoryConnection;
using jdbc::ObjectValue;
using lang::makeRef;
using lang::Ref;
using testsupport::codeOf;
using T = AttributeType;
using Builder = LinearImageBuilder;
using Bytes = std::vector<int>;  // unsigned byte values, readable in failure output

Bytes bytesOf(const lang::ByteArray& a) {
  Bytes out;
  for (int32_t i = 0; i < a.length(); ++i) out.push_back(a[i] & 0xFF);
  return out;
}

void putUB4(Bytes& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<int>((v >> (24 - 8 * i)) & 0xFF);
}

// len 000000000000 | n 0000 bits | dataLen data
Bytes imageOf(const Bytes& bits, const Bytes& data) {
  const auto n = static_cast<uint32_t>(2 + bits.size());
  Bytes out(4 + 6 + 4, 0);
  putUB4(out, 0, static_cast<uint32_t>(6 + 4 + n + 4 + data.size()));
  putUB4(out, 10, n);
  out.insert(out.end(), {0, 0});
  out.insert(out.end(), bits.begin(), bits.end());
  out.insert(out.end(), {0, 0, 0, 0});
  putUB4(out, out.size() - 4, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// N NUMBER, S VARCHAR, P STAMP { AT DATE, TAG RAW }, L BLOB. Under the default format
// descriptor the slots are N 0 (22 bytes), S 24 (6 of 24), AT 48 (8), TAG 56 (4 of 24),
// L 80 (4 of 24), 104 bytes in all. Null indexes: object 0, N 1, S 2, P 3, AT 4, TAG 5, L 6.
class LinearImageBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TypeDefinition stamp("T", "STAMP");
    stamp.addAttribute("AT", T::dateType()).addAttribute("TAG", T::rawType(8));
    small.addAttribute("N", T::numberType(5, 0))
        .addAttribute("S", T::varcharType(20))
        .addAttribute("P", T::embeddedType(stamp))
        .addAttribute("L", T::blobType());
    conn = makeRef<MemoryConnection>();
    type = testsupport::registerType(*conn, small)->getKelvorType();
    stampDescriptor = jdbc::ObjectDescriptor::createDescriptor("T.STAMP", conn.get());
    const Ref<lang::LongArray> offsets = type->getAttributeOffsets();
    ASSERT_EQ(Bytes(offsets->data(), offsets->data() + offsets->length()),
              (Bytes{0, 24, 48, 56, 80}));
    ASSERT_EQ(type->getLinearImageSize(), 104);
  }

  Ref<ObjectValue> value(Ref<lang::Object> n, const std::string& s, bool withStamp) {
    Ref<lang::Object> p;
    if (withStamp) {
      p = makeRef<ObjectValue>(
          stampDescriptor, conn.get(),
          lang::ObjectArray::of({jdbc::DateValue::fromString("2026-03-05 14:07:09"), nullptr}));
    }
    return makeRef<ObjectValue>(jdbc::ObjectDescriptor::createDescriptor("T.SMALL", conn.get()),
                                conn.get(),
                                lang::ObjectArray::of({n, text(s), p, locator({0, 3, 1, 2, 3})}));
  }
  Ref<jdbc::CharValue> text(const std::string& s) const {
    return makeRef<jdbc::CharValue>(*lang::String::of(s),
                                    jdbc::CharsetConverter::forId(jdbc::CharsetConverter::UTF_8));
  }
  Ref<jdbc::BlobValue> locator(const Bytes& b) const {
    auto a = lang::ByteArray::make(static_cast<int64_t>(b.size()));
    for (size_t i = 0; i < b.size(); ++i) (*a)[static_cast<int32_t>(i)] = static_cast<int8_t>(b[i]);
    return makeRef<jdbc::BlobValue>(conn, a);
  }
  // The 104 bytes of slots with N = 7, AT = 2026-03-05 14:07:09 (year high byte first: the
  // default format descriptor sets the flag), TAG null; S and L as their rels say.
  static Bytes slots(bool withN, bool withStamp, uint32_t sRel, uint32_t lRel) {
    Bytes d(104, 0);
    if (withN) {
      const jdbc::NumberValue seven(int32_t{7});
      const lang::ByteArray& form = *seven.shareBytes();
      d[0] = form.length();
      for (int32_t i = 0; i < form.length(); ++i) d[1 + static_cast<size_t>(i)] = form[i] & 0xFF;
    }
    putUB4(d, 24, sRel);
    if (withStamp) {
      const Bytes date = {0x07, 0xEA, 3, 5, 14, 7, 9, 0};
      std::copy(date.begin(), date.end(), d.begin() + 48);
    }
    putUB4(d, 80, lRel);
    return d;
  }

  TypeDefinition small{"T", "SMALL"};
  Ref<MemoryConnection> conn;
  Ref<jdbc::kelcore::KelvorTypeADT> type;
  Ref<jdbc::ObjectDescriptor> stampDescriptor;
};

const Bytes HE = {0, 0, 0, 3, 'h', 0xC3, 0xA9};  // "hé" as n(UB4) bytes(n)
const Bytes LOCATOR = {0, 3, 1, 2, 3};

TEST_F(LinearImageBuilderTest, SlotsOffsetsAndOutOfLineValuesLieWhereTheLayoutSays) {
  Bytes data = slots(true, true, 104, 111);
  data.insert(data.end(), HE.begin(), HE.end());            // S at 104
  data.insert(data.end(), LOCATOR.begin(), LOCATOR.end());  // L at 111, its own length first
  // Only TAG (indicator 5: bits 2-3 of the second bit byte) is null.
  const Ref<ObjectValue> v = value(makeRef<jdbc::NumberValue>(int32_t{7}), "hé", true);
  EXPECT_EQ(bytesOf(*Builder::build(*type, v.get())), imageOf({0x00, 0x0C}, data));
}

TEST_F(LinearImageBuilderTest, NullsSetTheirIndicatorsAndLeaveTheirSlotsZero) {
  const Ref<ObjectValue> v = value(nullptr, "hé", false);  // N and the whole of P null
  Bytes data = slots(false, false, 104, 111);
  data.insert(data.end(), HE.begin(), HE.end());
  data.insert(data.end(), LOCATOR.begin(), LOCATOR.end());
  // N (1) and P (3) in the first byte; P's leaves AT (4) and TAG (5) marked with it.
  EXPECT_EQ(bytesOf(*Builder::build(*type, v.get())), imageOf({0xCC, 0x0F}, data));
  Builder::Options clear;
  clear.underNullObject = Builder::UnderNullObject::CLEAR;
  clear.nullBits = 1;
  EXPECT_EQ(bytesOf(*Builder::build(*type, v.get(), clear)), imageOf({0x44, 0x00}, data));
}

TEST_F(LinearImageBuilderTest, NullValueIsAZeroLengthOrAnImageWithIndicatorZeroSet) {
  EXPECT_EQ(bytesOf(*Builder::build(*type, nullptr)), (Bytes{0, 0, 0, 0}));
  Builder::Options whole;
  whole.nullValue = Builder::NullValueForm::NULL_INDICATOR;
  EXPECT_EQ(bytesOf(*Builder::build(*type, nullptr, whole)),
            imageOf({0xFF, 0x3F}, Bytes(104, 0)));  // indicators 0..6, every slot zero
  whole.underNullObject = Builder::UnderNullObject::CLEAR;
  EXPECT_EQ(bytesOf(*Builder::build(*type, nullptr, whole)), imageOf({0x03, 0x00}, Bytes(104, 0)));
}

TEST_F(LinearImageBuilderTest, CharactersFollowTheirSlotOnlyWhenTheyFitBeforeTheNext) {
  Builder::Options after;
  after.characters = Builder::CharPlacement::AFTER_SLOT_WHEN_ROOM;
  const auto n7 = makeRef<jdbc::NumberValue>(int32_t{7});
  // S's slot leaves 18 bytes before AT at 48: a 14-byte value fits with its length, 15 not.
  Bytes inSlot = slots(true, true, 0, 104);
  const std::string fourteen(14, 'q');
  putUB4(inSlot, 30, 14);
  std::fill(inSlot.begin() + 34, inSlot.begin() + 48, 'q');
  inSlot.insert(inSlot.end(), LOCATOR.begin(), LOCATOR.end());
  EXPECT_EQ(bytesOf(*Builder::build(*type, value(n7, fourteen, true).get(), after)),
            imageOf({0x00, 0x0C}, inSlot));

  Bytes outOfLine = slots(true, true, 104, 123);
  outOfLine.insert(outOfLine.end(), {0, 0, 0, 15});
  outOfLine.insert(outOfLine.end(), 15, 'q');
  outOfLine.insert(outOfLine.end(), LOCATOR.begin(), LOCATOR.end());
  EXPECT_EQ(bytesOf(*Builder::build(*type, value(n7, std::string(15, 'q'), true).get(), after)),
            imageOf({0x00, 0x0C}, outOfLine));
}

TEST_F(LinearImageBuilderTest, DateYearComesLowByteFirstWhenTheFormatFlagIsClear) {
  auto fd = LayoutWriter::defaultFormatDescriptor();
  (*fd)[LayoutWriter::DEFAULT_FD_FLAGS_AT] = 0;
  auto other = makeRef<MemoryConnection>();
  other->setFormatDescriptor(fd);
  const auto lowFirst = testsupport::registerType(*other, small)->getKelvorType();
  ASSERT_FALSE(lowFirst->getFormatFlag());
  const Ref<ObjectValue> v = value(nullptr, "hé", true);
  const Ref<lang::ByteArray> linear = Builder::build(*lowFirst, v.get());
  const Bytes image = bytesOf(*linear);
  constexpr size_t dataAt = 4 + 6 + 4 + 4 + 4;  // len, body prefix, n, nulls, dataLen
  EXPECT_EQ(Bytes(image.begin() + dataAt + 48, image.begin() + dataAt + 56),
            (Bytes{0xEA, 0x07, 3, 5, 14, 7, 9, 0}));
  const Ref<lang::Object> back = lowFirst->fromImage(linear.get(), 0, nullptr, 1, nullptr);
  EXPECT_TRUE(back && back->equals(v.get()));
}

TEST_F(LinearImageBuilderTest, ValuesThatDoNotSuitTheTypeAreRefused) {
  TypeDefinition pair("T", "PAIR");
  pair.addAttribute("A", T::numberType(1, 0)).addAttribute("B", T::numberType(1, 0));
  TypeDefinition swapped("T", "SWAPPED");  // four attributes, N a character value
  swapped.addAttribute("N", T::varcharType(5))
      .addAttribute("S", T::varcharType(5))
      .addAttribute("P", T::varcharType(5))
      .addAttribute("L", T::varcharType(5));
  auto pairValue = makeRef<ObjectValue>(testsupport::registerType(*conn, pair), conn.get(),
                                        lang::ObjectArray::of({nullptr, nullptr}));
  auto swappedValue =
      makeRef<ObjectValue>(testsupport::registerType(*conn, swapped), conn.get(),
                           lang::ObjectArray::of({text("1"), nullptr, nullptr, nullptr}));
  auto shortLocator = makeRef<ObjectValue>(
      jdbc::ObjectDescriptor::createDescriptor("T.SMALL", conn.get()), conn.get(),
      lang::ObjectArray::of({nullptr, nullptr, nullptr, locator({0, 5, 1})}));
  for (const ObjectValue* bad : {pairValue.get(), swappedValue.get(), shortLocator.get()}) {
    EXPECT_EQ(codeOf([&] { (void)Builder::build(*type, bad); }),
              DriverException::ERR_INVALID_ARGUMENT);
  }
  for (int32_t bits : {0, 4}) {
    Builder::Options o;
    o.nullBits = bits;
    EXPECT_EQ(codeOf([&] { (void)Builder::build(*type, nullptr, o); }),
              DriverException::ERR_INVALID_ARGUMENT);
  }
}

TEST(LinearImageBuilderLayoutTest, SlotsThatOverlapOrRunPastTheImageAreRefused) {
  TypeDefinition two("T", "TWO");
  two.addAttribute("A", T::numberType(1, 0)).addAttribute("B", T::numberType(1, 0));
  // layout := count size offset*: a second NUMBER slot at 10 overlaps the first; at 22 it
  // runs past a size of 30.
  const std::vector<Bytes> layouts = {{0, 0, 0, 2, 0, 0, 0, 44, 0, 0, 0, 0, 0, 0, 0, 10},
                                      {0, 0, 0, 2, 0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 0, 22}};
  for (const Bytes& layout : layouts) {
    auto conn = makeRef<MemoryConnection>();
    (void)testsupport::registerType(*conn, two);  // the format descriptor, TDS, rows
    MemoryConnection::TypeInfo info;
    info.tds = TDSWriter::write(two);
    info.typeId = lang::ByteArray::make(16);
    info.layout = lang::ByteArray::make(static_cast<int64_t>(layout.size()));
    for (size_t i = 0; i < layout.size(); ++i) {
      (*info.layout)[static_cast<int32_t>(i)] = static_cast<int8_t>(layout[i]);
    }
    info.attributes = {{"A", "NUMBER", "BUILTIN"}, {"B", "NUMBER", "BUILTIN"}};
    conn->addType("T.BAD", info);
    auto bad = makeRef<jdbc::kelcore::KelvorTypeADT>("T.BAD", conn.get());
    EXPECT_EQ(codeOf([&] {
                (void)Builder::build(*bad, nullptr, {Builder::NullValueForm::NULL_INDICATOR});
              }),
              DriverException::ERR_INVALID_ARGUMENT);
  }
}

// --- collections ---

// A(4) 00 00 U(4) p(1) locator [I(4) n(4) 00 elements]
TEST(LinearCollectionImageTest, ElementsLocatorsAndNullsAsTheReadersTakeThem) {
  auto conn = makeRef<MemoryConnection>();
  auto& nums = *testsupport::registerCollectionType(
      *conn, TypeDefinition::collectionType("T", "NUMS", T::numberType(5, 0), 0))->getKelvorType();
  auto elements = lang::ObjectArray::make(2);
  elements->set(0, makeRef<jdbc::NumberValue>(int32_t{7}));
  const auto value = makeRef<jdbc::ArrayValue>(nums.getArrayDescriptor(), conn.get(), elements.get());
  Bytes seven(23, 0);  // f 00, then the number slot
  const Ref<lang::ByteArray> form = jdbc::NumberValue(int32_t{7}).shareBytes();
  seven[1] = form->length();
  for (int32_t i = 0; i < form->length(); ++i) seven[2 + static_cast<size_t>(i)] = (*form)[i] & 0xFF;
  Bytes expected = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0};
  expected.insert(expected.end(), seven.begin(), seven.end());
  expected.push_back(1);  // the null element: its flag and 22 zero bytes
  expected.insert(expected.end(), 22, 0);
  putUB4(expected, 0, static_cast<uint32_t>(expected.size() - 4));
  putUB4(expected, 11, 5 + 46);
  EXPECT_EQ(bytesOf(*Builder::buildCollection(nums, value.get())), expected);

  const auto locator = jdbc::ArrayValue::ofLocator(nums.getArrayDescriptor(), conn.get(),
                                                   lang::ByteArray::of({9, 8, 7}));
  EXPECT_EQ(bytesOf(*Builder::buildCollection(nums, locator.get())),
            (Bytes{0, 0, 0, 10, 0, 0, 0, 0, 0, 4, 0, 9, 8, 7}));
  EXPECT_EQ(bytesOf(*Builder::buildCollection(nums, nullptr)), (Bytes{0, 0, 0, 0}));
}

TEST(LinearCollectionImageTest, LocatorsFillTheirSlotAndNullsDoNot) {
  auto conn = makeRef<MemoryConnection>();
  auto& blobs = *testsupport::registerCollectionType(
      *conn, TypeDefinition::collectionType("T", "BLOBS", T::blobType(), 0))->getKelvorType();
  auto elements = lang::ObjectArray::make(3);
  elements->set(0, makeRef<jdbc::BlobValue>(conn, lang::ByteArray::of({0, 3, 1, 2, 3})));
  elements->set(2, makeRef<jdbc::BlobValue>(conn, lang::ByteArray::of({0, 3, 4, 5, 6})));
  const auto value = makeRef<jdbc::ArrayValue>(blobs.getArrayDescriptor(), conn.get(), elements.get());
  const Bytes image = bytesOf(*Builder::buildCollection(blobs, value.get()));
  // part at 20: f 00 and the 5 locator bytes in an 86-byte slot, f 01 00 00, f 00 and slot
  Bytes part = {0, 0, 3, 1, 2, 3};
  part.resize(87, 0);
  part.insert(part.end(), {1, 0, 0, 0, 0, 3, 4, 5, 6});
  part.resize(87 + 3 + 87, 0);
  ASSERT_EQ(image.size(), 20 + part.size());
  EXPECT_EQ(Bytes(image.begin() + 20, image.end()), part);
  auto back = lang::dynamicRef<jdbc::ArrayValue>(
      blobs.fromImage(Builder::buildCollection(blobs, value.get()).get(), 0, nullptr, 3, 1, 1,
                      nullptr));
  ASSERT_TRUE(back);
  EXPECT_TRUE(elements->at(2)->equals(back->getSqlValueElements()->at(0)));
}

// --- the generator ---

struct Generated {
  std::vector<Bytes> tds;
  std::vector<Bytes> images;
};

Generated generate(uint64_t seed) {
  testsupport::TypeGenerator g(seed);
  Generated out;
  auto conn = makeRef<MemoryConnection>();
  for (int i = 0; i < 4; ++i) {
    const TypeDefinition t = g.nextType();
    out.tds.push_back(bytesOf(*TDSWriter::write(t)));
    const auto od = testsupport::registerType(*conn, t);
    out.images.push_back(
        bytesOf(*Builder::build(*od->getKelvorType(), g.nextValue(t, *conn).get())));
  }
  return out;
}

TEST(TypeGeneratorTest, SameSeedGivesTheSameTypesAndValues) {
  const Generated a = generate(42);
  const Generated b = generate(42);
  EXPECT_EQ(a.tds, b.tds);
  EXPECT_EQ(a.images, b.images);
  const Generated c = generate(43);
  EXPECT_NE(a.tds, c.tds);
  EXPECT_NE(a.images, c.images);
}

// Embedded object types of a definition, and null embedded objects of a value by the level of
// the object that holds them (1: the generated type itself).
void surveyType(const TypeDefinition& t, std::set<T::Kind>& kinds, bool& first, bool& later) {
  for (size_t i = 0; i < t.attributes().size(); ++i) {
    const T& a = t.attributes()[i].type;
    kinds.insert(a.kind());
    if (a.objectType() == nullptr) continue;
    (i == 0 ? first : later) = true;
    surveyType(*a.objectType(), kinds, first, later);
  }
}

void nullObjectLevels(const TypeDefinition& t, const ObjectValue& v, int32_t level,
                      std::set<int32_t>& levels) {
  for (size_t i = 0; i < t.attributes().size(); ++i) {
    const TypeDefinition* inner = t.attributes()[i].type.objectType();
    if (inner == nullptr) continue;
    auto* child = dynamic_cast<ObjectValue*>(v.getAttributes()->at(static_cast<int32_t>(i)));
    if (child == nullptr) {
      levels.insert(level);
    } else {
      nullObjectLevels(*inner, *child, level + 1, levels);
    }
  }
}

uint32_t ub4At(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}

// Over a run of seeds the generator reaches what round trips need, and every value it makes
// builds into an image whose two lengths agree with its size.
TEST(TypeGeneratorTest, CoversEveryKindAndNestingAndEveryValueBuilds) {
  std::set<T::Kind> kinds;
  bool embeddedFirst = false;
  bool embeddedLater = false;
  int32_t deepest = 0;
  std::set<int32_t> nullLevels;
  testsupport::TypeGenerator g(7);
  auto conn = makeRef<MemoryConnection>();
  for (int i = 0; i < 60; ++i) {
    const TypeDefinition t = g.nextType();
    surveyType(t, kinds, embeddedFirst, embeddedLater);
    deepest = std::max(deepest, t.nestingLevels());
    auto type = testsupport::registerType(*conn, t)->getKelvorType();
    for (int j = 0; j < 3; ++j) {
      const Ref<ObjectValue> v = g.nextValue(t, *conn);
      nullObjectLevels(t, *v, 1, nullLevels);
      const Bytes image = bytesOf(*Builder::build(*type, v.get()));
      ASSERT_GE(image.size(), 22u);
      EXPECT_EQ(ub4At(image, 0), image.size() - 4);
      const size_t dataAt = 14 + ub4At(image, 10) + 4;  // after the indicators and dataLen
      ASSERT_LE(dataAt, image.size());
      EXPECT_EQ(ub4At(image, dataAt - 4), image.size() - dataAt);
    }
  }
  EXPECT_EQ(kinds.size(), 12u);  // every kind, embedded objects and REFs included
  EXPECT_TRUE(embeddedFirst);
  EXPECT_TRUE(embeddedLater);
  EXPECT_EQ(deepest, 4);
  EXPECT_EQ(nullLevels, (std::set<int32_t>{1, 2, 3}));
}

// Generated values read back equal from the pickled image the type writes and from the linear
// image built here, under every option of the builder; null values read back null.
TEST(LinearImageRoundTripTest, GeneratedValuesReadBackFromBothLayouts) {
  testsupport::TypeGenerator g(2026);
  auto conn = makeRef<MemoryConnection>();
  int32_t values = 0;
  for (int i = 0; i < 40; ++i) {
    const TypeDefinition t = g.nextType();
    auto type = testsupport::registerType(*conn, t)->getKelvorType();
    for (int j = 0; j < 4; ++j, ++values) {
      SCOPED_TRACE(t.sqlName() + " value " + std::to_string(j));
      const Ref<ObjectValue> v = g.nextValue(t, *conn);
      Builder::Options o;  // cycles through the options, one value at a time
      o.characters = values % 2 == 0 ? Builder::CharPlacement::OUT_OF_LINE
                                     : Builder::CharPlacement::AFTER_SLOT_WHEN_ROOM;
      o.underNullObject =
          values % 3 == 0 ? Builder::UnderNullObject::CLEAR : Builder::UnderNullObject::MARKED_NULL;
      o.nullBits = 1 + values % 3;
      const Ref<lang::ByteArray> linear = Builder::build(*type, v.get(), o);
      const Ref<lang::ByteArray> pickled = type->toImage(v.get());
      for (const Ref<lang::ByteArray>& image : {linear, pickled}) {
        auto back =
            lang::dynamicRef<ObjectValue>(type->fromImage(image.get(), 0, nullptr, 1, nullptr));
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->equals(v.get()))
            << "read back: " << back->toString() << "\nwritten:   " << v->toString();
      }
    }
    Builder::Options whole;
    whole.nullValue = Builder::NullValueForm::NULL_INDICATOR;
    EXPECT_FALSE(
        type->fromImage(Builder::build(*type, nullptr, whole).get(), 0, nullptr, 1, nullptr));
    EXPECT_FALSE(type->fromImage(Builder::build(*type, nullptr).get(), 0, nullptr, 1, nullptr));
  }
}

// An object held as a collection element is read, when its value is first decoded, by a
// descriptor that has not loaded its type yet; its date years still follow the format flag.
TEST(LinearImageRoundTripTest, DateInAnObjectElementKeepsItsYearOrder) {
  auto conn = makeRef<MemoryConnection>();
  TypeDefinition p("S", "P");
  p.addAttribute("D", T::dateType());
  TypeDefinition h("S", "H");
  h.addAttribute("C", T::collectionAttribute(
                          TypeDefinition::collectionType("S", "PS", T::embeddedType(p), 0)));
  auto type = testsupport::registerType(*conn, h)->getKelvorType();
  auto date = lang::ByteArray::make(jdbc::DateValue::LENGTH);
  const int form[] = {108, 114, 2, 19, 6, 27, 6};  // 0814-02-19 05:26:05: year bytes 03 2E
  for (int32_t i = 0; i < jdbc::DateValue::LENGTH; ++i) (*date)[i] = static_cast<int8_t>(form[i]);
  auto pa = lang::ObjectArray::make(1);
  pa->set(0, makeRef<jdbc::DateValue>(date));
  auto ea = lang::ObjectArray::make(1);
  ea->set(0, makeRef<ObjectValue>(jdbc::ObjectDescriptor::createDescriptor("S.P", conn.get()),
                                  conn.get(), pa));
  auto ha = lang::ObjectArray::make(1);
  ha->set(0, makeRef<jdbc::ArrayValue>(jdbc::ArrayDescriptor::createDescriptor("S.PS", conn.get()),
                                       conn.get(), ea.get()));
  const auto v =
      makeRef<ObjectValue>(jdbc::ObjectDescriptor::createDescriptor("S.H", conn.get()), conn.get(), ha);
  for (const Ref<lang::ByteArray>& image : {Builder::build(*type, v.get()), type->toImage(v.get())}) {
    auto back = type->fromImage(image.get(), 0, nullptr, 1, nullptr);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toString(), v->toString());
  }
}

// Collection attributes (UPTs) of a definition, by what their elements are, and whether they
// stand first or later among an object type's attributes; levels counts object and collection
// levels from 1 at the generated type.
struct CollectionSurvey {
  std::set<std::string> elements;  // "scalar", "object", "collection", "REF"
  bool first = false;
  bool later = false;
  int32_t deepest = 0;
};

void surveyCollections(const TypeDefinition& t, int32_t level, CollectionSurvey& s);

void surveyElement(const TypeDefinition& collection, int32_t level, CollectionSurvey& s) {
  s.deepest = std::max(s.deepest, level);
  const T& e = *collection.elementType();
  if (e.collectionType() != nullptr) {
    s.elements.insert("collection");
    surveyElement(*e.collectionType(), level + 1, s);
  } else if (e.objectType() != nullptr) {
    s.elements.insert("object");
    surveyCollections(*e.objectType(), level + 1, s);
  } else {
    s.elements.insert(e.kind() == T::Kind::REF ? "REF" : "scalar");
  }
}

void surveyCollections(const TypeDefinition& t, int32_t level, CollectionSurvey& s) {
  s.deepest = std::max(s.deepest, level);
  for (size_t i = 0; i < t.attributes().size(); ++i) {
    const T& a = t.attributes()[i].type;
    if (a.objectType() != nullptr) surveyCollections(*a.objectType(), level + 1, s);
    if (a.collectionType() == nullptr) continue;
    (i == 0 ? s.first : s.later) = true;
    surveyElement(*a.collectionType(), level + 1, s);
  }
}

// Generated object types with collection attributes, whose elements are scalars (REFs
// included), objects and collections several levels deep: values read back equal from the
// pickled image and from the linear image, and both images of what was read are the images
// of what was written.
TEST(LinearImageRoundTripTest, GeneratedValuesWithCollectionsReadBackFromBothLayouts) {
  testsupport::TypeGenerator::Options options;
  options.collectionPercent = 25;
  options.maxCollectionElements = 4;
  testsupport::TypeGenerator g(3107, options);
  auto conn = makeRef<MemoryConnection>();
  CollectionSurvey survey;
  for (int i = 0; i < 40; ++i) {
    const TypeDefinition t = g.nextType();
    surveyCollections(t, 1, survey);
    auto type = testsupport::registerType(*conn, t)->getKelvorType();
    for (int j = 0; j < 4; ++j) {
      SCOPED_TRACE(t.sqlName() + " value " + std::to_string(j));
      const Ref<ObjectValue> v = g.nextValue(t, *conn);
      const Ref<lang::ByteArray> linear = Builder::build(*type, v.get());
      const Ref<lang::ByteArray> pickled = type->toImage(v.get());
      for (const Ref<lang::ByteArray>& image : {linear, pickled}) {
        SCOPED_TRACE(image == linear ? "linear" : "pickled");
        auto back =
            lang::dynamicRef<ObjectValue>(type->fromImage(image.get(), 0, nullptr, 1, nullptr));
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->equals(v.get()))
            << "read back: " << back->toString() << "\nwritten:   " << v->toString();
        EXPECT_EQ(bytesOf(*type->toImage(back.get())), bytesOf(*pickled));
        EXPECT_EQ(bytesOf(*Builder::build(*type, back.get())), bytesOf(*linear));
      }
    }
  }
  EXPECT_EQ(survey.elements,
            (std::set<std::string>{"scalar", "object", "collection", "REF"}));
  EXPECT_TRUE(survey.first);
  EXPECT_TRUE(survey.later);
  EXPECT_GE(survey.deepest, 4);
}

}  // namespace
}  // namespace kelvor::catalog
