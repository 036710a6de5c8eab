#include "binding/HostObjectValue.h"

#include <mutex>
#include <unordered_map>
#include <utility>

#include "binding/LinkTable.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "host/HostServices.h"

namespace kelvor::binding {

namespace {

// The values made for host instances, per virtual machine and reference. Entries are never
// dropped, as in the bridge's identity table: the hosts we bind do not collect bridged
// instances (a host with a collector would drop an entry when its instance dies).
class AdoptedValues {
 public:
  HostObjectValue* find(uint64_t vm, uint32_t ref) {
    std::lock_guard lock(mutex_);
    auto it = map_.find(key(vm, ref));
    return it == map_.end() ? nullptr : it->second.get();
  }
  // The value already recorded for `ref`, or `value` after recording it.
  HostObjectValue* insert(uint64_t vm, uint32_t ref, lang::Ref<HostObjectValue> value) {
    std::lock_guard lock(mutex_);
    return map_.try_emplace(key(vm, ref), std::move(value)).first->second.get();
  }

 private:
  static uint64_t key(uint64_t vm, uint32_t ref) { return vm << 32 ^ ref; }
  std::mutex mutex_;
  std::unordered_map<uint64_t, lang::Ref<HostObjectValue>> map_;
};

AdoptedValues& adopted() {
  static AdoptedValues* values = new AdoptedValues();  // lives as long as the process
  return *values;
}

uint32_t checkedInstanceOf(const Bridge& b, uint32_t ref, uint32_t cls) {
  const int32_t is = hostInstanceOf(b.env(), ref, cls);
  if (b.context()->pendingException != 0) throw HostExceptionPending{};
  return is != 0 ? 1 : 0;
}

}  // namespace

HostObjectValue::HostObjectValue(const Bridge& b, uint32_t self, lang::Ref<jdbc::ObjectValue> base)
    : jdbc::ObjectValue(base->getDescriptor(), base->getConnection()),
      env_(b.env()),
      vmId_(b.context()->vmId),
      self_(self),
      callerClass_(b.cls()),
      base_(std::move(base)) {}

lang::Object* HostObjectValue::adopt(const Bridge& b, uint32_t ref, lang::Object* o) {
  auto* value = jdbc::SqlValue::as<jdbc::ObjectValue>(o);
  if (value == nullptr || dynamic_cast<HostObjectValue*>(value) != nullptr) return o;
  // The driver's values as the host wraps them are plain objects or of the value class itself.
  const uint32_t cls = b.read32(ref, host::OFFSET_CLASS);
  if (cls == b.classConstant(host::POOL_OBJECT)) return o;
  const uint64_t vm = b.context()->vmId;
  if (HostObjectValue* known = adopted().find(vm, ref)) return known;
  const uint32_t valueClass = b.classConstant(host::POOL_OBJECT_VALUE_CLASS);
  if (cls == valueClass || checkedInstanceOf(b, ref, valueClass) == 0) return o;
  auto made = lang::makeRef<HostObjectValue>(b, ref, lang::Ref<jdbc::ObjectValue>(value));
  HostObjectValue* winner = adopted().insert(vm, ref, made);
  b.remember(winner, ref);
  return winner;
}

lang::Ref<lang::ObjectArray> HostObjectValue::getAttributes() const {
  const uintptr_t env = hostCallEnv(env_, vmId_, adoptingThread_);
  const Bridge b(env, host::contextOf(env), callerClass_);
  const host::ServiceShape& s = host::OBJECT_VALUE_SERVICE_SHAPES[0];
  const uint32_t words[1] = {self_};
  const auto ref = static_cast<uint32_t>(
      LinkTable::callVirtual(b, callerClass_, host::POOL_OBJECT_VALUE_GET_ATTRIBUTES,
                             host::objectValuePosition(host::POOL_OBJECT_VALUE_GET_ATTRIBUTES),
                             false, CallShape(s.slots, s.result), words));
  if (ref == 0) return nullptr;
  lang::Ref<lang::Object> attributes = b.object(ref);
  auto* array = dynamic_cast<lang::ObjectArray*>(attributes.get());
  if (array == nullptr) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                             "host getAttributes returned no object array", attributes.get());
  }
  return lang::Ref<lang::ObjectArray>(array);
}

lang::Object* adoptHostValue(const Bridge& b, uint32_t ref, lang::Object* o) {
  return HostObjectValue::adopt(b, ref, o);
}

}  // namespace kelvor::binding
