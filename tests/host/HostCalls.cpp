#include "tests/host/HostCalls.h"

#include <cstring>
#include <mutex>
#include <stdexcept>

#include "host/HostServices.h"

namespace kelvor::testhost {

namespace {

std::mutex statesMutex;
std::map<uint64_t, std::unique_ptr<HostCalls>>& states() {
  static std::map<uint64_t, std::unique_ptr<HostCalls>> m;
  return m;
}

void storeRelease(uint64_t& slot, uint64_t v) {
  std::atomic_ref<uint64_t>(slot).store(v, std::memory_order_release);
}

}  // namespace

HostCalls& HostCalls::of(TestVm& vm) {
  std::lock_guard lock(statesMutex);
  auto& slot = states()[vm.context().vmId];
  if (!slot) slot = std::make_unique<HostCalls>(vm);
  return *slot;
}

void HostCalls::forget(TestVm& vm) {
  std::lock_guard lock(statesMutex);
  states().erase(vm.context().vmId);
}

HostCalls::HostCalls(TestVm& vm) : vm_(vm) {
  arrayClass_ = defineClass("Array", "Object", 16);
  otherClass_ = vm.classNamed("Object");
  for (int32_t i = 0; i < host::CONNECTION_SERVICES; ++i) {
    poolMethod(host::POOL_CONNECTION_TYPE_INFO + i, "Connection",
               host::CONNECTION_SERVICE_SHAPES[i].name);
  }
  for (int32_t i = 0; i < 2; ++i) {
    poolMethod(host::POOL_TYPE_MAP_HAS_FACTORY + i, "TypeMap",
               host::TYPE_MAP_SERVICE_SHAPES[i].name);
  }
  poolMethod(host::POOL_OBJECT_VALUE_GET_ATTRIBUTES, "ObjectValue",
             host::OBJECT_VALUE_SERVICE_SHAPES[0].name);
}

uint32_t HostCalls::defineClass(const std::string& name, const std::string& base,
                                int32_t linkSlots) {
  const uint32_t cls = vm_.defineClass(name, base);
  if (linkSlots > 0) {
    auto table = std::make_unique<uint64_t[]>(static_cast<size_t>(linkSlots) + 1);
    table[0] = static_cast<uint64_t>(linkSlots);
    vm_.write64(cls, host::FIELD_CLASS_LINK_TABLE, reinterpret_cast<uint64_t>(table.get()));
    linkTables_[cls] = std::move(table);
  }
  return cls;
}

HostMethod& HostCalls::addMethod(uint32_t cls, const std::string& name, const std::string& slots,
                                 char result, void* entry, HostMethod::Interpreted body) {
  auto m = std::make_unique<HostMethod>();
  m->name = name;
  m->declaringClass = cls;
  m->slots = slots;
  m->result = result;
  m->body = std::move(body);
  if (entry != nullptr) {
    auto& code = nativeCode_[cls];
    m->nativeIndex = static_cast<int32_t>(code.size());
    code.push_back(reinterpret_cast<uintptr_t>(entry));
  }
  auto& list = methods_[cls];
  list.push_back(std::move(m));
  return *list.back();
}

void HostCalls::poolMethod(int32_t cpIndex, const std::string& className,
                           const std::string& method) {
  poolMethods_[cpIndex] = {className, method};
}
void HostCalls::poolClass(int32_t cpIndex, const std::string& className) {
  poolClasses_[cpIndex] = className;
}
void HostCalls::poolStatic(int32_t cpIndex, const std::string& className, const std::string& field,
                           int32_t initial) {
  poolStatics_[cpIndex] = {className, field};
  staticCell(className, field) = initial;
}
int32_t& HostCalls::staticCell(const std::string& className, const std::string& field) {
  auto& cell = cells_[className + "." + field];
  if (!cell) cell = std::make_unique<int32_t>(0);
  return *cell;
}

HostMethod* HostCalls::findMethod(uint32_t cls, const std::string& name) const {
  // The most derived class on cls's chain that defines the method.
  HostMethod* best = nullptr;
  for (const auto& [owner, list] : methods_) {
    if (!vm_.isSubclass(cls, owner)) continue;
    for (const auto& m : list) {
      if (m->name == name && (best == nullptr || vm_.isSubclass(owner, best->declaringClass)))
        best = m.get();
    }
  }
  return best;
}

HostMethod* HostCalls::methodAt(int32_t cpIndex, uint32_t receiverClass) const {
  auto it = poolMethods_.find(cpIndex);
  if (it == poolMethods_.end()) return nullptr;
  const uint32_t cls = receiverClass != 0 ? receiverClass : vm_.classNamed(it->second.className);
  return findMethod(cls, it->second.member);
}

uint64_t* HostCalls::linkSlots(uint32_t cls) {
  const uint64_t table = vm_.read64(cls, host::FIELD_CLASS_LINK_TABLE);
  return table == 0 ? nullptr : reinterpret_cast<uint64_t*>(table) + 1;
}

int64_t HostCalls::total() const {
  int64_t n = 0;
  for (const auto& c : counts_) n += c.load();
  return n;
}

void HostCalls::resetCounts() {
  for (auto& c : counts_) c.store(0);
}

const std::string* HostCalls::poolClassName(int32_t cpIndex) const {
  auto it = poolClasses_.find(cpIndex);
  return it == poolClasses_.end() ? nullptr : &it->second;
}

int32_t* HostCalls::poolStaticCell(int32_t cpIndex) {
  auto it = poolStatics_.find(cpIndex);
  if (it == poolStatics_.end()) return nullptr;
  return &staticCell(it->second.className, it->second.member);
}

}  // namespace kelvor::testhost

// ---- the host operations of calls into the host ----------------------------------------------

using kelvor::testhost::HostCalls;
using kelvor::testhost::HostMethod;
using kelvor::testhost::HostOp;
using kelvor::testhost::storeRelease;
using kelvor::testhost::TestVm;

#define KELCORE_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

HostMethod* asMethod(uintptr_t method) { return reinterpret_cast<HostMethod*>(method); }

uintptr_t resolved(TestVm& vm, HostMethod* m, uint32_t* declaringClass) {
  if (m == nullptr) {
    vm.raise("RuntimeException", 1);
    return 0;
  }
  *declaringClass = m->declaringClass;
  return reinterpret_cast<uintptr_t>(m);
}

// The static field's cell, cached in the caller's link slot.
int32_t* staticCell(HostCalls& h, uint32_t cls, int32_t cpIndex, int32_t slot) {
  int32_t* cell = h.poolStaticCell(cpIndex);
  if (cell == nullptr) {
    h.vm().raise("RuntimeException", 3);
    return nullptr;
  }
  storeRelease(h.linkSlots(cls)[slot], reinterpret_cast<uint64_t>(cell));
  return cell;
}

}  // namespace

KELCORE_TEST_EXPORT uint32_t hostResolveClass(uintptr_t env, uintptr_t, uint32_t cls,
                                              int32_t cpIndex, int32_t slot) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::ResolveClass);
  const std::string* name = h.poolClassName(cpIndex);
  if (name == nullptr) {
    h.vm().raise("RuntimeException", 2);
    return 0;
  }
  const uint32_t c = h.vm().classNamed(*name);
  storeRelease(h.linkSlots(cls)[slot], c);
  return c;
}

KELCORE_TEST_EXPORT uint32_t hostWellKnownClass(uintptr_t env, int32_t which) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::WellKnownClass);
  return which == kelvor::host::WELL_KNOWN_ARRAY ? h.arrayClass() : h.otherClass();
}

KELCORE_TEST_EXPORT int32_t hostGetStaticInt(uintptr_t env, uint32_t cls, int32_t cpIndex,
                                             int32_t slot) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::GetStatic);
  int32_t* cell = staticCell(h, cls, cpIndex, slot);
  return cell == nullptr ? 0 : std::atomic_ref<int32_t>(*cell).load(std::memory_order_relaxed);
}
KELCORE_TEST_EXPORT uint32_t hostGetStaticRef(uintptr_t env, uint32_t cls, int32_t cpIndex,
                                              int32_t slot) {
  return static_cast<uint32_t>(hostGetStaticInt(env, cls, cpIndex, slot));
}
KELCORE_TEST_EXPORT void hostSetStaticInt(uintptr_t env, uint32_t cls, int32_t cpIndex,
                                          int32_t slot, int32_t value) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::SetStatic);
  if (int32_t* cell = staticCell(h, cls, cpIndex, slot)) {
    std::atomic_ref<int32_t>(*cell).store(value, std::memory_order_relaxed);
  }
}
KELCORE_TEST_EXPORT void hostSetStaticRef(uintptr_t env, uint32_t cls, int32_t cpIndex,
                                          int32_t slot, uint32_t value) {
  hostSetStaticInt(env, cls, cpIndex, slot, static_cast<int32_t>(value));
}

KELCORE_TEST_EXPORT uintptr_t hostResolveStaticMethod(uintptr_t env, uint32_t, int32_t cpIndex,
                                                      uint32_t* declaringClass) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::ResolveStatic);
  return resolved(h.vm(), h.methodAt(cpIndex, 0), declaringClass);
}
KELCORE_TEST_EXPORT uintptr_t hostResolveVirtualMethod(uintptr_t env, uint32_t receiverClass,
                                                       uint32_t, int32_t cpIndex,
                                                       uint32_t* declaringClass) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::ResolveVirtual);
  if (h.failResolution) return resolved(h.vm(), nullptr, declaringClass);
  return resolved(h.vm(), h.methodAt(cpIndex, receiverClass), declaringClass);
}
KELCORE_TEST_EXPORT uintptr_t hostResolveInterfaceMethod(uintptr_t env, uint32_t receiverClass,
                                                         uint32_t, int32_t cpIndex,
                                                         uint32_t* declaringClass) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::ResolveInterface);
  return resolved(h.vm(), h.methodAt(cpIndex, receiverClass), declaringClass);
}
KELCORE_TEST_EXPORT int32_t hostHasNativeCode(uintptr_t env, uintptr_t method) {
  HostCalls::of(env).countOp(HostOp::HasNativeCode);
  return asMethod(method)->nativeIndex >= 0 ? 1 : 0;
}
KELCORE_TEST_EXPORT int32_t hostNativeCodeIndex(uintptr_t env, uintptr_t method) {
  HostCalls::of(env).countOp(HostOp::NativeCodeIndex);
  return asMethod(method)->nativeIndex;
}
KELCORE_TEST_EXPORT uintptr_t hostNativeCodeEntry(uintptr_t env, uint32_t declaringClass,
                                                  int32_t index) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::NativeCodeEntry);
  const std::vector<uintptr_t>* code = h.nativeCodeOf(declaringClass);
  if (code == nullptr || index < 0 || static_cast<size_t>(index) >= code->size()) {
    h.vm().raise("RuntimeException", 4);
    return 0;
  }
  return (*code)[static_cast<size_t>(index)];
}
KELCORE_TEST_EXPORT int32_t hostInvoke(uintptr_t env, uintptr_t method, const uint8_t* kinds,
                                       const uint64_t* args, uint64_t* result) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::Invoke);
  HostMethod* m = asMethod(method);
  for (size_t i = 0; i < m->slots.size(); ++i) {
    if (kinds[i] != (m->slots[i] == 'R' ? 1 : 0)) {
      h.vm().raise("IllegalArgumentException", 5);
      return 1;
    }
  }
  if (!m->body) {
    h.vm().raise("AbstractMethodError");
    return 1;
  }
  m->body(h.vm(), args, result);
  return h.vm().pending() != 0 ? 1 : 0;
}
KELCORE_TEST_EXPORT void hostShiftInlineCache(uintptr_t env, uintptr_t* cache) {
  HostCalls::of(env).countOp(HostOp::ShiftCache);
  // Triples move one place towards the end; the last one drops out and triple 0 is freed.
  auto word = [&](int i) { return std::atomic_ref<uintptr_t>(cache[i]); };
  for (int t = kelvor::host::CACHE_TRIPLES - 1; t > 0; --t) {
    word(3 * t + 2).store(0, std::memory_order_relaxed);
    word(3 * t).store(word(3 * t - 3).load(std::memory_order_relaxed), std::memory_order_release);
    word(3 * t + 1).store(word(3 * t - 2).load(std::memory_order_relaxed),
                          std::memory_order_relaxed);
    word(3 * t + 2).store(word(3 * t - 1).load(std::memory_order_relaxed),
                          std::memory_order_release);
  }
  for (int i = 0; i < 3; ++i) word(i).store(0, std::memory_order_release);
}
KELCORE_TEST_EXPORT int32_t hostInstanceOf(uintptr_t env, uint32_t obj, uint32_t cls) {
  HostCalls& h = HostCalls::of(env);
  h.countOp(HostOp::InstanceOf);
  if (obj == 0 || (h.vm().read32(obj, 0) & kelvor::host::KIND_MASK) != kelvor::host::KIND_INSTANCE)
    return 0;
  return h.vm().isSubclass(h.vm().read32(obj, kelvor::host::OFFSET_CLASS), cls) ? 1 : 0;
}
