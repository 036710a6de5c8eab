// The descriptor tree as JSON, for `kelcore describe`: one node per descriptor holding its
// fields as they are, read without fetching anything from the connection.
//
// node := {"class", "typeCode", "nullIndex", "offsetIndex"} plus, where they apply:
//   named types      "parentIndex"
//   object types     "embeddedState", "typeVersion" (-1 when never fetched), "attributes"
//   NUMBER           "precision", "scale"
//   CHAR             "maxLength", "charsetForm", "charsetId"
//   RAW              "maxLength"
//   collection types "collectionKind", "maxElements", "element"
//   UPT              "typeByte" (250 object, 251 collection), "object" (the attached type)
//   an attribute with a name given by --names: "name"
#pragma once

#include "tools/kelcore/JsonText.h"
#include "tools/kelcore/NameTree.h"

namespace kelvor::jdbc::kelcore {
class KelvorType;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::tools {

class TypeDescription {
 public:
  static JsonText::Json describe(jdbc::kelcore::KelvorType& type, const NameTree& names);

 private:
  TypeDescription() = default;
  static JsonText::Json node(jdbc::kelcore::KelvorType& type, const NameTree& names,
                             int32_t depth);
};

}  // namespace kelvor::tools
