// Object images of hand-made types: the bytes of the markers and of the first-attribute chain,
// the read modes, hostile images, and one descriptor shared by concurrent readers and writers.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ByteArray;
using lang::makeRef;
using lang::ObjectArray;
using typetest::bytesOf;
using typetest::codeOf;
using typetest::tdsHeader;
using typetest::valuesOf;


// PAIR (NUMBER, NUMBER); WRAP (PAIR, NUMBER); DEEP (WRAP, NUMBER, PAIR), all inline.
class ObjectImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection = makeRef<MemoryConnection>();
    const std::vector<int> pair = {3, 5, 0, 3, 5, 0};
    std::vector<int> wrap = {39};
    wrap.insert(wrap.end(), pair.begin(), pair.end());
    wrap.insert(wrap.end(), {40, 3, 5, 0});
    std::vector<int> deep = {39};
    deep.insert(deep.end(), wrap.begin(), wrap.end());
    deep.insert(deep.end(), {40, 3, 5, 0, 39});
    deep.insert(deep.end(), pair.begin(), pair.end());
    deep.push_back(40);
    add("S.PAIR", pair, {{"A", "NUMBER", "SYS"}, {"B", "NUMBER", "SYS"}});
    add("S.WRAP", wrap, {{"P", "PAIR", "S"}, {"N", "NUMBER", "SYS"}});
    add("S.DEEP", deep, {{"W", "WRAP", "S"}, {"N", "NUMBER", "SYS"}, {"P", "PAIR", "S"}});
    connection->setServerFormatDescriptor(bytesOf(std::vector<int>(32, 0)));
  }

  void add(const std::string& name, std::vector<int> attributes,
           std::vector<MemoryConnection::AttributeRow> rows) {
    std::vector<int> tds = tdsHeader();
    tds.insert(tds.end(), attributes.begin(), attributes.end());
    tds.push_back(40);
    MemoryConnection::TypeInfo info;
    info.tds = bytesOf(tds);
    info.attributes = std::move(rows);
    connection->addType(name, info);
  }

  Ref<ObjectDescriptor> type(const std::string& name) {
    return ObjectDescriptor::createDescriptor(name, connection.get());
  }
  Ref<ObjectValue> value(const std::string& name, std::initializer_list<Ref<lang::Object>> v) {
    return makeRef<ObjectValue>(type(name), connection.get(), ObjectArray::of(v));
  }
  static Ref<lang::Object> num(int32_t n) { return makeRef<NumberValue>(n); }
  static std::vector<int> dataValue(int32_t n) {
    std::vector<int> out = valuesOf(*NumberValue(n).shareBytes());
    out.insert(out.begin(), static_cast<int>(out.size()));
    return out;
  }
  static std::vector<int> image(std::vector<int> body) {
    const int length = static_cast<int>(body.size()) + 7;
    std::vector<int> out = {0x84, 0x01, 0xFE, 0, 0, 0, length};
    out.insert(out.end(), body.begin(), body.end());
    return out;
  }
  static std::vector<int> cat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  }
  Ref<ObjectValue> readBack(const std::string& name, const Ref<ByteArray>& img, int64_t at = 0) {
    return lang::dynamicRef<ObjectValue>(
        type(name)->getKelvorType()->fromImage(img.get(), at, nullptr, 1, nullptr));
  }

  Ref<MemoryConnection> connection;
};

TEST_F(ObjectImageTest, MarkersAndTheFirstAttributeChainAreByteExact) {
  struct Case {
    const char* type;
    Ref<ObjectValue> value;
    std::vector<int> expected;
  };
  const std::vector<Case> cases = {
      {"S.PAIR", value("S.PAIR", {nullptr, nullptr}), image({0xFF, 0xFF})},
      // a null inline first attribute at depth 0
      {"S.WRAP", value("S.WRAP", {nullptr, num(7)}), image(cat({{0xFD}, dataValue(7)}))},
      // a present inline first attribute has no bytes of its own; its null first attribute
      // one level down is FC with the depth
      {"S.DEEP",
       value("S.DEEP", {value("S.WRAP", {nullptr, num(1)}), nullptr, nullptr}),
       image(cat({{0xFC, 0x01}, dataValue(1), {0xFF, 0xFD}}))},
      // an inline object in a later position starts at depth 1: its leaves come inline
      {"S.DEEP",
       value("S.DEEP", {nullptr, num(2), value("S.PAIR", {nullptr, num(3)})}),
       image(cat({{0xFD}, dataValue(2), {0xFF}, dataValue(3)}))},
      {"S.DEEP",
       value("S.DEEP",
             {value("S.WRAP", {value("S.PAIR", {num(4), nullptr}), num(5)}), num(6), nullptr}),
       image(cat({dataValue(4), {0xFF}, dataValue(5), dataValue(6), {0xFD}}))},
  };
  for (const Case& c : cases) {
    Ref<KelvorTypeADT> t = type(c.type)->getKelvorType();
    PickleContext ctx;
    ctx.initStream();
    const int32_t written = t->pickle(ctx, c.value.get());
    Ref<ByteArray> img = ctx.toByteArray();
    EXPECT_EQ(written, img->length());
    EXPECT_EQ(valuesOf(*img), c.expected) << c.value->toString();
    // ...and every one reads back equal, in both result styles.
    Ref<ObjectValue> back = readBack(c.type, img);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->equals(c.value.get())) << back->toString() << " vs " << c.value->toString();
    auto platform = lang::dynamicRef<ObjectValue>(t->fromImage(img.get(), 0, nullptr, 2, nullptr));
    ASSERT_TRUE(platform);
    EXPECT_EQ(platform->getPlatformAttributes(nullptr)->length(), t->getNumAttributes());
  }
}

TEST_F(ObjectImageTest, ToImageStoresTheImageAndReadsFromAnOffsetIntoALargerBuffer) {
  Ref<ObjectValue> v = value("S.WRAP", {value("S.PAIR", {num(1), num(2)}), num(3)});
  Ref<ByteArray> img = type("S.WRAP")->getKelvorType()->toImage(v.get());
  EXPECT_EQ(v->shareBytes().get(), img.get());
  // Byte 0 of the larger buffer is not a pickled image's flags: the byte at the offset decides.
  std::vector<int> padded = {0x00, 0x11, 0x22};
  const std::vector<int> own = valuesOf(*img);
  padded.insert(padded.end(), own.begin(), own.end());
  Ref<ObjectValue> back = readBack("S.WRAP", bytesOf(padded), 3);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->equals(v.get()));
}

TEST_F(ObjectImageTest, ReadModesSkipKeepOrDecode) {
  Ref<KelvorTypeADT> t = type("S.WRAP")->getKelvorType();
  Ref<ObjectValue> v = value("S.WRAP", {nullptr, num(9)});
  Ref<ByteArray> one = t->toImage(v.get());
  std::vector<int> two = valuesOf(*one);
  two.insert(two.end(), two.begin(), two.end());
  auto buffer = bytesOf(two);

  PickleContext skip(buffer, 0);
  auto target = makeRef<ObjectValue>(type("S.WRAP"), connection.get());
  EXPECT_EQ(t->unpickle(skip, target.get(), 9, 1, nullptr).get(), target.get());
  EXPECT_EQ(skip.offset(), one->length());
  EXPECT_FALSE(target->getAttributes());

  PickleContext keep(buffer, one->length());
  auto kept = lang::dynamicRef<ObjectValue>(t->unpickle(keep, nullptr, 3, 1, nullptr));
  ASSERT_TRUE(kept);
  EXPECT_EQ(keep.offset(), 2 * one->length());
  EXPECT_TRUE(kept->isImageOnly());
  EXPECT_EQ(kept->getImageOffset(), one->length());
  EXPECT_EQ(kept->getImageLength(), one->length());
  EXPECT_TRUE(kept->equals(v.get()));  // decodes itself on first access
  EXPECT_FALSE(kept->isImageOnly());
}

TEST_F(ObjectImageTest, BadHeadersAndCutImagesFailCleanly) {
  Ref<KelvorTypeADT> t = type("S.DEEP")->getKelvorType();
  Ref<ByteArray> img = t->toImage(
      value("S.DEEP", {value("S.WRAP", {nullptr, num(1)}), num(2), value("S.PAIR", {num(3), nullptr})})
          .get());
  // Flags without 0x80 make a linear image; the pickled reader refuses them, a collection or
  // non-object flag, and a newer version.
  for (const std::vector<int>& header : std::vector<std::vector<int>>{
           {0x04, 1}, {0x80, 1}, {0x8C, 1}, {0x84, 2}}) {
    std::vector<int> bad = valuesOf(*img);
    bad[0] = header[0];
    bad[1] = header[1];
    PickleContext ctx(bytesOf(bad), 0);
    EXPECT_EQ(codeOf([&] { (void)t->unpickle(ctx, nullptr, 1, 1, nullptr); }),
              DriverException::ERR_INTERNAL);
  }
  for (int32_t n = 1; n < img->length(); ++n) {
    auto cut = ByteArray::copyOf(img->data(), n);
    try {
      (void)readBack("S.DEEP", cut);
      ADD_FAILURE() << "an image cut to " << n << " bytes read";
    } catch (const DriverException&) {
    } catch (const lang::IndexOutOfBoundsException&) {
    }
  }
  // A depth marker deeper than the type's first-attribute chain.
  EXPECT_EQ(codeOf([&] { (void)readBack("S.WRAP", bytesOf(image({0xFC, 0x05, 0xFF}))); }),
            DriverException::ERR_INTERNAL);
}

// An inline object of a type without leaves has no bytes when present: a reader could not
// tell it from what follows. Its write is refused with ERR_UNSUPPORTED before any byte of the
// image is written; a null one is written as its marker and reads back; a complete image of
// the leafless type itself holds only its header.
TEST_F(ObjectImageTest, PresentInlineObjectWithoutLeavesIsRefusedBeforeWriting) {
  add("S.NONE", {}, {});
  add("S.LAST", {3, 5, 0, 39, 40}, {{"N", "NUMBER", "SYS"}, {"E", "NONE", "S"}});
  add("S.FIRST", {39, 40, 3, 5, 0}, {{"E", "NONE", "S"}, {"N", "NUMBER", "SYS"}});
  add("S.SHELL", {3, 5, 0, 39, 39, 40, 40}, {{"N", "NUMBER", "SYS"}, {"S", "HOLLOW", "S"}});
  add("S.HOLLOW", {39, 40}, {{"E", "NONE", "S"}});
  const Ref<ObjectValue> none = value("S.NONE", {});
  const std::pair<const char*, Ref<ObjectValue>> refused[] = {
      {"S.LAST", value("S.LAST", {num(1), none})},
      {"S.FIRST", value("S.FIRST", {none, num(2)})},
      {"S.SHELL", value("S.SHELL", {num(3), value("S.HOLLOW", {none})})}};
  for (const auto& [name, v] : refused) {
    PickleContext ctx;
    ctx.initStream();
    (void)ctx.writeAtomicNull();  // what the stream held before
    EXPECT_EQ(codeOf([&] { (void)type(name)->getKelvorType()->pickle(ctx, v.get()); }),
              DriverException::ERR_UNSUPPORTED)
        << name;
    EXPECT_EQ(ctx.offset(), 1) << name;
    EXPECT_EQ(codeOf([&] { (void)type(name)->getKelvorType()->toImage(v.get()); }),
              DriverException::ERR_UNSUPPORTED);
    EXPECT_FALSE(v->shareBytes()) << name;
  }
  const std::pair<const char*, Ref<ObjectValue>> written[] = {
      {"S.NONE", none},
      {"S.LAST", value("S.LAST", {num(1), nullptr})},
      {"S.FIRST", value("S.FIRST", {nullptr, num(2)})},
      {"S.SHELL", value("S.SHELL", {num(3), value("S.HOLLOW", {nullptr})})}};
  for (const auto& [name, v] : written) {
    const Ref<ByteArray> img = type(name)->getKelvorType()->toImage(v.get());
    const Ref<ObjectValue> back = readBack(name, img);
    ASSERT_TRUE(back) << name;
    EXPECT_TRUE(back->equals(v.get())) << name;
  }
  EXPECT_EQ(valuesOf(*type("S.NONE")->getKelvorType()->toImage(none.get())), image({}));
  // What a writer that let the empty object through would make: the reader refuses it.
  EXPECT_EQ(codeOf([&] { (void)readBack("S.FIRST", bytesOf(image(dataValue(2)))); }),
            DriverException::ERR_INTERNAL);
}

TEST_F(ObjectImageTest, LinearImagesOfNullObjectsEndAtTheirData) {
  Ref<KelvorTypeADT> t = type("S.PAIR")->getKelvorType();
  // length 0: null
  EXPECT_FALSE(t->fromImage(bytesOf({0, 0, 0, 0}).get(), 0, nullptr, 1, nullptr));
  // null indicator 0 set: null, and the context moves past the data
  const std::vector<int> nullObject = {0, 0, 0, 20,  1, 0,  0, 0, 0, 0,  0, 0, 0, 3,  0, 0, 0x01,
                                       0, 0, 0, 4,   9, 9, 9, 9};
  auto img = bytesOf(nullObject);
  UnpickleContext ctx(img, 0, nullptr, nullptr, 0);
  EXPECT_FALSE(t->unpickleLinear(ctx, nullptr, 1, 1, nullptr));
  EXPECT_EQ(ctx.offset(), img->length());
}

TEST_F(ObjectImageTest, OneSharedDescriptorServesConcurrentWritersAndReaders) {
  Ref<KelvorTypeADT> t = type("S.DEEP")->getKelvorType();
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int k = 0; k < 4; ++k) {
    threads.emplace_back([&, k] {
      for (int i = 0; i < 200; ++i) {
        Ref<ObjectValue> v = value(
            "S.DEEP", {value("S.WRAP", {value("S.PAIR", {num(k), num(i)}), num(i)}), num(k), nullptr});
        Ref<ByteArray> img = t->toImage(v.get());
        auto back = lang::dynamicRef<ObjectValue>(t->fromImage(img.get(), 0, nullptr, 1, nullptr));
        if (!back || !back->equals(v.get())) ++failures[k];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
