#include "lang/String.h"

namespace kelvor::lang {

bool String::equals(const Object* other) const {
  const auto* s = dynamic_cast<const String*>(other);
  return s != nullptr && s->value_ == value_;
}

int32_t String::hashCode() const {
  uint32_t h = 0;
  for (const char c : value_) h = 31 * h + static_cast<uint8_t>(c);
  return static_cast<int32_t>(h);
}

}  // namespace kelvor::lang
