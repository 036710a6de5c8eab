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
// computes the same pair. Cache triples are written receiver class, declaring class, then entry
// (release); an occupied triple that is replaced has its entry cleared first, and a reader
// uses a triple only when its entry and receiver class read the same before and after it read
// the declaring class.
#pragma once

#include <atomic>
#include <cstdint>

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
inline uint64_t loadAcquire(uint64_t& s) { return std::atomic_ref<uint64_t>(s).load(std::memory_order_acquire); }
inline uint64_t loadRelaxed(uint64_t& s) { return std::atomic_ref<uint64_t>(s).load(std::memory_order_relaxed); }
inline void storeRelease(uint64_t& s, uint64_t v) { std::atomic_ref<uint64_t>(s).store(v, std::memory_order_release); }
inline void storeRelaxed(uint64_t& s, uint64_t v) { std::atomic_ref<uint64_t>(s).store(v, std::memory_order_relaxed); }
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
  static uint32_t receiverClass(const HostMemory& m, uint32_t receiver);

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
                             CallShape shape, const uint32_t* words);
  // A virtual (or interface) call: the pair at `position` of the receiver class's table.
  // words[0] is the receiver.
  static uint64_t callVirtual(const HostMemory& m, uint32_t cls, int32_t cpIndex,
                              int32_t position, bool interfaceCall, CallShape shape,
                              const uint32_t* words);
  // A virtual call through the call-site cache of cls that starts at `slot`.
  static uint64_t callCached(const HostMemory& m, uint32_t cls, int32_t cpIndex, int32_t slot,
                             bool interfaceCall, CallShape shape, const uint32_t* words);

  // Calls a native entry with the thread's current compiled frame as the caller frame, which
  // it restores afterwards. Passes on a pending exception.
  static uint64_t callEntry(const HostMemory& m, uintptr_t entry, uint32_t declaringClass,
                            CallShape shape, const uint32_t* words);
  // Calls a method through the host's interpreter.
  static uint64_t invoke(const HostMemory& m, uintptr_t method, CallShape shape,
                         const uint32_t* words);

  LinkTable() = delete;
};

}  // namespace kelvor::binding
