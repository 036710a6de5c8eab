#include "tools/kelcore/NameTree.h"

#include "tools/kelcore/UsageError.h"
#include "types/DepthGuard.h"

namespace kelvor::tools {

namespace {
const std::optional<std::string> NO_NAME;
const NameTree NO_NAMES;
}  // namespace

NameTree NameTree::fromJson(const nlohmann::ordered_json& names) {
  return fromJson(names, "names", 0);
}

NameTree NameTree::fromJson(const nlohmann::ordered_json& names, const std::string& where,
                            int32_t depth) {
  // No type nests deeper than the parser allows, so neither can its names.
  if (depth > jdbc::kelcore::MAX_NESTING_DEPTH) throw UsageError(where + ": nested too deeply");
  if (!names.is_array()) throw UsageError(where + ": expected an array of attribute names");
  NameTree tree;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto& entry = names[i];
    const std::string at = where + "[" + std::to_string(i) + "]";
    if (entry.is_null()) {
      tree.names_.emplace_back();
      tree.children_.emplace_back();
    } else if (entry.is_string()) {
      tree.names_.emplace_back(entry.get<std::string>());
      tree.children_.emplace_back();
    } else if (entry.is_object() && entry.size() == 1) {
      const auto item = entry.items().begin();
      tree.names_.emplace_back(item.key());
      tree.children_.push_back(fromJson(item.value(), at + "." + item.key(), depth + 1));
    } else {
      throw UsageError(at + ": expected a name, null or {\"NAME\": [names]}");
    }
  }
  // Names key the attributes of a JSON object: two alike would lose one of the values.
  for (size_t i = 0; i < tree.names_.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (tree.label(i) == tree.label(j)) {
        throw UsageError(where + ": \"" + tree.label(i) + "\" names two attributes");
      }
    }
  }
  return tree;
}

const std::optional<std::string>& NameTree::name(size_t i) const {
  return i < names_.size() ? names_[i] : NO_NAME;
}

const NameTree& NameTree::child(size_t i) const {
  return i < children_.size() ? children_[i] : NO_NAMES;
}

std::string NameTree::label(size_t i) const {
  const auto& n = name(i);
  if (n) return *n;
  // Appended, not "#" + std::string&&: GCC 12 at -O3 reports a bogus -Wrestrict overlap
  // inside basic_string::insert for that form (GCC bug 105651).
  std::string label = "#";
  label += std::to_string(i + 1);
  return label;
}

}  // namespace kelvor::tools
