#include "binding/LinkTable.h"

#include <utility>

namespace kelvor::binding {

namespace {

using linkslot::loadAcquire;
using linkslot::loadRelaxed;
using linkslot::storeRelaxed;
using linkslot::storeRelease;

[[noreturn]] void passOn() { throw HostExceptionPending{}; }

void checkPending(const HostMemory& m) {
  if (m.context()->pendingException != 0) [[unlikely]]
    passOn();
}

// security: slot indexes are the package's own, but the table's size is the host's; a site
// outside it is a binding fault, reported as the host's index failure rather than a wild write.
uint64_t* siteSlots(const HostMemory& m, uint32_t cls, int32_t first, int32_t count) {
  uint64_t* slots = LinkTable::slotsOf(m, cls);
  if (slots == nullptr || first < 0 ||
      static_cast<uint64_t>(first) + static_cast<uint64_t>(count) > slots[-1]) [[unlikely]] {
    hostRaiseIndexOutOfBounds(m.env());
    passOn();
  }
  return slots + first;
}

struct Target {
  uintptr_t method;
  uint32_t declaringClass;
};

Target resolveMethod(const HostMemory& m, uint32_t receiverClass, uint32_t cls, int32_t cpIndex,
                     bool interfaceCall) {
  Target t{0, 0};
  t.method =
      interfaceCall
          ? hostResolveInterfaceMethod(m.env(), receiverClass, cls, cpIndex, &t.declaringClass)
          : hostResolveVirtualMethod(m.env(), receiverClass, cls, cpIndex, &t.declaringClass);
  if (t.method == 0) passOn();
  checkPending(m);
  return t;
}

// The native entry of a resolved method, or 0 when the host runs it interpreted.
uintptr_t nativeEntry(const HostMemory& m, const Target& t) {
  if (hostHasNativeCode(m.env(), t.method) == 0) {
    checkPending(m);
    return 0;
  }
  const int32_t index = hostNativeCodeIndex(m.env(), t.method);
  checkPending(m);
  const uintptr_t entry = hostNativeCodeEntry(m.env(), t.declaringClass, index);
  if (entry == 0) passOn();
  checkPending(m);
  return entry;
}

}  // namespace

uint32_t LinkTable::otherReceiverClass(const HostMemory& m, uint32_t receiver) {
  if (receiver == 0) [[unlikely]] {
    hostRaiseNullPointer(m.env());
    passOn();
  }
  m.requireObject(receiver, host::OFFSET_ELEMENTS);
  const uint32_t kind = m.kindOf(receiver);
  if (kind >= host::KIND_INSTANCE && kind < host::KIND_PRIMITIVE_ARRAY) [[likely]] {
    return m.read32(receiver, host::OFFSET_CLASS);
  }
  const bool array = kind == host::KIND_PRIMITIVE_ARRAY || kind == host::KIND_REFERENCE_ARRAY;
  const uint32_t c =
      hostWellKnownClass(m.env(), array ? host::WELL_KNOWN_ARRAY : host::WELL_KNOWN_OTHER);
  if (c == 0) passOn();
  checkPending(m);
  return c;
}

uint32_t LinkTable::resolvedClass(const HostMemory& m, uint32_t cls, int32_t cpIndex,
                                  int32_t slot) {
  uint64_t& s = *siteSlots(m, cls, slot, 1);
  if (const uint64_t c = loadAcquire(s); c != 0) [[likely]]
    return static_cast<uint32_t>(c);
  const uint32_t c =
      hostResolveClass(m.env(), m.context()->currentCompiledFrame, cls, cpIndex, slot);
  if (c == 0) passOn();
  checkPending(m);
  return c;
}

int32_t LinkTable::getStaticInt(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot) {
  uint64_t& s = *siteSlots(m, cls, slot, 1);
  if (const uint64_t cell = loadAcquire(s); cell != 0) [[likely]] {
    return std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(cell))
        .load(std::memory_order_relaxed);
  }
  const int32_t v = hostGetStaticInt(m.env(), cls, cpIndex, slot);
  checkPending(m);
  return v;
}

uint32_t LinkTable::getStaticRef(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot) {
  uint64_t& s = *siteSlots(m, cls, slot, 1);
  if (const uint64_t cell = loadAcquire(s); cell != 0) [[likely]] {
    return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(cell))
        .load(std::memory_order_relaxed);
  }
  const uint32_t v = hostGetStaticRef(m.env(), cls, cpIndex, slot);
  checkPending(m);
  return v;
}

void LinkTable::setStaticInt(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                             int32_t value) {
  uint64_t& s = *siteSlots(m, cls, slot, 1);
  if (const uint64_t cell = loadAcquire(s); cell != 0) [[likely]] {
    std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(cell))
        .store(value, std::memory_order_relaxed);
    return;
  }
  hostSetStaticInt(m.env(), cls, cpIndex, slot, value);
  checkPending(m);
}

void LinkTable::setStaticRef(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                             uint32_t value) {
  // A reference store may need the host's store barrier: the cell is written by the host
  // unless the class's statics hold plain references.
  uint64_t& s = *siteSlots(m, cls, slot, 1);
  if (const uint64_t cell = loadAcquire(s); cell != 0 && (cls & host::TAG_MASK) == 0) [[likely]] {
    std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(cell))
        .store(value, std::memory_order_relaxed);
    return;
  }
  hostSetStaticRef(m.env(), cls, cpIndex, slot, value);
  checkPending(m);
}

uint64_t LinkTable::invoke(const HostMemory& m, uintptr_t method, CallShape shape,
                           const uint32_t* words) {
  uint8_t kinds[MAX_CALL_WORDS];
  uint64_t args[MAX_CALL_WORDS];
  for (int32_t i = 0; i < shape.words && i < MAX_CALL_WORDS; ++i) {
    const bool ref = shape.slots[i] == 'R';
    kinds[i] = ref ? 1 : 0;
    args[i] = ref ? uint64_t{words[i]} << 32 : uint64_t{words[i]};  // slot bytes 4-7 or 0-3
  }
  uint64_t result[2] = {0, 0};
  host::ThreadContext* ctx = m.context();
  const uintptr_t frame = ctx->currentCompiledFrame;
  const int32_t raised = hostInvoke(m.env(), method, kinds, args, result);
  ctx->currentCompiledFrame = frame;
  if (raised != 0 || ctx->pendingException != 0) passOn();
  switch (shape.result) {
    case 'V':
      return 0;
    case 'L':
      return result[0] >> 32;
    case 'J':
      return (result[0] & 0xFFFFFFFFu) | (result[1] << 32);
    default:
      return result[0] & 0xFFFFFFFFu;
  }
}

uint64_t LinkTable::resolveStatic(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                                  CallShape shape, const uint32_t* words) {
  uint64_t* pair = siteSlots(m, cls, slot, 2);
  // Another thread may have filled the pair since the caller looked.
  if (const uint64_t entry = loadAcquire(pair[0]); entry != 0) {
    return callEntry(m, entry, static_cast<uint32_t>(loadRelaxed(pair[1])), shape, words);
  }
  Target t{0, 0};
  t.method = hostResolveStaticMethod(m.env(), cls, cpIndex, &t.declaringClass);
  if (t.method == 0) passOn();
  checkPending(m);
  const uintptr_t entry = nativeEntry(m, t);
  if (entry == 0) return invoke(m, t.method, shape, words);  // the pair stays empty
  storeRelaxed(pair[1], t.declaringClass);
  storeRelease(pair[0], entry);
  return callEntry(m, entry, t.declaringClass, shape, words);
}

uint64_t LinkTable::resolveVirtual(const HostMemory& m, uint32_t receiverCls, uint32_t cls,
                                   int32_t cpIndex, int32_t position, bool interfaceCall,
                                   CallShape shape, const uint32_t* words) {
  uint64_t* slots = slotsOf(m, receiverCls);
  uint64_t* pair = nullptr;
  if (slots != nullptr && position >= 0 && 2 * static_cast<uint64_t>(position) + 2 <= slots[-1]) {
    pair = slots + 2 * position;
  }
  const Target t = resolveMethod(m, receiverCls, cls, cpIndex, interfaceCall);
  const uintptr_t entry = nativeEntry(m, t);
  if (entry == 0) return invoke(m, t.method, shape, words);
  if (pair != nullptr) {
    storeRelaxed(pair[1], t.declaringClass);
    storeRelease(pair[0], entry);
  }
  return callEntry(m, entry, t.declaringClass, shape, words);
}

linkslot::CacheGuard linkslot::cacheGuards[linkslot::CACHE_GUARDS];

uint64_t LinkTable::missCached(const HostMemory& m, uint32_t receiverCls, uint32_t cls,
                               int32_t cpIndex, int32_t slot, bool interfaceCall, CallShape shape,
                               const uint32_t* words) {
  uint64_t* cache = siteSlots(m, cls, slot, host::CACHE_SLOTS);
  // Resolution runs outside the guard: it may run host code that calls through this same cache.
  const Target t = resolveMethod(m, receiverCls, cls, cpIndex, interfaceCall);
  const uintptr_t entry = nativeEntry(m, t);
  if (entry == 0) return invoke(m, t.method, shape, words);  // nothing is stored
  {
    linkslot::CacheGuard& guard = linkslot::cacheGuard(cache);
    const std::lock_guard<std::mutex> lock(guard.writer);
    uint64_t declaring = 0;
    // Another thread may have stored this receiver class while this one resolved.
    if (findCached(cache, receiverCls, declaring) == 0) {
      const uint64_t seq = guard.sequence.load(std::memory_order_relaxed);
      guard.sequence.store(seq + 1, std::memory_order_relaxed);
      std::atomic_thread_fence(std::memory_order_release);
      struct Publish {  // even again however the writes end, a host failure included
        std::atomic<uint64_t>& sequence;
        uint64_t value;
        ~Publish() { sequence.store(value, std::memory_order_release); }
      } publish{guard.sequence, seq + 2};
      uint64_t& misses = cache[3 * host::CACHE_TRIPLES];
      int32_t chosen = 0;
      if (loadRelaxed(misses) < host::CACHE_MISS_LIMIT) {
        chosen = -1;
        for (int32_t i = 0; i < host::CACHE_TRIPLES && chosen < 0; ++i) {
          if (loadRelaxed(cache[3 * i]) == 0) chosen = i;
        }
        if (chosen < 0) {
          hostShiftInlineCache(m.env(), reinterpret_cast<uintptr_t*>(cache));
          checkPending(m);
          chosen = 0;
          storeRelaxed(misses, loadRelaxed(misses) + 1);
        }
      }
      uint64_t* triple = cache + 3 * chosen;
      storeRelaxed(triple[0], receiverCls);
      storeRelaxed(triple[1], t.declaringClass);
      storeRelaxed(triple[2], entry);
    }
  }
  return callEntry(m, entry, t.declaringClass, shape, words);
}

}  // namespace kelvor::binding
