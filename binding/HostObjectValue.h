// An object value whose class lives in the host: a host subclass of the driver's object value
// class, which may override getAttributes. The package writes an object value's attributes as
// getAttributes gives them; for such a value that call is a virtual call on the host object
// through the link-table protocol, so the host's override is what runs (with native code
// through the receiver class's pair, interpreted through hostInvoke). A value of our own, or a
// host instance of the driver's class itself, is called directly in C++.
//
// Adoption: the host instance keeps its handle, which names the driver's C++ value its base
// constructor made (the host's base getAttributes reads that one). The first time the package
// meets such an instance it makes this value for it, once per instance, and from then on the
// bridge hands the package this value in its place. Holding the base value keeps its address
// from being reused while the host instance's reference maps to it.
//
// Thread rule: like a host connection, a call runs on the calling thread's context (the env of
// its innermost bridged call). Host exceptions pass through as HostExceptionPending, untouched.
#pragma once

#include <cstdint>
#include <thread>

#include "binding/Bridge.h"
#include "driver/ObjectValue.h"

namespace kelvor::binding {

class HostObjectValue final : public jdbc::ObjectValue {
 public:
  HostObjectValue(const Bridge& b, uint32_t self, lang::Ref<jdbc::ObjectValue> base);

  // The value the package works with for the bridged instance `ref` whose C++ object is `o`:
  // o itself, unless o is an object value and `ref` an instance of a host subclass of the
  // object value class, which gets its HostObjectValue.
  static lang::Object* adopt(const Bridge& b, uint32_t ref, lang::Object* o);

  // The host object's getAttributes.
  lang::Ref<lang::ObjectArray> getAttributes() const override;

  const char* className() const noexcept override { return "HostObjectValue"; }
  uint32_t hostObject() const noexcept { return self_; }
  const lang::Ref<jdbc::ObjectValue>& base() const noexcept { return base_; }

 private:
  uintptr_t env_;  // the context of the thread that handed the value over
  uint64_t vmId_;
  std::thread::id adoptingThread_ = std::this_thread::get_id();
  uint32_t self_;         // the host object
  uint32_t callerClass_;  // whose constant pool names getAttributes
  lang::Ref<jdbc::ObjectValue> base_;
};

}  // namespace kelvor::binding
