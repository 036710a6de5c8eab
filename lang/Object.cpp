#include "lang/Object.h"

#include <cstdio>

#include "lang/Exceptions.h"

namespace kelvor::lang {

int32_t Object::hashCode() const {
  const auto bits = reinterpret_cast<uintptr_t>(this);
  return static_cast<int32_t>(bits ^ (bits >> 32));
}

void Object::refuseUnowned() const {
  throw IllegalStateException(std::string("no owner to share: ") + className() +
                              " is not held by any Ref");
}

std::string Object::toString() const {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "@%08x", static_cast<uint32_t>(hashCode()));
  return std::string(className()) + buffer;
}

}  // namespace kelvor::lang
