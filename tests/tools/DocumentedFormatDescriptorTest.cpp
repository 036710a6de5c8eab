// The default format descriptor as the README and `kelcore --help` write it must be the one the
// tool uses: a user who passes the documented hex gets the same slot sizes as one who passes
// nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "catalog/LayoutWriter.h"
#include "tests/tools/ToolRunner.h"

namespace kelvor::tools {
namespace {

std::string builtInHex() {
  const auto fd = catalog::LayoutWriter::defaultFormatDescriptor();
  std::string hex;
  for (int32_t i = 0; i < fd->length(); ++i) {
    static const char* digits = "0123456789abcdef";
    const auto b = static_cast<uint8_t>((*fd)[i]);
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

TEST(DocumentedFormatDescriptorTest, ReadmeGivesTheBuiltInDescriptor) {
  std::ifstream in(KELCORE_README_PATH);
  ASSERT_TRUE(in) << KELCORE_README_PATH;
  const std::string readme{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(readme, m, std::regex("default one \\((\\d+) bytes\\),\\s*`([0-9a-f]+)`")));
  EXPECT_EQ(m[2].str(), builtInHex());
  EXPECT_EQ(std::stoul(m[1].str()) * 2, m[2].length());
}

TEST(DocumentedFormatDescriptorTest, HelpGivesTheBuiltInDescriptor) {
  const ToolRunner::Result r = ToolRunner::run({"--help"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      r.out, m, std::regex("default format descriptor \\((\\d+) bytes\\):\\s*([0-9a-f]+)")));
  EXPECT_EQ(m[2].str(), builtInHex());
  EXPECT_EQ(std::stoul(m[1].str()) * 2, m[2].length());
}

}  // namespace
}  // namespace kelvor::tools
