// A type map: the application's classes for SQL type names, consulted when values are turned
// into platform objects. Entries are factories that build the application's object from the
// value's attributes; the readers that use it define what they pass.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class TypeMap final : public lang::Object {
 public:
  using Factory = std::function<lang::Ref<lang::Object>(const lang::Ref<lang::ObjectArray>&)>;

  void put(const std::string& sqlName, Factory factory) { entries_[sqlName] = std::move(factory); }
  // The factory for the name, or null when the map has none.
  const Factory* find(const std::string& sqlName) const {
    auto it = entries_.find(sqlName);
    return it == entries_.end() ? nullptr : &it->second;
  }
  bool empty() const noexcept { return entries_.empty(); }

  const char* className() const noexcept override { return "TypeMap"; }

 private:
  std::map<std::string, Factory> entries_;
};

}  // namespace kelvor::jdbc
