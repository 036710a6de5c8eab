#include "adt/StreamInfo.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

#include "driver/DriverException.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "tests/types/TypeTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using typetest::bytesOf;
using typetest::codeOf;
using typetest::TestType;
using lang::ByteArray;

TEST(StreamInfoTest, FixedWidthReadsAdvanceByTheirWidth) {
  struct Case {
    std::function<int64_t(StreamInfo&)> read;
    std::vector<int> bytes;
    int64_t value;
    int64_t consumed;
  };
  const std::vector<Case> cases = {
      {[](StreamInfo& r) { return r.readUB4(); }, {0xFF, 0xFF, 0xFF, 0xFF}, -1, 4},
      {[](StreamInfo& r) { return r.readUB4(); }, {0x00, 0x00, 0x01, 0x00}, 256, 4},
      {[](StreamInfo& r) { return r.readUB4(); }, {0x80, 0x00, 0x00, 0x01}, INT32_MIN + 1, 4},
      {[](StreamInfo& r) { return r.readSB2(); }, {0xFF, 0xFE}, -2, 2},
      {[](StreamInfo& r) { return r.readSB2(); }, {0x7F, 0xFF}, INT16_MAX, 2},
      {[](StreamInfo& r) { return r.readUB1(); }, {0xFE}, 254, 1},
      {[](StreamInfo& r) { return r.readByte(); }, {0xFE}, -2, 1},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    StreamInfo reader(bytesOf(cases[i].bytes), 0);
    EXPECT_EQ(cases[i].read(reader), cases[i].value) << "case " << i;
    EXPECT_EQ(reader.getRelativeOffset(), cases[i].consumed) << "case " << i;
  }
}

TEST(StreamInfoTest, StartOffsetIsTheOriginOfRelativePositions) {
  auto bytes = ByteArray::make(104);
  (*bytes)[100] = 0x2A;
  (*bytes)[103] = 0x07;
  StreamInfo reader(bytes, 100);
  EXPECT_EQ(reader.getOffset(), 100);
  EXPECT_EQ(reader.getRelativeOffset(), 0);
  EXPECT_EQ(reader.readUB1(), 0x2A);
  reader.setRelativeOffset(3);
  EXPECT_EQ(reader.getOffset(), 103);
  EXPECT_EQ(reader.readByte(), 0x07);
  EXPECT_EQ(reader.getBytes().get(), bytes.get());
  // Only the low 32 bits of the start count.
  StreamInfo wide(bytes, (int64_t{1} << 32) + 103);
  EXPECT_EQ(wide.getOffset(), 103);
  EXPECT_EQ(wide.readByte(), 0x07);
  EXPECT_THROW(StreamInfo(nullptr, 0), lang::NullPointerException);
}

TEST(StreamInfoTest, ExpectByteAdvancesEvenOnMismatch) {
  StreamInfo reader(bytesOf({39, 40}), 0);
  EXPECT_EQ(codeOf([&] { reader.expectByte(38); }), DriverException::ERR_TDS_FORMAT);
  EXPECT_EQ(reader.getRelativeOffset(), 1);
  reader.expectByte(40);
  EXPECT_EQ(reader.getRelativeOffset(), 2);
  // At the end there is no byte to compare: the read itself fails and nothing moves.
  EXPECT_THROW(reader.expectByte(0), lang::IndexOutOfBoundsException);
  EXPECT_EQ(reader.getRelativeOffset(), 2);
}

TEST(StreamInfoTest, EveryReadOfAProperPrefixFailsWithoutMoving) {
  const std::vector<std::pair<int, std::function<void(StreamInfo&)>>> reads = {
      {1, [](StreamInfo& r) { r.readByte(); }},
      {1, [](StreamInfo& r) { r.readUB1(); }},
      {2, [](StreamInfo& r) { r.readSB2(); }},
      {4, [](StreamInfo& r) { r.readUB4(); }},
      {1, [](StreamInfo& r) { r.expectByte(0); }},
  };
  const auto full = bytesOf({1, 2, 3, 4, 5, 6});
  for (const auto& [width, read] : reads) {
    for (int have = 0; have < width; ++have) {
      // Start the TDS so that only `have` bytes of the array are left.
      StreamInfo reader(full, 6 - have);
      EXPECT_THROW(read(reader), lang::IndexOutOfBoundsException) << width << "/" << have;
      EXPECT_EQ(reader.getOffset(), 6 - have);
    }
  }
}

TEST(StreamInfoTest, HostileMovesLeaveThePositionOutsideAndTheNextReadFails) {
  const auto bytes = bytesOf({1, 2, 3, 4, 5, 6, 7, 8});
  const std::vector<std::function<void(StreamInfo&)>> moves = {
      [](StreamInfo& r) { r.skipBytes(INT32_MAX); },
      [](StreamInfo& r) { r.skipBytes(INT32_MIN); },
      [](StreamInfo& r) { r.skipBytes(-3); },  // back before the start of the array
      [](StreamInfo& r) { r.setRelativeOffset(INT64_MAX); },
      [](StreamInfo& r) { r.setRelativeOffset(INT64_MIN); },
      // 2^32 + 1 would land on byte 3 if it were cut to 32 bits.
      [](StreamInfo& r) { r.setRelativeOffset((int64_t{1} << 32) + 1); },
      [](StreamInfo& r) {
        for (int i = 0; i < 1000; ++i) r.skipBytes(INT32_MAX);
      },
  };
  for (size_t i = 0; i < moves.size(); ++i) {
    StreamInfo reader(bytes, 2);
    moves[i](reader);
    EXPECT_THROW(reader.readByte(), lang::IndexOutOfBoundsException) << "move " << i;
    EXPECT_THROW(reader.readUB4(), lang::IndexOutOfBoundsException) << "move " << i;
  }
  // A skip that stays inside is an ordinary move.
  StreamInfo reader(bytes, 2);
  reader.skipBytes(3);
  EXPECT_EQ(reader.readByte(), 6);
  reader.skipBytes(-2);
  EXPECT_EQ(reader.readByte(), 5);
}

TEST(StreamInfoTest, PatchesComeOutFirstInFirstOut) {
  StreamInfo reader(bytesOf({0}), 0);
  EXPECT_EQ(reader.nextPatch(), nullptr);
  Ref<KelvorType> upt = lang::makeRef<TestType>();
  Ref<KelvorType> collection = lang::makeRef<TestType>();
  reader.addPatch(40, static_cast<int8_t>(0xFB), upt);
  reader.addPatch(70, collection);
  auto explicitPatch = lang::makeRef<TDSPatch>(TDSPatch::KIND_ELEMENT_TYPE, upt, 90, int8_t{0});
  reader.addPatch(explicitPatch);
  EXPECT_EQ(reader.pendingPatches(), 3);

  const auto first = reader.nextPatch();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->getKind(), TDSPatch::KIND_OBJECT_TYPE);
  EXPECT_EQ(first->getPosition(), 40);
  EXPECT_EQ(first->getTypeByte(), -5);
  EXPECT_EQ(first->getOwner(), upt.get());
  const auto second = reader.nextPatch();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->getKind(), TDSPatch::KIND_ELEMENT_TYPE);
  EXPECT_EQ(second->getPosition(), 70);
  EXPECT_EQ(second->getTypeByte(), 0);
  EXPECT_EQ(second->getOwner(), collection.get());
  EXPECT_EQ(reader.nextPatch().get(), explicitPatch.get());
  EXPECT_EQ(reader.nextPatch(), nullptr);
  EXPECT_THROW(reader.addPatch(Ref<TDSPatch>()), lang::NullPointerException);
}

TEST(StreamInfoTest, SeekToPatchOnlyMovesForward) {
  auto owner = lang::makeRef<TestType>();
  StreamInfo reader(ByteArray::make(40), 10);
  reader.skipBytes(5);
  const TDSPatch ahead(TDSPatch::KIND_ELEMENT_TYPE, owner, 12, 0);
  EXPECT_EQ(reader.seekToPatch(ahead), 12);
  EXPECT_EQ(reader.getRelativeOffset(), 12);
  EXPECT_EQ(reader.getOffset(), 22);
  const TDSPatch here(TDSPatch::KIND_ELEMENT_TYPE, owner, 12, 0);
  EXPECT_EQ(reader.seekToPatch(here), 12);
  EXPECT_EQ(reader.getOffset(), 22);
  const TDSPatch behind(TDSPatch::KIND_ELEMENT_TYPE, owner, 11, 0);
  EXPECT_EQ(codeOf([&] { reader.seekToPatch(behind); }), DriverException::ERR_TDS_FORMAT);
  EXPECT_EQ(reader.getOffset(), 22);
  // A position read as a negative UB4 is behind every reader.
  const TDSPatch negative(TDSPatch::KIND_ELEMENT_TYPE, owner, -1, 0);
  EXPECT_EQ(codeOf([&] { reader.seekToPatch(negative); }), DriverException::ERR_TDS_FORMAT);
  // A position beyond the TDS is reached, and the next read fails cleanly.
  const TDSPatch beyond(TDSPatch::KIND_ELEMENT_TYPE, owner, INT32_MAX, 0);
  EXPECT_EQ(reader.seekToPatch(beyond), INT32_MAX);
  EXPECT_THROW(reader.readUB1(), lang::IndexOutOfBoundsException);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
