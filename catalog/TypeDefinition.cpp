#include "catalog/TypeDefinition.h"

#include <algorithm>
#include <utility>

#include "catalog/ArgumentCheck.h"
#include "types/DepthGuard.h"

namespace kelvor::catalog {

namespace {

void requireNamePart(const char* what, const std::string& part) {
  if (part.empty() || part.find(TypeDefinition::NAME_SEPARATOR) != std::string::npos) {
    raiseInvalidArgument(std::string(what) + " '" + part +
                         "' is empty or holds the name separator");
  }
}

}  // namespace

TypeDefinition::TypeDefinition(std::string schemaName, std::string typeName, int32_t version)
    : schemaName_(std::move(schemaName)), typeName_(std::move(typeName)), version_(version) {
  requireNamePart("schema name", schemaName_);
  requireNamePart("type name", typeName_);
  requireInRange("type version", version_, MIN_VERSION, MAX_VERSION);
}

TypeDefinition TypeDefinition::collectionType(std::string schemaName, std::string typeName,
                                              AttributeType element, int64_t maxElements,
                                              CollectionKind kind, int32_t version) {
  TypeDefinition t(std::move(schemaName), std::move(typeName), version);
  // Object and collection elements are UPT entries; their segments nest one fix-up deeper.
  int32_t levels = 1;
  if (element.isCollection() || element.kind() == AttributeType::Kind::EMBEDDED_OBJECT) {
    levels += 1 + element.nestingLevels();
  }
  requireInRange("collection nesting levels", levels, 1, jdbc::kelcore::MAX_NESTING_DEPTH);
  requireInRange("collection maximum element count", maxElements, 0, MAX_ELEMENTS);
  if (kind != CollectionKind::UNBOUNDED && kind != CollectionKind::BOUNDED) {
    raiseInvalidArgument("collection kind " + std::to_string(static_cast<int32_t>(kind)) +
                         " is not 1 or 3");
  }
  t.kind_ = Kind::COLLECTION;
  t.elementType_ = std::move(element);
  t.maxElements_ = maxElements;
  t.collectionKind_ = kind;
  t.nestingLevels_ = levels;
  return t;
}

TypeDefinition& TypeDefinition::addAttribute(std::string name, AttributeType type) {
  if (kind_ == Kind::COLLECTION) {
    raiseInvalidArgument("a collection type has an element, not attributes: " + sqlName());
  }
  if (name.empty()) raiseInvalidArgument("attribute without a name in " + sqlName());
  if (attributeNames_.count(name) != 0) {
    raiseInvalidArgument("attribute " + name + " appears twice in " + sqlName());
  }
  // Both counts of the child are bounded already, so neither sum can overflow.
  const int32_t slots = leafSlotCount_ + type.leafSlotCount();
  requireInRange("leaf slot count", slots, 0, MAX_LEAF_SLOTS);
  // Every object level costs the parser (and the image readers and writers) one step of their
  // nesting bound; a deeper tree is written but never read.
  const int32_t levels = std::max(nestingLevels_, type.nestingLevels() + 1);
  requireInRange("object nesting levels", levels, 1, jdbc::kelcore::MAX_NESTING_DEPTH);
  attributeNames_.insert(name);
  attributes_.push_back({std::move(name), std::move(type)});
  leafSlotCount_ = slots;
  nestingLevels_ = levels;
  return *this;
}

std::string TypeDefinition::sqlName() const {
  return schemaName_ + NAME_SEPARATOR + typeName_;
}

}  // namespace kelvor::catalog
