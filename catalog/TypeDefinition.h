// A small definition of a user-defined SQL type, from which the catalog writes the type's
// descriptor segment (TDSWriter) and its linear layout description (LayoutWriter). Today an
// object type: a schema-qualified name, a type version and named attributes in order.
//
// Built by one thread with addAttribute, then read; copies are cheap (embedded types are
// shared, immutable). Every definition is kept encodable as it is built: a TDS of it fits the
// fields that carry its numbers and parses within the parser's nesting bound. Whatever would
// break that raises DriverException ERR_INVALID_ARGUMENT and leaves the definition unchanged.
//
// Collection types will come as a further kind with their own factory; kind() lets the writers
// tell them apart, so callers of the object-type operations keep working.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalog/AttributeType.h"

namespace kelvor::catalog {

class TypeDefinition {
 public:
  enum class Kind : uint8_t { OBJECT };

  struct Attribute {
    std::string name;
    AttributeType type;
  };

  // The TDS header carries the version in one signed byte.
  static constexpr int32_t MIN_VERSION = -128;
  static constexpr int32_t MAX_VERSION = 127;
  static constexpr int32_t DEFAULT_VERSION = 1;
  // The TDS header counts the layout's leaf slots in an unsigned 16-bit field.
  static constexpr int32_t MAX_LEAF_SLOTS = 65535;
  // Between schema and type in the SQL name.
  static constexpr char NAME_SEPARATOR = '.';

  // An object type without attributes. Both names non-empty and free of the separator, so that
  // the SQL name splits back into them.
  TypeDefinition(std::string schemaName, std::string typeName,
                 int32_t version = DEFAULT_VERSION);

  // Appends an attribute. The name must be non-empty and not yet used in this type; the
  // leaf slots of the whole type must stay within MAX_LEAF_SLOTS, and its object levels
  // (this one and the embedded ones below it) within the parser's nesting bound.
  TypeDefinition& addAttribute(std::string name, AttributeType type);

  Kind kind() const noexcept { return kind_; }
  const std::string& schemaName() const noexcept { return schemaName_; }
  const std::string& typeName() const noexcept { return typeName_; }
  // schema "." type.
  std::string sqlName() const;
  int32_t version() const noexcept { return version_; }
  const std::vector<Attribute>& attributes() const noexcept { return attributes_; }
  // Leaf slots of the linear layout, embedded leaves included, in attribute order; the
  // number of offsets the layout description holds.
  int32_t leafSlotCount() const noexcept { return leafSlotCount_; }
  // 1 for a type whose attributes embed no object type; one more per embedded level.
  int32_t nestingLevels() const noexcept { return nestingLevels_; }

 private:
  Kind kind_ = Kind::OBJECT;
  std::string schemaName_;
  std::string typeName_;
  int32_t version_;                    // the TDS header's version byte, -128..127
  std::vector<Attribute> attributes_;  // in attribute order
  std::unordered_set<std::string> attributeNames_;  // the names in attributes_, for lookups
  int32_t leafSlotCount_ = 0;          // sum of the attributes' leaf slots
  int32_t nestingLevels_ = 1;          // this level plus the deepest embedded chain
};

}  // namespace kelvor::catalog
