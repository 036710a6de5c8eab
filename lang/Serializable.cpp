#include "lang/Serializable.h"

#include <map>
#include <mutex>
#include <string>

#include "lang/Exceptions.h"

namespace kelvor::lang {
namespace {

// Registrars run during static initialisation, in an order across translation units that
// nobody controls: the registry is built on first use, never before.
struct Registry {
  std::mutex lock;
  std::map<std::string, const SerialClass*, std::less<>> byName;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

void registerSerialClass(const SerialClass& cls) {
  if (cls.name == nullptr || cls.name[0] == '\0') {
    throw IllegalArgumentException("serial class without a name");
  }
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  const auto [it, added] = r.byName.try_emplace(cls.name, &cls);
  if (!added && it->second != &cls) {
    throw IllegalArgumentException(std::string("serial class name taken: ") + cls.name);
  }
}

const SerialClass* findSerialClass(std::string_view name) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  const auto it = r.byName.find(name);
  return it == r.byName.end() ? nullptr : it->second;
}

}  // namespace kelvor::lang
