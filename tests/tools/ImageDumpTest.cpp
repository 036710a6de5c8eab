// The dump of pickled and linear images: exact lines for a small object, each kind of null
// marker with the path it belongs to, element paths through a collection attribute, a linear
// image's slots, length disagreements and leftover bytes, and every prefix of valid images
// listing or failing cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/AttributeType.h"
#include "catalog/LayoutWriter.h"
#include "catalog/LinearImageBuilder.h"
#include "catalog/TDSWriter.h"
#include "catalog/TypeDefinition.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "lang/Exceptions.h"
#include "lang/String.h"
#include "tests/support/TypeGenerator.h"
#include "tools/kelcore/ImageDump.h"

namespace kelvor::tools {
namespace {

using catalog::TypeDefinition;
using lang::makeRef;
using lang::Ref;
using T = catalog::AttributeType;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The line whose description starts with `what`, or "" when there is none.
std::string lineWith(const std::vector<std::string>& lines, const std::string& what) {
  for (const auto& line : lines) {
    if (line.find("  " + what) != std::string::npos) return line;
  }
  return "";
}

// The bytes a listing of a pickled image shows are the image's, each once and in order: a field
// the readers read without reporting it, or reported at the wrong place, breaks the run.
void expectEveryByteListedOnceInOrder(const std::string& listing, int32_t length) {
  int64_t next = 0;
  for (const std::string& line : linesOf(listing)) {
    const bool fieldLine = line.size() > 8 && line[6] == ' ' &&
                           std::all_of(line.begin(), line.begin() + 6, [](char c) { return std::isxdigit(c) != 0; });
    if (!fieldLine) continue;  // the header
    const std::string hex = line.substr(8, std::min<size_t>(47, line.size() - 8));
    const auto bytes = static_cast<int64_t>(std::count_if(hex.begin(), hex.end(), [](char c) { return c != ' '; }) / 2);
    if (bytes == 0) continue;  // a note, or a null told without bytes
    EXPECT_EQ(std::stoll(line.substr(0, 6), nullptr, 16), next) << line;
    next = std::stoll(line.substr(0, 6), nullptr, 16) + bytes;
  }
  EXPECT_EQ(next, length) << listing;
}

class ImageDumpTest : public ::testing::Test {
 protected:
  // Registers the type on its own connection (for values) and serves its TDS and layout to a
  // tool session, as the command does.
  void useType(const TypeDefinition& def) {
    conn = makeRef<jdbc::MemoryConnection>();
    descriptor = testsupport::registerType(*conn, def);
    const Ref<lang::ByteArray> fd = catalog::LayoutWriter::defaultFormatDescriptor();
    session = std::make_unique<ToolSession>(ToolSession::Inputs{
        catalog::TDSWriter::write(def), catalog::LayoutWriter::write(def, fd.get()), fd});
  }
  Ref<jdbc::ObjectValue> object(const std::string& name, std::initializer_list<Ref<lang::Object>> v) {
    return makeRef<jdbc::ObjectValue>(jdbc::ObjectDescriptor::createDescriptor(name, conn.get()),
                                      conn.get(), lang::ObjectArray::of(v));
  }
  Ref<jdbc::CharValue> text(const std::string& s) {
    return makeRef<jdbc::CharValue>(*lang::String::of(s),
                                    jdbc::CharsetConverter::forId(jdbc::CharsetConverter::UTF_8));
  }
  static Ref<jdbc::NumberValue> number(int32_t n) { return makeRef<jdbc::NumberValue>(n); }

  std::string dump(const lang::ByteArray& image, const NameTree& names, int64_t offset = 0) {
    std::ostringstream out;
    ImageDump::write(*session, names, image, offset, out, {});
    return out.str();
  }
  // Every proper prefix lists or raises the driver's or the platform's exception, never more.
  // Large generated images take every k-th prefix (some 400 of them), to keep the run short.
  void expectEveryPrefixFailsCleanly(const lang::ByteArray& image, const NameTree& names) {
    const int32_t step = std::max(1, image.length() / 400);
    for (int32_t n = 1; n < image.length(); n += step) {
      const Ref<lang::ByteArray> prefix = lang::ByteArray::copyOf(image.data(), n);
      std::ostringstream out;
      try {
        ImageDump::write(*session, names, *prefix, 0, out, {});
      } catch (const jdbc::DriverException&) {
      } catch (const lang::Throwable&) {
      }
    }
  }

  Ref<jdbc::MemoryConnection> conn;
  Ref<jdbc::ObjectDescriptor> descriptor;
  std::unique_ptr<ToolSession> session;
};

NameTree names(const char* json) { return NameTree::fromJson(nlohmann::ordered_json::parse(json)); }

TEST_F(ImageDumpTest, SmallObjectListsEveryFieldWithOffsetsBytesAndPaths) {
  TypeDefinition person("T", "PERSON");
  person.addAttribute("NAME", T::varcharType(20)).addAttribute("AGE", T::numberType(3, 0));
  useType(person);
  const Ref<lang::ByteArray> image = descriptor->getKelvorType()->toImage(object("T.PERSON", {text("Alice"), number(7)}).get());
  // 84 01 FE 00000011 | 05 "Alice" | 03 40 00 46
  ASSERT_EQ(image->length(), 17);
  const auto lines = linesOf(dump(*image, names(R"(["name", "age"])")));
  const std::vector<std::string> expected = {
      "pickled object image at offset 000000 of a 17-byte buffer (offsets in hex)",
      "000000  84" + std::string(45, ' ') + "  flags 84: object image",
      "000001  01" + std::string(45, ' ') + "  version 1",
      "000002  fe 00 00 00 11" + std::string(33, ' ') + "  image length 17",
      "000007  05 41 6c 69 63 65" + std::string(30, ' ') + "  data value 5 bytes \"Alice\"" +
          std::string(44 - 26, ' ') + " name",
      "00000d  03 40 00 46" + std::string(36, ' ') + "  data value 3 bytes 7" +
          std::string(44 - 20, ' ') + " age",
  };
  EXPECT_EQ(lines, expected);

  // Without names, attributes go by position; bytes after the image are reported, not read.
  auto longer = lang::ByteArray::make(20);
  for (int32_t i = 0; i < 17; ++i) (*longer)[i + 2] = (*image)[i];
  const auto shifted = linesOf(dump(*longer, NameTree(), 2));
  EXPECT_NE(lineWith(shifted, "data value 5 bytes \"Alice\"").find(" #1"), std::string::npos);
  EXPECT_EQ(shifted.back().substr(0, 10), "000013  00");
  EXPECT_NE(shifted.back().find("1 byte after the image"), std::string::npos);
  expectEveryPrefixFailsCleanly(*image, NameTree());
}

TEST_F(ImageDumpTest, LengthFieldThatDisagreesWithTheImageIsSaid) {
  TypeDefinition person("T", "PERSON");
  person.addAttribute("NAME", T::varcharType(20));
  useType(person);
  Ref<lang::ByteArray> image = descriptor->getKelvorType()->toImage(object("T.PERSON", {text("Al")}).get());
  (*image)[6] = 40;  // the length says 40, the fields take 10
  const std::string out = dump(*image, NameTree());
  EXPECT_NE(out.find("note: the image length says 40 bytes, its fields take 10"), std::string::npos) << out;
  EXPECT_NE(out.find("note: the image length says 40 bytes, the buffer holds 10"), std::string::npos) << out;
}

TEST_F(ImageDumpTest, NullMarkersOfEachKindNameTheAttributeTheyStandFor) {
  // P { A { B { X NUMBER }, Y NUMBER }, Z { W NUMBER } }
  TypeDefinition b("T", "B");
  b.addAttribute("X", T::numberType(3, 0));
  TypeDefinition a("T", "A");
  a.addAttribute("B", T::embeddedType(b)).addAttribute("Y", T::numberType(3, 0));
  TypeDefinition z("T", "Z");
  z.addAttribute("W", T::numberType(3, 0));
  TypeDefinition p("T", "P");
  p.addAttribute("A", T::embeddedType(a)).addAttribute("Z", T::embeddedType(z));
  useType(p);
  const NameTree n = names(R"([{"a": [{"b": ["x"]}, "y"]}, {"z": ["w"]}])");
  auto& type = *descriptor->getKelvorType();

  // a.b null: FC 01; z null: FD
  auto image = type.toImage(object("T.P", {object("T.A", {nullptr, number(1)}), nullptr}).get());
  auto lines = linesOf(dump(*image, n));
  EXPECT_NE(lineWith(lines, "null marker FC depth 1: null object").find(" a.b"), std::string::npos);
  EXPECT_EQ(lineWith(lines, "null marker FC").substr(0, 13), "000007  fc 01");
  EXPECT_NE(lineWith(lines, "data value 3 bytes 1").find(" a.y"), std::string::npos);
  EXPECT_NE(lineWith(lines, "null marker FD: null embedded object").find(" z"), std::string::npos);

  // a.b.x null: FF for the first leaf of the chain; z.w null: FF as a plain attribute
  image = type.toImage(object("T.P", {object("T.A", {object("T.B", {nullptr}), number(2)}),
                                      object("T.Z", {nullptr})}).get());
  lines = linesOf(dump(*image, n));
  EXPECT_NE(lineWith(lines, "null marker FF: null (first leaf)").find(" a.b.x"), std::string::npos);
  EXPECT_EQ(lines.back(), "00000c  ff" + std::string(45, ' ') + "  null marker FF: null (first leaf)" +
                             std::string(44 - 33, ' ') + " z.w");

  // a null: FD at the top level
  image = type.toImage(object("T.P", {nullptr, object("T.Z", {number(3)})}).get());
  lines = linesOf(dump(*image, n));
  EXPECT_NE(lineWith(lines, "null marker FD").find(" a"), std::string::npos);
  EXPECT_NE(lineWith(lines, "data value 3 bytes 3").find(" z.w"), std::string::npos);
  expectEveryPrefixFailsCleanly(*image, n);

  // A depth marker with depth 0 is refused after a line that says so.
  (*image)[7] = static_cast<int8_t>(0xFC);
  (*image)[8] = 0;
  std::ostringstream out;
  try {
    ImageDump::write(*session, n, *image, 0, out, {});
    ADD_FAILURE() << "a depth-0 marker was listed";
  } catch (const jdbc::DriverException& e) {
    EXPECT_EQ(e.code(), jdbc::DriverException::ERR_INTERNAL);
  }
  EXPECT_NE(out.str().find("000007  fc 00"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("cannot be read: depth marker outside an object chain"), std::string::npos);
}

TEST_F(ImageDumpTest, CollectionAttributeListsElementsByPath) {
  const TypeDefinition lines = TypeDefinition::collectionType("T", "LINES", T::varcharType(30), 10);
  TypeDefinition address("T", "ADDRESS");
  address.addAttribute("LINES", T::collectionAttribute(lines)).addAttribute("ZIP", T::numberType(5, 0));
  TypeDefinition person("T", "PERSON");
  person.addAttribute("ADDRESS", T::embeddedType(address));
  useType(person);
  auto array = makeRef<jdbc::ArrayValue>(jdbc::ArrayDescriptor::createDescriptor("T.LINES", conn.get()), conn.get(),
                                         lang::ObjectArray::of({text("1 Main St"), nullptr, text("Springfield")}).get());
  const auto image = descriptor->getKelvorType()->toImage(
      object("T.PERSON", {object("T.ADDRESS", {array, number(12345)})}).get());
  const NameTree n = names(R"([{"address": ["lines", "zip"]}])");
  const auto out = linesOf(dump(*image, n));
  EXPECT_NE(lineWith(out, "nested image length").find(" address.lines"), std::string::npos);
  EXPECT_NE(lineWith(out, "flags 88: collection image, elements inline").find(" address.lines"), std::string::npos);
  EXPECT_NE(lineWith(out, "element count 3").find(" address.lines"), std::string::npos);
  EXPECT_NE(lineWith(out, "data value 9 bytes \"1 Main St\"").find(" address.lines[1]"), std::string::npos);
  EXPECT_NE(lineWith(out, "null marker FF: null").find(" address.lines[2]"), std::string::npos);
  EXPECT_NE(lineWith(out, "data value 11 bytes \"Springfield\"").find(" address.lines[3]"), std::string::npos);
  EXPECT_NE(lineWith(out, "data value 5 bytes 12345").find(" address.zip"), std::string::npos);
  expectEveryPrefixFailsCleanly(*image, n);
}

TEST_F(ImageDumpTest, LinearImageListsHeaderIndicatorsAndSlots) {
  // N NUMBER at 0, S VARCHAR at 24 (its value behind the slots), D DATE at 48 (null)
  TypeDefinition small("T", "SMALL");
  small.addAttribute("N", T::numberType(5, 0)).addAttribute("S", T::varcharType(20)).addAttribute("D", T::dateType());
  useType(small);
  const auto image = catalog::LinearImageBuilder::build(*descriptor->getKelvorType(),
                                                        object("T.SMALL", {number(7), text("hi"), nullptr}).get());
  const NameTree n = names(R"(["n", "s", "d"])");
  const auto lines = linesOf(dump(*image, n));
  EXPECT_EQ(lines.front().substr(0, 19), "linear object image");
  // len(4) 6 bytes n(4) 2 bytes + 1 bits byte, dataLen(4): slots at 0x15
  EXPECT_EQ(lineWith(lines, "null indicator bytes 3").substr(0, 8), "00000a  ");
  EXPECT_NE(lineWith(lines, "4 null indicators, set: 3"), "");
  EXPECT_EQ(lineWith(lines, "number 3 bytes 7").substr(0, 20), "000015  03 40 00 46 ");
  EXPECT_NE(lineWith(lines, "number 3 bytes 7").find(" n"), std::string::npos);
  EXPECT_NE(lineWith(lines, "value at +56").find(" s"), std::string::npos);
  EXPECT_EQ(lineWith(lines, "data value 2 bytes \"hi\"").substr(0, 8), "00004d  ");
  EXPECT_NE(lineWith(lines, "null (indicator 3)").find(" d"), std::string::npos);
  EXPECT_EQ(lines.size(), 12U) << dump(*image, n);
  expectEveryPrefixFailsCleanly(*image, n);

  // Cut by its last byte, the image is refused as the readers refuse it: at its length, which
  // claims more bytes than follow, before any field of the body is read.
  const auto cut = lang::ByteArray::copyOf(image->data(), image->length() - 1);
  std::ostringstream out;
  EXPECT_THROW(ImageDump::write(*session, n, *cut, 0, out, {}), lang::IndexOutOfBoundsException);
  const std::vector<std::string> cutLines = linesOf(out.str());
  ASSERT_EQ(cutLines.size(), 3U) << out.str();  // the header, the refusal and its bytes
  EXPECT_EQ(cutLines[1].substr(0, 20), "000000  00 00 00 4f ");
  EXPECT_NE(cutLines[1].find("cannot be read: "), std::string::npos) << out.str();
}

TEST_F(ImageDumpTest, GeneratedImagesListToTheEndAndPrefixesFailCleanly) {
  testsupport::TypeGenerator::Options options;
  options.collectionPercent = 30;
  testsupport::TypeGenerator generator(7, options);
  int32_t linearImages = 0;
  for (int32_t round = 0; round < 5; ++round) {
    const TypeDefinition def = generator.nextType();
    useType(def);
    const auto value = generator.nextValue(def, *conn);
    const auto image = descriptor->getKelvorType()->toImage(value.get());
    const std::string out = dump(*image, NameTree());
    EXPECT_EQ(out.find("note:"), std::string::npos) << out;
    expectEveryByteListedOnceInOrder(out, image->length());
    expectEveryPrefixFailsCleanly(*image, NameTree());
    Ref<lang::ByteArray> linear;
    try {
      linear = catalog::LinearImageBuilder::build(*descriptor->getKelvorType(), value.get());
    } catch (const jdbc::DriverException& e) {
      // objects held through a UPT have no linear form in an object
      ASSERT_EQ(e.code(), jdbc::DriverException::ERR_UNSUPPORTED);
      continue;
    }
    ++linearImages;
    const std::string linearOut = dump(*linear, NameTree());
    EXPECT_EQ(linearOut.find("note:"), std::string::npos) << linearOut;
    expectEveryPrefixFailsCleanly(*linear, NameTree());
  }
  EXPECT_GT(linearImages, 0);
}

}  // namespace
}  // namespace kelvor::tools
