// A type map: the application's classes for SQL type names, consulted when values are turned
// into platform objects. Entries are factories that build the application's object from the
// value's attributes; the readers that use it define what they pass.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class TypeMap final : public lang::Object {
 public:
  using Factory = std::function<lang::Ref<lang::Object>(const lang::Ref<lang::ObjectArray>&)>;
  // Where the entries of a map that lives elsewhere (in the host) come from: the factory for a
  // name, or an empty one when there is none. Asked on each lookup of a name not yet found;
  // only factories found are kept. Whatever it throws passes through find.
  using Source = std::function<Factory(const std::string& sqlName)>;

  TypeMap() = default;
  explicit TypeMap(Source source) : source_(std::move(source)) {}

  void put(const std::string& sqlName, Factory factory) {
    std::lock_guard lock(mutex_);
    entries_[sqlName] = std::move(factory);
  }
  // The factory for the name, or null when the map has none. The pointer stays valid while
  // the map lives.
  const Factory* find(const std::string& sqlName) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(sqlName);
    if (it != entries_.end()) return &it->second;
    if (!source_) return nullptr;
    Factory f = source_(sqlName);
    if (!f) return nullptr;
    return &entries_.emplace(sqlName, std::move(f)).first->second;
  }
  bool empty() const {
    std::lock_guard lock(mutex_);
    return !source_ && entries_.empty();
  }

  const char* className() const noexcept override { return "TypeMap"; }

 private:
  mutable std::recursive_mutex mutex_;  // a source may call back into the map
  mutable std::map<std::string, Factory> entries_;
  Source source_;
};

}  // namespace kelvor::jdbc
