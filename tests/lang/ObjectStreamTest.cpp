#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "lang/Boxed.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/ByteArrayOutputStream.h"
#include "lang/Decimal.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "lang/Serializable.h"
#include "lang/String.h"
#include "lang/Timestamp.h"

namespace kelvor::lang {
namespace {

std::vector<std::string> hookLog;

// A two-level serialisable hierarchy: each level writes and reads only its own fields.
class Shape : public Object, public Serializable {
 public:
  static const SerialClass SERIAL_CLASS;
  const SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  int32_t id = 0;
  Ref<Object> link;
};

class Circle final : public Shape {
 public:
  static const SerialClass SERIAL_CLASS;
  const SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  double radius = 0;
  std::string label;
};

const SerialClass Shape::SERIAL_CLASS = {
    "test.Shape", nullptr, nullptr,  // abstract: no factory
    [](const Object& self, ObjectOutputStream& out) {
      hookLog.push_back("Shape.write");
      const auto& s = static_cast<const Shape&>(self);
      out.writeInt(s.id);
      out.writeObject(s.link);
    },
    [](Object& self, ObjectInputStream& in) {
      hookLog.push_back("Shape.read");
      auto& s = static_cast<Shape&>(self);
      s.id = in.readInt();
      s.link = in.readObject();
    }};

const SerialClass Circle::SERIAL_CLASS = {
    "test.Circle", &Shape::SERIAL_CLASS, [] { return Ref<Object>::adopt(new Circle); },
    [](const Object& self, ObjectOutputStream& out) {
      hookLog.push_back("Circle.write");
      const auto& c = static_cast<const Circle&>(self);
      out.writeDouble(c.radius);
      out.writeUTF(c.label);
    },
    [](Object& self, ObjectInputStream& in) {
      hookLog.push_back("Circle.read");
      auto& c = static_cast<Circle&>(self);
      c.radius = in.readDouble();
      c.label = in.readUTF();
    }};

// Registered, but its factory makes an object of another class.
const SerialClass LIAR = {"test.Liar", nullptr, [] { return Ref<Object>::adopt(new Circle); }, nullptr,
                          nullptr};

const SerialRegistrar shapeRegistrar(Shape::SERIAL_CLASS);
const SerialRegistrar circleRegistrar(Circle::SERIAL_CLASS);
const SerialRegistrar liarRegistrar(LIAR);

Ref<Circle> circle(int32_t id, double radius, std::string label, Ref<Object> link = nullptr) {
  auto c = Ref<Circle>::adopt(new Circle);
  c->id = id;
  c->radius = radius;
  c->label = std::move(label);
  c->link = std::move(link);
  return c;
}

std::vector<int8_t> serialise(const std::function<void(ObjectOutputStream&)>& write) {
  ByteArrayOutputStream bytes;
  ObjectOutputStream out(bytes);
  write(out);
  const Ref<ByteArray> a = bytes.toByteArray();
  return {a->data(), a->data() + a->length()};
}

Ref<ByteArrayInputStream> streamOver(const std::vector<int8_t>& bytes) {
  return makeRef<ByteArrayInputStream>(
      ByteArray::copyOf(bytes.data(), static_cast<int32_t>(bytes.size())));
}

std::vector<int8_t> header() { return {'K', 'S', 1}; }
void appendBe32(std::vector<int8_t>& v, uint32_t x) {
  for (int i = 3; i >= 0; --i) v.push_back(static_cast<int8_t>(x >> (8 * i)));
}

Ref<Object> readOne(const std::vector<int8_t>& bytes) {
  Ref<ByteArrayInputStream> in = streamOver(bytes);
  ObjectInputStream ois(*in);
  return ois.readObject();
}

// Clears every Ref that a graph of arrays and shapes holds, so that cycles do not leak.
void unlink(Object* o, std::set<Object*>& seen) {
  if (o == nullptr || !seen.insert(o).second) return;
  if (auto* a = dynamic_cast<ObjectArray*>(o)) {
    for (int32_t i = 0; i < a->length(); ++i) {
      Ref<Object> keep = a->data()[i];
      a->data()[i] = nullptr;
      unlink(keep.get(), seen);
    }
  } else if (auto* s = dynamic_cast<Shape*>(o)) {
    Ref<Object> keep = std::move(s->link);
    unlink(keep.get(), seen);
  }
}

template <typename E>
bool sameArray(const Object* a, const Object* b) {
  const auto* x = dynamic_cast<const PrimitiveArray<E>*>(a);
  const auto* y = dynamic_cast<const PrimitiveArray<E>*>(b);
  return x != nullptr && y != nullptr && x->sameContents(*y);
}

// equals() for the value kinds, element by element (bitwise) for primitive arrays.
bool sameValue(const Object* a, const Object* b) {
  return a->equals(b) || sameArray<bool>(a, b) || sameArray<int8_t>(a, b) ||
         sameArray<int16_t>(a, b) || sameArray<char16_t>(a, b) || sameArray<int32_t>(a, b) ||
         sameArray<int64_t>(a, b) || sameArray<float>(a, b) || sameArray<double>(a, b);
}

TEST(ObjectStreamTest, PrimitivesAreTaggedBigEndianAfterTheHeader) {
  const std::vector<int8_t> bytes = serialise([](ObjectOutputStream& out) {
    out.writeInt(0x01020304);
    out.writeShort(-2);
    out.writeUTF("h\xC3\xA9");
  });
  const std::vector<int8_t> expected = {'K', 'S', 1, 0x01, 1, 2, 3, 4, 0x03, -1, -2,
                                        0x08, 0, 0, 0, 3, 'h', -61, -87};
  EXPECT_EQ(bytes, expected);
}

TEST(ObjectStreamTest, PrimitivesRoundTripAndAReaderExpectingAnotherTagFails) {
  const std::vector<int8_t> bytes = serialise([](ObjectOutputStream& out) {
    out.writeInt(INT32_MIN);
    out.writeLong(INT64_MIN);
    out.writeShort(INT16_MIN);
    out.writeByte(-128);
    out.writeBoolean(true);
    out.writeFloat(-0.0f);
    out.writeDouble(std::nan(""));
    out.writeUTF("");
    out.writeInt(7);
  });
  Ref<ByteArrayInputStream> in = streamOver(bytes);
  ObjectInputStream ois(*in);
  EXPECT_EQ(ois.readInt(), INT32_MIN);
  EXPECT_EQ(ois.readLong(), INT64_MIN);
  EXPECT_EQ(ois.readShort(), INT16_MIN);
  EXPECT_EQ(ois.readByte(), -128);
  EXPECT_TRUE(ois.readBoolean());
  const float f = ois.readFloat();
  EXPECT_TRUE(f == 0.0f && std::signbit(f));
  EXPECT_TRUE(std::isnan(ois.readDouble()));
  EXPECT_EQ(ois.readUTF(), "");
  EXPECT_THROW(ois.readLong(), StreamCorruptedException);  // an int is next
}

TEST(ObjectStreamTest, EveryBuiltInKindRoundTrips) {
  const Ref<ObjectArray> typed =
      ObjectArray::of({String::of("x"), nullptr}, typeid(String));
  const std::vector<Ref<Object>> values = {
      String::of("caf\xC3\xA9"), Integer::of(-5), Long::of(INT64_MAX), Short::of(-300),
      Byte::of(-1), Boolean::of(false), Float::of(1.5f), Double::of(std::nan("")),
      Character::of(u'\u20AC'), Decimal::parse("-123.4500"), Decimal::parse("1E+5"),
      Decimal::of(0, 3), Timestamp::of(-44, 3, 15, 12, 30, 59, 1),
      BooleanArray::of({true, false}), ByteArray::of({-128, 127}), ShortArray::of({-1, 2}),
      CharArray::of({u'a', u'\uFFFF'}), IntArray::of({INT32_MIN, 0}),
      LongArray::of({INT64_MIN, 1}), FloatArray::of({-0.0f, 3.25f}),
      DoubleArray::of({1e300, -2.5}), IntArray::make(0), typed};
  const std::vector<int8_t> bytes = serialise([&](ObjectOutputStream& out) {
    for (const Ref<Object>& v : values) out.writeObject(v);
  });
  Ref<ByteArrayInputStream> in = streamOver(bytes);
  ObjectInputStream ois(*in);
  for (const Ref<Object>& v : values) {
    const Ref<Object> r = ois.readObject();
    ASSERT_TRUE(r) << v->className();
    EXPECT_STREQ(r->className(), v->className());
    if (auto* a = dynamic_cast<ObjectArray*>(r.get())) {
      EXPECT_TRUE(a->isArrayOf<Object>());  // the element class is not kept
      ASSERT_EQ(a->length(), 2);
      EXPECT_TRUE(a->at(0)->equals(typed->at(0)));
      EXPECT_EQ(a->at(1), nullptr);
    } else {
      EXPECT_TRUE(sameValue(r.get(), v.get())) << v->toString() << " read as " << r->toString();
    }
  }
}

TEST(ObjectStreamTest, HierarchyRunsHooksBaseFirstAndKeepsIdentityThroughACycle) {
  const Ref<String> shared = String::of("shared");
  const Ref<ObjectArray> ring = ObjectArray::make(3);
  const Ref<Circle> c = circle(7, 2.5, "round", ring);
  ring->set(0, c);  // ring -> c -> ring
  ring->set(1, shared);
  ring->set(2, shared);
  hookLog.clear();
  const std::vector<int8_t> bytes = serialise([&](ObjectOutputStream& out) {
    out.writeObject(c);
    out.writeObject(shared);
  });
  EXPECT_EQ(hookLog, (std::vector<std::string>{"Shape.write", "Circle.write"}));

  hookLog.clear();
  Ref<ByteArrayInputStream> in = streamOver(bytes);
  ObjectInputStream ois(*in);
  const Ref<Circle> r = dynamicRef<Circle>(ois.readObject());
  const Ref<Object> sharedAgain = ois.readObject();
  EXPECT_EQ(hookLog, (std::vector<std::string>{"Shape.read", "Circle.read"}));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->id, 7);
  EXPECT_EQ(r->radius, 2.5);
  EXPECT_EQ(r->label, "round");
  const Ref<ObjectArray> rring = dynamicRef<ObjectArray>(r->link);
  ASSERT_TRUE(rring);
  EXPECT_EQ(rring->at(0), r.get());  // the cycle closes on the object itself
  EXPECT_EQ(rring->at(1), rring->at(2));
  EXPECT_EQ(rring->at(1), sharedAgain.get());
  std::set<Object*> seen;
  unlink(c.get(), seen);
  unlink(r.get(), seen);
}

TEST(ObjectStreamTest, WrittenObjectsStayAliveSoThatAReusedAddressIsNoBackReference) {
  const std::vector<int8_t> bytes = serialise([](ObjectOutputStream& out) {
    for (int i = 0; i < 50; ++i) out.writeObject(Integer::of(i));  // each a temporary
  });
  Ref<ByteArrayInputStream> in = streamOver(bytes);
  ObjectInputStream ois(*in);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(dynamicRef<Integer>(ois.readObject())->value(), i);
  }
}

TEST(ObjectStreamTest, WriterRefusalsLeaveNothingBehind) {
  ByteArrayOutputStream bytes;
  ObjectOutputStream out(bytes);
  const int32_t start = bytes.size();
  const Ref<Object> plain = makeRef<Object>();
  EXPECT_THROW(out.writeObject(plain), IOException);
  EXPECT_THROW(out.writeObject(String::of("\xC3")), IOException);  // truncated UTF-8
  EXPECT_THROW(out.writeUTF("\xED\xA0\x80"), IOException);        // a surrogate
  EXPECT_EQ(bytes.size(), start);
  // an array nested past the reader's bound is refused by the writer as well
  Ref<ObjectArray> deep = ObjectArray::make(1);
  for (int i = 0; i < ObjectOutputStream::MAX_DEPTH; ++i) deep = ObjectArray::of({deep});
  EXPECT_THROW(out.writeObject(deep), IOException);
}

TEST(ObjectStreamTest, RegistryRefusesATakenNameAndFindsRegisteredOnes) {
  EXPECT_EQ(findSerialClass("test.Circle"), &Circle::SERIAL_CLASS);
  EXPECT_EQ(findSerialClass("test.Nothing"), nullptr);
  EXPECT_NO_THROW(registerSerialClass(Circle::SERIAL_CLASS));
  static const SerialClass impostor = {"test.Circle", nullptr, nullptr, nullptr, nullptr};
  EXPECT_THROW(registerSerialClass(impostor), IllegalArgumentException);
  EXPECT_EQ(findSerialClass("test.Circle"), &Circle::SERIAL_CLASS);
}

TEST(ObjectStreamTest, ClassesThatCannotBeRestoredFailWithIOException) {
  for (const char* name : {"test.Unknown", "test.Shape" /* no factory */, "test.Liar"}) {
    std::vector<int8_t> bytes = header();
    bytes.push_back(0x30);
    appendBe32(bytes, static_cast<uint32_t>(std::strlen(name)));
    bytes.insert(bytes.end(), name, name + std::strlen(name));
    EXPECT_THROW(readOne(bytes), IOException) << name;
  }
}

// A graph of every kind without cycles, and the reads that consume it exactly.
std::vector<int8_t> richStream() {
  return serialise([](ObjectOutputStream& out) {
    const Ref<String> s = String::of("twice");
    out.writeInt(1);
    out.writeUTF("utf");
    out.writeObject(ObjectArray::of(
        {s, s, circle(3, 1.0, "c", Decimal::parse("-9.99E-7")), Timestamp::of(2024, 2, 29),
         LongArray::of({1, 2}), BooleanArray::of({true}), Character::of(u'z'), nullptr}));
    out.writeDouble(0.5);
  });
}
Ref<Object> readRich(InputStream& in) {
  ObjectInputStream ois(in);
  ois.readInt();
  ois.readUTF();
  Ref<Object> graph = ois.readObject();
  ois.readDouble();
  return graph;
}

TEST(ObjectStreamTest, EveryProperPrefixFailsCleanly) {
  const std::vector<int8_t> bytes = richStream();
  EXPECT_NO_THROW(readRich(*streamOver(bytes)));
  for (size_t k = 0; k < bytes.size(); ++k) {
    const std::vector<int8_t> prefix(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(k));
    EXPECT_THROW(readRich(*streamOver(prefix)), IOException) << "prefix " << k;
  }
}

TEST(ObjectStreamTest, ByteEditsOfRealOutputReadOrFailWithIOException) {
  const std::vector<int8_t> bytes = richStream();
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (const int delta : {1, 0x40, 0x80, 0xFF}) {
      std::vector<int8_t> edited = bytes;
      edited[i] = static_cast<int8_t>(edited[i] + delta);
      try {
        // an edited handle can close a cycle: break it, or it would leak
        const Ref<Object> graph = readRich(*streamOver(edited));
        std::set<Object*> seen;
        unlink(graph.get(), seen);
      } catch (const IOException&) {
        // the one failure allowed; anything else escapes and fails the test
      }
    }
  }
}

// Records the largest counted read asked of it.
class RecordingStream final : public InputStream {
 public:
  explicit RecordingStream(const std::vector<int8_t>& bytes) : in_(streamOver(bytes)) {}
  using InputStream::read;
  int32_t read() override { return in_->read(); }
  int32_t read(int8_t* dst, int32_t n) override {
    largest = std::max(largest, n);
    return in_->read(dst, n);
  }
  int32_t available() override { return in_->available(); }
  int32_t largest = 0;

 private:
  Ref<ByteArrayInputStream> in_;
};

TEST(ObjectStreamTest, LengthsBeyondTheInputFailBeforeThePayloadIsAllocatedOrRead) {
  // String, then boolean[] .. double[] and Object[]; 2^31-1 doubles would be 16 GiB
  for (const int tag : {0x12, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28}) {
    std::vector<int8_t> bytes = header();
    bytes.push_back(static_cast<int8_t>(tag));
    appendBe32(bytes, 0x7FFFFFFF);
    bytes.insert(bytes.end(), 64, 0x10);
    RecordingStream in(bytes);
    EXPECT_THROW(ObjectInputStream(in).readObject(), EOFException) << tag;
    EXPECT_LE(in.largest, 4) << tag;  // the header and the length, nothing more
  }
}

TEST(ObjectStreamTest, HostileLengthsHandlesTagsAndDepthAreRefused) {
  std::vector<int8_t> negative = header();
  negative.push_back(0x28);
  appendBe32(negative, 0x80000000u);
  EXPECT_THROW(readOne(negative), StreamCorruptedException);

  std::vector<int8_t> handle = header();
  handle.push_back(0x28);  // the array takes handle 0, "" handle 1; 2 is not given out
  appendBe32(handle, 2);
  handle.push_back(0x12);
  appendBe32(handle, 0);
  handle.push_back(0x11);
  appendBe32(handle, 2);
  EXPECT_THROW(readOne(handle), StreamCorruptedException);

  for (const int8_t tag : {int8_t{0x00}, int8_t{0x01}, int8_t{0x29}, int8_t{-1}}) {
    std::vector<int8_t> bad = header();
    bad.push_back(tag);
    EXPECT_THROW(readOne(bad), StreamCorruptedException) << int{tag};
  }
  EXPECT_THROW(readOne({'K', 'S', 2, 0x10}), StreamCorruptedException);
  EXPECT_THROW(readOne({'K', 'T', 1, 0x10}), StreamCorruptedException);

  const auto nested = [](int levels) {
    std::vector<int8_t> v = header();
    for (int i = 0; i < levels; ++i) {
      v.push_back(0x28);
      appendBe32(v, 1);
    }
    v.push_back(0x10);
    return v;
  };
  EXPECT_NO_THROW(readOne(nested(ObjectInputStream::MAX_DEPTH - 1)));
  EXPECT_THROW(readOne(nested(ObjectInputStream::MAX_DEPTH)), StreamCorruptedException);
}

TEST(ObjectStreamTest, NonCanonicalBodiesAreCorrupt) {
  const auto withBody = [](std::vector<int8_t> body) {
    std::vector<int8_t> v = header();
    // Appended one by one: GCC 12 at -O3 reports a bogus -Warray-bounds for the memcpy of a
    // range insert here (the vector reallocation false positive of GCC bug 107852).
    std::copy(body.begin(), body.end(), std::back_inserter(v));
    return v;
  };
  // boolean byte 2; Decimal with sign 0 but digits "5"; Decimal with a leading zero;
  // Timestamp of 30 February; String that is not UTF-8
  EXPECT_THROW(readOne(withBody({0x17, 2})), StreamCorruptedException);
  EXPECT_THROW(readOne(withBody({0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 1, '5'})), StreamCorruptedException);
  EXPECT_THROW(readOne(withBody({0x1B, 1, 0, 0, 0, 0, 0, 0, 0, 2, '0', '5'})),
               StreamCorruptedException);
  EXPECT_THROW(readOne(withBody({0x1C, 0, 0, 7, -24, 2, 30, 0, 0, 0, 0, 0, 0, 0})),
               StreamCorruptedException);
  EXPECT_THROW(readOne(withBody({0x12, 0, 0, 0, 1, -1})), StreamCorruptedException);
}

}  // namespace
}  // namespace kelvor::lang
