// Calls from the package into the host through link tables: resolved-class slots, static field
// cells, static call sites, virtual calls through the receiver class's table and call-site
// caches. A warm site costs one link-table read and an indirect native call; the host is asked
// only to resolve, and every call of a target without native code goes through hostInvoke.
//
// A call passes its argument words (receiver first for virtual calls) as 32-bit words and gets
// its result as one 64-bit word: nothing for 'V', the 32-bit value for 'I' and 'L', the long
// for 'J'. A host exception pending after any host operation or call is passed on as
// HostExceptionPending, untouched.
//
// Thread rule: slots are filled without locks. A pair is published declaring class first and
// entry second (release) and read only when its entry is non-zero (acquire); every thread
// computes the same pair. A call-site cache is different: its triples are shifted and replaced,
// so a reader could pair one writer's receiver class with another's entry. Writers to a cache
// (the package's miss path, and the host's shift it calls) are serialized by one of a fixed set
// of guards chosen by the cache's address, and bump the guard's sequence to odd before and to
// even after; a reader uses a triple only when the sequence was even and unchanged across its
// reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>

#include "binding/Bridge.h"
#include "host/HostInterface.h"
#include "host/HostServices.h"

namespace kelvor::binding {

// The shape of a call: one slot kind per argument word ('R' reference, 'P' primitive) and the
// result kind ('V', 'I', 'J', 'L').
struct CallShape {
  const char* slots;
  char result;
  int32_t words;
  constexpr CallShape(const char* s, char r) : slots(s), result(r), words(0) {
    while (s[words] != 0) ++words;
  }
};

inline constexpr int32_t MAX_CALL_WORDS = 10;

namespace linkslot {
inline uint64_t loadAcquire(uint64_t& s) {
  return std::atomic_ref<uint64_t>(s).load(std::memory_order_acquire);
}
inline uint64_t loadRelaxed(uint64_t& s) {
  return std::atomic_ref<uint64_t>(s).load(std::memory_order_relaxed);
}
inline void storeRelease(uint64_t& s, uint64_t v) {
  std::atomic_ref<uint64_t>(s).store(v, std::memory_order_release);
}
inline void storeRelaxed(uint64_t& s, uint64_t v) {
  std::atomic_ref<uint64_t>(s).store(v, std::memory_order_relaxed);
}

// The guard of the call-site caches whose address maps to it: the writers' lock and the
// sequence readers check (odd while a writer is changing a cache).
struct alignas(64) CacheGuard {
  std::atomic<uint64_t> sequence{0};
  std::mutex writer;
};
inline constexpr uint32_t CACHE_GUARDS = 64;
extern CacheGuard cacheGuards[CACHE_GUARDS];
inline CacheGuard& cacheGuard(const uint64_t* cache) {
  return cacheGuards[(reinterpret_cast<uintptr_t>(cache) >> 7) % CACHE_GUARDS];
}
}  // namespace linkslot

class LinkTable {
 public:
  // The slots of a class's link table (after its header word); null when it has none.
  static uint64_t* slotsOf(const HostMemory& m, uint32_t cls) {
    const uint64_t table = m.read64(cls, host::FIELD_CLASS_LINK_TABLE);
    return table == 0 ? nullptr : reinterpret_cast<uint64_t*>(table) + 1;
  }
  // The class of a receiver: its header's class for an instance, the host's well-known class
  // for an array or any other object. A null receiver raises the null-reference failure.
  static uint32_t receiverClass(const HostMemory& m, uint32_t receiver) {
    if (receiver != 0 && (receiver & host::TAG_PAGED) == 0) [[likely]] {
      m.requireObject(receiver, host::OFFSET_ELEMENTS);
      const uint32_t kind = m.kindOf(receiver);
      if (kind >= host::KIND_INSTANCE && kind < host::KIND_PRIMITIVE_ARRAY) [[likely]] {
        return m.read32(receiver, host::OFFSET_CLASS);
      }
    }
    return otherReceiverClass(m, receiver);
  }
  // A null receiver, an array or any other object.
  static uint32_t otherReceiverClass(const HostMemory& m, uint32_t receiver);

  // The class named at cpIndex of cls's pool, resolved and initialised once into `slot`.
  static uint32_t resolvedClass(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot);
  // Static fields through the cell cached in `slot`.
  static int32_t getStaticInt(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot);
  static uint32_t getStaticRef(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot);
  static void setStaticInt(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                           int32_t value);
  static void setStaticRef(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                           uint32_t value);

  // A static call site of cls whose pair starts at `slot`.
  static uint64_t callStatic(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                             CallShape shape, const uint32_t* words) {
    uint64_t* slots = slotsOf(m, cls);
    if (slots != nullptr && slot >= 0 && static_cast<uint64_t>(slot) + 2 <= slots[-1]) [[likely]] {
      if (const uint64_t entry = linkslot::loadAcquire(slots[slot]); entry != 0) [[likely]] {
        return callEntry(m, entry, static_cast<uint32_t>(linkslot::loadRelaxed(slots[slot + 1])),
                         shape, words);
      }
    }
    return resolveStatic(m, cls, cpIndex, slot, shape, words);
  }
  // A virtual (or interface) call: the pair at `position` of the receiver class's table.
  // words[0] is the receiver.
  static uint64_t callVirtual(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t position,
                              bool interfaceCall, CallShape shape, const uint32_t* words) {
    const uint32_t receiverCls = receiverClass(m, words[0]);
    uint64_t* slots = slotsOf(m, receiverCls);
    if (slots != nullptr && position >= 0 && 2 * static_cast<uint64_t>(position) + 2 <= slots[-1])
        [[likely]] {
      uint64_t* pair = slots + 2 * position;
      if (const uint64_t entry = linkslot::loadAcquire(pair[0]); entry != 0) [[likely]] {
        return callEntry(m, entry, static_cast<uint32_t>(linkslot::loadRelaxed(pair[1])), shape,
                         words);
      }
    }
    return resolveVirtual(m, receiverCls, cls, cpIndex, position, interfaceCall, shape, words);
  }
  // A virtual call through the call-site cache of cls that starts at `slot`.
  static uint64_t callCached(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                             bool interfaceCall, CallShape shape, const uint32_t* words) {
    const uint32_t receiverCls = receiverClass(m, words[0]);
    uint64_t* slots = slotsOf(m, cls);
    if (slots != nullptr && slot >= 0 &&
        static_cast<uint64_t>(slot) + host::CACHE_SLOTS <= slots[-1]) [[likely]] {
      uint64_t declaring = 0;
      if (const uint64_t entry = findCached(slots + slot, receiverCls, declaring); entry != 0)
          [[likely]] {
        return callEntry(m, entry, static_cast<uint32_t>(declaring), shape, words);
      }
    }
    return missCached(m, receiverCls, cls, cpIndex, slot, interfaceCall, shape, words);
  }
  // The entry cached for a receiver class (and its declaring class), or 0: also 0 while a
  // writer holds the cache's guard, which sends the caller to the miss path and its lock.
  static uint64_t findCached(uint64_t* cache, uint32_t receiverCls, uint64_t& declaring) {
    linkslot::CacheGuard& guard = linkslot::cacheGuard(cache);
    const uint64_t seq = guard.sequence.load(std::memory_order_acquire);
    if ((seq & 1) != 0) [[unlikely]]
      return 0;
    for (uint64_t* t = cache; t < cache + 3 * host::CACHE_TRIPLES; t += 3) {
      if (linkslot::loadRelaxed(t[0]) != receiverCls) continue;
      const uint64_t entry = linkslot::loadRelaxed(t[2]);
      declaring = linkslot::loadRelaxed(t[1]);
      std::atomic_thread_fence(std::memory_order_acquire);
      if (guard.sequence.load(std::memory_order_relaxed) != seq) [[unlikely]]
        return 0;
      return entry;
    }
    return 0;
  }

  // Calls a native entry with the thread's current compiled frame as the caller frame, which
  // it restores afterwards. Passes on a pending exception.
  static uint64_t callEntry(const HostMemory& m, uintptr_t entry, uint32_t declaringClass,
                            CallShape shape, const uint32_t* words) {
    host::ThreadContext* ctx = m.context();
    const uintptr_t frame = ctx->currentCompiledFrame;
    uint64_t r = 0;
    switch (shape.result) {
      case 'V':
        dispatch<void>(entry, m.env(), frame, declaringClass, words, shape.words);
        break;
      case 'J':
        r = dispatch<uint64_t>(entry, m.env(), frame, declaringClass, words, shape.words);
        break;
      default:
        r = dispatch<uint32_t>(entry, m.env(), frame, declaringClass, words, shape.words);
        break;
    }
    ctx->currentCompiledFrame = frame;
    if (ctx->pendingException != 0) [[unlikely]]
      throw HostExceptionPending{};
    return r;
  }
  // Calls a method through the host's interpreter.
  static uint64_t invoke(const HostMemory& m, uintptr_t method, CallShape shape,
                         const uint32_t* words);

 private:
  template <size_t>
  using Word = uint32_t;
  // GCC 12 at -O3 inlines every case of the switch below into callers whose word array is
  // shorter than the unreachable cases read, and reports those reads (-Warray-bounds false
  // positive on dead switch arms); only the case for the shape's own word count ever runs.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
  template <typename R, size_t... I>
  static R callWith(uintptr_t entry, uintptr_t env, uintptr_t frame, uint32_t cls,
                    const uint32_t* w, std::index_sequence<I...>) {
    using Fn = R (*)(uintptr_t, uintptr_t, uint32_t, Word<I>...);
    return reinterpret_cast<Fn>(entry)(env, frame, cls, w[I]...);
  }
  // The native call for the word count; a constant shape folds the switch away.
  template <typename R>
  static R dispatch(uintptr_t entry, uintptr_t env, uintptr_t frame, uint32_t cls,
                    const uint32_t* w, int32_t n) {
    switch (n) {
      case 0:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<0>{});
      case 1:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<1>{});
      case 2:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<2>{});
      case 3:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<3>{});
      case 4:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<4>{});
      case 5:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<5>{});
      case 6:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<6>{});
      case 7:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<7>{});
      case 8:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<8>{});
      case 9:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<9>{});
      default:
        return callWith<R>(entry, env, frame, cls, w, std::make_index_sequence<10>{});
    }
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

  // The cold halves: resolve, fill the pair when the target has native code, and call.
  static uint64_t resolveStatic(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                                CallShape shape, const uint32_t* words);
  static uint64_t resolveVirtual(const HostMemory& m, uint32_t receiverCls, uint32_t cls,
                                 int32_t cpIndex, int32_t position, bool interfaceCall,
                                 CallShape shape, const uint32_t* words);
  static uint64_t missCached(const HostMemory& m, uint32_t receiverCls, uint32_t cls,
                             int32_t cpIndex, int32_t slot, bool interfaceCall, CallShape shape,
                             const uint32_t* words);

 public:
  LinkTable() = delete;
};

}  // namespace kelvor::binding
