// The committed example files against what the catalog writes now: each binary file under
// examples/ must be byte for byte what TDSWriter, LayoutWriter and LinearImageBuilder make of
// the example types and values, and each names file must name the attributes the type has.
// With KELCORE_WRITE_EXAMPLES=1 in the environment the binary files are (re)written instead.
// The .json value files are written by hand; the tool's end-to-end tests hold them to the
// C++ values (KelcoreToolTest).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "catalog/TypeDefinition.h"
#include "lang/Array.h"
#include "tests/tools/ExampleTypes.h"

namespace kelvor::tools {
namespace {

using Bytes = std::vector<int>;  // unsigned byte values, readable in failure output

Bytes bytesOf(const lang::ByteArray& a) {
  Bytes out;
  for (int32_t i = 0; i < a.length(); ++i) out.push_back(a[i] & 0xFF);
  return out;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  const std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Bytes out;
  for (const char c : s) out.push_back(static_cast<unsigned char>(c));
  return out;
}

bool writingExamples() {
  const char* flag = std::getenv("KELCORE_WRITE_EXAMPLES");
  return flag != nullptr && std::string(flag) == "1";
}

// Compares the committed file with the bytes, or writes them there when asked to.
void checkOrWrite(const std::string& name, const std::string& extension,
                  const lang::ByteArray& bytes) {
  const std::string path = ExampleTypes::path(name, extension);
  if (writingExamples()) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.length());
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    return;
  }
  EXPECT_EQ(readFile(path), bytesOf(bytes))
      << path << " differs from what the catalog writes now; rerun this test with "
      << "KELCORE_WRITE_EXAMPLES=1 to rewrite it";
}

// The names JSON a type's attributes call for: "NAME", or {"NAME": names} for an embedded
// object and for a collection whose elements are objects.
nlohmann::json namesOf(const catalog::TypeDefinition& type) {
  if (const catalog::AttributeType* element = type.elementType()) {
    return element->objectType() ? namesOf(*element->objectType()) : nlohmann::json::array();
  }
  nlohmann::json names = nlohmann::json::array();
  for (const catalog::TypeDefinition::Attribute& a : type.attributes()) {
    const catalog::TypeDefinition* below = a.type.objectType();
    if (const catalog::TypeDefinition* c = a.type.collectionType()) {
      below = c->elementType()->objectType();
    }
    if (below != nullptr) {
      names.push_back({{a.name, namesOf(*below)}});
    } else {
      names.push_back(a.name);
    }
  }
  return names;
}

TEST(ExampleFilesTest, BinaryFilesAreWhatTheCatalogWritesNow) {
  const ExampleTypes examples;
  for (const std::string& name : ExampleTypes::names()) {
    SCOPED_TRACE(name);
    checkOrWrite(name, ".tds", *examples.tds(name));
    if (!examples.isCollection(name)) checkOrWrite(name, ".layout", *examples.layout(name));
    checkOrWrite(name, ".linear", *examples.linearImage(name));
  }
}

TEST(ExampleFilesTest, NamesFilesNameEveryAttributeInOrder) {
  const ExampleTypes examples;
  for (const std::string name : {"address", "person", "persons"}) {
    SCOPED_TRACE(name);
    std::ifstream in(ExampleTypes::path(name, ".names.json"));
    ASSERT_TRUE(in) << "no names file";
    EXPECT_EQ(nlohmann::json::parse(in), namesOf(examples.definition(name)));
  }
}

}  // namespace
}  // namespace kelvor::tools
