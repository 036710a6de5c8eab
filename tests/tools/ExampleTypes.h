// The example types under examples/ and one realistic value of each, built through an
// in-memory connection that holds all of them:
//   address  KELCORE.ADDRESS  STREET VARCHAR(40), CITY VARCHAR(30), POSTCODE CHAR(8),
//                             LINES KELCORE.ADDRESS_LINES (VARCHAR(60) elements, at most 10)
//   person   KELCORE.PERSON   NAME VARCHAR(60), BORN DATE, HEIGHT NUMBER(5,2),
//                             ADDRESS an embedded KELCORE.ADDRESS
//   persons  KELCORE.PERSONS  unbounded collection of KELCORE.PERSON objects
//   numbers  KELCORE.NUMBERS  collection of NUMBER, at most 100
// The committed example files are checked against (or written from) these definitions and
// values by ExampleFilesTest, and the tool's end-to-end tests compare what the tool makes of
// the examples' JSON with what the library makes of the same values here. The values must
// stay what examples/<name>.json says.
//
// Not thread-safe: one instance per test.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "catalog/TypeDefinition.h"
#include "driver/MemoryConnection.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::tools {

class ExampleTypes {
 public:
  // The examples' file stems, in the order above.
  static const std::vector<std::string>& names();
  // KELCORE_EXAMPLES_DIR/<name><extension>, e.g. path("person", ".tds").
  static std::string path(const std::string& name, const std::string& extension);

  ExampleTypes();

  const catalog::TypeDefinition& definition(const std::string& name) const;
  bool isCollection(const std::string& name) const;
  // The example's value: an ObjectValue or an ArrayValue.
  const lang::Ref<jdbc::SqlValue>& value(const std::string& name) const;

  // What the catalog and the library make of the example now.
  lang::Ref<lang::ByteArray> tds(const std::string& name) const;
  // The layout description under the default format descriptor; null for a collection type.
  lang::Ref<lang::ByteArray> layout(const std::string& name) const;
  // The pickled image of the value (the descriptor's toImage).
  lang::Ref<lang::ByteArray> pickledImage(const std::string& name) const;
  // The linear image of the value (LinearImageBuilder).
  lang::Ref<lang::ByteArray> linearImage(const std::string& name) const;

 private:
  struct Example {
    catalog::TypeDefinition definition;
    lang::Ref<jdbc::SqlValue> value;
  };
  const Example& example(const std::string& name) const;

  lang::Ref<jdbc::MemoryConnection> connection_;
  std::map<std::string, Example> examples_;
};

}  // namespace kelvor::tools
