// The interface to the host virtual machine: the thread context, frame records, the object
// layout and 32-bit references, the bridge pool every bound class's constant pool starts with,
// and every host operation, as the C functions the host provides.
//
// How the library reaches the host operations. They are declared below as weak references with
// default visibility. A host process that binds the classes defines them (in its executable or
// in a library loaded before this one with global symbols), and the dynamic loader fills the
// references when this library is loaded. A program that uses only the C++ API (the tool, the
// C++ tests, an application) defines none of them and still links and loads: the references
// stay null and nothing of the C++ API calls them. The binding checks, when a class is bound
// (buildMethodStubPairs), that every operation it calls is present, and refuses to bind without
// them, so a missing operation is never called. We chose weak references over a table the host
// installs because the operations then keep the names and signatures they have for compiled
// code everywhere, a warm call is one direct call through the GOT with no table load, and no
// 23rd export or start-up hook is needed to hand the table over.
//
// Word width. Argument words, reference slots, single-word results and references are 32 bits;
// a 64-bit host hands out compressed references: the context's heap base plus a 32-bit offset,
// with tag bits in the low three bits. env, frame records, code addresses and the elements of
// the method-stub pair array are native words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvor::host {

// The thread context. env, the first argument of every host operation and compiled method, is
// its address, possibly with flags in the low three bits.
struct ThreadContext {
  uintptr_t stackLimit;            // a frame record below this address overflows the stack
  uintptr_t currentCompiledFrame;  // set before any call that may raise
  uintptr_t currentHostFrame;      // the caller frame an invoker stub hands its method
  uint32_t pendingException;       // reference of the pending exception; 0 when none
  uint32_t reserved;
  uintptr_t heapBase;              // address of reference offset 0
  uintptr_t heapSize;              // bytes of reference space; larger offsets are not objects
  uint64_t vmId;                   // distinct for every virtual machine of the process
};
static_assert(offsetof(ThreadContext, pendingException) == 3 * sizeof(uintptr_t));

inline ThreadContext* contextOf(uintptr_t env) noexcept {
  return reinterpret_cast<ThreadContext*>(env & ~uintptr_t{7});
}

// The first three words of every compiled method's frame record.
struct FrameRecord {
  uintptr_t methodId;     // 4k+1: k-th instance method or constructor; 4k+3: k-th static method
  uintptr_t callerFrame;  // the caller's frame record
  uintptr_t cls;          // the declaring class
};

// References: 32 bits, the object at heapBase + (ref & ~7). Tag bits:
inline constexpr uint32_t TAG_ENCODED_REFS = 2;  // references read from it go through the host
inline constexpr uint32_t TAG_PAGED = 4;         // its words are addressed by hostPagedAddress
inline constexpr uint32_t TAG_MASK = 7;

// Object layout, byte offsets. Header words are 32 bits.
//   header(4): kind in the low nine bits; a primitive array's element code in bits 9-12
//   length(4): arrays only
//   class(4):  the class reference
//   elements or fields follow the three words
inline constexpr uint32_t OFFSET_HEADER = 0;
inline constexpr uint32_t OFFSET_LENGTH = 4;
inline constexpr uint32_t OFFSET_CLASS = 8;
inline constexpr uint32_t OFFSET_ELEMENTS = 12;
inline constexpr uint32_t KIND_MASK = 0x1FF;
inline constexpr uint32_t KIND_INSTANCE = 134;
inline constexpr uint32_t KIND_PRIMITIVE_ARRAY = 137;
inline constexpr uint32_t KIND_REFERENCE_ARRAY = 138;
inline constexpr uint32_t ELEMENT_CODE_SHIFT = 9;
inline constexpr uint32_t ELEMENT_CODE_MASK = 0xF;

// Primitive array element codes (the virtual machine's array type codes).
inline constexpr int32_t T_BOOLEAN = 4;
inline constexpr int32_t T_CHAR = 5;
inline constexpr int32_t T_FLOAT = 6;
inline constexpr int32_t T_DOUBLE = 7;
inline constexpr int32_t T_BYTE = 8;
inline constexpr int32_t T_SHORT = 9;
inline constexpr int32_t T_INT = 10;
inline constexpr int32_t T_LONG = 11;

// Fields of the instances the binding reads or makes (every such class's instances have at
// least INSTANCE_SIZE bytes):
//   bridged instance (one of the 22 classes, or any driver or platform object):
//     12: bridge kind (BridgeKind)   16: native handle (64 bits)   24: checkWord(handle, kind)
//   string:            12: reference of its char[] (UTF-16 code units)
//   exception:         12: driver error code   32: offending value   36: message string
inline constexpr uint32_t FIELD_KIND = 12;
inline constexpr uint32_t FIELD_HANDLE = 16;
inline constexpr uint32_t FIELD_CHECK = 24;
inline constexpr uint32_t FIELD_STRING_CHARS = 12;
inline constexpr uint32_t FIELD_ERROR_CODE = 12;
inline constexpr uint32_t FIELD_OFFENDING = 32;
inline constexpr uint32_t FIELD_MESSAGE = 36;
inline constexpr uint32_t INSTANCE_SIZE = 40;
// A handle whose check word does not match is not one of ours: a guard against stray words
// and against a kind word changed under a handle, not a secret.
inline constexpr uint64_t HANDLE_CHECK_KEY = 0x6b656c636f726521ULL;
inline constexpr uint64_t checkWord(uint64_t handle, uint32_t kind) {
  return handle ^ HANDLE_CHECK_KEY ^ (uint64_t{kind} << 56);
}

// The bridge pool: constant-pool entries 1.. of every bound class name these classes, in this
// order. The binding gets them through hostClassConstant.
enum BridgePool : int32_t {
  POOL_STRING = 1,
  POOL_OBJECT,                      // any driver or platform object, carried by handle
  POOL_DRIVER_EXCEPTION,
  POOL_CLASS_CAST_EXCEPTION,
  POOL_ILLEGAL_ARGUMENT_EXCEPTION,
  POOL_NEGATIVE_ARRAY_SIZE_EXCEPTION,
  POOL_ARITHMETIC_EXCEPTION,
  POOL_IO_EXCEPTION,
  POOL_RUNTIME_EXCEPTION,
  POOL_OUT_OF_MEMORY_ERROR,
  POOL_FIRST_PACKAGE_CLASS,         // then the 22 classes in BridgeKind order
  POOL_SIZE = POOL_FIRST_PACKAGE_CLASS + 22,
};
inline constexpr const char* BRIDGE_POOL_NAMES[POOL_FIRST_PACKAGE_CLASS] = {
    nullptr, "String", "Object", "DriverException", "ClassCastException",
    "IllegalArgumentException", "NegativeArraySizeException", "ArithmeticException",
    "IOException", "RuntimeException", "OutOfMemoryError"};

// The kind word of a bridged instance: the 22 classes, then any other object.
enum BridgeKind : uint32_t {
  BK_KelvorType, BK_KelvorNamedType, BK_KelvorTypeADT, BK_KelvorTypeCOLLECTION, BK_KelvorTypeUPT,
  BK_KelvorTypeREF, BK_KelvorTypeNUMBER, BK_KelvorTypeFLOAT, BK_KelvorTypeSINT32,
  BK_KelvorTypeDATE, BK_KelvorTypeRAW, BK_KelvorTypeCHAR, BK_KelvorTypeBLOB, BK_KelvorTypeCLOB,
  BK_KelvorTypeBFILE, BK_Util, BK_PickleContext, BK_UnpickleContext, BK_PickleOutputStream,
  BK_PickleInputStream, BK_StreamInfo, BK_TDSPatch,
  BK_PACKAGE_CLASSES,         // 22
  BK_OTHER = 31,              // a driver or platform object
};
inline constexpr const char* PACKAGE_CLASS_NAMES[BK_PACKAGE_CLASSES] = {
    "KelvorType", "KelvorNamedType", "KelvorTypeADT", "KelvorTypeCOLLECTION", "KelvorTypeUPT",
    "KelvorTypeREF", "KelvorTypeNUMBER", "KelvorTypeFLOAT", "KelvorTypeSINT32",
    "KelvorTypeDATE", "KelvorTypeRAW", "KelvorTypeCHAR", "KelvorTypeBLOB", "KelvorTypeCLOB",
    "KelvorTypeBFILE", "Util", "PickleContext", "UnpickleContext", "PickleOutputStream",
    "PickleInputStream", "StreamInfo", "TDSPatch"};

// The class code descriptor an entry function returns.
struct ClassCodeDescriptor {
  void* const* (*getCodeTable)();
  const uint8_t* (*getFingerprint)();
  int32_t (*getLinkTableSize)();
  uint32_t (*buildMethodStubPairs)(uintptr_t env);
};
using EntryFunction = const ClassCodeDescriptor* (*)();
// Invoker stubs: one argument slot of 8 bytes per argument word.
using StubWithResult = int32_t (*)(uintptr_t env, uint32_t cls, const uint64_t* args,
                                   uint64_t* result);
using StubNoResult = int32_t (*)(uintptr_t env, uint32_t cls, const uint64_t* args);

}  // namespace kelvor::host

// The host operations. Every one takes env first. Raising operations set the thread's pending
// exception; a host may also unwind from them, so compiled code calls them only as its last act.
#define KELCORE_HOST_OPERATIONS(X)                                                               \
  /* stack */                                                                                    \
  X(void, hostRaiseStackOverflow, (uintptr_t env))                                               \
  /* references: decode a field of an object tagged 2; encode one stored into it; record a  */   \
  /* store of a reference whose tags are lower than the object's; address of a paged field  */   \
  X(uint32_t, hostLoadRef, (uintptr_t env, uint32_t obj, uint32_t offset))                       \
  X(uint32_t, hostResolveRef, (uintptr_t env, uint32_t obj, uint32_t raw))                       \
  X(uint32_t, hostEncodeRef, (uintptr_t env, uint32_t obj, uint32_t ref))                        \
  X(void, hostRecordStore, (uintptr_t env, uint32_t obj, uint32_t offset))                       \
  X(void*, hostPagedAddress, (uintptr_t env, uint32_t obj, uint32_t offset))                     \
  /* classes */                                                                                  \
  X(uint32_t, hostResolveClass,                                                                  \
    (uintptr_t env, uintptr_t frame, uint32_t cls, int32_t cpIndex, int32_t slot))               \
  X(uint32_t, hostClassConstant, (uintptr_t env, uint32_t cls, int32_t cpIndex))                 \
  X(uint32_t, hostConstant, (uintptr_t env, uint32_t cls, int32_t cpIndex))                      \
  X(uint32_t, hostWellKnownClass, (uintptr_t env, int32_t which))                                \
  /* statics */                                                                                  \
  X(int32_t, hostGetStaticInt, (uintptr_t env, uint32_t cls, int32_t cpIndex, int32_t slot))     \
  X(uint32_t, hostGetStaticRef, (uintptr_t env, uint32_t cls, int32_t cpIndex, int32_t slot))    \
  X(void, hostSetStaticInt,                                                                      \
    (uintptr_t env, uint32_t cls, int32_t cpIndex, int32_t slot, int32_t value))                 \
  X(void, hostSetStaticRef,                                                                      \
    (uintptr_t env, uint32_t cls, int32_t cpIndex, int32_t slot, uint32_t value))                \
  /* creation: zeroed objects */                                                                 \
  X(uint32_t, hostNewInstance, (uintptr_t env, uint32_t cls, int32_t cpIndex))                   \
  X(uint32_t, hostNewInstanceOf, (uintptr_t env, uint32_t classRef))                             \
  X(uint32_t, hostNewObjectArray, (uintptr_t env, uint32_t elementClass, int32_t length))        \
  X(uint32_t, hostNewPrimitiveArray, (uintptr_t env, int32_t elementCode, int32_t length))       \
  X(uint32_t, hostNewWordArray, (uintptr_t env, int32_t length))                                 \
  /* calls */                                                                                    \
  X(uintptr_t, hostResolveStaticMethod,                                                          \
    (uintptr_t env, uint32_t cls, int32_t cpIndex, uint32_t* declaringClass))                    \
  X(uintptr_t, hostResolveVirtualMethod,                                                         \
    (uintptr_t env, uint32_t receiverClass, uint32_t cls, int32_t cpIndex,                       \
     uint32_t* declaringClass))                                                                  \
  X(uintptr_t, hostResolveInterfaceMethod,                                                       \
    (uintptr_t env, uint32_t receiverClass, uint32_t cls, int32_t cpIndex,                       \
     uint32_t* declaringClass))                                                                  \
  X(int32_t, hostHasNativeCode, (uintptr_t env, uintptr_t method))                               \
  X(int32_t, hostNativeCodeIndex, (uintptr_t env, uintptr_t method))                             \
  X(uintptr_t, hostNativeCodeEntry, (uintptr_t env, uint32_t declaringClass, int32_t index))     \
  X(int32_t, hostInvoke,                                                                         \
    (uintptr_t env, uintptr_t method, const uint8_t* kinds, const uint64_t* args,                \
     uint64_t* result))                                                                          \
  X(void, hostShiftInlineCache, (uintptr_t env, uintptr_t* cache))                               \
  /* errors */                                                                                   \
  X(void, hostThrow, (uintptr_t env, uint32_t exception))                                        \
  X(void, hostRaiseNullPointer, (uintptr_t env))                                                 \
  X(void, hostRaiseIndexOutOfBounds, (uintptr_t env))                                            \
  X(void, hostAbstractMethodError, (uintptr_t env, uint32_t cls))                                \
  X(void, hostNoSuchMethodError, (uintptr_t env, uint32_t cls))                                  \
  X(uint32_t, hostCheckCast, (uintptr_t env, uint32_t obj, uint32_t cls))                        \
  X(int32_t, hostInstanceOf, (uintptr_t env, uint32_t obj, uint32_t cls))                        \
  /* arrays: element access with the store check */                                              \
  X(uint32_t, hostArrayLoadRef, (uintptr_t env, uint32_t array, int32_t index))                  \
  X(void, hostArrayStoreRef, (uintptr_t env, uint32_t array, int32_t index, uint32_t value))     \
  /* arithmetic */                                                                               \
  X(int32_t, hostDivInt, (uintptr_t env, int32_t a, int32_t b))                                  \
  X(int32_t, hostRemInt, (uintptr_t env, int32_t a, int32_t b))                                  \
  /* regions */                                                                                  \
  X(void, hostPushHandlerFrame, (uintptr_t env, void* handler))                                  \
  X(void, hostPopHandlerFrame, (uintptr_t env))                                                  \
  X(void, hostResetHandlerStack, (uintptr_t env, void* handler))                                 \
  X(void, hostMonitorEnter, (uintptr_t env, uint32_t obj))                                       \
  X(void, hostMonitorExit, (uintptr_t env, uint32_t obj))                                        \
  X(void, hostMonitorExitHandler, (uintptr_t env, uint32_t obj))

// The operations the binding itself calls; buildMethodStubPairs refuses to bind without any.
#define KELCORE_HOST_OPERATIONS_USED(X)                                                          \
  X(hostRaiseStackOverflow) X(hostLoadRef) X(hostEncodeRef) X(hostRecordStore)                   \
  X(hostPagedAddress) X(hostClassConstant) X(hostNewInstanceOf) X(hostNewObjectArray)            \
  X(hostNewPrimitiveArray) X(hostNewWordArray) X(hostThrow) X(hostRaiseNullPointer)              \
  X(hostRaiseIndexOutOfBounds) X(hostAbstractMethodError) X(hostArrayLoadRef)                    \
  X(hostArrayStoreRef) X(hostInstanceOf) X(hostResolveClass) X(hostWellKnownClass)                \
  X(hostGetStaticInt) X(hostGetStaticRef) X(hostSetStaticInt) X(hostSetStaticRef)                 \
  X(hostResolveStaticMethod) X(hostResolveVirtualMethod) X(hostResolveInterfaceMethod)            \
  X(hostHasNativeCode) X(hostNativeCodeIndex) X(hostNativeCodeEntry) X(hostInvoke)                \
  X(hostShiftInlineCache)

#define KELCORE_DECLARE_HOST_OPERATION(ret, name, params) \
  __attribute__((weak, visibility("default"))) ret name params;
extern "C" {
KELCORE_HOST_OPERATIONS(KELCORE_DECLARE_HOST_OPERATION)
}
#undef KELCORE_DECLARE_HOST_OPERATION
