// UPT descriptors: their TDS entries and fix-ups, the nested image with its always-long length,
// the read forms, hostile fix-up chains, and round trips of objects and collections that hold
// each other, written by the catalog.
#include "types/KelvorTypeUPT.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include "catalog/LinearImageBuilder.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TDSWriter.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Boxed.h"
#include "lang/Exceptions.h"
#include "lang/String.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/ByteArrayOutputStream.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "tests/types/TypeTestSupport.h"
#include "types/KelvorTypeREF.h"

namespace kelvor::jdbc::kelcore {
namespace {

using catalog::AttributeType;
using catalog::LinearImageBuilder;
using catalog::MemoryCatalog;
using catalog::TypeDefinition;
using lang::ByteArray;
using lang::makeRef;
using typetest::bytesOf;
using typetest::append;
using typetest::codeOf;
using typetest::tdsHeader;
using typetest::ub4;
using typetest::valuesOf;
using V = std::vector<int>;

V numbersTds() {  // collection of NUMBER(10)
  V tds = tdsHeader();
  append(tds, {28});
  append(tds, ub4(29));
  append(tds, ub4(0));
  append(tds, {1, 42, 3, 10, 0});
  return tds;
}
// BOX (N NUMBER, C UPT FB -> NUMS): 27's position points right after the 42.
V boxTds() {
  V tds = tdsHeader();
  append(tds, {3, 5, 0, 27});
  append(tds, ub4(18 + 3 + 6 + 1));
  append(tds, {0xFB, 42, 0});
  append(tds, numbersTds());
  return tds;
}

// An object of one attribute, a UPT FA attached to an object of one NUMBER(5).
V objectUptTds() {
  V fa = tdsHeader();
  append(fa, {27});
  append(fa, ub4(25));
  append(fa, {0xFA, 42, 0, 0, 0, 0, 0});
  V inner = tdsHeader();
  append(inner, {3, 5, 0, 40});
  append(fa, inner);
  return fa;
}

Ref<jdbc::ObjectValue> object(const std::string& name, jdbc::Connection* conn,
                              std::vector<Ref<lang::Object>> attributes) {
  auto a = lang::ObjectArray::make(static_cast<int64_t>(attributes.size()));
  for (size_t i = 0; i < attributes.size(); ++i) a->set(static_cast<int32_t>(i), attributes[i]);
  return makeRef<ObjectValue>(ObjectDescriptor::createDescriptor(name, conn), conn, a);
}
Ref<ArrayValue> array(const std::string& name, jdbc::Connection* conn,
                      std::vector<Ref<lang::Object>> elements) {
  auto a = lang::ObjectArray::make(static_cast<int64_t>(elements.size()));
  for (size_t i = 0; i < elements.size(); ++i) a->set(static_cast<int32_t>(i), elements[i]);
  return makeRef<ArrayValue>(ArrayDescriptor::createDescriptor(name, conn), conn, a.get());
}
// Truncated input fails with a driver error or the platform's index error, and nothing else.
bool failsCleanly(const std::function<void()>& f) {
  try {
    f();
  } catch (const DriverException&) {
    return true;
  } catch (const lang::IndexOutOfBoundsException&) {
    return true;
  }
  return false;
}
// Every prefix of `whole` from `from` bytes up to one byte short fails cleanly in `read`.
void expectEveryPrefixFailsCleanly(const V& whole, size_t from,
                                   const std::function<void(const V&)>& read) {
  for (size_t n = from; n < whole.size(); ++n) {
    const V prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_TRUE(failsCleanly([&] { read(prefix); })) << n;
  }
}
int32_t intOf(const lang::Object* o) {
  const auto* n = dynamic_cast<const NumberValue*>(o);
  return n == nullptr ? -999 : n->intValue();
}
// A value as read in either style, spelled out: platform objects come back as arrays of
// attributes, SQL values as themselves, collections (kept behind their image in both styles)
// as their elements.
std::string render(const lang::Object* o) {
  if (o == nullptr) return "null";
  if (const auto* a = dynamic_cast<const lang::ObjectArray*>(o)) {
    std::string out = "[";
    for (int32_t i = 0; i < a->length(); ++i) out += (i > 0 ? ", " : "") + render(a->at(i));
    return out + "]";
  }
  if (const auto* c = dynamic_cast<const ArrayValue*>(o)) {
    Ref<lang::ObjectArray> e = c->getSqlValueElements();
    return "ARRAY" + (e ? render(e.get()) : std::string("<no elements>"));
  }
  if (const auto* v = dynamic_cast<const ObjectValue*>(o)) {
    Ref<lang::ObjectArray> a = v->getAttributes();
    return a ? "OBJ" + render(a.get()) : "OBJ" + render(v->getPlatformAttributes(nullptr).get());
  }
  return o->toString();
}
size_t trailingZeros(const V& v) {
  size_t n = 0;
  while (n < v.size() && v[v.size() - 1 - n] == 0) ++n;
  return n;
}
std::vector<int32_t> intsOf(const ArrayValue& a) {
  std::vector<int32_t> out;
  Ref<lang::ObjectArray> e = a.getSqlValueElements();
  for (int32_t i = 0; e && i < e->length(); ++i) out.push_back(intOf(e->at(i)));
  return out;
}

class UptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn = makeRef<MemoryConnection>();
    conn->setServerFormatDescriptor(bytesOf(V(32, 0)));
    add("S.NUMS", numbersTds(), {{"", "NUMBER", "SYS"}});
    add("S.BOX", boxTds(), {{"N", "NUMBER", "SYS"}, {"C", "NUMS", "S"}});
  }
  void add(const std::string& name, const V& tds, std::vector<MemoryConnection::AttributeRow> rows) {
    MemoryConnection::TypeInfo info;
    info.tds = bytesOf(tds);
    info.attributes = std::move(rows);
    conn->addType(name, info);
  }
  Ref<KelvorTypeADT> parsed(const V& tds) {
    auto t = makeRef<KelvorTypeADT>("S.X", conn.get());
    t->parseTDS(bytesOf(tds), 0);
    return t;
  }
  Ref<KelvorTypeUPT> boxUpt() {
    Ref<KelvorTypeADT> box = ObjectDescriptor::createDescriptor("S.BOX", conn.get())->getKelvorType();
    return lang::dynamicRef<KelvorTypeUPT>(box->getAttributeType(1));
  }
  Ref<MemoryConnection> conn;
};

// --- parsing and fix-ups ---

TEST_F(UptTest, FixUpAttachesTheCollectionWhereTheUptStands) {
  Ref<KelvorTypeADT> box = ObjectDescriptor::createDescriptor("S.BOX", conn.get())->getKelvorType();
  ASSERT_EQ(box->getNumAttributes(), 2);
  auto upt = lang::dynamicRef<KelvorTypeUPT>(box->getAttributeType(1));
  ASSERT_TRUE(upt);
  EXPECT_EQ(upt->getTypeByte(), 0xFB);
  EXPECT_EQ(upt->getTypeCode(), 2003);
  EXPECT_EQ(upt->getNullIndex(), 2);  // BOX 0, N 1
  EXPECT_EQ(upt->getOffsetIndex(), 1);
  auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(upt->getObjectType().get());
  ASSERT_NE(collection, nullptr);
  EXPECT_EQ(collection->getParent(), box.get());
  EXPECT_EQ(collection->getParentIndex(), 2);
  EXPECT_EQ(collection->getElementType()->getTypeCode(), 3);
  // The forwarded answers are the collection's.
  EXPECT_EQ(upt->getNumAttributes(), 0);
  EXPECT_EQ(upt->newCollectionDescriptor()->getKelvorType()->getSqlName(), "S.NUMS");
}

TEST_F(UptTest, TypeCodeFollowsTheTypeByte) {
  const V fa = objectUptTds();
  Ref<KelvorTypeADT> t = parsed(fa);
  auto upt = lang::dynamicRef<KelvorTypeUPT>(t->getAttributeType(0));
  ASSERT_TRUE(upt);
  EXPECT_EQ(upt->getTypeCode(), 2002);
  EXPECT_EQ(upt->getNumAttributes(), 1);
  EXPECT_EQ(upt->getAttributeType(0)->getTypeCode(), 3);
  EXPECT_EQ(codeOf([] { (void)KelvorTypeUPT().getTypeCode(); }), DriverException::ERR_INTERNAL);
}

TEST_F(UptTest, HostileFixUpsFailCleanly) {
  // Position pointing at the UPT's own entry, and at the TDS start: the pass only moves forward.
  for (int64_t position : {int64_t{18}, int64_t{0}}) {
    V self = tdsHeader();
    append(self, {27});
    append(self, ub4(position));
    append(self, {0xFB, 42, 0});
    append(self, numbersTds());
    EXPECT_EQ(codeOf([&] { (void)parsed(self); }), DriverException::ERR_TDS_FORMAT) << position;
  }
  // An unknown type byte, and type bytes that disagree with the described type.
  V unknown = tdsHeader();
  append(unknown, {27});
  append(unknown, ub4(25));
  append(unknown, {0x11, 42, 0});
  append(unknown, numbersTds());
  EXPECT_EQ(codeOf([&] { (void)parsed(unknown); }), DriverException::ERR_INTERNAL);
  V objectAsCollection = tdsHeader();
  append(objectAsCollection, {27});
  append(objectAsCollection, ub4(25));
  append(objectAsCollection, {0xFB, 42, 0});
  V inner = tdsHeader();
  append(inner, {3, 5, 0, 40});
  append(objectAsCollection, inner);
  EXPECT_EQ(codeOf([&] { (void)parsed(objectAsCollection); }), DriverException::ERR_TDS_FORMAT);
  V collectionAsObject = tdsHeader();
  append(collectionAsObject, {27});
  append(collectionAsObject, ub4(25));
  append(collectionAsObject, {0xFA, 42, 0, 0, 0, 0, 0});
  append(collectionAsObject, numbersTds());
  EXPECT_EQ(codeOf([&] { (void)parsed(collectionAsObject); }), DriverException::ERR_TDS_FORMAT);

  // Segments nested in segments without end (until the bytes run out): error 62, not a crash.
  V chain = tdsHeader();
  append(chain, {3, 5, 0, 40});
  for (int i = 0; i < 400; ++i) {
    V outer = tdsHeader();
    append(outer, {27});
    append(outer, ub4(25));
    append(outer, {0xFA, 42, 0, 0, 0, 0, 0});
    append(outer, chain);
    chain = std::move(outer);
  }
  EXPECT_EQ(codeOf([&] { (void)parsed(chain); }), DriverException::ERR_STACK_OVERFLOW);

  // Every proper prefix of a valid segment fails with a driver or index error.
  expectEveryPrefixFailsCleanly(boxTds(), 0, [&](const V& prefix) { (void)parsed(prefix); });
}

// --- pickled images ---

TEST_F(UptTest, PickleAlwaysWritesTheLongLengthAndPatchesIt) {
  Ref<KelvorTypeUPT> upt = boxUpt();
  PickleContext nulls;
  nulls.initStream();
  EXPECT_EQ(upt->pickle(nulls, nullptr), 1);
  EXPECT_EQ(valuesOf(*nulls.toByteArray()), V({0xFF}));

  Ref<ArrayValue> value = array("S.NUMS", conn.get(), {makeRef<NumberValue>(7)});
  const V nested = valuesOf(*upt->getObjectType()->toImage(value.get()));
  ASSERT_LT(nested.size(), 246u);  // short enough for the 1-byte form, still written long
  PickleContext ctx;
  ctx.initStream();
  EXPECT_EQ(upt->pickle(ctx, value.get()), static_cast<int32_t>(nested.size()) + 5);
  V expected = {0xFE};
  append(expected, ub4(static_cast<int64_t>(nested.size())));
  append(expected, nested);
  EXPECT_EQ(valuesOf(*ctx.toByteArray()), expected);
}

TEST_F(UptTest, ReadFormsNullSkipAndFirstByte) {
  Ref<KelvorTypeUPT> upt = boxUpt();
  // FF: null after one byte.
  PickleContext null(bytesOf({0xFF, 0x11}), 0);
  EXPECT_FALSE(upt->unpickle(null, 1, nullptr));
  EXPECT_EQ(null.offset(), 1);
  // Skip a 300-byte nested image: 305 bytes further, nothing read inside.
  V skip = {0xFE, 0, 0, 1, 0x2C};
  append(skip, V(300, 0x42));
  skip.push_back(0x99);
  PickleContext skipping(bytesOf(skip), 0);
  EXPECT_FALSE(upt->unpickle(skipping, KelvorType::STYLE_SKIP, nullptr));
  EXPECT_EQ(skipping.offset(), 305);
  PickleContext afterFirst(bytesOf(skip), 1);
  EXPECT_FALSE(upt->unpickle(afterFirst, int8_t{-2}, KelvorType::STYLE_SKIP, nullptr));
  EXPECT_EQ(afterFirst.offset(), 305);
  // A real value read with the first byte already taken.
  Ref<ArrayValue> value = array("S.NUMS", conn.get(), {makeRef<NumberValue>(4), nullptr});
  PickleContext out;
  out.initStream();
  (void)upt->pickle(out, value.get());
  PickleContext in(out.toByteArray(), 0);
  const int8_t first = in.readByte();
  auto read = lang::dynamicRef<ArrayValue>(upt->unpickle(in, first, 1, nullptr));
  ASSERT_TRUE(read);
  EXPECT_EQ(in.offset(), out.toByteArray()->length());
  ASSERT_EQ(read->elementCount(), 2);
  EXPECT_EQ(intsOf(*read), std::vector<int32_t>({4, -999}));
}

TEST_F(UptTest, InlineLinearNullsStepOverTheirBytes) {
  Ref<KelvorTypeUPT> collection = boxUpt();
  UnpickleContext c(bytesOf({1, 0, 0, 9}), 0, nullptr, nullptr, 0);
  EXPECT_FALSE(collection->unpickle(c, KelvorTypeUPT::FORMAT_INLINE, 1, nullptr));
  EXPECT_EQ(c.offset(), 3);
  const V fa = objectUptTds();
  auto object = lang::dynamicRef<KelvorTypeUPT>(parsed(fa)->getAttributeType(0));
  UnpickleContext o(bytesOf({1, 0, 0, 0, 0, 9}), 0, nullptr, nullptr, 0);
  EXPECT_FALSE(object->unpickle(o, KelvorTypeUPT::FORMAT_INLINE, 1, nullptr));
  EXPECT_EQ(o.offset(), 5);
  // Objects have no slotted form here; unknown formats are internal errors.
  UnpickleContext s(bytesOf({0, 0, 0, 0}), 0, nullptr, nullptr, 0);
  EXPECT_EQ(codeOf([&] { (void)object->unpickle(s, KelvorTypeUPT::FORMAT_SLOTTED, 1, nullptr); }),
            DriverException::ERR_INTERNAL);
  EXPECT_EQ(codeOf([&] { (void)object->unpickle(s, 3, 1, nullptr); }), DriverException::ERR_INTERNAL);
}

// An object value made from attributes under a UPT converts them by the attached type's
// attributes, which the UPT answers for (its own list is not the attached type's).
TEST_F(UptTest, ObjectValueOfAttributesUnderAnObjectUptTakesTheAttachedTypes) {
  const V fa = objectUptTds();
  Ref<KelvorTypeADT> upt = lang::dynamicRef<KelvorTypeUPT>(parsed(fa)->getAttributeType(0));
  ASSERT_TRUE(upt);
  auto v = makeRef<ObjectValue>(makeRef<ObjectDescriptor>(upt, conn.get()), conn.get(),
                                lang::ObjectArray::of({lang::Boxed<int32_t>::of(7)}));
  const auto* n = dynamic_cast<const NumberValue*>(v->getAttributes()->at(0));
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->intValue(), 7);
}

TEST_F(UptTest, SerialFormKeepsTypeByteAndAttachedType) {
  Ref<KelvorTypeUPT> upt = boxUpt();
  auto back = lang::dynamicRef<KelvorTypeUPT>(typetest::serialCopy(upt));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->getTypeByte(), 0xFB);
  EXPECT_EQ(back->getTypeCode(), 2003);
  auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(back->getObjectType().get());
  ASSERT_NE(collection, nullptr);
  EXPECT_EQ(collection->getElementType()->getTypeCode(), 3);
}

// --- round trips through the catalog ---

class UptCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn = makeRef<MemoryConnection>();
    point.addAttribute("X", AttributeType::numberType(10, 0))
        .addAttribute("Y", AttributeType::numberType(10, 0));
  }
  Ref<ObjectValue> pointOf(int x, int y) {
    return object("GEO.POINT", conn.get(), {makeRef<NumberValue>(x), makeRef<NumberValue>(y)});
  }
  static int32_t xOf(const lang::Object* p) {
    const auto* o = dynamic_cast<const ObjectValue*>(p);
    return o == nullptr ? -999 : intOf(o->getAttributes()->at(0));
  }
  static int32_t yOf(const lang::Object* p) {
    const auto* o = dynamic_cast<const ObjectValue*>(p);
    return o == nullptr ? -999 : intOf(o->getAttributes()->at(1));
  }
  TypeDefinition pointsType() const {
    return TypeDefinition::collectionType("GEO", "POINTS", AttributeType::embeddedType(point), 0);
  }
  TypeDefinition pathType() const {
    TypeDefinition path("GEO", "PATH");
    path.addAttribute("ID", AttributeType::numberType(5, 0))
        .addAttribute("PTS", AttributeType::collectionAttribute(pointsType()))
        .addAttribute("TAIL", AttributeType::numberType(5, 0));
    return path;
  }
  Ref<MemoryConnection> conn;
  TypeDefinition point{"GEO", "POINT"};
};

TEST_F(UptCatalogTest, ObjectHoldingACollectionOfObjectsRoundTrips) {
  const TypeDefinition points =
      TypeDefinition::collectionType("GEO", "POINTS", AttributeType::embeddedType(point), 0);
  TypeDefinition path("GEO", "PATH");
  path.addAttribute("ID", AttributeType::numberType(5, 0))
      .addAttribute("PTS", AttributeType::collectionAttribute(points))
      .addAttribute("TAIL", AttributeType::numberType(5, 0));
  Ref<ObjectDescriptor> d = MemoryCatalog::registerType(*conn, path);
  Ref<KelvorTypeADT> type = d->getKelvorType();
  Ref<ArrayValue> pts = array("GEO.POINTS", conn.get(), {pointOf(1, 2), nullptr, pointOf(5, 6)});
  Ref<ObjectValue> value = object("GEO.PATH", conn.get(), {makeRef<NumberValue>(9), pts, makeRef<NumberValue>(11)});
  Ref<ByteArray> image = type->toImage(value.get());

  auto back = lang::dynamicRef<ObjectValue>(type->fromImage(image.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(back);
  Ref<lang::ObjectArray> a = back->getAttributes();
  EXPECT_EQ(intOf(a->at(0)), 9);
  EXPECT_EQ(intOf(a->at(2)), 11);  // everything after the nested image is where it should be
  auto* readPts = dynamic_cast<ArrayValue*>(a->at(1));
  ASSERT_NE(readPts, nullptr);
  Ref<lang::ObjectArray> e = readPts->getSqlValueElements();
  ASSERT_TRUE(e);
  ASSERT_EQ(e->length(), 3);
  EXPECT_EQ(xOf(e->at(0)), 1);
  EXPECT_FALSE(e->at(1));
  EXPECT_EQ(xOf(e->at(2)), 5);
  // Writing what was read gives the same bytes.
  EXPECT_EQ(valuesOf(*type->toImage(back.get())), valuesOf(*image));
  // A null collection attribute is FF.
  Ref<ObjectValue> none = object("GEO.PATH", conn.get(), {makeRef<NumberValue>(9), nullptr, nullptr});
  auto noneBack = lang::dynamicRef<ObjectValue>(
      type->fromImage(type->toImage(none.get()).get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(noneBack);
  EXPECT_FALSE(noneBack->getAttributes()->at(1));
  // Every proper prefix of the image fails cleanly.
  expectEveryPrefixFailsCleanly(valuesOf(*image), 1, [&](const V& prefix) {
    auto r = lang::dynamicRef<ObjectValue>(type->fromImage(bytesOf(prefix).get(), 0, nullptr, 1, nullptr));
    if (r) {
      auto* c = dynamic_cast<ArrayValue*>(r->getAttributes()->at(1));
      if (c != nullptr) (void)c->getSqlValueElements();
    }
  });
}

TEST_F(UptCatalogTest, CollectionOfCollectionsRoundTripsInPlatformStyleToo) {
  const TypeDefinition row =
      TypeDefinition::collectionType("S", "ROW", AttributeType::numberType(10, 0), 0);
  const TypeDefinition grid =
      TypeDefinition::collectionType("S", "GRID", AttributeType::collectionAttribute(row), 0);
  Ref<ArrayDescriptor> d = MemoryCatalog::registerCollectionType(*conn, grid);
  Ref<KelvorTypeCOLLECTION> type = d->getKelvorType();
  auto* element = dynamic_cast<KelvorTypeUPT*>(type->getElementType().get());
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->getTypeCode(), 2003);
  Ref<ArrayValue> value = array("S.GRID", conn.get(),
      {array("S.ROW", conn.get(), {makeRef<NumberValue>(1), makeRef<NumberValue>(2)}), nullptr,
       array("S.ROW", conn.get(), {})});
  Ref<ByteArray> image = type->toImage(value.get());
  auto back = lang::dynamicRef<ArrayValue>(type->fromImage(image.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(back);
  Ref<lang::ObjectArray> rows = back->getSqlValueElements();
  ASSERT_EQ(rows->length(), 3);
  auto* first = dynamic_cast<ArrayValue*>(rows->at(0));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(intsOf(*first), std::vector<int32_t>({1, 2}));
  EXPECT_FALSE(rows->at(1));
  EXPECT_EQ(dynamic_cast<ArrayValue*>(rows->at(2))->elementCount(), 0);
  EXPECT_EQ(valuesOf(*type->toImage(back.get())), valuesOf(*image));
}

TEST_F(UptCatalogTest, CollectionOfObjectsSlicesStepOverWholeNestedImages) {
  const TypeDefinition points =
      TypeDefinition::collectionType("GEO", "POINTS", AttributeType::embeddedType(point), 0);
  Ref<KelvorTypeCOLLECTION> type = MemoryCatalog::registerCollectionType(*conn, points)->getKelvorType();
  Ref<ArrayValue> value = array("GEO.POINTS", conn.get(), {pointOf(3, 4), pointOf(7, 8)});
  Ref<ByteArray> image = type->toImage(value.get());
  // Slices step over whole nested images.
  auto slice = lang::dynamicRef<ArrayValue>(type->fromImage(image.get(), 0, nullptr, 2, 1, 1, nullptr));
  ASSERT_TRUE(slice);
  ASSERT_EQ(slice->getSqlValueElements()->length(), 1);
  EXPECT_EQ(xOf(slice->getSqlValueElements()->at(0)), 7);
}

// A value whose class overrides getAttributes: the writers write what the override returns.
class ShownValue final : public ObjectValue {
 public:
  ShownValue(Ref<ObjectDescriptor> d, jdbc::Connection* c, Ref<lang::ObjectArray> shown)
      : ObjectValue(std::move(d), c), shown_(std::move(shown)) {}
  Ref<lang::ObjectArray> getAttributes() const override { return shown_; }

 private:
  Ref<lang::ObjectArray> shown_;
};

// What writing gives: the bytes, or the kind (and driver code) of what was raised.
std::string outcomeOf(const std::function<Ref<ByteArray>()>& write) {
  try {
    const V v = valuesOf(*write());
    return std::string(v.begin(), v.end());
  } catch (const DriverException& e) {
    return "driver error " + std::to_string(e.code());
  } catch (const std::exception& e) {
    return typeid(e).name();
  }
}

// toImage (inside an image scope) writes the bytes, or raises the error, of a stream-by-stream
// write of the same value.
void expectScopedAsStreamed(KelvorNamedType& type, lang::Object* value, const char* what) {
  const std::string streamed = outcomeOf([&] {
    PickleContext ctx;
    ctx.initStream();
    (void)type.pickle(ctx, value);
    return ctx.toByteArray();
  });
  EXPECT_EQ(outcomeOf([&] { return type.toImage(value); }), streamed) << what;
}

// Inside an image scope, elements of an object type of data values only are written by a path
// of their own (one header append, the attributes read under the value's lock). It writes the
// bytes and raises the errors of the stream-by-stream writer.
TEST_F(UptCatalogTest, ElementsOfDataValuesWriteAsTheStreamWriterDoes) {
  Ref<KelvorTypeCOLLECTION> type =
      MemoryCatalog::registerCollectionType(*conn, pointsType())->getKelvorType();
  auto pointType = ObjectDescriptor::createDescriptor("GEO.POINT", conn.get());
  auto two = [](int x, int y) {
    return lang::ObjectArray::of({makeRef<NumberValue>(x), makeRef<NumberValue>(y)});
  };
  // A value that keeps its image until its attributes are first asked for.
  const Ref<KelvorTypeADT>& pt = pointType->getKelvorType();
  Ref<ByteArray> pointImage = pt->toImage(pointOf(-5, 6).get());
  PickleContext reader(pointImage);
  Ref<ObjectValue> kept = lang::dynamicRef<ObjectValue>(pt->unpickle(
      reader, nullptr, KelvorTypeADT::MODE_KEEP_IMAGE, KelvorTypeADT::STYLE_SQL_VALUE, nullptr));
  ASSERT_TRUE(kept && kept->isImageOnly());
  const std::vector<std::pair<const char*, std::vector<Ref<lang::Object>>>> cases = {
      {"plain, nulls between", {pointOf(1, 2), nullptr, pointOf(300000, -4), nullptr}},
      {"none", {}},
      {"override", {pointOf(1, 2), makeRef<ShownValue>(pointType, conn.get(), two(8, 9))}},
      {"override without values", {makeRef<ShownValue>(pointType, conn.get(), nullptr)}},
      {"no attributes", {makeRef<ObjectValue>(pointType, conn.get())}},
      {"kept image", {kept}},
      {"count differs",
       {pointOf(1, 2), makeRef<ShownValue>(pointType, conn.get(), lang::ObjectArray::of({}))}},
  };
  for (const auto& [what, elements] : cases) {
    expectScopedAsStreamed(*type, array("GEO.POINTS", conn.get(), elements).get(), what);
  }
}

// The same for a top-level object of scalars that are not all data values (a string among
// them): inside an image scope its attributes are read under the value's lock.
TEST_F(UptCatalogTest, ObjectsOfScalarsWriteAsTheStreamWriterDoes) {
  TypeDefinition label("GEO", "LABEL");
  label.addAttribute("N", AttributeType::numberType(10, 0))
      .addAttribute("S", AttributeType::varcharType(20));
  Ref<ObjectDescriptor> d = MemoryCatalog::registerType(*conn, label);
  Ref<KelvorTypeADT> type = d->getKelvorType();
  auto two = [](int n, const char* text) {
    return lang::ObjectArray::of({makeRef<NumberValue>(n), lang::String::of(text)});
  };
  Ref<ObjectValue> kept;
  {
    Ref<ByteArray> image = type->toImage(makeRef<ObjectValue>(d, conn.get(), two(4, "kept")).get());
    PickleContext reader(image);
    kept = lang::dynamicRef<ObjectValue>(type->unpickle(
        reader, nullptr, KelvorTypeADT::MODE_KEEP_IMAGE, KelvorTypeADT::STYLE_SQL_VALUE, nullptr));
    ASSERT_TRUE(kept && kept->isImageOnly());
  }
  const std::vector<std::pair<const char*, Ref<ObjectValue>>> cases = {
      {"plain", makeRef<ObjectValue>(d, conn.get(), two(7, "seven"))},
      {"too long", makeRef<ObjectValue>(d, conn.get(), two(7, "longer than twenty chars"))},
      {"override", makeRef<ShownValue>(d, conn.get(),
                                       makeRef<ObjectValue>(d, conn.get(), two(8, "shown"))
                                           ->getAttributes())},
      {"override without values", makeRef<ShownValue>(d, conn.get(), nullptr)},
      {"no attributes", makeRef<ObjectValue>(d, conn.get())},
      {"kept image", kept},
      {"count differs", makeRef<ShownValue>(d, conn.get(), lang::ObjectArray::of({}))},
  };
  for (const auto& [what, value] : cases) expectScopedAsStreamed(*type, value.get(), what);
}

// setAttributes on an element while other threads write its collection: every image is one of
// the two the element can have, and nothing is freed under a writer.
TEST_F(UptCatalogTest, ConcurrentSetAttributesWhileElementsAreWritten) {
  Ref<KelvorTypeCOLLECTION> type =
      MemoryCatalog::registerCollectionType(*conn, pointsType())->getKelvorType();
  Ref<ObjectValue> element = pointOf(1, 2);
  Ref<ArrayValue> value = array("GEO.POINTS", conn.get(), {element, pointOf(3, 4)});
  const V first = valuesOf(*type->toImage(value.get()));
  auto other = lang::ObjectArray::of({makeRef<NumberValue>(-7), makeRef<NumberValue>(123456)});
  element->setAttributes(other);
  const V second = valuesOf(*type->toImage(value.get()));
  ASSERT_NE(first, second);
  std::atomic<bool> done{false};
  std::vector<int> strays(2, 0);
  std::vector<std::thread> writers;
  for (int k = 0; k < 2; ++k) {
    writers.emplace_back([&, k] {
      while (!done.load()) {
        const V image = valuesOf(*type->toImage(value.get()));
        if (image != first && image != second) ++strays[k];
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {  // each array made anew, so that a freed one would show
    element->setAttributes(i % 2 == 0 ? lang::ObjectArray::of({makeRef<NumberValue>(1),
                                                                makeRef<NumberValue>(2)})
                                      : lang::ObjectArray::of({makeRef<NumberValue>(-7),
                                                                makeRef<NumberValue>(123456)}));
  }
  done = true;
  for (auto& w : writers) w.join();
  EXPECT_EQ(strays, std::vector<int>(2, 0));
}

// --- round trips through the linear layout ---

// The collection attribute's slot holds the rel of a whole linear collection image behind the
// slots; its object elements are whole linear object images after their flag bytes.
TEST_F(UptCatalogTest, LinearObjectHoldingACollectionOfObjectsRoundTrips) {
  Ref<KelvorTypeADT> type = MemoryCatalog::registerType(*conn, pathType())->getKelvorType();
  Ref<ArrayValue> pts = array("GEO.POINTS", conn.get(), {pointOf(1, 2), nullptr, pointOf(5, 6)});
  Ref<ObjectValue> value =
      object("GEO.PATH", conn.get(), {makeRef<NumberValue>(9), pts, makeRef<NumberValue>(11)});
  Ref<ByteArray> linear = LinearImageBuilder::build(*type, value.get());
  ASSERT_EQ((*linear)[0] & 0x80, 0);  // the linear layout, not a pickled image
  const Ref<ByteArray> pickled = type->toImage(value.get());

  auto back = lang::dynamicRef<ObjectValue>(type->fromImage(linear.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(back);
  auto fromPickled =
      lang::dynamicRef<ObjectValue>(type->fromImage(pickled.get(), 0, nullptr, 1, nullptr));
  EXPECT_TRUE(back->equals(fromPickled.get())) << back->toString();
  EXPECT_EQ(render(back.get()), render(value.get()));
  EXPECT_EQ(render(back.get()), "OBJ[9, ARRAY[OBJ[1, 2], null, OBJ[5, 6]], 11]");
  Ref<lang::ObjectArray> a = back->getAttributes();
  EXPECT_EQ(intOf(a->at(0)), 9);
  EXPECT_EQ(intOf(a->at(2)), 11);
  auto* readPts = dynamic_cast<ArrayValue*>(a->at(1));
  ASSERT_NE(readPts, nullptr);
  Ref<lang::ObjectArray> e = readPts->getSqlValueElements();
  ASSERT_TRUE(e);
  ASSERT_EQ(e->length(), 3);
  EXPECT_EQ(xOf(e->at(0)), 1);
  EXPECT_EQ(yOf(e->at(0)), 2);
  EXPECT_FALSE(e->at(1));
  EXPECT_EQ(xOf(e->at(2)), 5);
  EXPECT_EQ(yOf(e->at(2)), 6);
  // What the linear image gave back pickles to the bytes the value itself pickles to, and
  // builds the same linear image again.
  EXPECT_EQ(valuesOf(*type->toImage(back.get())), valuesOf(*pickled));
  EXPECT_EQ(valuesOf(*LinearImageBuilder::build(*type, back.get())), valuesOf(*linear));

  // The attribute's slot holds the rel, from the first slot, of the collection's own linear
  // image, byte for byte what buildCollection writes for it.
  {
    const V whole = valuesOf(*linear);
    auto ub4At = [&](size_t at) {
      return static_cast<size_t>(whole[at]) << 24 | static_cast<size_t>(whole[at + 1]) << 16 |
             static_cast<size_t>(whole[at + 2]) << 8 | static_cast<size_t>(whole[at + 3]);
    };
    const size_t slots = 4 + 6 + 4 + ub4At(10) + 4;
    auto* upt = dynamic_cast<KelvorTypeUPT*>(type->getAttributeType(1).get());
    ASSERT_NE(upt, nullptr);
    const auto offset = static_cast<size_t>((*type->getAttributeOffsets())[upt->getOffsetIndex()]);
    const size_t rel = ub4At(slots + offset);
    auto* points = dynamic_cast<KelvorTypeCOLLECTION*>(upt->getObjectType().get());
    ASSERT_NE(points, nullptr);
    const V nested = valuesOf(*LinearImageBuilder::buildCollection(*points, pts.get()));
    ASSERT_LE(slots + rel + nested.size(), whole.size());
    EXPECT_EQ(V(whole.begin() + static_cast<std::ptrdiff_t>(slots + rel),
                whole.begin() + static_cast<std::ptrdiff_t>(slots + rel + nested.size())),
              nested);
  }

  // Platform style reads the same as from the pickled image.
  const Ref<lang::Object> platform = type->fromImage(linear.get(), 0, nullptr, 2, nullptr);
  const Ref<lang::Object> platformPickled = type->fromImage(pickled.get(), 0, nullptr, 2, nullptr);
  ASSERT_TRUE(platform);
  EXPECT_EQ(render(platform.get()), render(platformPickled.get()));
  EXPECT_EQ(render(platform.get()), "OBJ[9, ARRAY[OBJ[1, 2], null, OBJ[5, 6]], 11]");

  // A null collection attribute sets its indicator and has no image; an empty one has one.
  for (const Ref<lang::Object>& c : {Ref<lang::Object>(), Ref<lang::Object>(array("GEO.POINTS", conn.get(), {}))}) {
    Ref<ObjectValue> v = object("GEO.PATH", conn.get(), {makeRef<NumberValue>(3), c, makeRef<NumberValue>(4)});
    auto r = lang::dynamicRef<ObjectValue>(
        type->fromImage(LinearImageBuilder::build(*type, v.get()).get(), 0, nullptr, 1, nullptr));
    ASSERT_TRUE(r);
    EXPECT_EQ(render(r.get()), render(v.get()));
    EXPECT_EQ(intOf(r->getAttributes()->at(2)), 4);
    if (c) {
      auto* empty = dynamic_cast<ArrayValue*>(r->getAttributes()->at(1));
      ASSERT_NE(empty, nullptr);
      EXPECT_EQ(empty->elementCount(), 0);
    } else {
      EXPECT_FALSE(r->getAttributes()->at(1));
    }
  }

  // Every proper prefix of the linear image fails cleanly, even one that drops only the zero
  // filling of the last number slot, which no slot read reaches: the length says it is cut.
  const V whole = valuesOf(*linear);
  ASSERT_GT(trailingZeros(whole), 0U);
  // Elements are kept behind their images until read: render reads them all.
  expectEveryPrefixFailsCleanly(whole, 1, [&](const V& prefix) {
    (void)render(type->fromImage(bytesOf(prefix).get(), 0, nullptr, 1, nullptr).get());
  });
}

TEST_F(UptCatalogTest, LinearCollectionOfObjectsRoundTripsWholeAndInSlices) {
  Ref<KelvorTypeCOLLECTION> type =
      MemoryCatalog::registerCollectionType(*conn, pointsType())->getKelvorType();
  Ref<ArrayValue> value =
      array("GEO.POINTS", conn.get(), {pointOf(3, 4), nullptr, pointOf(7, 8), pointOf(-1, 5)});
  Ref<ByteArray> linear = LinearImageBuilder::buildCollection(*type, value.get());
  ASSERT_EQ((*linear)[0] & 0x80, 0);
  const Ref<ByteArray> pickled = type->toImage(value.get());

  auto back = lang::dynamicRef<ArrayValue>(type->fromImage(linear.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(back);
  auto fromPickled =
      lang::dynamicRef<ArrayValue>(type->fromImage(pickled.get(), 0, nullptr, 1, nullptr));
  EXPECT_TRUE(back->equals(fromPickled.get())) << back->toString();
  EXPECT_EQ(render(back.get()), render(value.get()));
  Ref<lang::ObjectArray> e = back->getSqlValueElements();
  ASSERT_EQ(e->length(), 4);
  EXPECT_EQ(xOf(e->at(0)), 3);
  EXPECT_EQ(yOf(e->at(0)), 4);
  EXPECT_FALSE(e->at(1));
  EXPECT_EQ(xOf(e->at(3)), -1);
  EXPECT_EQ(yOf(e->at(3)), 5);
  EXPECT_EQ(valuesOf(*type->toImage(back.get())), valuesOf(*pickled));
  EXPECT_EQ(valuesOf(*LinearImageBuilder::buildCollection(*type, back.get())), valuesOf(*linear));

  // Platform style: the elements become arrays of attributes, as from the pickled image.
  auto platform = lang::dynamicRef<ArrayValue>(type->fromImage(linear.get(), 0, nullptr, 2, nullptr));
  auto platformPickled = lang::dynamicRef<ArrayValue>(type->fromImage(pickled.get(), 0, nullptr, 2, nullptr));
  ASSERT_TRUE(platform);
  ASSERT_TRUE(platformPickled);
  EXPECT_EQ(render(platform->getPlatformArray().get()), render(platformPickled->getPlatformArray().get()));
  EXPECT_EQ(render(platform->getPlatformArray().get()), "[[3, 4], null, [7, 8], [-1, 5]]");

  // Slices step over whole nested images and null elements, in both styles.
  struct Case { int64_t begin; int32_t count; std::string sql; };
  for (const Case& c : {Case{2, 1, "[null]"}, Case{3, 2, "[OBJ[7, 8], OBJ[-1, 5]]"},
                        Case{1, 2, "[OBJ[3, 4], null]"}, Case{4, 5, "[OBJ[-1, 5]]"}}) {
    SCOPED_TRACE(c.begin);
    auto slice = lang::dynamicRef<ArrayValue>(
        type->fromImage(linear.get(), 0, nullptr, c.begin, c.count, 1, nullptr));
    ASSERT_TRUE(slice);
    EXPECT_EQ(render(slice->getSqlValueElements().get()), c.sql);
    auto slicePickled = lang::dynamicRef<ArrayValue>(
        type->fromImage(pickled.get(), 0, nullptr, c.begin, c.count, 1, nullptr));
    EXPECT_EQ(render(slicePickled->getSqlValueElements().get()), c.sql);
    auto platformSlice = lang::dynamicRef<ArrayValue>(
        type->fromImage(linear.get(), 0, nullptr, c.begin, c.count, 2, nullptr));
    auto platformSlicePickled = lang::dynamicRef<ArrayValue>(
        type->fromImage(pickled.get(), 0, nullptr, c.begin, c.count, 2, nullptr));
    ASSERT_TRUE(platformSlice);
    EXPECT_EQ(render(platformSlice->getPlatformArray().get()),
              render(platformSlicePickled->getPlatformArray().get()));
  }

  // A null element is its flag and four zero bytes; a null collection is four zero bytes.
  Ref<ArrayValue> onlyNull = array("GEO.POINTS", conn.get(), {nullptr});
  EXPECT_EQ(valuesOf(*LinearImageBuilder::buildCollection(*type, onlyNull.get())),
            (V{0, 0, 0, 21, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 10, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(valuesOf(*LinearImageBuilder::buildCollection(*type, nullptr)), (V{0, 0, 0, 0}));

  // Every proper prefix fails cleanly, the last number slot's zero filling included.
  const V whole = valuesOf(*linear);
  ASSERT_GT(trailingZeros(whole), 0U);
  expectEveryPrefixFailsCleanly(whole, 1, [&](const V& prefix) {
    (void)render(type->fromImage(bytesOf(prefix).get(), 0, nullptr, 1, nullptr).get());
  });
}

TEST_F(UptCatalogTest, LinearCollectionOfCollectionsRoundTrips) {
  const TypeDefinition row =
      TypeDefinition::collectionType("S", "ROW", AttributeType::numberType(10, 0), 0);
  const TypeDefinition grid =
      TypeDefinition::collectionType("S", "GRID", AttributeType::collectionAttribute(row), 0);
  Ref<KelvorTypeCOLLECTION> type = MemoryCatalog::registerCollectionType(*conn, grid)->getKelvorType();
  Ref<ArrayValue> value = array("S.GRID", conn.get(),
      {array("S.ROW", conn.get(), {makeRef<NumberValue>(1), makeRef<NumberValue>(2)}), nullptr,
       array("S.ROW", conn.get(), {}),
       array("S.ROW", conn.get(), {nullptr, makeRef<NumberValue>(-7)})});
  Ref<ByteArray> linear = LinearImageBuilder::buildCollection(*type, value.get());
  const Ref<ByteArray> pickled = type->toImage(value.get());

  auto back = lang::dynamicRef<ArrayValue>(type->fromImage(linear.get(), 0, nullptr, 1, nullptr));
  ASSERT_TRUE(back);
  auto fromPickled =
      lang::dynamicRef<ArrayValue>(type->fromImage(pickled.get(), 0, nullptr, 1, nullptr));
  EXPECT_TRUE(back->equals(fromPickled.get())) << back->toString();
  EXPECT_EQ(render(back.get()), render(value.get()));
  EXPECT_EQ(render(back.get()), "ARRAY[ARRAY[1, 2], null, ARRAY[], ARRAY[null, -7]]");
  EXPECT_EQ(valuesOf(*type->toImage(back.get())), valuesOf(*pickled));
  EXPECT_EQ(valuesOf(*LinearImageBuilder::buildCollection(*type, back.get())), valuesOf(*linear));

  auto platform = lang::dynamicRef<ArrayValue>(type->fromImage(linear.get(), 0, nullptr, 2, nullptr));
  auto platformPickled = lang::dynamicRef<ArrayValue>(type->fromImage(pickled.get(), 0, nullptr, 2, nullptr));
  ASSERT_TRUE(platform);
  EXPECT_EQ(render(platform->getPlatformArray().get()), render(platformPickled->getPlatformArray().get()));

  auto slice = lang::dynamicRef<ArrayValue>(type->fromImage(linear.get(), 0, nullptr, 3, 2, 1, nullptr));
  ASSERT_TRUE(slice);
  EXPECT_EQ(render(slice->getSqlValueElements().get()), "[ARRAY[], ARRAY[null, -7]]");

  // A null row is its flag and two zero bytes.
  Ref<ArrayValue> onlyNull = array("S.GRID", conn.get(), {nullptr});
  EXPECT_EQ(valuesOf(*LinearImageBuilder::buildCollection(*type, onlyNull.get())),
            (V{0, 0, 0, 19, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 8, 0, 0, 0, 1, 0, 1, 0, 0}));
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::jdbc::kelcore {
namespace {

// A type that reaches its own descriptor through a REF inside the elements of a collection
// attribute: the connection must break that cycle when it goes, or the tree is never freed.
TEST(UptDescriptorLinksTest, ConnectionBreaksCyclesThroughCollectionsAndUpts) {
  Ref<ObjectDescriptor> d;
  {
    auto conn = lang::makeRef<MemoryConnection>();
    catalog::TypeDefinition row("HR", "REPORT");
    row.addAttribute("WHO", catalog::AttributeType::refType("HR.EMP"));
    const catalog::TypeDefinition reports = catalog::TypeDefinition::collectionType(
        "HR", "REPORTS", catalog::AttributeType::embeddedType(row), 0);
    catalog::TypeDefinition emp("HR", "EMP");
    emp.addAttribute("REPORTS", catalog::AttributeType::collectionAttribute(reports));
    d = catalog::MemoryCatalog::registerType(*conn, emp);
    Ref<KelvorTypeADT> type = d->getKelvorType();
    (void)type->getAttributeName(1);  // names known: the REF below resolves by name

    auto* upt = dynamic_cast<KelvorTypeUPT*>(type->getAttributeType(0).get());
    ASSERT_NE(upt, nullptr);
    auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(upt->getObjectType().get());
    ASSERT_NE(collection, nullptr);
    KelvorType* element = collection->getElementType().get();
    if (auto* elementUpt = dynamic_cast<KelvorTypeUPT*>(element)) element = elementUpt->getObjectType().get();
    auto* rowType = dynamic_cast<KelvorTypeADT*>(element);
    ASSERT_NE(rowType, nullptr);
    (void)rowType->getAttributeName(1);
    auto* ref = dynamic_cast<KelvorTypeREF*>(rowType->getAttributeType(0).get());
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->getObjectDescriptor().get(), d.get());  // the cycle: the type reaches itself
    EXPECT_GT(d->referenceCount(), 2);
  }
  // Only this test's handle is left once the connection has dropped its cache and links.
  EXPECT_EQ(d->referenceCount(), 1);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
