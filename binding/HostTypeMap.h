// The host's type map: a host object whose hasFactory and create methods, reached through the
// link-table protocol, stand behind a jdbc::TypeMap's entries. Adopted on first sight like a
// host connection: the host instance is bound to a TypeMap whose source asks the host.
//
// What create returns is handed back as it is: a bridged object or string or array converts as
// any host value does; any other host instance (an application object) is carried by a
// HostObject, so that it returns to the host as the very same reference.
#pragma once

#include <cstdint>

#include "binding/Bridge.h"
#include "lang/Object.h"

namespace kelvor::binding {

// A host instance the package carries without knowing its class.
class HostObject final : public lang::Object {
 public:
  explicit HostObject(uint32_t ref) noexcept : ref_(ref) {}
  uint32_t ref() const noexcept { return ref_; }
  const char* className() const noexcept override { return "HostObject"; }

 private:
  uint32_t ref_;
};

class HostTypeMap {
 public:
  // When `ref` is a host type map not yet adopted, binds it to a TypeMap that asks the host.
  static void adopt(const Bridge& b, uint32_t ref);
  // A host value as a C++ object: a HostObject for a host instance that is not bridged.
  static Ref<lang::Object> hostValue(const Bridge& b, uint32_t ref);

  HostTypeMap() = delete;
};

}  // namespace kelvor::binding
