#include "catalog/LayoutWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "catalog/AttributeType.h"
#include "catalog/TypeDefinition.h"
#include "driver/DriverException.h"
#include "tests/types/TypeTestSupport.h"
#include "types/Util.h"

namespace kelvor::catalog {
namespace {

using jdbc::DriverException;
using jdbc::kelcore::Util;
using jdbc::kelcore::typetest::bytesOf;
using jdbc::kelcore::typetest::codeOf;
using T = AttributeType;

// A format descriptor with d[5] = 0, so entry k sits at 6 + k, holding entries 0..12.
lang::Ref<lang::ByteArray> fdWith(int entry5, int entry11, int entry12) {
  auto fd = lang::ByteArray::make(19);
  (*fd)[6 + 5] = static_cast<int8_t>(entry5);
  (*fd)[6 + 11] = static_cast<int8_t>(entry11);
  (*fd)[6 + 12] = static_cast<int8_t>(entry12);
  return fd;
}

TEST(LayoutWriterTest, DefaultFormatDescriptorHoldsTheDocumentedEntriesAndFlag) {
  const auto fd = LayoutWriter::defaultFormatDescriptor();
  struct Case {
    int entry, size, mask;
  };
  for (const Case c : {Case{5, 24, 3}, Case{11, 8, 1}, Case{12, 22, 0}}) {
    EXPECT_EQ(Util::formatSize(fd.get(), c.entry), c.size) << c.entry;
    EXPECT_EQ(Util::formatAlignment(fd.get(), c.entry), c.mask) << c.entry;
  }
  // The format flag a connection computes: bit 4 of d[d[5] + d[6] + 11].
  const int k = ((*fd)[5] & 0xFF) + ((*fd)[6] & 0xFF) + 11;
  ASSERT_LT(k, fd->length());
  EXPECT_EQ(((*fd)[k] >> 4) & 1, 1);
}

TEST(LayoutWriterTest, MixedAlignmentsAndAnEmbeddedTypeLayOutAsTheDescriptorComputes) {
  TypeDefinition inner("S", "INNER");  // SINT32 at 0, NUMBER at 24, size 46 rounded to 48
  inner.addAttribute("I", T::sint32Type()).addAttribute("N", T::numberType(5, 0));
  TypeDefinition outer("S", "OUTER");
  outer.addAttribute("N1", T::numberType(10, 0))  // 0..22
      .addAttribute("C", T::charType(8))          // mask 3: 22 -> 24..48
      .addAttribute("E", T::embeddedType(inner))  // mask 3: 48, leaves 48 and 72, to 96
      .addAttribute("D", T::dateType())           // mask 1: 96..104
      .addAttribute("N2", T::floatType());        // 104..126, image rounded to 128
  const auto fd = LayoutWriter::defaultFormatDescriptor();
  const LayoutWriter::Layout layout = LayoutWriter::computeLayout(outer, fd.get());
  EXPECT_EQ(layout.offsets, (std::vector<int64_t>{0, 24, 48, 72, 96, 104}));
  EXPECT_EQ(layout.size, 128);
  EXPECT_EQ(layout.maxAlignment, 3);
  const auto description = LayoutWriter::write(outer, fd.get());
  EXPECT_TRUE(description->sameContents(*bytesOf({0, 0, 0, 6,   0, 0, 0, 128,  //
                                                   0, 0, 0, 0,  0, 0, 0, 24,   //
                                                   0, 0, 0, 48, 0, 0, 0, 72,   //
                                                   0, 0, 0, 96, 0, 0, 0, 104})));
}

TEST(LayoutWriterTest, EightByteAlignmentFollowsTheFormatDescriptor) {
  // Entry 5: 8 bytes aligned to 8; entry 12: 22 bytes unaligned.
  const auto fd = fdWith((8 << 3) | 7, 0, 22 << 3);
  TypeDefinition type("S", "T");
  type.addAttribute("N", T::numberType(1, 0))
      .addAttribute("R", T::rawType(10))  // 22 -> 24
      .addAttribute("M", T::numberType(1, 0))
      .addAttribute("L", T::clobType());  // 54 -> 56, image 64
  const LayoutWriter::Layout layout = LayoutWriter::computeLayout(type, fd.get());
  EXPECT_EQ(layout.offsets, (std::vector<int64_t>{0, 24, 32, 56}));
  EXPECT_EQ(layout.size, 64);
}

TEST(LayoutWriterTest, FormatDescriptorsThatCannotHoldTheSlotsAreRefused) {
  TypeDefinition withSint("S", "T");
  withSint.addAttribute("R", T::rawType(4)).addAttribute("I", T::sint32Type());
  TypeDefinition rawOnly("S", "R");
  rawOnly.addAttribute("R", T::rawType(4));
  const auto small5 = fdWith((4 << 3) | 3, 0, 0);  // 4 bytes: room for an offset only
  EXPECT_EQ(LayoutWriter::computeLayout(rawOnly, small5.get()).size, 4);
  const std::vector<std::function<void()>> refused = {
      [&] { LayoutWriter::computeLayout(withSint, small5.get()); },  // SINT32 needs 22
      [&] { LayoutWriter::computeLayout(rawOnly, nullptr); },
      [&] { LayoutWriter::computeLayout(rawOnly, lang::ByteArray::make(11).get()); },  // no entry 5
      [&] { LayoutWriter::computeLayout(rawOnly, fdWith((8 << 3) | 2, 0, 0).get()); },  // mask 2
      [&] { LayoutWriter::write(rawOnly, lang::ByteArray::make(5).get()); },
  };
  for (size_t i = 0; i < refused.size(); ++i) {
    EXPECT_EQ(codeOf(refused[i]), DriverException::ERR_INVALID_ARGUMENT) << "case " << i;
  }
}

}  // namespace
}  // namespace kelvor::catalog
