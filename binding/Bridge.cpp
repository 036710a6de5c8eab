#include "binding/Bridge.h"

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/SqlValue.h"
#include "adt/KelvorTypeADT.h"
#include "adt/StreamInfo.h"
#include "adt/TDSPatch.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "image/PickleContext.h"
#include "image/PickleInputStream.h"
#include "image/PickleOutputStream.h"
#include "image/UnpickleContext.h"
#include "scalar/KelvorTypeBFILE.h"
#include "scalar/KelvorTypeBLOB.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeCLOB.h"
#include "scalar/KelvorTypeDATE.h"
#include "scalar/KelvorTypeFLOAT.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "scalar/KelvorTypeRAW.h"
#include "scalar/KelvorTypeSINT32.h"
#include "types/KelvorTypeREF.h"
#include "types/KelvorTypeUPT.h"
#include "types/Util.h"

namespace kelvor::binding {

uintptr_t hostCallEnv(uintptr_t adoptedEnv, uint64_t vmId, std::thread::id adoptingThread) {
  const uintptr_t env = currentBridgeEnv();
  if (env != 0 && host::contextOf(env)->vmId == vmId) return env;
  if (std::this_thread::get_id() == adoptingThread) return adoptedEnv;
  jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                           "a host object used on a thread with no call from its host");
}

namespace {

namespace core = jdbc::kelcore;
// The C++ class of each bridge kind, for the element class of arrays handed to the host.
const std::type_info* const PACKAGE_TYPES[host::BK_PACKAGE_CLASSES] = {
    &typeid(core::KelvorType), &typeid(core::KelvorNamedType), &typeid(core::KelvorTypeADT),
    &typeid(core::KelvorTypeCOLLECTION), &typeid(core::KelvorTypeUPT), &typeid(core::KelvorTypeREF),
    &typeid(core::KelvorTypeNUMBER), &typeid(core::KelvorTypeFLOAT), &typeid(core::KelvorTypeSINT32),
    &typeid(core::KelvorTypeDATE), &typeid(core::KelvorTypeRAW), &typeid(core::KelvorTypeCHAR),
    &typeid(core::KelvorTypeBLOB), &typeid(core::KelvorTypeCLOB), &typeid(core::KelvorTypeBFILE),
    &typeid(core::Util), &typeid(core::PickleContext), &typeid(core::UnpickleContext),
    &typeid(core::PickleOutputStream), &typeid(core::PickleInputStream), &typeid(core::StreamInfo),
    &typeid(core::TDSPatch)};

// Arrays nested inside arrays are converted recursively; a host array that holds itself must
// not run the stack out.
constexpr int32_t MAX_ARRAY_DEPTH = 64;

[[noreturn]] void throwTooDeep() {
  throw jdbc::DriverException(jdbc::DriverException::ERR_STACK_OVERFLOW,
                              jdbc::DriverException::messageFor(62), nullptr);
}

// C++ object -> host reference, per virtual machine. The host instance holds one count of its
// object, so an object in the table stays alive and its address is never reused while the
// entry exists. Entries are never dropped: the hosts we bind do not collect bridged instances.
// A host with a collector would make these weak references and remove an entry when its
// instance dies.
class IdentityTable {
 public:
  uint32_t find(uint64_t vm, const lang::Object* o) {
    std::lock_guard lock(mutex_);
    auto it = map_.find(Key{vm, o});
    return it == map_.end() ? 0 : it->second;
  }
  // The reference already recorded for `o`, or `ref` after recording it.
  uint32_t insert(uint64_t vm, const lang::Object* o, uint32_t ref) {
    std::lock_guard lock(mutex_);
    return map_.try_emplace(Key{vm, o}, ref).first->second;
  }

 private:
  struct Key {
    uint64_t vm;
    const lang::Object* object;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const noexcept {
      return std::hash<const void*>()(k.object) ^ (k.vm * 0x9E3779B97F4A7C15ULL);
    }
  };
  std::mutex mutex_;
  std::unordered_map<Key, uint32_t, KeyHash> map_;
};

IdentityTable& identities() {
  static IdentityTable* table = new IdentityTable();  // lives as long as the process
  return *table;
}


template <typename E>
uint32_t primitiveToHost(const Bridge& b, const lang::PrimitiveArray<E>& a) {
  const uint32_t ref = hostNewPrimitiveArray(b.env(), ElementCode<E>::value, a.length());
  if (ref == 0) throw HostExceptionPending{};
  b.copyBack(ref, a);
  return ref;
}

template <typename E>
bool tryPrimitiveToHost(const Bridge& b, const lang::Object* o, uint32_t& out) {
  auto* a = dynamic_cast<const lang::PrimitiveArray<E>*>(o);
  if (a == nullptr) return false;
  out = primitiveToHost(b, *a);
  return true;
}

template <typename E>
Ref<lang::Object> primitiveFromHost(const Bridge& b, uint32_t ref) {
  return b.array<E>(ref);
}

}  // namespace

uint32_t HostMemory::readRef(uint32_t obj, uint32_t offset) const {
  if ((obj & host::TAG_ENCODED_REFS) != 0) return hostLoadRef(env_, obj, offset);
  return read32(obj, offset);
}

void HostMemory::writeRef(uint32_t obj, uint32_t offset, uint32_t value) const {
  const uint32_t stored =
      (obj & host::TAG_ENCODED_REFS) != 0 ? hostEncodeRef(env_, obj, value) : value;
  write32(obj, offset, stored);
  if (value != 0 && (value & host::TAG_MASK) < (obj & host::TAG_MASK)) {
    hostRecordStore(env_, obj, offset);
  }
}

void HostMemory::throwForeign(uint32_t ref) {
  throw lang::IllegalArgumentException("reference " + std::to_string(ref) +
                                       " does not name an object of this host");
}

void Bridge::throwNotBridged(uint32_t ref) {
  throw lang::ClassCastException("reference " + std::to_string(ref) +
                                 " is not an object of this library");
}

lang::Object* Bridge::pagedHandle(uint32_t ref, uint32_t& kind) const {
  const uint32_t header = read32(ref, host::OFFSET_HEADER);
  const uint32_t k = read32(ref, host::FIELD_KIND);
  const uint64_t h = read64(ref, host::FIELD_HANDLE);
  if ((header & host::KIND_MASK) != host::KIND_INSTANCE || h == 0 ||
      host::checkWord(h, k) != read64(ref, host::FIELD_CHECK)) {
    throwNotBridged(ref);
  }
  kind = k;
  return reinterpret_cast<lang::Object*>(h);
}

void Bridge::throwWrongClass(const lang::Object* o, const std::type_info& want) {
  lang::throwClassCast(o == nullptr ? "null" : o->className(), want.name());
}

int32_t Bridge::checkedLength(uint32_t ref, uint32_t elementSize) const {
  const auto n = static_cast<int32_t>(read32(ref, host::OFFSET_LENGTH));
  const uint64_t at = (ref & ~host::TAG_MASK) + host::OFFSET_ELEMENTS;
  if (n < 0 || static_cast<uint64_t>(n) * elementSize > context()->heapSize - at) {
    throwForeign(ref);
  }
  return n;
}

Ref<lang::Object> Bridge::object(uint32_t ref) const { return objectAt(ref, 0); }

Ref<lang::Object> Bridge::objectAt(uint32_t ref, int32_t depth) const {
  if (ref == 0) return nullptr;
  if (depth > MAX_ARRAY_DEPTH) throwTooDeep();
  requireObject(ref, host::OFFSET_ELEMENTS);
  const uint32_t header = read32(ref, host::OFFSET_HEADER);
  switch (header & host::KIND_MASK) {
    case host::KIND_PRIMITIVE_ARRAY:
      switch (static_cast<int32_t>((header >> host::ELEMENT_CODE_SHIFT) & host::ELEMENT_CODE_MASK)) {
        case host::T_BOOLEAN: return primitiveFromHost<bool>(*this, ref);
        case host::T_CHAR: return primitiveFromHost<char16_t>(*this, ref);
        case host::T_FLOAT: return primitiveFromHost<float>(*this, ref);
        case host::T_DOUBLE: return primitiveFromHost<double>(*this, ref);
        case host::T_BYTE: return primitiveFromHost<int8_t>(*this, ref);
        case host::T_SHORT: return primitiveFromHost<int16_t>(*this, ref);
        case host::T_INT: return primitiveFromHost<int32_t>(*this, ref);
        case host::T_LONG: return primitiveFromHost<int64_t>(*this, ref);
        default: throwForeign(ref);
      }
    case host::KIND_REFERENCE_ARRAY: {
      const int32_t n = checkedLength(ref, 4);
      const uint32_t elementClass = read32(ref, host::OFFSET_CLASS);
      const bool strings = elementClass != 0 && elementClass == classConstant(host::POOL_STRING);
      auto out = lang::ObjectArray::make(n, strings ? typeid(lang::String) : typeid(lang::Object));
      for (int32_t i = 0; i < n; ++i) {
        const uint32_t e = hostArrayLoadRef(env(), ref, i);
        if (context()->pendingException != 0) throw HostExceptionPending{};
        out->set(i, objectAt(e, depth + 1));
      }
      return out;
    }
    case host::KIND_INSTANCE: {
      requireObject(ref, host::INSTANCE_SIZE);
      const uint64_t h = read64(ref, host::FIELD_HANDLE);
      if (h != 0 && host::checkWord(h, read32(ref, host::FIELD_KIND)) == read64(ref, host::FIELD_CHECK)) {
        auto* o = reinterpret_cast<lang::Object*>(h);
        if (read32(ref, host::FIELD_KIND) == host::BK_OTHER) {
          remember(o, ref);
          o = adoptHostValue(*this, ref, o);
        }
        return Ref<lang::Object>(o);
      }
      if (read32(ref, host::OFFSET_CLASS) == classConstant(host::POOL_STRING)) return string(ref);
      throwNotBridged(ref);
    }
    default:
      throwForeign(ref);
  }
}

Ref<lang::String> Bridge::string(uint32_t ref) const {
  if (ref == 0) return nullptr;
  requireObject(ref, host::INSTANCE_SIZE);
  if (kindOf(ref) != host::KIND_INSTANCE ||
      read32(ref, host::OFFSET_CLASS) != classConstant(host::POOL_STRING)) {
    throw lang::ClassCastException("host object is not a string");
  }
  auto units = array<char16_t>(readRef(ref, host::FIELD_STRING_CHARS));
  if (!units) throw lang::NullPointerException("string without characters");
  return lang::String::fromUtf16(units->data(), units->length());
}

uint32_t Bridge::classConstant(int32_t poolIndex) const {
  const uint32_t c = hostClassConstant(env(), cls_, poolIndex);
  if (c == 0) throw HostExceptionPending{};
  return c;
}

uint32_t Bridge::newInstance(int32_t poolIndex) const {
  const uint32_t ref = hostNewInstanceOf(env(), classConstant(poolIndex));
  if (ref == 0) throw HostExceptionPending{};
  return ref;
}

void Bridge::remember(const lang::Object* o, uint32_t ref) const {
  identities().insert(context()->vmId, o, ref);
}

bool Bridge::isBlank(uint32_t ref) const {
  requireObject(ref, host::INSTANCE_SIZE);
  if (kindOf(ref) != host::KIND_INSTANCE) throwNotBridged(ref);
  return read64(ref, host::FIELD_HANDLE) == 0;
}

void Bridge::bindInstance(uint32_t ref, const lang::Object* o, uint32_t kind) const {
  o->retain();  // the host instance's count
  const auto h = reinterpret_cast<uint64_t>(o);
  write32(ref, host::FIELD_KIND, kind);
  write64(ref, host::FIELD_HANDLE, h);
  write64(ref, host::FIELD_CHECK, host::checkWord(h, kind));
  identities().insert(context()->vmId, o, ref);
}

uint32_t Bridge::kindOf(const lang::Object* o) noexcept {
  const char* name = o->className();
  for (uint32_t k = 0; k < host::BK_PACKAGE_CLASSES; ++k) {
    if (std::strcmp(name, host::PACKAGE_CLASS_NAMES[k]) == 0) return k;
  }
  return host::BK_OTHER;
}

uint32_t Bridge::toHost(std::string_view utf8) const {
  const std::u16string units = lang::String::toUtf16(utf8);
  const uint32_t chars = hostNewPrimitiveArray(env(), host::T_CHAR, static_cast<int32_t>(units.size()));
  if (chars == 0) throw HostExceptionPending{};
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    std::memcpy(address(chars, host::OFFSET_ELEMENTS + static_cast<uint32_t>(2 * i)), &u, 2);
  }
  const uint32_t str = newInstance(host::POOL_STRING);
  writeRef(str, host::FIELD_STRING_CHARS, chars);
  return str;
}

uint32_t Bridge::toHost(const lang::Object* o) const { return toHostAt(o, 0); }

uint32_t Bridge::toHostAt(const lang::Object* o, int32_t depth) const {
  if (o == nullptr) return 0;
  if (depth > MAX_ARRAY_DEPTH) throwTooDeep();
  if (auto* s = dynamic_cast<const lang::String*>(o)) return toHost(s->value());
  if (auto* a = dynamic_cast<const lang::ObjectArray*>(o)) {
    int32_t pool = host::POOL_OBJECT;
    if (a->isArrayOf<lang::String>()) pool = host::POOL_STRING;
    for (uint32_t k = 0; k < host::BK_PACKAGE_CLASSES; ++k) {
      if (a->elementType() == *PACKAGE_TYPES[k]) pool = host::POOL_FIRST_PACKAGE_CLASS + static_cast<int32_t>(k);
    }
    const uint32_t arr = hostNewObjectArray(env(), classConstant(pool), a->length());
    if (arr == 0) throw HostExceptionPending{};
    for (int32_t i = 0; i < a->length(); ++i) {
      const uint32_t e = toHostAt(a->at(i), depth + 1);
      hostArrayStoreRef(env(), arr, i, e);
      if (context()->pendingException != 0) throw HostExceptionPending{};
    }
    return arr;
  }
  uint32_t prim;
  if (tryPrimitiveToHost<int8_t>(*this, o, prim) || tryPrimitiveToHost<int32_t>(*this, o, prim) ||
      tryPrimitiveToHost<int64_t>(*this, o, prim) || tryPrimitiveToHost<int16_t>(*this, o, prim) ||
      tryPrimitiveToHost<char16_t>(*this, o, prim) || tryPrimitiveToHost<bool>(*this, o, prim) ||
      tryPrimitiveToHost<float>(*this, o, prim) || tryPrimitiveToHost<double>(*this, o, prim)) {
    return prim;
  }
  const uint64_t vm = context()->vmId;
  if (const uint32_t known = identities().find(vm, o); known != 0) return known;
  const uint32_t kind = kindOf(o);
  const uint32_t ref = newInstance(kind == host::BK_OTHER
                                       ? host::POOL_OBJECT
                                       : host::POOL_FIRST_PACKAGE_CLASS + static_cast<int32_t>(kind));
  o->retain();
  const auto h = reinterpret_cast<uint64_t>(o);
  write32(ref, host::FIELD_KIND, kind);
  write64(ref, host::FIELD_HANDLE, h);
  write64(ref, host::FIELD_CHECK, host::checkWord(h, kind));
  const uint32_t winner = identities().insert(vm, o, ref);
  if (winner != ref) {  // another thread bridged it first; ours is dropped blank
    write64(ref, host::FIELD_HANDLE, 0);
    write64(ref, host::FIELD_CHECK, 0);
    o->release();
  }
  return winner;
}

}  // namespace kelvor::binding
