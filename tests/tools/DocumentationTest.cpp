// What the README and `kelcore --help` show must be what the code does: the default format
// descriptor they write is the built-in one (a user who passes the documented hex gets the same
// slot sizes as one who passes nothing), and the README's C++ example is the consumer that
// every build compiles and CI runs against an installed package.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>

#include "catalog/LayoutWriter.h"
#include "tests/tools/ToolRunner.h"

namespace kelvor::tools {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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

TEST(DocumentationTest, ReadmeGivesTheBuiltInDescriptor) {
  const std::string readme = readFile(KELCORE_README_PATH);
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(readme, m, std::regex("default one \\((\\d+) bytes\\),\\s*`([0-9a-f]+)`")));
  EXPECT_EQ(m[2].str(), builtInHex());
  EXPECT_EQ(std::stoul(m[1].str()) * 2, m[2].length());
}

TEST(DocumentationTest, HelpGivesTheBuiltInDescriptor) {
  const ToolRunner::Result r = ToolRunner::run({"--help"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      r.out, m, std::regex("default format descriptor \\((\\d+) bytes\\):\\s*([0-9a-f]+)")));
  EXPECT_EQ(m[2].str(), builtInHex());
  EXPECT_EQ(std::stoul(m[1].str()) * 2, m[2].length());
}

TEST(DocumentationTest, ReadmeExampleIsTheConsumerSource) {
  const std::string readme = readFile(KELCORE_README_PATH);
  const size_t heading = readme.find("### An example");
  ASSERT_NE(heading, std::string::npos);
  const size_t open = readme.find("```cpp\n", heading);
  ASSERT_NE(open, std::string::npos);
  const size_t begin = open + 7;
  const size_t close = readme.find("\n```\n", begin);
  ASSERT_NE(close, std::string::npos);
  EXPECT_EQ(readme.substr(begin, close + 1 - begin),
            readFile(std::string(KELCORE_EXAMPLES_DIR) + "/consumer/main.cpp"));
}

}  // namespace
}  // namespace kelvor::tools
