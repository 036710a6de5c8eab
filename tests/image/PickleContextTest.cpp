#include "image/PickleContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "driver/DriverException.h"
#include "tests/image/ImageTestBytes.h"
#include "tests/support/DriverCode.h"

namespace kelvor::jdbc::kelcore {
namespace {

using imagetest::byteArray;
using imagetest::Bytes;
using imagetest::concat;
using imagetest::contents;
using imagetest::counting;
using lang::ByteArray;
using testsupport::codeOf;

using PC = PickleContext;

// The constants are part of the image format and of the class's published interface.
static_assert(PC::DEBUG_TRACE == 0 && PC::NULL_MARKER == 255 && PC::LONG_LENGTH_MARKER == 254 &&
              PC::EMBEDDED_NULL_MARKER == 253 && PC::DEPTH_NULL_MARKER == 252 &&
              PC::MAX_SHORT_LENGTH == 245 && PC::FLAG_TOPLEVEL == 128 && PC::FLAG_64 == 64 &&
              PC::FLAG_32 == 32 && PC::FLAG_LOCATOR == 16 && PC::FLAG_COLLECTION == 8 &&
              PC::FLAG_OBJECT == 4 && PC::FLAG_2 == 2 && PC::FLAG_1 == 1 &&
              PC::AUX_FLAG_64 == 64 && PC::AUX_FLAG_32 == 32 && PC::AUX_FLAG_16 == 16 &&
              PC::AUX_FLAG_8 == 8 && PC::IMAGE_VERSION == 1);

int8_t sb(int v) { return static_cast<int8_t>(v); }

Ref<PickleContext> writer() {
  auto c = lang::makeRef<PickleContext>();
  c->initStream();
  return c;
}

Bytes written(const PickleContext& c) { return contents(c.toByteArray()); }

Ref<PickleContext> reader(const Bytes& image) {
  return lang::makeRef<PickleContext>(byteArray(image));
}

// --- writers ------------------------------------------------------------------------------------

struct LengthCase {
  int32_t value;
  Bytes encoding;
};
const LengthCase kLengths[] = {
    {0, {0x00}},
    {1, {0x01}},
    {245, {0xF5}},
    {246, {0xFE, 0x00, 0x00, 0x00, 0xF6}},
    {255, {0xFE, 0x00, 0x00, 0x00, 0xFF}},
    {4096, {0xFE, 0x00, 0x00, 0x10, 0x00}},
    {70000, {0xFE, 0x00, 0x01, 0x11, 0x70}},
    {INT32_MAX, {0xFE, 0x7F, 0xFF, 0xFF, 0xFF}},
};

TEST(PickleContextTest, WriteLengthUsesOneByteUpTo245AndFiveAbove) {
  for (const LengthCase& c : kLengths) {
    SCOPED_TRACE(c.value);
    auto w = writer();
    EXPECT_EQ(w->writeLength(c.value), static_cast<int32_t>(c.encoding.size()));
    EXPECT_EQ(written(*w), c.encoding);
    EXPECT_EQ(PC::lengthFieldSize(c.value), static_cast<int32_t>(c.encoding.size()));
    auto r = reader(c.encoding);
    EXPECT_EQ(r->readLength(), c.value);
    EXPECT_EQ(r->offset(), static_cast<int32_t>(c.encoding.size()));
  }
}

TEST(PickleContextTest, WriteDataValueEqualsLengthThenDataInOneAppend) {
  for (int32_t len : {0, 1, 245, 246, 300, 4096, 70000}) {
    SCOPED_TRACE(len);
    const auto data = byteArray(counting(len, 3));
    auto separate = writer();
    int32_t expected = separate->writeLength(len);
    expected += separate->writeData(data.get());
    auto fused = writer();
    ASSERT_EQ(fused->writeAtomicNull(), 1);
    EXPECT_EQ(fused->writeDataValue(data->data(), len), expected);
    EXPECT_EQ(written(*fused), concat({{0xFF}, written(*separate)}));
    EXPECT_EQ(fused->offset(), 1 + expected);
  }
  auto w = writer();
  EXPECT_THROW((void)w->writeDataValue(nullptr, -1), lang::IndexOutOfBoundsException);
  EXPECT_EQ(w->offset(), 0);
}

TEST(PickleContextTest, NegativeLengthIsRejectedBeforeAnythingIsWritten) {
  // Its low byte would read back as a marker (FF, FD) or as a wrong length.
  for (int32_t bad : {-1, -3, -256, INT32_MIN}) {
    SCOPED_TRACE(bad);
    auto w = writer();
    EXPECT_EQ(codeOf([&] { (void)w->writeLength(bad); }),
              DriverException::ERR_INVALID_ARGUMENT);
    EXPECT_EQ(w->offset(), 0);
  }
}

TEST(PickleContextTest, HeadersMarkersAndDataAreWrittenByteExact) {
  const auto loc4 = byteArray({0xA1, 0xA2, 0xA3, 0xA4});
  const auto empty = byteArray({});
  struct Case {
    const char* name;
    std::function<int32_t(PickleContext&)> write;
    Bytes expected;
  };
  const Case cases[] = {
      {"object header placeholder", [](PC& c) { return c.writeObjectHeader(); },
       {0x84, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xF6}},
      {"object header short length", [](PC& c) { return c.writeObjectHeader(10); },
       {0x84, 0x01, 0x0A}},
      {"object header long length", [](PC& c) { return c.writeObjectHeader(300); },
       {0x84, 0x01, 0xFE, 0x00, 0x00, 0x01, 0x2C}},
      {"collection header placeholder", [](PC& c) { return c.writeCollectionHeader(3); },
       {0x88, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xF6, 0x01, 0x01, 0x00, 0x03}},
      {"collection header both forms", [](PC& c) { return c.writeCollectionHeader(20, 300); },
       {0x88, 0x01, 0x14, 0x01, 0x01, 0x00, 0xFE, 0x00, 0x00, 0x01, 0x2C}},
      {"locator header placeholder", [&](PC& c) { return c.writeLocatorHeader(loc4.get()); },
       {0x90, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xF6, 0x05, 0x00, 0xA1, 0xA2, 0xA3, 0xA4}},
      {"locator header short length",
       [&](PC& c) { return c.writeLocatorHeader(12, loc4.get()); },
       {0x90, 0x01, 0x0C, 0x05, 0x00, 0xA1, 0xA2, 0xA3, 0xA4}},
      {"empty locator", [&](PC& c) { return c.writeLocatorHeader(empty.get()); },
       {0x90, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xF6, 0x01, 0x00}},
      {"atomic null", [](PC& c) { return c.writeAtomicNull(); }, {0xFF}},
      {"embedded null", [](PC& c) { return c.writeEmbeddedNull(); }, {0xFD}},
      {"depth null", [](PC& c) { return c.writeDepthNull(3); }, {0xFC, 0x03}},
      {"depth null high depth", [](PC& c) { return c.writeDepthNull(sb(0xFF)); }, {0xFC, 0xFF}},
      {"data", [&](PC& c) { return c.writeData(loc4.get()); }, {0xA1, 0xA2, 0xA3, 0xA4}},
      {"empty data", [&](PC& c) { return c.writeData(empty.get()); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto w = writer();
    ASSERT_EQ(w->writeAtomicNull(), 1);  // something before: the counts are relative
    const int32_t count = c.write(*w);
    EXPECT_EQ(count, static_cast<int32_t>(c.expected.size()));
    EXPECT_EQ(written(*w), concat({{0xFF}, c.expected}));
    EXPECT_EQ(w->offset(), 1 + count);
  }
}

TEST(PickleContextTest, LocatorOf245BytesTakesTheLongPrefixLength) {
  auto w = writer();
  const auto locator = byteArray(counting(245));
  EXPECT_EQ(w->writeLocatorHeader(locator.get()), 245 + 3 + 5 + 5);
  EXPECT_EQ(written(*w), concat({{0x90, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xF6},
                                 {0xFE, 0x00, 0x00, 0x00, 0xF6, 0x00},
                                 counting(245)}));
}

TEST(PickleContextTest, PatchedHeaderCountsTheWholeImageAndReadsBack) {
  auto w = writer();
  const int32_t start = w->offset();
  int32_t total = w->writeObjectHeader();
  total += w->writeData(byteArray(counting(10, 0x30)).get());
  EXPECT_EQ(total, w->offset() - start);
  w->patchLength(start + 2, total);
  const Bytes image = concat({{0x84, 0x01, 0xFE, 0x00, 0x00, 0x00, 0x11}, counting(10, 0x30)});
  EXPECT_EQ(written(*w), image);

  // Stepping over the whole image: the stored length less its own 5 bytes, less 2.
  auto r = reader(image);
  const int8_t flags = r->readByte();
  EXPECT_TRUE(PC::isToplevelImage(flags));
  EXPECT_FALSE(PC::lacksObjectFlag(flags));
  EXPECT_FALSE(PC::isCollectionImage(flags));
  EXPECT_TRUE(r->checkVersion());
  const int32_t n = r->readLength(true);
  EXPECT_EQ(n, 12);
  r->skipBytes(n - 2);
  EXPECT_EQ(r->offset(), 17);

  // Keeping the image in place: skip to start + stored length.
  auto k = reader(image);
  (void)k->readByte();
  (void)k->checkVersion();
  k->skipTo(0 + k->readLength());
  EXPECT_EQ(k->offset(), 17);
}

TEST(PickleContextTest, NestedImagePatchesAddressTheirOwnHeaders) {
  auto w = writer();
  const int32_t outer = w->offset();
  int32_t outerTotal = w->writeCollectionHeader(1);
  const int32_t inner = w->offset();
  int32_t innerTotal = w->writeObjectHeader();
  innerTotal += w->writeLength(1);
  innerTotal += w->writeData(byteArray({0xAA}).get());
  w->patchLength(inner + 2, innerTotal);
  outerTotal += innerTotal;
  w->patchLength(outer + 2, outerTotal);
  EXPECT_EQ(outerTotal, w->offset());
  EXPECT_EQ(written(*w), (Bytes{0x88, 0x01, 0xFE, 0x00, 0x00, 0x00, 0x14, 0x01, 0x01, 0x00, 0x01,
                                0x84, 0x01, 0xFE, 0x00, 0x00, 0x00, 0x09, 0x01, 0xAA}));
}

// Records the size of every append (a single byte as 1).
class RecordingStream : public PickleOutputStream {
 public:
  using lang::OutputStream::write;
  void write(int32_t b) override {
    writes.push_back(1);
    PickleOutputStream::write(b);
  }
  void write(const int8_t* src, int32_t n) override {
    writes.push_back(n);
    PickleOutputStream::write(src, n);
  }
  std::vector<int32_t> writes;
};

TEST(PickleContextTest, HeadersAndLongLengthsGoOutInSingleWritesFromOneScratchBuffer) {
  struct Case {
    const char* name;
    std::function<void(PickleContext&)> op;
    std::vector<int32_t> writes;
  };
  const Case cases[] = {
      {"object header", [](PC& c) { (void)c.writeObjectHeader(); }, {2, 5}},
      {"collection header", [](PC& c) { (void)c.writeCollectionHeader(3); }, {2, 5, 3, 1}},
      {"short length", [](PC& c) { (void)c.writeLength(3); }, {1}},
      {"long length", [](PC& c) { (void)c.writeLength(300); }, {5}},
      {"depth null", [](PC& c) { (void)c.writeDepthNull(1); }, {2}},
      {"patch", [](PC& c) { c.patchLength(0, 5); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto stream = lang::makeRef<RecordingStream>();
    stream->write(*byteArray(counting(8)));  // room for the patch
    stream->writes.clear();
    PickleContext w;
    w.attachStream(stream);
    c.op(w);
    EXPECT_EQ(stream->writes, c.writes);
  }
  // One scratch array for the life of the context.
  PickleContext w;
  const Ref<ByteArray> first = w.longLengthBytes(70000);
  EXPECT_EQ(contents(first), (Bytes{0xFE, 0x00, 0x01, 0x11, 0x70}));
  w.initStream();
  (void)w.writeObjectHeader();
  (void)w.writeLength(1000);
  EXPECT_EQ(w.longLengthBytes(246).get(), first.get());
}

// Every append fails as a stream whose storage is exhausted would.
class FailingStream : public PickleOutputStream {
 public:
  using lang::OutputStream::write;
  void write(int32_t) override { throw lang::IOException("no room"); }
  void write(const int8_t*, int32_t) override { throw lang::IOException("no room"); }
  void writeWithPrefix(const int8_t*, int32_t, const int8_t*, int32_t) override {
    throw lang::IOException("no room");
  }
};

TEST(PickleContextTest, LongLengthAndDataHandStreamFailuresToTheDriverOthersPassThem) {
  const auto data = byteArray({1, 2});
  struct Case {
    const char* name;
    std::function<void(PickleContext&)> op;
    bool raisedByDriver;  // else the platform's I/O exception passes unchanged
  };
  const Case cases[] = {
      {"long length", [](PC& c) { (void)c.writeLength(300); }, true},
      {"data", [&](PC& c) { (void)c.writeData(data.get()); }, true},
      {"raw data", [&](PC& c) { (void)c.writeData(data->data(), 2); }, true},
      {"data value", [&](PC& c) { (void)c.writeDataValue(data->data(), 2); }, true},
      {"short length", [](PC& c) { (void)c.writeLength(3); }, false},
      {"atomic null", [](PC& c) { (void)c.writeAtomicNull(); }, false},
      {"embedded null", [](PC& c) { (void)c.writeEmbeddedNull(); }, false},
      {"depth null", [](PC& c) { (void)c.writeDepthNull(1); }, false},
      {"object header", [](PC& c) { (void)c.writeObjectHeader(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PickleContext w;
    w.attachStream(lang::makeRef<FailingStream>());
    if (c.raisedByDriver) {
      EXPECT_EQ(codeOf([&] { c.op(w); }), DriverException::ERR_IO);
    } else {
      EXPECT_THROW(
          try { c.op(w); } catch (const DriverException&) { FAIL() << "translated"; },
          lang::IOException);
    }
  }
}

// Inside an ImageScope the writers store straight into the scope's buffer, which starts in
// scratch space and moves to the heap when it fills: every writer, at the length-form and
// scratch boundaries, writes exactly the bytes of the stream writers, and fails alike.
TEST(PickleContextTest, ImageScopeWritesTheBytesOfTheStreamWriters) {
  const auto data = byteArray(counting(300));
  const auto locator = byteArray(counting(20));
  auto writeAll = [&](PickleContext& c) {
    const int32_t start = c.offset();
    int32_t n = c.writeObjectHeader();
    n += c.writeCollectionHeader(3) + c.writeCollectionHeader(500, 70000);
    n += c.writeLocatorHeader(locator.get()) + c.writeObjectHeader(245);
    for (const int32_t len : {0, 1, 2, 3, 4, 7, 8, 9, 16, 17, 245, 246, 300}) {
      n += c.writeDataValue(data->data(), len) + c.writeLength(len);
      n += c.writeData(data->data(), len % 7);
    }
    n += c.writeAtomicNull() + c.writeEmbeddedNull() + c.writeDepthNull(3);
    c.patchLength(start + 2, n);
    EXPECT_EQ(n, c.offset() - start);
  };
  auto plain = writer();
  writeAll(*plain);
  PickleContext held;
  {
    PickleContext::ImageScope scope(held);
    EXPECT_TRUE(held.appendsDirectly());
    writeAll(held);
    EXPECT_EQ(contents(scope.takeImage()), written(*plain));
    EXPECT_EQ(held.offset(), 0);
  }
  EXPECT_FALSE(held.appendsDirectly());
  EXPECT_THROW((void)held.writeLength(1), lang::NullPointerException);  // no stream again

  PickleContext failing;
  PickleContext::ImageScope scope(failing);
  (void)failing.writeData(data->data(), 10);
  EXPECT_EQ(codeOf([&] { (void)failing.writeLength(-1); }), DriverException::ERR_INVALID_ARGUMENT);
  EXPECT_THROW((void)failing.writeDataValue(data->data(), -1), lang::IndexOutOfBoundsException);
  // The patch must lie inside the buffer: the scratch space here, 256 bytes.
  EXPECT_THROW(failing.patchLength(PC::IMAGE_SCRATCH - 4, 1), lang::IndexOutOfBoundsException);
  EXPECT_THROW(failing.patchLength(-1, 1), lang::IndexOutOfBoundsException);
  failing.patchLength(PC::IMAGE_SCRATCH - 5, 1);
  EXPECT_EQ(failing.offset(), 10);
}

// A run keeps its own cursor: from the scratch space through several moves of the heap
// buffer it writes what the context's writers write, and the stream counts all of it.
TEST(PickleContextTest, HeldRunWritesWhatTheWritersWriteAcrossGrowths) {
  const auto data = byteArray(counting(300));
  auto plain = writer();
  PickleContext held;
  PickleContext::ImageScope scope(held);
  (void)held.writeData(data->data(), 200);
  (void)plain->writeData(data->data(), 200);
  {
    PickleContext::HeldRun run(held);
    for (int32_t i = 0; i < 400; ++i) {
      const int32_t len = (i * 37) % 300;  // short and long length forms
      EXPECT_EQ(run.writeDataValue(data->data(), len), plain->writeDataValue(data->data(), len));
      if (i % 50 == 0) {
        EXPECT_EQ(run.writeAtomicNull(), plain->writeAtomicNull());
      }
    }
  }
  EXPECT_EQ(held.offset(), plain->offset());
  EXPECT_EQ(contents(scope.takeImage()), written(*plain));
}

TEST(PickleContextTest, MissingStreamImageOrArgumentThrowsNullPointer) {
  PickleContext noStream;
  EXPECT_THROW((void)noStream.writeLength(1), lang::NullPointerException);
  EXPECT_THROW(noStream.patchLength(0, 1), lang::NullPointerException);
  EXPECT_THROW((void)noStream.readDataValue(), lang::NullPointerException);
  auto w = writer();
  EXPECT_THROW((void)w->writeData(nullptr), lang::NullPointerException);
  EXPECT_THROW((void)w->writeLocatorHeader(nullptr), lang::NullPointerException);
  EXPECT_EQ(w->offset(), 0);
}

// --- readers ------------------------------------------------------------------------------------

TEST(PickleContextTest, ReadLengthTakesEveryFirstByteAbove245AsTheLongForm) {
  struct Case {
    Bytes bytes;
    int32_t value;
    int32_t consumed;
  };
  const Case cases[] = {
      {{0x00}, 0, 1},
      {{0xF5, 0x99}, 245, 1},
      {{0xF6, 0x00, 0x00, 0x00, 0xF6}, 246, 5},
      {{0xF7, 0x00, 0x00, 0x01, 0x00}, 256, 5},
      {{0xFD, 0x00, 0x00, 0x00, 0x02}, 2, 5},
      {{0xFE, 0x00, 0x01, 0x11, 0x70, 0x99}, 70000, 5},
      {{0xFF, 0x00, 0x00, 0x00, 0x05}, 5, 5},  // no null test here
      {{0xFE, 0x00, 0x00, 0x00, 0x11}, 17, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    auto r = reader(c.bytes);
    EXPECT_EQ(r->readLength(), c.value);
    EXPECT_EQ(r->offset(), c.consumed);
    r = reader(c.bytes);
    r->skipLength();
    EXPECT_EQ(r->offset(), c.consumed);
    // Counting itself: less the size of the field as read (a patched image length is in the
    // long form whatever its value).
    r = reader(c.bytes);
    EXPECT_EQ(r->readLength(true), c.value - c.consumed);
    EXPECT_EQ(r->offset(), c.consumed);
    r = reader(c.bytes);
    EXPECT_EQ(r->readLength(false), c.value);
  }
  // A hostile length counting itself wraps as 32-bit arithmetic, without overflow.
  EXPECT_EQ(reader({0xFE, 0x80, 0x00, 0x00, 0x00})->readLength(true), INT32_MAX - 4);
}

TEST(PickleContextTest, FirstByteReadersTakeOnly254AsTheLongForm) {
  struct Case {
    int first;
    Bytes rest;  // what follows the first byte, before the data
    int32_t value;
  };
  const Case cases[] = {
      {0x00, {}, 0},
      {0xF5, {}, 245},
      {0xF7, {}, 247},  // readLength would take 4 more bytes here
      {0xFD, {}, 253},
      {0xFF, {}, 255},
      {0xFE, {0x00, 0x00, 0x01, 0x00}, 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    const int32_t restSize = static_cast<int32_t>(c.rest.size());
    const Bytes image = concat({c.rest, counting(c.value, 7), {0x5A}});
    auto r = reader(image);
    EXPECT_EQ(r->readRestOfLength(sb(c.first)), c.value);
    EXPECT_EQ(r->offset(), restSize);
    r = reader(image);
    r->skipRestOfLength(sb(c.first));
    EXPECT_EQ(r->offset(), restSize);
    r = reader(image);
    EXPECT_EQ(contents(r->readDataValue(sb(c.first))), counting(c.value, 7));
    EXPECT_EQ(r->offset(), restSize + c.value);
    r = reader(image);
    r->skipDataValue(sb(c.first));
    EXPECT_EQ(r->offset(), restSize + c.value);
    EXPECT_EQ(r->readByte(), 0x5A);
  }
}

TEST(PickleContextTest, DataValueReadersAndTheNullMarker) {
  // readDataValue: null consumes the marker.
  auto r = reader({0xFF, 0x03, 0x41, 0x42, 0x43, 0xFF});
  EXPECT_EQ(r->readDataValue(), nullptr);
  EXPECT_EQ(r->offset(), 1);
  EXPECT_EQ(contents(r->readDataValue()), (Bytes{0x41, 0x42, 0x43}));
  EXPECT_EQ(r->offset(), 5);
  r->skipDataValue();
  EXPECT_EQ(r->offset(), 6);

  // readShortDataValue: null is left in place; every other byte is a one-byte length.
  r = reader({0xFF});
  EXPECT_EQ(r->readShortDataValue(), nullptr);
  EXPECT_EQ(r->offset(), 0);
  r = reader({0x03, 0x41, 0x42, 0x43});
  EXPECT_EQ(contents(r->readShortDataValue()), (Bytes{0x41, 0x42, 0x43}));
  EXPECT_EQ(r->offset(), 4);
  r = reader(concat({{0xFE}, counting(254)}));
  EXPECT_EQ(contents(r->readShortDataValue()), counting(254));
  EXPECT_EQ(r->offset(), 255);

  // readLengthAndBytes has no null test: FF starts a 5-byte length.
  r = reader({0xFF, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB});
  EXPECT_EQ(contents(r->readLengthAndBytes()), (Bytes{0xAA, 0xBB}));
  EXPECT_EQ(r->offset(), 7);

  // A long-form data value of 256 bytes.
  r = reader(concat({{0xFE, 0x00, 0x00, 0x01, 0x00}, counting(256)}));
  EXPECT_EQ(contents(r->readDataValue()), counting(256));
  EXPECT_EQ(r->offset(), 261);

  // readDataSpan reads what readDataValue reads, in place: null, a short value ending at the
  // image's last byte, an empty one, the longest short form and the long form.
  const Bytes spans = concat({{0xFF, 0x00, 0xF5}, counting(245), {0xFE, 0x00, 0x00, 0x00, 0xF6},
                              counting(246), {0x02, 0x41, 0x42}});
  r = reader(spans);
  auto copy = reader(spans);
  while (r->offset() < static_cast<int32_t>(spans.size())) {
    const std::span<const int8_t> span = r->readDataSpan();
    const Ref<ByteArray> value = copy->readDataValue();
    EXPECT_EQ(span.data() == nullptr, value == nullptr);
    if (value) {
      EXPECT_EQ(contents(ByteArray::copyOf(span.data(), static_cast<int32_t>(span.size()))),
                contents(value));
    }
    EXPECT_EQ(r->offset(), copy->offset());
  }
}

TEST(PickleContextTest, CheckVersionAcceptsUpTo1AndAlwaysAdvances) {
  const std::pair<int, bool> cases[] = {{0x00, true}, {0x01, true}, {0x02, false}, {0x81, false}};
  for (const auto& [byte, accepted] : cases) {
    SCOPED_TRACE(byte);
    auto r = reader({byte});
    EXPECT_EQ(r->checkVersion(), accepted);
    EXPECT_EQ(r->offset(), 1);
  }
}

TEST(PickleContextTest, PositionsFromTheConstructorAndPlainMoves) {
  const Bytes image = counting(16, 0x20);
  // The position is the low 32 bits of the given offset.
  PickleContext r(byteArray(image), (int64_t{1} << 32) + 2);
  EXPECT_EQ(r.imageOffset(), 2);
  EXPECT_EQ(r.offset(), r.imageOffset());
  EXPECT_EQ(r.readByte(), 0x22);
  EXPECT_EQ(r.image()->length(), 16);

  r.skipBytes(-3);
  r.skipBytes(0);
  EXPECT_EQ(r.offset(), 3);
  r.skipBytes(4);
  EXPECT_EQ(r.offset(), 7);
  r.skipTo(5);  // behind: nothing
  EXPECT_EQ(r.offset(), 7);
  r.skipTo(12);
  EXPECT_EQ(r.offset(), 12);
  EXPECT_EQ(contents(r.readBytes(4)), counting(4, 0x2C));
  EXPECT_EQ(contents(r.readBytes(0)), Bytes{});  // at the end: an empty array
  EXPECT_THROW(r.readByte(), lang::IndexOutOfBoundsException);

  // Moves never go backwards, even where 32-bit arithmetic would wrap round; the next read
  // then fails.
  struct Move {
    const char* name;
    std::function<void(PickleContext&)> op;
  };
  const Move moves[] = {
      {"skipBytes INT32_MAX", [](PC& c) { c.skipBytes(INT32_MAX); }},
      {"skipTo above 2^31", [](PC& c) { c.skipTo(int64_t{1} << 31); }},
      {"skipTo 2^32 + 1", [](PC& c) { c.skipTo((int64_t{1} << 32) + 1); }},
      {"skipTo INT64_MAX", [](PC& c) { c.skipTo(INT64_MAX); }},
  };
  for (const Move& m : moves) {
    SCOPED_TRACE(m.name);
    PickleContext c(byteArray(image), 5);
    m.op(c);
    EXPECT_EQ(c.offset(), INT32_MAX);
    EXPECT_THROW(c.readByte(), lang::IndexOutOfBoundsException);
    c.skipBytes(1);
    EXPECT_EQ(c.offset(), INT32_MAX);
  }
  // A negative start position reads nothing.
  PickleContext before(byteArray(image), -1);
  EXPECT_THROW(before.readByte(), lang::IndexOutOfBoundsException);
  EXPECT_THROW(before.readBytes(0), lang::IndexOutOfBoundsException);
  EXPECT_EQ(before.offset(), -1);
}

TEST(PickleContextTest, HostileLengthsFailWithoutReadingOrMoving) {
  struct Op {
    const char* name;
    std::function<void(PickleContext&)> run;
  };
  const Op ops[] = {
      {"readDataValue", [](PC& c) { (void)c.readDataValue(); }},
      {"readDataSpan", [](PC& c) { (void)c.readDataSpan(); }},
      {"readLengthAndBytes", [](PC& c) { (void)c.readLengthAndBytes(); }},
      {"skipDataValue", [](PC& c) { c.skipDataValue(); }},
  };
  const Bytes images[] = {
      {0xFE, 0x7F, 0xFF, 0xFF, 0xFF, 0x01},  // 2^31-1: past the end
      {0xFE, 0x80, 0x00, 0x00, 0x00, 0x01},  // negative
      {0xFE, 0xFF, 0xFF, 0xFF, 0xFF},        // -1
      {0xFE, 0x00, 0x00, 0x00, 0x05, 0xAA},  // 4 bytes short
      {0x03, 0x41, 0x42},                    // 1 byte short
      {0xFE, 0x00, 0x00},                    // truncated length
      {0xF6},                                // truncated length
      {},                                    // nothing
  };
  for (const Bytes& image : images) {
    for (const Op& op : ops) {
      SCOPED_TRACE(op.name + (" on " + ::testing::PrintToString(image)));
      auto r = reader(image);
      EXPECT_THROW(op.run(*r), lang::IndexOutOfBoundsException);
      EXPECT_EQ(r->offset(), 0);
    }
  }
  // The first-byte forms: the rest of the length comes from the image.
  for (const Bytes& rest : {Bytes{0x7F, 0xFF, 0xFF, 0xFF}, Bytes{0x80, 0x00, 0x00, 0x00},
                            Bytes{0x00, 0x00, 0x01}}) {
    auto r = reader(rest);
    EXPECT_THROW(r->readDataValue(sb(0xFE)), lang::IndexOutOfBoundsException);
    EXPECT_THROW(r->skipDataValue(sb(0xFE)), lang::IndexOutOfBoundsException);
    EXPECT_EQ(r->offset(), 0);
  }
  auto r = reader({0x02, 0x01});
  EXPECT_THROW(r->readDataValue(sb(0xF7)), lang::IndexOutOfBoundsException);
  EXPECT_THROW(r->skipDataValue(sb(0x03)), lang::IndexOutOfBoundsException);
  EXPECT_THROW(r->readShortDataValue(), lang::IndexOutOfBoundsException);  // 2, then 1 byte
  EXPECT_EQ(r->offset(), 0);
  // A caller's negative count is an impossible array; one past the end is out of bounds.
  EXPECT_THROW(r->readBytes(-1), lang::NegativeArraySizeException);
  EXPECT_THROW(r->readBytes(INT32_MAX), lang::IndexOutOfBoundsException);
  EXPECT_THROW(r->readBytes(3), lang::IndexOutOfBoundsException);
  EXPECT_EQ(r->offset(), 0);
}

// A run of data values across both length forms and the null marker.
struct Sample {
  Bytes image;
  std::vector<int32_t> lengths;  // -1 for null
  std::vector<int32_t> ends;     // offset after each value
};

Sample sampleImage() {
  Sample s;
  auto w = writer();
  int32_t total = 0;
  for (int32_t len : {-1, 0, 1, 245, -1, 246, 300, 2, -1}) {
    if (len < 0) {
      total += w->writeAtomicNull();
    } else {
      total += w->writeLength(len);
      total += w->writeData(byteArray(counting(len, len)).get());
    }
    s.lengths.push_back(len);
    s.ends.push_back(total);
  }
  s.image = written(*w);
  return s;
}

TEST(PickleContextTest, EveryProperPrefixOfAnImageFailsCleanly) {
  const Sample s = sampleImage();
  ASSERT_EQ(static_cast<int32_t>(s.image.size()), s.ends.back());
  enum Mode { kRead, kSkip, kFirstByte };
  for (Mode mode : {kRead, kSkip, kFirstByte}) {
    for (size_t k = 0; k <= s.image.size(); ++k) {
      SCOPED_TRACE(::testing::Message() << "mode " << mode << " prefix " << k);
      PickleContext r(byteArray(Bytes(s.image.begin(), s.image.begin() + k)));
      size_t done = 0;
      try {
        for (; done < s.lengths.size(); ++done) {
          const int32_t start = r.offset();
          const int32_t len = s.lengths[done];
          if (mode == kRead) {
            const Ref<ByteArray> v = r.readDataValue();
            EXPECT_EQ(contents(v), len < 0 ? Bytes{} : counting(len, len));
            EXPECT_EQ(v == nullptr, len < 0);
          } else if (mode == kSkip) {
            r.skipDataValue();
          } else {
            const int8_t first = r.readByte();
            if (!PC::isAtomicNull(first)) {
              EXPECT_EQ(contents(r.readDataValue(first)), counting(len, len));
            }
          }
          EXPECT_EQ(r.offset(), s.ends[done]) << "from " << start;
        }
      } catch (const lang::IndexOutOfBoundsException&) {
        // The value that failed did not fit in the prefix.
        ASSERT_LT(done, s.lengths.size());
        EXPECT_GT(s.ends[done], static_cast<int32_t>(k));
        if (mode != kFirstByte) {
          EXPECT_EQ(r.offset(), done == 0 ? 0 : s.ends[done - 1]);
        }
      }
      // Only the whole image reads to the end.
      EXPECT_EQ(done == s.lengths.size(), k == s.image.size());
    }
  }
}

TEST(PickleContextTest, GeneratedValuesRoundTripThroughWriterAndReader) {
  std::mt19937 gen(20240611);
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int32_t> shortLen(0, 20);
  std::uniform_int_distribution<int32_t> edgeLen(240, 252);
  std::uniform_int_distribution<int32_t> longLen(253, 3000);
  std::vector<int32_t> lengths;
  auto w = writer();
  int32_t total = 0;
  for (int i = 0; i < 2000; ++i) {
    const int k = kind(gen);
    const int32_t len = k == 0 ? -1 : k < 5 ? shortLen(gen) : k < 8 ? edgeLen(gen) : longLen(gen);
    lengths.push_back(len);
    if (len < 0) {
      total += w->writeAtomicNull();
    } else {
      total += w->writeLength(len);
      total += w->writeData(byteArray(counting(len, i)).get());
    }
  }
  ASSERT_EQ(total, w->offset());
  const Ref<ByteArray> image = w->toByteArray();
  PickleContext r(image);
  PickleContext skipper(image);
  for (size_t i = 0; i < lengths.size(); ++i) {
    const Ref<ByteArray> v = r.readDataValue();
    if (lengths[i] < 0) {
      ASSERT_EQ(v, nullptr);
    } else {
      ASSERT_EQ(contents(v), counting(lengths[i], static_cast<int>(i))) << i;
    }
    skipper.skipDataValue();
    ASSERT_EQ(skipper.offset(), r.offset());
  }
  EXPECT_EQ(r.offset(), image->length());
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
