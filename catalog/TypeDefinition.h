// A small definition of a user-defined SQL type, from which the catalog writes the type's
// descriptor segment (TDSWriter) and its linear layout description (LayoutWriter). Either an
// object type (a schema-qualified name, a type version and named attributes in order) or a
// collection type (a name, a version, one element type, a maximum element count and a kind).
//
// Built by one thread with addAttribute, then read; copies are cheap (embedded types are
// shared, immutable). Every definition is kept encodable as it is built: a TDS of it fits the
// fields that carry its numbers and parses within the parser's nesting bound. Whatever would
// break that raises DriverException ERR_INVALID_ARGUMENT and leaves the definition unchanged.
//
// kind() tells the two apart for the writers. A collection has no attributes (attributes() is
// empty, addAttribute refuses) and no linear layout description of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalog/AttributeType.h"

namespace kelvor::catalog {

class TypeDefinition {
 public:
  enum class Kind : uint8_t { OBJECT, COLLECTION };

  // The kind byte of a collection type's TDS entry. A bounded collection refuses to write more
  // elements than its maximum; the descriptor treats every byte but 3 as unbounded, and 1 is
  // the one we write for that.
  enum class CollectionKind : uint8_t { UNBOUNDED = 1, BOUNDED = 3 };

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
  // The maximum element count is a UB4 field, but the descriptor reads it as a signed 32-bit
  // number: a larger one would come back negative.
  static constexpr int64_t MAX_ELEMENTS = INT32_MAX;

  // An object type without attributes. Both names non-empty and free of the separator, so that
  // the SQL name splits back into them.
  TypeDefinition(std::string schemaName, std::string typeName,
                 int32_t version = DEFAULT_VERSION);

  // Appends an attribute. The name must be non-empty and not yet used in this type; the
  // leaf slots of the whole type must stay within MAX_LEAF_SLOTS, and its object levels
  // (this one and the embedded ones below it) within the parser's nesting bound.
  TypeDefinition& addAttribute(std::string name, AttributeType type);

  // A collection type of the element type, at most maxElements (0..MAX_ELEMENTS) elements when
  // bounded. Names as for an object type. The element is a scalar, an object type (an
  // embeddedType, written as a UPT element entry) or a collection type (a collectionAttribute);
  // a REF element names its target type as a REF attribute does. Nesting deeper than the
  // parser's bound: ERR_INVALID_ARGUMENT.
  static TypeDefinition collectionType(std::string schemaName, std::string typeName,
                                       AttributeType element, int64_t maxElements,
                                       CollectionKind kind = CollectionKind::UNBOUNDED,
                                       int32_t version = DEFAULT_VERSION);

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
  // 1 for a type whose attributes embed no object type; one more per embedded level; a
  // collection attribute or object element adds the levels of the segment it points at.
  int32_t nestingLevels() const noexcept { return nestingLevels_; }
  // COLLECTION: the element type; null for an object type.
  const AttributeType* elementType() const noexcept {
    return elementType_ ? &*elementType_ : nullptr;
  }
  // COLLECTION: the declared maximum and the kind byte; 0 and UNBOUNDED for an object type.
  int64_t maxElements() const noexcept { return maxElements_; }
  CollectionKind collectionKind() const noexcept { return collectionKind_; }

 private:
  Kind kind_ = Kind::OBJECT;
  std::string schemaName_;
  std::string typeName_;
  int32_t version_;                    // the TDS header's version byte, -128..127
  std::vector<Attribute> attributes_;  // in attribute order
  std::unordered_set<std::string> attributeNames_;  // the names in attributes_, for lookups
  int32_t leafSlotCount_ = 0;          // sum of the attributes' leaf slots
  int32_t nestingLevels_ = 1;          // this level plus the deepest embedded chain
  std::optional<AttributeType> elementType_;  // COLLECTION: scalar, object or collection
  int64_t maxElements_ = 0;                   // COLLECTION: 0..MAX_ELEMENTS
  CollectionKind collectionKind_ = CollectionKind::UNBOUNDED;  // COLLECTION
};

}  // namespace kelvor::catalog
