// Attribute names of an object type and of the object types inside it, as the user gives them
// with --names: the type descriptor segment carries no names, so without this the tool shows
// attributes by position.
//
// names := [entry, ...]                 one entry per attribute, in attribute order
// entry := "NAME" | null                an attribute with no structure below it (or unnamed)
//        | {"NAME": names}              an embedded object, or a collection whose elements
//                                       (through any collections of collections) are objects:
//                                       the names of that object type's attributes
// For a collection type, names are those of its element object type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kelvor::tools {

class NameTree {
 public:
  NameTree() = default;
  // The tree of a names JSON value; another shape raises UsageError saying where.
  static NameTree fromJson(const nlohmann::ordered_json& names);

  bool empty() const noexcept { return names_.empty(); }
  size_t size() const noexcept { return names_.size(); }
  // Attribute i's name (0-based), or nullopt when not given.
  const std::optional<std::string>& name(size_t i) const;
  // The names below attribute i; an empty tree when none were given.
  const NameTree& child(size_t i) const;
  // The name of attribute i, or "#n" with its 1-based position when it has none.
  std::string label(size_t i) const;

 private:
  static NameTree fromJson(const nlohmann::ordered_json& names, const std::string& where,
                           int32_t depth);

  std::vector<std::optional<std::string>> names_;
  std::vector<NameTree> children_;
};

}  // namespace kelvor::tools
