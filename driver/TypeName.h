// The SQL name of a value's type, for comparing and printing values: asked for (and fetched
// through the connection) when it is not known yet; none when it cannot be had.
#pragma once

#include <optional>
#include <string>

#include "driver/DriverException.h"
#include "lang/Exceptions.h"
#include "types/KelvorNamedType.h"

namespace kelvor::jdbc {

inline std::optional<std::string> typeNameOf(kelcore::KelvorNamedType& type) {
  try {
    return type.getSqlName();
  } catch (const DriverException&) {
    return std::nullopt;
  } catch (const lang::NullPointerException&) {  // no connection to ask
    return std::nullopt;
  }
}

// Two descriptors of one type: the same tree, or two trees of the same name.
inline bool sameTypeName(kelcore::KelvorNamedType& a, kelcore::KelvorNamedType& b) {
  if (&a == &b) return true;
  const auto na = typeNameOf(a);
  const auto nb = typeNameOf(b);
  return na && nb && *na == *nb;
}

}  // namespace kelvor::jdbc
