// The bridge between host references and C++ objects, for one compiled-method call.
//
// host -> C++: a bridged instance (one of the 22 classes, or a driver or platform object) gives
// the C++ object its handle word points at, after the check word and the class are verified (an
// instance of a host subclass of the driver's object value class gives the HostObjectValue that
// calls the host's overrides); a string gives a new lang::String (UTF-16 in, exactly); a
// primitive array gives a copy, copied back after calls that fill it; a reference array gives
// an ObjectArray converted element by element. Anything else (a reference outside the heap, an
// unknown kind, a bridged instance whose check word does not match, an object of the wrong
// class) raises a platform exception, which the adapter turns into a host exception.
//
// C++ -> host: a C++ object maps to the same host reference every time (an identity table per
// virtual machine); strings and arrays are new host objects each time.
//
// Every host operation that fails leaves the pending exception set and returns 0; the bridge
// then throws HostExceptionPending, which the adapter passes on untouched.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <typeinfo>

#include "host/HostInterface.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "lang/Object.h"
#include "lang/Ref.h"
#include "lang/String.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc {
class Connection;
class TypeMap;
}  // namespace kelvor::jdbc

namespace kelvor::binding {

using lang::Ref;

class Bridge;
// The env of the calling thread's innermost bridged call: services the host lends the package
// (a host connection) call back on the thread that uses them.
//
// Every adapter call writes it, so it uses the initial-exec model: one store at a fixed offset
// from the thread pointer instead of a call to the dynamic loader's TLS lookup (the library's
// whole TLS block is a few bytes, which the loader's static TLS reserve holds also when a host
// loads the library with dlopen).
inline uintptr_t& currentBridgeEnv() noexcept {
  static thread_local uintptr_t env [[gnu::tls_model("initial-exec")]] = 0;
  return env;
}
// The env a host-backed object (connection, type map, object value) calls the host with: the
// calling thread's innermost bridged call into the same VM, else the env it was adopted with
// when the calling thread is the one that adopted it. Any other thread has no context of its
// own in that VM, and an env is never borrowed from another thread: that raises the driver's
// internal error.
uintptr_t hostCallEnv(uintptr_t adoptedEnv, uint64_t vmId, std::thread::id adoptingThread);
// Binds a host connection object to a host-backed connection on first sight (HostConnection).
void adoptHostConnection(const Bridge& b, uint32_t ref);
// The same for a host type map (HostTypeMap).
void adoptHostTypeMap(const Bridge& b, uint32_t ref);
// The object the package works with for a bridged driver object `o` of host instance `ref`: o,
// or the host-backed value made for an instance of a host subclass of a driver value class
// (HostObjectValue).
lang::Object* adoptHostValue(const Bridge& b, uint32_t ref, lang::Object* o);

// A host operation failed and left its exception pending: nothing to translate.
struct HostExceptionPending {};

// The bridge kind of each of the 22 classes, and which kinds derive from which.
template <typename T>
struct PackageKind {
  static constexpr bool known = false;
};
#define KELCORE_PACKAGE_KIND(ns, name)                                  \
  template <>                                                          \
  struct PackageKind<ns::name> {                                       \
    static constexpr bool known = true;                                \
    static constexpr host::BridgeKind kind = host::BK_##name;          \
  };
#define KELCORE_CORE_NS kelvor::jdbc::kelcore
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorType)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorNamedType)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeADT)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeCOLLECTION)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeUPT)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeREF)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, Util)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, PickleContext)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, UnpickleContext)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, PickleOutputStream)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, PickleInputStream)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, StreamInfo)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, TDSPatch)
}  // namespace kelvor::binding

namespace kelvor::jdbc::kelcore {
class KelvorTypeNUMBER;
class KelvorTypeFLOAT;
class KelvorTypeSINT32;
class KelvorTypeDATE;
class KelvorTypeRAW;
class KelvorTypeCHAR;
class KelvorTypeBLOB;
class KelvorTypeCLOB;
class KelvorTypeBFILE;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::binding {
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeNUMBER)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeFLOAT)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeSINT32)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeDATE)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeRAW)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeCHAR)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeBLOB)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeCLOB)
KELCORE_PACKAGE_KIND(KELCORE_CORE_NS, KelvorTypeBFILE)
#undef KELCORE_PACKAGE_KIND
#undef KELCORE_CORE_NS

// The base of each bridge kind among the 22 classes; -1 for a root.
inline constexpr int32_t PACKAGE_BASE[host::BK_PACKAGE_CLASSES] = {
    -1, host::BK_KelvorType, host::BK_KelvorNamedType, host::BK_KelvorTypeADT,
    host::BK_KelvorTypeADT, host::BK_KelvorNamedType,
    host::BK_KelvorType, host::BK_KelvorType, host::BK_KelvorType, host::BK_KelvorType,
    host::BK_KelvorType, host::BK_KelvorType, host::BK_KelvorType, host::BK_KelvorType,
    host::BK_KelvorType, -1, -1, -1, -1, -1, -1, -1};

// Bit k is set when bridge kind k is `kind` or derives from it.
constexpr uint32_t kindsDerivedFrom(int32_t kind) {
  uint32_t mask = 0;
  for (int32_t k = 0; k < static_cast<int32_t>(host::BK_PACKAGE_CLASSES); ++k) {
    for (int32_t c = k; c >= 0; c = PACKAGE_BASE[c]) {
      if (c == kind) mask |= uint32_t{1} << k;
    }
  }
  return mask;
}

// Unchecked access to host memory; callers have checked the reference first.
class HostMemory {
 public:
  HostMemory(uintptr_t env, host::ThreadContext* ctx) noexcept : env_(env), ctx_(ctx) {}

  void* address(uint32_t ref, uint32_t offset) const {
    if ((ref & host::TAG_PAGED) != 0) [[unlikely]] return hostPagedAddress(env_, ref, offset);
    return reinterpret_cast<void*>(ctx_->heapBase + (ref & ~host::TAG_MASK) + offset);
  }
  uint32_t read32(uint32_t ref, uint32_t offset) const {
    uint32_t v;
    std::memcpy(&v, address(ref, offset), sizeof v);
    return v;
  }
  uint64_t read64(uint32_t ref, uint32_t offset) const {
    uint64_t v;
    std::memcpy(&v, address(ref, offset), sizeof v);
    return v;
  }
  void write32(uint32_t ref, uint32_t offset, uint32_t v) const {
    std::memcpy(address(ref, offset), &v, sizeof v);
  }
  void write64(uint32_t ref, uint32_t offset, uint64_t v) const {
    std::memcpy(address(ref, offset), &v, sizeof v);
  }
  // Reference fields of objects whose references the host encodes go through the host.
  uint32_t readRef(uint32_t obj, uint32_t offset) const;
  void writeRef(uint32_t obj, uint32_t offset, uint32_t value) const;

  // security: the reference comes from the host; it must name `bytes` bytes inside the heap.
  void requireObject(uint32_t ref, uint64_t bytes) const {
    const uint64_t at = ref & ~host::TAG_MASK;
    if (at >= ctx_->heapSize || bytes > ctx_->heapSize - at) [[unlikely]] throwForeign(ref);
  }
  uint32_t kindOf(uint32_t ref) const { return read32(ref, host::OFFSET_HEADER) & host::KIND_MASK; }

  [[noreturn]] static void throwForeign(uint32_t ref);

  uintptr_t env() const noexcept { return env_; }
  host::ThreadContext* context() const noexcept { return ctx_; }

 private:
  uintptr_t env_;
  host::ThreadContext* ctx_;
};

// One call's bridge.
class Bridge : public HostMemory {
 public:
  Bridge(uintptr_t env, host::ThreadContext* ctx, uint32_t cls) noexcept
      : HostMemory(env, ctx), cls_(cls) {
    currentBridgeEnv() = env;
  }

  // --- host -> C++ ---------------------------------------------------------------------
  // The C++ object of a bridged instance, with its bridge kind; throws when `ref` is not one.
  [[gnu::always_inline]] lang::Object* handle(uint32_t ref, uint32_t& kind) const {
    requireObject(ref, host::INSTANCE_SIZE);
    if ((ref & host::TAG_PAGED) != 0) [[unlikely]] return pagedHandle(ref, kind);
    // One base address for the four words: this is every instance method's receiver. The
    // words are loaded straight into registers: merged with the paged path's values they went
    // through the stack, and the 4-byte store of the kind followed by a wider load of it
    // stalled store forwarding, which cost more than the rest of a trivial call.
    const auto* at = reinterpret_cast<const uint8_t*>(context()->heapBase + (ref & ~host::TAG_MASK));
    const uint32_t header = load<uint32_t>(at + host::OFFSET_HEADER);
    const uint32_t k = load<uint32_t>(at + host::FIELD_KIND);
    const uint64_t h = load<uint64_t>(at + host::FIELD_HANDLE);
    if ((header & host::KIND_MASK) != host::KIND_INSTANCE || h == 0 ||
        host::checkWord(h, k) != load<uint64_t>(at + host::FIELD_CHECK)) [[unlikely]] {
      throwNotBridged(ref);
    }
    kind = k;
    return reinterpret_cast<lang::Object*>(h);
  }
  // The object as a T (null for a null reference); a ClassCastException for another class.
  template <typename T>
  T* instance(uint32_t ref) const {
    if (ref == 0) return nullptr;
    if constexpr (PackageKind<T>::known) {
      uint32_t kind;
      lang::Object* o = handle(ref, kind);
      constexpr uint32_t accepted = kindsDerivedFrom(PackageKind<T>::kind);
      if (kind >= 32 || ((accepted >> kind) & 1) == 0) [[unlikely]] throwWrongClass(o, typeid(T));
      return static_cast<T*>(o);
    } else {
      // A connection may be the host's own object, which gets its C++ connection here.
      if constexpr (std::is_same_v<T, jdbc::Connection>) adoptHostConnection(*this, ref);
      if constexpr (std::is_same_v<T, jdbc::TypeMap>) adoptHostTypeMap(*this, ref);
      uint32_t kind;
      lang::Object* o = handle(ref, kind);
      if (kind == host::BK_OTHER) {
        remember(o, ref);
        o = adoptHostValue(*this, ref, o);
      }
      T* t = dynamic_cast<T*>(o);
      if (t == nullptr) [[unlikely]] throwWrongClass(o, typeid(T));
      return t;
    }
  }
  // Any host value as a C++ object: bridged instances by handle, strings and arrays copied.
  Ref<lang::Object> object(uint32_t ref) const;
  // A host primitive array of element type E, copied; null for null; a ClassCastException for
  // any other object.
  template <typename E>
  Ref<lang::PrimitiveArray<E>> array(uint32_t ref) const;
  // Writes a C++ array's elements back into the host array it was copied from.
  template <typename E>
  void copyBack(uint32_t ref, const lang::PrimitiveArray<E>& from) const;
  Ref<lang::String> string(uint32_t ref) const;

  // --- C++ -> host ---------------------------------------------------------------------
  uint32_t toHost(const lang::Object* o) const;
  uint32_t toHost(std::string_view utf8) const;
  // A new host instance of pool class `poolIndex`; throws HostExceptionPending on failure.
  uint32_t newInstance(int32_t poolIndex) const;
  uint32_t classConstant(int32_t poolIndex) const;
  // Records that `o` is the host's `ref` unless it already has a reference: a driver object the
  // host bridged itself comes back as the host's own reference.
  void remember(const lang::Object* o, uint32_t ref) const;
  // Binds a blank host instance to a new C++ object (constructors).
  void bindInstance(uint32_t ref, const lang::Object* o, uint32_t kind) const;
  // True when the host instance has no C++ object yet.
  bool isBlank(uint32_t ref) const;
  uint32_t cls() const noexcept { return cls_; }

  // The bridge kind of a C++ object (BK_OTHER for a driver or platform object).
  static uint32_t kindOf(const lang::Object* o) noexcept;
  using HostMemory::kindOf;

 private:
  template <typename W>
  static W load(const uint8_t* p) noexcept {
    W w;
    std::memcpy(&w, p, sizeof w);
    return w;
  }
  // handle() for an instance in paged memory.
  lang::Object* pagedHandle(uint32_t ref, uint32_t& kind) const;
  [[noreturn]] static void throwNotBridged(uint32_t ref);
  [[noreturn]] static void throwWrongClass(const lang::Object* o, const std::type_info& want);
  Ref<lang::Object> objectAt(uint32_t ref, int32_t depth) const;
  uint32_t toHostAt(const lang::Object* o, int32_t depth) const;
  // security: an array's length word comes from the host; it must fit what the heap holds.
  int32_t checkedLength(uint32_t ref, uint32_t elementSize) const;

  uint32_t cls_;
};

// Element codes of the primitive arrays.
template <typename E>
struct ElementCode;
template <> struct ElementCode<bool> { static constexpr int32_t value = host::T_BOOLEAN; };
template <> struct ElementCode<char16_t> { static constexpr int32_t value = host::T_CHAR; };
template <> struct ElementCode<float> { static constexpr int32_t value = host::T_FLOAT; };
template <> struct ElementCode<double> { static constexpr int32_t value = host::T_DOUBLE; };
template <> struct ElementCode<int8_t> { static constexpr int32_t value = host::T_BYTE; };
template <> struct ElementCode<int16_t> { static constexpr int32_t value = host::T_SHORT; };
template <> struct ElementCode<int32_t> { static constexpr int32_t value = host::T_INT; };
template <> struct ElementCode<int64_t> { static constexpr int32_t value = host::T_LONG; };

// Host booleans are one byte each, 0 or 1.
template <typename E>
inline constexpr uint32_t HOST_ELEMENT_SIZE = std::is_same_v<E, bool> ? 1 : sizeof(E);

template <typename E>
Ref<lang::PrimitiveArray<E>> Bridge::array(uint32_t ref) const {
  if (ref == 0) return nullptr;
  requireObject(ref, host::OFFSET_ELEMENTS);
  const uint32_t header = read32(ref, host::OFFSET_HEADER);
  if ((header & host::KIND_MASK) != host::KIND_PRIMITIVE_ARRAY ||
      static_cast<int32_t>((header >> host::ELEMENT_CODE_SHIFT) & host::ELEMENT_CODE_MASK) !=
          ElementCode<E>::value) {
    throw lang::ClassCastException("host array is not a " +
                                   std::string(lang::PrimitiveArrayName<E>::value));
  }
  const int32_t n = checkedLength(ref, HOST_ELEMENT_SIZE<E>);
  auto out = lang::PrimitiveArray<E>::make(n);
  if ((ref & host::TAG_PAGED) == 0) {
    const auto* src = static_cast<const uint8_t*>(address(ref, host::OFFSET_ELEMENTS));
    if constexpr (std::is_same_v<E, bool>) {
      for (int32_t i = 0; i < n; ++i) (*out)[i] = src[i] != 0;
    } else {
      std::memcpy(out->data(), src, sizeof(E) * static_cast<size_t>(n));
    }
  } else {
    for (int32_t i = 0; i < n; ++i) {
      const void* at = address(ref, host::OFFSET_ELEMENTS + static_cast<uint32_t>(i) * HOST_ELEMENT_SIZE<E>);
      if constexpr (std::is_same_v<E, bool>) {
        (*out)[i] = *static_cast<const uint8_t*>(at) != 0;
      } else {
        std::memcpy(&(*out)[i], at, sizeof(E));
      }
    }
  }
  return out;
}

template <typename E>
void Bridge::copyBack(uint32_t ref, const lang::PrimitiveArray<E>& from) const {
  // The host array cannot change length; copy what both hold.
  const int32_t n = std::min(from.length(), static_cast<int32_t>(read32(ref, host::OFFSET_LENGTH)));
  for (int32_t i = 0; i < n; ++i) {
    void* at = address(ref, host::OFFSET_ELEMENTS + static_cast<uint32_t>(i) * HOST_ELEMENT_SIZE<E>);
    if constexpr (std::is_same_v<E, bool>) {
      *static_cast<uint8_t*>(at) = from[i] ? 1 : 0;
    } else {
      std::memcpy(at, &from[i], sizeof(E));
    }
  }
}

}  // namespace kelvor::binding
