// The test host's side of calls from the package into the host: host classes with link tables
// and methods (with native code, reached through an entry of the class's native code, or
// interpreted, run by hostInvoke), constant-pool entries naming classes, methods and static
// fields, the well-known classes, and a counter per host operation of the protocol.
//
// A native method is a C function with the compiled-method signature
//   result fn(uintptr_t env, uintptr_t callerFrame, uint32_t cls, uint32_t word...).
// An interpreted method is a function of its 8-byte argument slots that writes its result
// slots; hostInvoke first checks the kind bytes against the method's slot kinds.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/host/TestHost.h"

namespace kelvor::testhost {

enum class HostOp {
  ResolveClass,
  GetStatic,
  SetStatic,
  WellKnownClass,
  ResolveStatic,
  ResolveVirtual,
  ResolveInterface,
  HasNativeCode,
  NativeCodeIndex,
  NativeCodeEntry,
  Invoke,
  ShiftCache,
  InstanceOf,
  COUNT
};

struct HostMethod {
  using Interpreted = std::function<void(TestVm&, const uint64_t* args, uint64_t* result)>;
  std::string name;
  uint32_t declaringClass = 0;
  std::string slots;
  char result = 'V';
  int32_t nativeIndex = -1;  // -1: interpreted
  Interpreted body;
};

class HostCalls {
 public:
  // The state of a test host, made on first use; dropped with forget.
  static HostCalls& of(TestVm& vm);
  static HostCalls& of(uintptr_t env) { return of(TestVm::of(env)); }
  static void forget(TestVm& vm);

  explicit HostCalls(TestVm& vm);

  // A host class with a link table of `linkSlots` slots (none when 0).
  uint32_t defineClass(const std::string& name, const std::string& base, int32_t linkSlots);
  // A method of `cls`; native when `entry` is non-zero.
  HostMethod& addMethod(uint32_t cls, const std::string& name, const std::string& slots,
                        char result, void* entry, HostMethod::Interpreted body = {});
  // Pool entries (every class shares them).
  void poolMethod(int32_t cpIndex, const std::string& className, const std::string& method);
  void poolClass(int32_t cpIndex, const std::string& className);
  void poolStatic(int32_t cpIndex, const std::string& className, const std::string& field,
                  int32_t initial);
  int32_t& staticCell(const std::string& className, const std::string& field);
  const std::string* poolClassName(int32_t cpIndex) const;
  int32_t* poolStaticCell(int32_t cpIndex);

  // Resolution as the host operations do it; 0 when there is none.
  HostMethod* findMethod(uint32_t cls, const std::string& name) const;
  HostMethod* methodAt(int32_t cpIndex, uint32_t receiverClass) const;

  uint64_t* linkSlots(uint32_t cls);
  int64_t count(HostOp op) const { return counts_[static_cast<size_t>(op)].load(); }
  int64_t total() const;
  void resetCounts();
  void countOp(HostOp op) {
    counts_[static_cast<size_t>(op)].fetch_add(1, std::memory_order_relaxed);
  }

  TestVm& vm() { return vm_; }
  uint32_t arrayClass() const { return arrayClass_; }
  uint32_t otherClass() const { return otherClass_; }
  const std::vector<uintptr_t>* nativeCodeOf(uint32_t cls) const {
    auto it = nativeCode_.find(cls);
    return it == nativeCode_.end() ? nullptr : &it->second;
  }

  // When set, hostResolveVirtualMethod raises (a missing method).
  bool failResolution = false;

 private:
  struct PoolEntry {
    std::string className;
    std::string member;
  };
  TestVm& vm_;
  uint32_t arrayClass_ = 0;
  uint32_t otherClass_ = 0;
  std::map<uint32_t, std::vector<std::unique_ptr<HostMethod>>> methods_;
  std::map<uint32_t, std::vector<uintptr_t>> nativeCode_;
  std::map<uint32_t, std::unique_ptr<uint64_t[]>> linkTables_;
  std::map<int32_t, PoolEntry> poolMethods_;
  std::map<int32_t, std::string> poolClasses_;
  std::map<int32_t, PoolEntry> poolStatics_;
  std::map<std::string, std::unique_ptr<int32_t>> cells_;
  std::atomic<int64_t> counts_[static_cast<size_t>(HostOp::COUNT)] = {};
};

}  // namespace kelvor::testhost
