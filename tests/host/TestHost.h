// A small, real host for the class binding: a non-moving heap with the object layout and
// 32-bit references, classes with constant pools and link tables (a header word, the slots and
// a guard word), thread contexts, exceptions, and the host operations the binding uses. Every
// other host operation aborts with its name. The binder loads the built library with dlopen,
// finds the 22 entry functions with dlsym, checks fingerprints against the class versions it
// loaded (ClassDefinitions.h) and refuses to bind a class that does not match.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostInterface.h"
#include "lang/Object.h"
#include "tests/host/ClassDefinitions.h"

namespace kelvor::testhost {

// Argument slots for an invoker stub.
class Slots {
 public:
  Slots& r(uint32_t ref) { return push(uint64_t{ref} << 32); }
  Slots& i(int32_t v) { return push(static_cast<uint32_t>(v)); }
  Slots& l(int64_t v) {
    push(static_cast<uint32_t>(static_cast<uint64_t>(v)));
    return push(static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
  }
  Slots& raw(uint64_t slot) { return push(slot); }
  const uint64_t* data() const { return v_.empty() ? nullptr : v_.data(); }
  size_t size() const { return v_.size(); }

 private:
  Slots& push(uint64_t s) {
    v_.push_back(s);
    return *this;
  }
  std::vector<uint64_t> v_;
};

struct BoundClass {
  const ClassDefinition* definition = nullptr;
  host::EntryFunction entry = nullptr;
  const host::ClassCodeDescriptor* descriptor = nullptr;
  uint32_t classRef = 0;
  std::vector<uintptr_t> codeTable;  // N + 2 words as the library gave them
  std::vector<uintptr_t> pairs;      // 2N words read from the host array
  std::vector<uint64_t> linkTable;   // header word, slots, guard word
};

class TestVm {
 public:
  static constexpr uint64_t GUARD_WORD = 0x600DF00DDEADBEEFULL;

  explicit TestVm(size_t heapBytes = size_t{8} << 20);
  ~TestVm();
  TestVm(const TestVm&) = delete;
  TestVm& operator=(const TestVm&) = delete;

  // The VM whose thread context env names.
  static TestVm& of(uintptr_t env);
  host::ThreadContext& context() { return context_; }
  uintptr_t env() { return reinterpret_cast<uintptr_t>(&context_); }
  // A thread context of its own for another thread of this VM.
  uintptr_t attachThread();

  // Heap.
  uint32_t allocate(uint32_t bytes);  // zeroed, 8-aligned; 0 when the heap is full
  uint8_t* address(uint32_t ref) { return heap_.get() + (ref & ~host::TAG_MASK); }
  uint32_t read32(uint32_t ref, uint32_t offset);
  uint64_t read64(uint32_t ref, uint32_t offset);
  void write32(uint32_t ref, uint32_t offset, uint32_t v);
  void write64(uint32_t ref, uint32_t offset, uint64_t v);

  // Classes: the 22, the bridge pool's, the exceptions the host raises itself.
  uint32_t defineClass(const std::string& name, const std::string& base);
  uint32_t classNamed(const std::string& name) const;
  std::string classNameOf(uint32_t obj);
  bool isSubclass(uint32_t cls, uint32_t of) const;
  uint32_t classConstant(uint32_t cls, int32_t index) const;

  // Objects.
  uint32_t newInstance(uint32_t cls);
  uint32_t newPrimitiveArray(int32_t code, int32_t length);
  uint32_t newObjectArray(uint32_t elementClass, int32_t length);
  uint32_t newWordArray(int32_t length);
  uint32_t newBytes(const std::vector<int8_t>& bytes);
  std::vector<int8_t> bytes(uint32_t ref);
  uint32_t newString(std::u16string_view text);
  uint32_t newString(std::string_view ascii);
  std::u16string string(uint32_t ref);
  // A host instance of `className` carrying a driver or platform object (a connection, a
  // value), as the driver's constructor of a host class (or of a host subclass) leaves it.
  uint32_t wrap(lang::Object* o, const std::string& className = "Object");
  // The C++ object of a bridged instance; null when it has none.
  lang::Object* unwrap(uint32_t ref);

  // Exceptions.
  void raise(const char* className, int32_t code = 0);
  uint32_t pending() const { return context_.pendingException; }
  std::string pendingClass();
  int32_t pendingCode();
  void clearPending() { context_.pendingException = 0; }

  // Binding.
  void* load(const char* path);  // dlopen; null on failure
  bool bind(void* library, const ClassDefinition& definition, std::string* whyNot);
  void bindAll(const char* path);
  const BoundClass& bound(const std::string& name) const;
  bool isBound(const std::string& name) const { return bound_.count(name) != 0; }
  int32_t invoke(const std::string& className, int32_t method, const Slots& args,
                 uint64_t* result);
  int32_t invoke(const std::string& className, int32_t method, const Slots& args) {
    uint64_t result[2] = {~uint64_t{0}, ~uint64_t{0}};
    return invoke(className, method, args, result);
  }
  // Every bound class's link table still has its header, and its guard word is intact.
  bool linkTablesIntact() const;

  // Counters of operations the binding is expected to use in certain cases.
  bool pageWordArrays = false;
  int32_t pagedAddressCalls = 0;

 private:
  struct ClassInfo {
    std::string name;
    uint32_t base = 0;
    std::vector<uint32_t> pool;  // constant pool: the bridge pool's classes
  };

  host::ThreadContext context_{};
  std::vector<std::unique_ptr<host::ThreadContext>> threads_;
  std::mutex heapMutex_;  // allocation and the instance list: threads of the VM allocate
  std::unique_ptr<uint8_t[]> heap_;
  size_t heapSize_;
  size_t top_ = 8;  // offset 0 is the null reference
  std::map<uint32_t, ClassInfo> classes_;
  std::map<std::string, uint32_t> classByName_;
  std::map<std::string, BoundClass> bound_;
  std::vector<uint32_t> instances_;
  std::vector<void*> libraries_;
};

}  // namespace kelvor::testhost
