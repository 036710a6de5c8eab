#include "tests/host/TestHost.h"

#include "host/HostServices.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace kelvor::testhost {

namespace {

std::mutex vmsMutex;
std::vector<std::pair<host::ThreadContext*, TestVm*>>& vms() {
  static std::vector<std::pair<host::ThreadContext*, TestVm*>> list;
  return list;
}
std::atomic<uint64_t> nextVmId{1};

// The 22 classes and their bases as the host's class definitions give them.
constexpr const char* PACKAGE_BASES[host::BK_PACKAGE_CLASSES] = {
    "Object", "KelvorType", "KelvorNamedType", "KelvorTypeADT", "KelvorTypeADT",
    "KelvorNamedType", "KelvorType", "KelvorType", "KelvorType", "KelvorType", "KelvorType",
    "KelvorType", "KelvorType", "KelvorType", "KelvorType", "Object", "Object", "Object",
    "Object", "Object", "Object", "Object"};

uint32_t elementSize(int32_t code) {
  switch (code) {
    case host::T_BOOLEAN: case host::T_BYTE: return 1;
    case host::T_CHAR: case host::T_SHORT: return 2;
    case host::T_FLOAT: case host::T_INT: return 4;
    default: return 8;
  }
}

}  // namespace

TestVm& TestVm::of(uintptr_t env) {
  host::ThreadContext* ctx = host::contextOf(env);
  std::lock_guard lock(vmsMutex);
  for (auto& [c, vm] : vms()) {
    if (c == ctx) return *vm;
  }
  std::fprintf(stderr, "test host: env %#lx is no thread context of ours\n",
               static_cast<unsigned long>(env));
  std::abort();
}

TestVm::TestVm(size_t heapBytes) : heap_(new uint8_t[heapBytes]()), heapSize_(heapBytes) {
  context_.heapBase = reinterpret_cast<uintptr_t>(heap_.get());
  context_.heapSize = heapBytes;
  context_.vmId = nextVmId++;
  {
    std::lock_guard lock(vmsMutex);
    vms().emplace_back(&context_, this);
  }
  defineClass("Object", "");
  for (const char* n : {"String", "Throwable"}) defineClass(n, "Object");
  for (int32_t i = host::POOL_DRIVER_EXCEPTION; i < host::POOL_FIRST_PACKAGE_CLASS; ++i) {
    defineClass(host::BRIDGE_POOL_NAMES[i], "Throwable");
  }
  for (const char* n : {"NullPointerException", "IndexOutOfBoundsException", "StackOverflowError",
                        "AbstractMethodError", "ArrayStoreException"}) {
    defineClass(n, "Throwable");
  }
  for (uint32_t k = 0; k < host::BK_PACKAGE_CLASSES; ++k) {
    defineClass(host::PACKAGE_CLASS_NAMES[k], PACKAGE_BASES[k]);
  }
  defineClass("Connection", "Object");  // the base class of the host's connections
  defineClass("TypeMap", "Object");     // and of its type maps
  defineClass("ObjectValue", "Object");  // the driver's object value class
  // Every class's constant pool starts with the bridge pool, then names the host services.
  std::vector<uint32_t> pool(host::POOL_HOST_SERVICES_END, 0);
  pool[host::POOL_CONNECTION_CLASS] = classNamed("Connection");
  pool[host::POOL_TYPE_MAP_CLASS] = classNamed("TypeMap");
  pool[host::POOL_OBJECT_VALUE_CLASS] = classNamed("ObjectValue");
  for (int32_t i = 1; i < host::POOL_FIRST_PACKAGE_CLASS; ++i) {
    pool[static_cast<size_t>(i)] = classNamed(host::BRIDGE_POOL_NAMES[i]);
  }
  for (uint32_t k = 0; k < host::BK_PACKAGE_CLASSES; ++k) {
    pool[host::POOL_FIRST_PACKAGE_CLASS + k] = classNamed(host::PACKAGE_CLASS_NAMES[k]);
  }
  for (auto& [ref, info] : classes_) info.pool = pool;
}

TestVm::~TestVm() {
  // The host instances' counts of their C++ objects.
  for (uint32_t ref : instances_) {
    if (lang::Object* o = unwrap(ref)) o->release();
  }
  std::lock_guard lock(vmsMutex);
  auto& list = vms();
  list.erase(std::remove_if(list.begin(), list.end(), [&](auto& e) { return e.second == this; }),
             list.end());
}

uintptr_t TestVm::attachThread() {
  auto ctx = std::make_unique<host::ThreadContext>(context_);
  ctx->stackLimit = 0;
  ctx->currentCompiledFrame = 0;
  ctx->currentHostFrame = 0;
  ctx->pendingException = 0;
  const auto env = reinterpret_cast<uintptr_t>(ctx.get());
  {
    std::lock_guard lock(vmsMutex);
    vms().emplace_back(ctx.get(), this);
  }
  threads_.push_back(std::move(ctx));
  return env;
}

uint32_t TestVm::allocate(uint32_t bytes) {
  std::lock_guard lock(heapMutex_);
  const size_t size = (size_t{bytes} + 7) & ~size_t{7};
  if (size > heapSize_ - top_) return 0;
  const auto ref = static_cast<uint32_t>(top_);
  top_ += size;
  return ref;
}

uint32_t TestVm::read32(uint32_t ref, uint32_t offset) {
  uint32_t v;
  std::memcpy(&v, address(ref) + offset, 4);
  return v;
}
uint64_t TestVm::read64(uint32_t ref, uint32_t offset) {
  uint64_t v;
  std::memcpy(&v, address(ref) + offset, 8);
  return v;
}
void TestVm::write32(uint32_t ref, uint32_t offset, uint32_t v) { std::memcpy(address(ref) + offset, &v, 4); }
void TestVm::write64(uint32_t ref, uint32_t offset, uint64_t v) { std::memcpy(address(ref) + offset, &v, 8); }

uint32_t TestVm::defineClass(const std::string& name, const std::string& base) {
  const uint32_t ref = allocate(host::INSTANCE_SIZE);
  write32(ref, host::OFFSET_HEADER, 135);  // the host's own kind: a class object
  classes_[ref] = ClassInfo{name, base.empty() ? 0 : classNamed(base), {}};
  classByName_[name] = ref;
  return ref;
}

uint32_t TestVm::classNamed(const std::string& name) const {
  auto it = classByName_.find(name);
  if (it == classByName_.end()) throw std::runtime_error("test host: no class " + name);
  return it->second;
}

std::string TestVm::classNameOf(uint32_t obj) {
  auto it = classes_.find(read32(obj, host::OFFSET_CLASS));
  return it == classes_.end() ? std::string("?") : it->second.name;
}

bool TestVm::isSubclass(uint32_t cls, uint32_t of) const {
  while (cls != 0) {
    if (cls == of) return true;
    auto it = classes_.find(cls);
    if (it == classes_.end()) return false;
    cls = it->second.base;
  }
  return false;
}

uint32_t TestVm::classConstant(uint32_t cls, int32_t index) const {
  auto it = classes_.find(cls & ~host::TAG_MASK);
  if (it == classes_.end() || index <= 0 || static_cast<size_t>(index) >= it->second.pool.size()) {
    return 0;
  }
  return it->second.pool[static_cast<size_t>(index)];
}

uint32_t TestVm::newInstance(uint32_t cls) {
  const uint32_t ref = allocate(host::INSTANCE_SIZE);
  if (ref == 0) return 0;
  write32(ref, host::OFFSET_HEADER, host::KIND_INSTANCE);
  write32(ref, host::OFFSET_CLASS, cls);
  std::lock_guard lock(heapMutex_);
  instances_.push_back(ref);
  return ref;
}

uint32_t TestVm::newPrimitiveArray(int32_t code, int32_t length) {
  if (length < 0) {
    raise("NegativeArraySizeException");
    return 0;
  }
  const uint64_t bytes = host::OFFSET_ELEMENTS + uint64_t{elementSize(code)} * static_cast<uint64_t>(length);
  const uint32_t ref = bytes > UINT32_MAX ? 0 : allocate(static_cast<uint32_t>(bytes));
  if (ref == 0) {
    raise("OutOfMemoryError");
    return 0;
  }
  write32(ref, host::OFFSET_HEADER,
          host::KIND_PRIMITIVE_ARRAY | static_cast<uint32_t>(code) << host::ELEMENT_CODE_SHIFT);
  write32(ref, host::OFFSET_LENGTH, static_cast<uint32_t>(length));
  return ref;
}

uint32_t TestVm::newObjectArray(uint32_t elementClass, int32_t length) {
  if (length < 0) {
    raise("NegativeArraySizeException");
    return 0;
  }
  const uint32_t ref = allocate(host::OFFSET_ELEMENTS + 4 * static_cast<uint32_t>(length));
  if (ref == 0) {
    raise("OutOfMemoryError");
    return 0;
  }
  write32(ref, host::OFFSET_HEADER, host::KIND_REFERENCE_ARRAY);
  write32(ref, host::OFFSET_LENGTH, static_cast<uint32_t>(length));
  write32(ref, host::OFFSET_CLASS, elementClass);
  return ref;
}

uint32_t TestVm::newWordArray(int32_t length) {
  const uint32_t ref = newPrimitiveArray(host::T_LONG, length);
  return ref != 0 && pageWordArrays ? ref | host::TAG_PAGED : ref;
}

uint32_t TestVm::newBytes(const std::vector<int8_t>& bytes) {
  const uint32_t ref = newPrimitiveArray(host::T_BYTE, static_cast<int32_t>(bytes.size()));
  if (!bytes.empty()) std::memcpy(address(ref) + host::OFFSET_ELEMENTS, bytes.data(), bytes.size());
  return ref;
}

std::vector<int8_t> TestVm::bytes(uint32_t ref) {
  if (ref == 0) throw std::runtime_error("test host: null byte array");
  if (read32(ref, 0) != (host::KIND_PRIMITIVE_ARRAY | host::T_BYTE << host::ELEMENT_CODE_SHIFT)) {
    throw std::runtime_error("test host: not a byte array: " + std::to_string(read32(ref, 0)));
  }
  const uint32_t n = read32(ref, host::OFFSET_LENGTH);
  std::vector<int8_t> out(n);
  if (n != 0) std::memcpy(out.data(), address(ref) + host::OFFSET_ELEMENTS, n);
  return out;
}

uint32_t TestVm::newString(std::u16string_view text) {
  const uint32_t chars = newPrimitiveArray(host::T_CHAR, static_cast<int32_t>(text.size()));
  if (!text.empty()) std::memcpy(address(chars) + host::OFFSET_ELEMENTS, text.data(), 2 * text.size());
  const uint32_t s = newInstance(classNamed("String"));
  write32(s, host::FIELD_STRING_CHARS, chars);
  return s;
}

uint32_t TestVm::newString(std::string_view ascii) {
  return newString(std::u16string(ascii.begin(), ascii.end()));
}

std::u16string TestVm::string(uint32_t ref) {
  if (ref == 0 || classNameOf(ref) != "String") throw std::runtime_error("test host: not a string");
  const uint32_t chars = read32(ref, host::FIELD_STRING_CHARS);
  std::u16string out(read32(chars, host::OFFSET_LENGTH), u'\0');
  if (!out.empty()) std::memcpy(out.data(), address(chars) + host::OFFSET_ELEMENTS, 2 * out.size());
  return out;
}

uint32_t TestVm::wrap(lang::Object* o, const std::string& className) {
  const uint32_t ref = newInstance(classNamed(className));
  o->retain();
  const auto h = reinterpret_cast<uint64_t>(o);
  write32(ref, host::FIELD_KIND, host::BK_OTHER);
  write64(ref, host::FIELD_HANDLE, h);
  write64(ref, host::FIELD_CHECK, host::checkWord(h, host::BK_OTHER));
  return ref;
}

lang::Object* TestVm::unwrap(uint32_t ref) {
  if (ref == 0 || (read32(ref, 0) & host::KIND_MASK) != host::KIND_INSTANCE) return nullptr;
  const uint64_t h = read64(ref, host::FIELD_HANDLE);
  if (h == 0 || host::checkWord(h, read32(ref, host::FIELD_KIND)) != read64(ref, host::FIELD_CHECK)) {
    return nullptr;
  }
  return reinterpret_cast<lang::Object*>(h);
}

void TestVm::raise(const char* className, int32_t code) {
  const uint32_t e = newInstance(classNamed(className));
  write32(e, host::FIELD_ERROR_CODE, static_cast<uint32_t>(code));
  context_.pendingException = e;
}

std::string TestVm::pendingClass() { return pending() == 0 ? "" : classNameOf(pending()); }
int32_t TestVm::pendingCode() {
  return pending() == 0 ? 0 : static_cast<int32_t>(read32(pending(), host::FIELD_ERROR_CODE));
}

void* TestVm::load(const char* path) {
  void* lib = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
  if (lib != nullptr) libraries_.push_back(lib);
  return lib;
}

bool TestVm::bind(void* library, const ClassDefinition& def, std::string* whyNot) {
  const std::string symbol = std::string("jtcentry_e2b24ceb2b_kelvor_jdbc_kelcore_") + def.name;
  auto entry = reinterpret_cast<host::EntryFunction>(dlsym(library, symbol.c_str()));
  if (entry == nullptr) {
    *whyNot = "no export " + symbol;
    return false;
  }
  BoundClass b;
  b.definition = &def;
  b.entry = entry;
  b.descriptor = entry();
  // The host's rule: the library must have been built from the very class version we loaded.
  uint8_t expected[16];
  for (int i = 0; i < 16; ++i) {
    expected[i] = static_cast<uint8_t>(std::stoi(std::string(def.fingerprint + 2 * i, 2), nullptr, 16));
  }
  if (std::memcmp(b.descriptor->getFingerprint(), expected, 16) != 0) {
    *whyNot = std::string(def.name) + ": fingerprint differs from the loaded class version";
    return false;
  }
  void* const* code = b.descriptor->getCodeTable();
  const int32_t n = def.methodCount;
  b.codeTable.assign(reinterpret_cast<const uintptr_t*>(code), reinterpret_cast<const uintptr_t*>(code) + n + 2);
  if (b.codeTable[0] != reinterpret_cast<uintptr_t>(entry) || b.codeTable[static_cast<size_t>(n) + 1] != 0) {
    *whyNot = std::string(def.name) + ": code table does not hold the class's methods";
    return false;
  }
  const uint32_t pairs = b.descriptor->buildMethodStubPairs(env());
  if (pairs == 0 || static_cast<int32_t>(read32(pairs, host::OFFSET_LENGTH)) != 2 * n) {
    *whyNot = std::string(def.name) + ": no method-stub pairs";
    return false;
  }
  b.pairs.resize(2 * static_cast<size_t>(n));
  std::memcpy(b.pairs.data(), address(pairs) + host::OFFSET_ELEMENTS, 16 * static_cast<size_t>(n));
  const int32_t slots = b.descriptor->getLinkTableSize();
  b.linkTable.assign(static_cast<size_t>(slots) + 2, 0);
  b.linkTable.front() = static_cast<uint64_t>(slots);
  b.linkTable.back() = GUARD_WORD;
  b.classRef = classNamed(def.name);
  BoundClass& kept = bound_[def.name] = std::move(b);
  // The class object names its link table; the vector's storage never moves after this.
  write64(kept.classRef, host::FIELD_CLASS_LINK_TABLE, reinterpret_cast<uint64_t>(kept.linkTable.data()));
  return true;
}

void TestVm::bindAll(const char* path) {
  void* lib = load(path);
  if (lib == nullptr) throw std::runtime_error(std::string("test host: dlopen: ") + dlerror());
  for (const ClassDefinition& def : kClassDefinitions) {
    std::string why;
    if (!bind(lib, def, &why)) throw std::runtime_error("test host: " + why);
  }
}

const BoundClass& TestVm::bound(const std::string& name) const {
  auto it = bound_.find(name);
  if (it == bound_.end()) throw std::runtime_error("test host: class not bound: " + name);
  return it->second;
}

int32_t TestVm::invoke(const std::string& className, int32_t method, const Slots& args,
                       uint64_t* result) {
  const BoundClass& b = bound(className);
  const MethodDefinition& m = b.definition->methods[method];
  if (args.size() != std::strlen(m.slots)) {
    throw std::runtime_error("test host: " + className + "." + m.name + " takes " +
                             std::to_string(std::strlen(m.slots)) + " slots");
  }
  host::FrameRecord hostFrame{0, 0, b.classRef};  // the interpreter's frame
  context_.currentHostFrame = reinterpret_cast<uintptr_t>(&hostFrame);
  const uintptr_t stub = b.pairs[2 * static_cast<size_t>(method) + 1];
  if (m.result == 'V') {
    return reinterpret_cast<host::StubNoResult>(stub)(env(), b.classRef, args.data());
  }
  return reinterpret_cast<host::StubWithResult>(stub)(env(), b.classRef, args.data(), result);
}

bool TestVm::linkTablesIntact() const {
  for (const auto& [name, b] : bound_) {
    if (b.linkTable.front() != static_cast<uint64_t>(b.descriptor->getLinkTableSize()) ||
        b.linkTable.back() != GUARD_WORD) {
      return false;
    }
  }
  return true;
}

}  // namespace kelvor::testhost

// ---- the host operations --------------------------------------------------------------------

using kelvor::testhost::TestVm;

#define KELCORE_TEST_EXPORT extern "C" __attribute__((visibility("default")))

KELCORE_TEST_EXPORT void hostRaiseStackOverflow(uintptr_t env) {
  TestVm::of(env).raise("StackOverflowError", 62);
}
KELCORE_TEST_EXPORT uint32_t hostLoadRef(uintptr_t env, uint32_t obj, uint32_t offset) {
  return TestVm::of(env).read32(obj, offset);  // references are stored as they are
}
KELCORE_TEST_EXPORT uint32_t hostEncodeRef(uintptr_t, uint32_t, uint32_t ref) { return ref; }
KELCORE_TEST_EXPORT void hostRecordStore(uintptr_t, uint32_t, uint32_t) {}
KELCORE_TEST_EXPORT void* hostPagedAddress(uintptr_t env, uint32_t obj, uint32_t offset) {
  TestVm& vm = TestVm::of(env);
  ++vm.pagedAddressCalls;
  return vm.address(obj) + offset;
}
KELCORE_TEST_EXPORT uint32_t hostClassConstant(uintptr_t env, uint32_t cls, int32_t cpIndex) {
  TestVm& vm = TestVm::of(env);
  const uint32_t c = vm.classConstant(cls, cpIndex);
  if (c == 0) vm.raise("RuntimeException");
  return c;
}
KELCORE_TEST_EXPORT uint32_t hostNewInstanceOf(uintptr_t env, uint32_t classRef) {
  TestVm& vm = TestVm::of(env);
  const uint32_t ref = vm.newInstance(classRef);
  if (ref == 0) vm.raise("OutOfMemoryError");
  return ref;
}
KELCORE_TEST_EXPORT uint32_t hostNewObjectArray(uintptr_t env, uint32_t elementClass, int32_t length) {
  return TestVm::of(env).newObjectArray(elementClass, length);
}
KELCORE_TEST_EXPORT uint32_t hostNewPrimitiveArray(uintptr_t env, int32_t code, int32_t length) {
  return TestVm::of(env).newPrimitiveArray(code, length);
}
KELCORE_TEST_EXPORT uint32_t hostNewWordArray(uintptr_t env, int32_t length) {
  return TestVm::of(env).newWordArray(length);
}
KELCORE_TEST_EXPORT void hostThrow(uintptr_t env, uint32_t exception) {
  TestVm::of(env).context().pendingException = exception;
}
KELCORE_TEST_EXPORT void hostRaiseNullPointer(uintptr_t env) {
  TestVm::of(env).raise("NullPointerException");
}
KELCORE_TEST_EXPORT void hostRaiseIndexOutOfBounds(uintptr_t env) {
  TestVm::of(env).raise("IndexOutOfBoundsException");
}
KELCORE_TEST_EXPORT void hostAbstractMethodError(uintptr_t env, uint32_t) {
  TestVm::of(env).raise("AbstractMethodError");
}
KELCORE_TEST_EXPORT uint32_t hostArrayLoadRef(uintptr_t env, uint32_t array, int32_t index) {
  TestVm& vm = TestVm::of(env);
  if (index < 0 || static_cast<uint32_t>(index) >= vm.read32(array, kelvor::host::OFFSET_LENGTH)) {
    vm.raise("IndexOutOfBoundsException");
    return 0;
  }
  return vm.read32(array, kelvor::host::OFFSET_ELEMENTS + 4 * static_cast<uint32_t>(index));
}
KELCORE_TEST_EXPORT void hostArrayStoreRef(uintptr_t env, uint32_t array, int32_t index, uint32_t value) {
  TestVm& vm = TestVm::of(env);
  if (index < 0 || static_cast<uint32_t>(index) >= vm.read32(array, kelvor::host::OFFSET_LENGTH)) {
    vm.raise("IndexOutOfBoundsException");
    return;
  }
  const uint32_t elementClass = vm.read32(array, kelvor::host::OFFSET_CLASS);
  if (value != 0 && elementClass != vm.classNamed("Object")) {
    const bool instance = (vm.read32(value, 0) & kelvor::host::KIND_MASK) == kelvor::host::KIND_INSTANCE;
    if (!instance || !vm.isSubclass(vm.read32(value, kelvor::host::OFFSET_CLASS), elementClass)) {
      vm.raise("ArrayStoreException");
      return;
    }
  }
  vm.write32(array, kelvor::host::OFFSET_ELEMENTS + 4 * static_cast<uint32_t>(index), value);
}

// Every other operation: the binding must not call it.
#define KELCORE_TEST_UNUSED(ret, name, params)                                       \
  KELCORE_TEST_EXPORT ret name params {                                              \
    std::fprintf(stderr, "test host: %s called, which the binding never needs\n", #name); \
    std::abort();                                                                    \
  }
KELCORE_TEST_UNUSED(uint32_t, hostResolveRef, (uintptr_t, uint32_t, uint32_t))
KELCORE_TEST_UNUSED(uint32_t, hostConstant, (uintptr_t, uint32_t, int32_t))
KELCORE_TEST_UNUSED(uint32_t, hostNewInstance, (uintptr_t, uint32_t, int32_t))
KELCORE_TEST_UNUSED(void, hostNoSuchMethodError, (uintptr_t, uint32_t))
KELCORE_TEST_UNUSED(uint32_t, hostCheckCast, (uintptr_t, uint32_t, uint32_t))
KELCORE_TEST_UNUSED(int32_t, hostDivInt, (uintptr_t, int32_t, int32_t))
KELCORE_TEST_UNUSED(int32_t, hostRemInt, (uintptr_t, int32_t, int32_t))
KELCORE_TEST_UNUSED(void, hostPushHandlerFrame, (uintptr_t, void*))
KELCORE_TEST_UNUSED(void, hostPopHandlerFrame, (uintptr_t))
KELCORE_TEST_UNUSED(void, hostResetHandlerStack, (uintptr_t, void*))
KELCORE_TEST_UNUSED(void, hostMonitorEnter, (uintptr_t, uint32_t))
KELCORE_TEST_UNUSED(void, hostMonitorExit, (uintptr_t, uint32_t))
KELCORE_TEST_UNUSED(void, hostMonitorExitHandler, (uintptr_t, uint32_t))
