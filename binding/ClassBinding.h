// The machinery that turns one declarative table per class into everything a host binds: the
// compiled-method adapters, the invoker stubs, the code table, the method-stub pairs, the
// frame-record method identifiers and the virtual positions.
//
// A class's table (binding/classes/<Class>Binding.cpp) declares each method once:
//
//   KELCORE_METHOD(3, "getTypeCode", Instance, "R", 'I', 8,
//                  [](KelvorTypeBLOB& self) { return self.getTypeCode(); })
//
// index in method-table order; name; kind (Instance, Static, Ctor, Clinit, Abstract); the
// argument slot kinds, one letter per 32-bit word, receiver included (R reference, P primitive,
// a long PP); the result ('V' none, 'I' int, 'J' long, 'L' reference); the virtual position
// (NONE for private, static and constructor methods); and the C++ callee. An instance callee
// takes the receiver first as a reference; a constructor callee takes the arguments after the
// receiver and returns the new object. The slot kinds and result are checked at compile time
// against the callee's parameter and result types, so the table cannot drift from the code.
//
// Then KELCORE_BIND_CLASS(Class, N, linkTableSize, "fingerprint hex") defines the exported
// entry function and checks that the table has exactly N methods, indexes 0..N-1, and that the
// pairs of every virtual position fit the link table.
//
// Callee parameter types and their words: int32_t, int16_t, int8_t, bool, char16_t (one P
// word); int64_t (PP, low word first); T& (R, never null: a null raises the null-reference
// failure); T* and Ref<T> (R, may be null) for the 22 classes and any driver or platform class;
// lang::Object* (any host value: bridged object, string or array, copied); const PrimitiveArray<E>*
// and Ref<PrimitiveArray<E>> (copied in); PrimitiveArray<E>* (copied in and back after the
// call); const std::string& (a host string, never null). Results: void; integral (int word);
// int64_t (long); any object pointer or Ref, std::string and std::optional<std::string>
// (reference).
//
// Every adapter lays its frame record, checks the stack limit before any work (raising 62
// through hostRaiseStackOverflow), publishes its frame as the thread's current compiled frame,
// runs the callee, and turns whatever the callee threw into the host's exception as its last
// act, after every C++ object of the call has been destroyed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/Bridge.h"
#include "host/HostInterface.h"
#include "lang/Array.h"
#include "lang/Ref.h"
#include "lang/String.h"

namespace kelvor::binding {

enum class MethodKind { Instance, Static, Ctor, Clinit, Abstract };
inline constexpr int32_t NONE = -1;

// ---- raising --------------------------------------------------------------------------------

// What the adapter raises once the C++ side of the call is gone. Plain data only.
struct PendingRaise {
  enum Kind : int32_t { None, AlreadyPending, StackOverflow, NullPointer, IndexOutOfBounds, Throw };
  Kind kind = None;
  uint32_t exception = 0;  // Throw: the host exception object
};
// Classifies the exception being handled and builds its host object. Call only inside a
// handler. Never throws.
PendingRaise prepareRaise(uintptr_t env, uint32_t cls) noexcept;
// Raises through the host. The adapter's last act.
void deliverRaise(uintptr_t env, PendingRaise raise) noexcept;
// True when every host operation the binding calls is present.
bool hostOperationsPresent() noexcept;

// ---- argument words -------------------------------------------------------------------------

template <typename T>
struct IsPrimitiveArray : std::false_type {};
template <typename E>
struct IsPrimitiveArray<lang::PrimitiveArray<E>> : std::true_type {
  using element = E;
};
template <typename T>
struct IsRef : std::false_type {};
template <typename T>
struct IsRef<Ref<T>> : std::true_type {
  using type = T;
};

template <typename T, typename = void>
struct Arg;

// Primitive words.
template <typename T>
struct Arg<T, std::enable_if_t<std::is_integral_v<T> && sizeof(T) <= 4>> {
  static constexpr int words = 1;
  static constexpr char slots[] = "P";
  T value;
  Arg(const Bridge&, const uint32_t* w) : value(static_cast<T>(w[0])) {}
  T get() { return value; }
  void done(const Bridge&, const uint32_t*) {}
};
template <>
struct Arg<bool> {
  static constexpr int words = 1;
  static constexpr char slots[] = "P";
  bool value;
  Arg(const Bridge&, const uint32_t* w) : value(w[0] != 0) {}
  bool get() { return value; }
  void done(const Bridge&, const uint32_t*) {}
};
template <>
struct Arg<int64_t> {
  static constexpr int words = 2;
  static constexpr char slots[] = "PP";
  int64_t value;
  Arg(const Bridge&, const uint32_t* w)
      : value(static_cast<int64_t>((uint64_t{w[1]} << 32) | w[0])) {}
  int64_t get() { return value; }
  void done(const Bridge&, const uint32_t*) {}
};

// Object references.
template <typename T>
struct ObjectArg {
  static constexpr int words = 1;
  static constexpr char slots[] = "R";
};

// T& : never null.
template <typename T>
struct Arg<T&, std::enable_if_t<std::is_base_of_v<lang::Object, std::remove_cv_t<T>> &&
                                !IsPrimitiveArray<std::remove_cv_t<T>>::value>>
    : ObjectArg<T> {
  std::remove_cv_t<T>* p;
  Arg(const Bridge& b, const uint32_t* w) : p(b.instance<std::remove_cv_t<T>>(w[0])) {
    if (p == nullptr) lang::throwNullPointer("reference argument");
  }
  T& get() { return *p; }
  void done(const Bridge&, const uint32_t*) {}
};
// T* : may be null. Objects of the 22 classes and driver classes by handle.
template <typename T>
struct Arg<T*, std::enable_if_t<std::is_base_of_v<lang::Object, std::remove_cv_t<T>> &&
                                !IsPrimitiveArray<std::remove_cv_t<T>>::value &&
                                !std::is_same_v<std::remove_cv_t<T>, lang::Object>>>
    : ObjectArg<T> {
  std::remove_cv_t<T>* p;
  Arg(const Bridge& b, const uint32_t* w) : p(b.instance<std::remove_cv_t<T>>(w[0])) {}
  T* get() { return p; }
  void done(const Bridge&, const uint32_t*) {}
};
template <typename T>
struct Arg<Ref<T>, std::enable_if_t<!IsPrimitiveArray<T>::value && !std::is_same_v<T, lang::Object>>>
    : ObjectArg<T> {
  Ref<T> p;
  Arg(const Bridge& b, const uint32_t* w) : p(b.instance<T>(w[0])) {}
  Ref<T> get() { return p; }
  void done(const Bridge&, const uint32_t*) {}
};
template <typename T>
struct Arg<const Ref<T>&> : Arg<Ref<T>> {
  using Arg<Ref<T>>::Arg;
  const Ref<T>& get() { return this->p; }
};
// Any host value.
template <typename T>
struct Arg<T*, std::enable_if_t<std::is_same_v<std::remove_cv_t<T>, lang::Object>>>
    : ObjectArg<T> {
  Ref<lang::Object> p;
  Arg(const Bridge& b, const uint32_t* w) : p(b.object(w[0])) {}
  T* get() { return p.get(); }
  void done(const Bridge&, const uint32_t*) {}
};
// Primitive arrays: copied in; a non-const pointer is copied back.
template <typename A>
struct Arg<A*, std::enable_if_t<IsPrimitiveArray<std::remove_cv_t<A>>::value>> : ObjectArg<A> {
  using E = typename IsPrimitiveArray<std::remove_cv_t<A>>::element;
  Ref<lang::PrimitiveArray<E>> p;
  Arg(const Bridge& b, const uint32_t* w) : p(b.array<E>(w[0])) {}
  A* get() { return p.get(); }
  void done(const Bridge& b, const uint32_t* w) {
    if constexpr (!std::is_const_v<A>) {
      if (p) b.copyBack(w[0], *p);
    }
  }
};
template <typename E>
struct Arg<Ref<lang::PrimitiveArray<E>>> : ObjectArg<E> {
  Ref<lang::PrimitiveArray<E>> p;
  Arg(const Bridge& b, const uint32_t* w) : p(b.array<E>(w[0])) {}
  Ref<lang::PrimitiveArray<E>> get() { return p; }
  void done(const Bridge&, const uint32_t*) {}
};
// Strings.
template <>
struct Arg<const std::string&> : ObjectArg<std::string> {
  Ref<lang::String> p;
  Arg(const Bridge& b, const uint32_t* w) : p(b.string(w[0])) {
    if (!p) lang::throwNullPointer("string argument");
  }
  const std::string& get() { return p->value(); }
  void done(const Bridge&, const uint32_t*) {}
};

// ---- results --------------------------------------------------------------------------------

template <typename R, typename = void>
struct Result;
template <>
struct Result<void> {
  static constexpr char kind = 'V';
  using Word = void;
};
template <typename R>
struct Result<R, std::enable_if_t<std::is_integral_v<R> && sizeof(R) <= 4>> {
  static constexpr char kind = 'I';
  using Word = uint32_t;
  static uint32_t toHost(const Bridge&, R r) { return static_cast<uint32_t>(static_cast<int32_t>(r)); }
};
template <>
struct Result<int64_t> {
  static constexpr char kind = 'J';
  using Word = uint64_t;
  static uint64_t toHost(const Bridge&, int64_t r) { return static_cast<uint64_t>(r); }
};
template <typename R>
struct Result<R, std::enable_if_t<std::is_pointer_v<R> || IsRef<R>::value>> {
  static constexpr char kind = 'L';
  using Word = uint32_t;
  static uint32_t toHost(const Bridge& b, const R& r) {
    if constexpr (std::is_pointer_v<R>) {
      return b.toHost(static_cast<const lang::Object*>(r));
    } else {
      return b.toHost(static_cast<const lang::Object*>(r.get()));
    }
  }
};
template <>
struct Result<std::string> {
  static constexpr char kind = 'L';
  using Word = uint32_t;
  static uint32_t toHost(const Bridge& b, const std::string& r) { return b.toHost(std::string_view(r)); }
};
template <>
struct Result<std::optional<std::string>> {
  static constexpr char kind = 'L';
  using Word = uint32_t;
  static uint32_t toHost(const Bridge& b, const std::optional<std::string>& r) {
    return r ? b.toHost(std::string_view(*r)) : 0;
  }
};

// ---- callee signatures ----------------------------------------------------------------------

template <typename F>
struct Callee : Callee<decltype(&F::operator())> {};
template <typename C, typename R, typename... A>
struct Callee<R (C::*)(A...) const> {
  using Ret = std::remove_cvref_t<R>;
  using Args = std::tuple<A...>;
  static constexpr int arity = sizeof...(A);
  static constexpr int words = (0 + ... + Arg<A>::words);
};

template <typename... A>
struct WordOffsets {
  static constexpr std::array<int, sizeof...(A) + 1> value = [] {
    std::array<int, sizeof...(A) + 1> o{};
    const int w[] = {Arg<A>::words..., 0};
    for (size_t i = 0; i < sizeof...(A); ++i) o[i + 1] = o[i] + w[i];
    return o;
  }();
};

// The slot kinds a callee's types give, as a string (the receiver word first for constructors).
template <bool receiver, typename Tuple>
struct SlotString;
template <bool receiver, typename... A>
struct SlotString<receiver, std::tuple<A...>> {
  static constexpr int length = (receiver ? 1 : 0) + (0 + ... + Arg<A>::words);
  static constexpr std::array<char, length + 1> value = [] {
    std::array<char, length + 1> s{};
    int at = 0;
    if (receiver) s[at++] = 'R';
    ((s[at] = Arg<A>::slots[0], at += 1, Arg<A>::words == 2 ? (s[at++] = 'P', 0) : 0), ...);
    s[length] = 0;
    return s;
  }();
};

constexpr bool sameText(const char* a, const char* b) {
  while (*a != 0 && *a == *b) ++a, ++b;
  return *a == *b;
}

template <typename W>
using WordOf = uint32_t;

// ---- one method -----------------------------------------------------------------------------

// M: the method's table entry (KELCORE_METHOD); Id: its frame-record identifier.
template <typename M, uintptr_t Id>
struct MethodBinding {
  using F = std::remove_cv_t<decltype(M::fn)>;
  using Sig = Callee<F>;
  using Ret = std::conditional_t<M::kind == MethodKind::Ctor, void, typename Sig::Ret>;
  using HostWord = typename Result<Ret>::Word;
  static constexpr bool hasReceiverWord = M::kind == MethodKind::Ctor;
  static constexpr int words = Sig::words + (hasReceiverWord ? 1 : 0);
  using Slots = SlotString<hasReceiverWord, typename Sig::Args>;

  static_assert(sameText(Slots::value.data(), M::slots),
                "the slot kinds of the table differ from the callee's parameter types");
  static_assert(Result<Ret>::kind == M::result,
                "the result kind of the table differs from the callee's result type");
  static_assert(M::kind != MethodKind::Ctor || IsRef<typename Sig::Ret>::value,
                "a constructor callee returns the new object");

  static constexpr bool isRefWord(int i) { return Slots::value[static_cast<size_t>(i)] == 'R'; }

  // The compiled method's body behind the prologue.
  static HostWord body(const Bridge& b, const uint32_t* w) { return call(b, w, std::make_index_sequence<Sig::arity>{}); }

  template <size_t... I>
  static HostWord call(const Bridge& b, const uint32_t* w, std::index_sequence<I...>) {
    using Args = typename Sig::Args;
    constexpr auto& off = WordOffsets<std::tuple_element_t<I, Args>...>::value;
    constexpr int first = hasReceiverWord ? 1 : 0;
    if constexpr (M::kind == MethodKind::Ctor) {
      using T = typename IsRef<typename Sig::Ret>::type;
      const uint32_t self = w[0];
      if (self == 0) lang::throwNullPointer("receiver");
      if (!b.isBlank(self)) {
        // The C++ constructor built the whole object, its base classes' parts included, so a
        // base constructor chained onto an object of this class has nothing left to do.
        static_cast<void>(b.template instance<T>(self));
        return;
      }
      Ref<T> made;
      {
        std::tuple<Arg<std::tuple_element_t<I, Args>>...> args{
            Arg<std::tuple_element_t<I, Args>>(b, w + first + off[I])...};
        made = M::fn(std::get<I>(args).get()...);
      }
      b.bindInstance(self, made.get(), PackageKind<T>::kind);
    } else {
      std::tuple<Arg<std::tuple_element_t<I, Args>>...> args{
          Arg<std::tuple_element_t<I, Args>>(b, w + first + off[I])...};
      if constexpr (std::is_void_v<Ret>) {
        M::fn(std::get<I>(args).get()...);
        (std::get<I>(args).done(b, w + first + off[I]), ...);
      } else {
        decltype(auto) r = M::fn(std::get<I>(args).get()...);
        (std::get<I>(args).done(b, w + first + off[I]), ...);
        return Result<Ret>::toHost(b, r);
      }
    }
  }

  static HostWord run(uintptr_t env, uintptr_t callerFrame, uint32_t cls, const uint32_t* w) {
    host::ThreadContext* ctx = host::contextOf(env);
    host::FrameRecord frame{Id, callerFrame, cls};
    if (reinterpret_cast<uintptr_t>(&frame) < ctx->stackLimit) [[unlikely]] {
      ctx->currentCompiledFrame = callerFrame;
      hostRaiseStackOverflow(env);
      return HostWord();
    }
    ctx->currentCompiledFrame = reinterpret_cast<uintptr_t>(&frame);
    if constexpr (M::kind == MethodKind::Abstract) {
      hostAbstractMethodError(env, cls);
      return HostWord();
    } else {
      PendingRaise raise;
      if constexpr (std::is_void_v<HostWord>) {
        try {
          body(Bridge(env, ctx, cls), w);
        } catch (...) {
          raise = prepareRaise(env, cls);
        }
        if (raise.kind != PendingRaise::None) [[unlikely]] deliverRaise(env, raise);
        return;
      } else {
        HostWord out{};
        try {
          out = body(Bridge(env, ctx, cls), w);
        } catch (...) {
          raise = prepareRaise(env, cls);
        }
        if (raise.kind != PendingRaise::None) [[unlikely]] {
          deliverRaise(env, raise);
          return HostWord();
        }
        return out;
      }
    }
  }

  // The compiled method: method(env, callerFrame, cls, words...), and its invoker stub.
  template <typename Seq>
  struct Entry;
  template <size_t... I>
  struct Entry<std::index_sequence<I...>> {
    static HostWord method(uintptr_t env, uintptr_t callerFrame, uint32_t cls,
                           WordOf<std::integral_constant<size_t, I>>... w) {
      const uint32_t words[sizeof...(I) + 1] = {w..., 0};
      return run(env, callerFrame, cls, words);
    }
    // Slot i holds word i: a primitive in bytes 0-3, a reference in bytes 4-7.
    static uint32_t slot(const uint64_t* args, int i, bool ref) {
      uint32_t v;
      std::memcpy(&v, reinterpret_cast<const char*>(args) + 8 * i + (ref ? 4 : 0), 4);
      return v;
    }
    static int32_t stub(uintptr_t env, uint32_t cls, const uint64_t* args, uint64_t* result) {
      host::ThreadContext* ctx = host::contextOf(env);
      const uintptr_t caller = ctx->currentHostFrame;
      if constexpr (std::is_void_v<HostWord>) {
        method(env, caller, cls, slot(args, static_cast<int>(I), isRefWord(static_cast<int>(I)))...);
      } else {
        const HostWord r =
            method(env, caller, cls, slot(args, static_cast<int>(I), isRefWord(static_cast<int>(I)))...);
        if constexpr (Result<Ret>::kind == 'J') {
          result[0] = r & 0xFFFFFFFFu;  // (low word, 0)
          result[1] = r >> 32;          // (high word, 0)
        } else if constexpr (Result<Ret>::kind == 'L') {
          result[0] = uint64_t{r} << 32;  // (0, reference)
        } else {
          result[0] = r;  // (int, 0)
        }
      }
      return ctx->pendingException != 0 ? 1 : 0;
    }
    static int32_t stubNoResult(uintptr_t env, uint32_t cls, const uint64_t* args) {
      return stub(env, cls, args, nullptr);
    }
  };
  using Code = Entry<std::make_index_sequence<static_cast<size_t>(words)>>;

  static void* methodAddress() { return reinterpret_cast<void*>(&Code::method); }
  static void* stubAddress() {
    if constexpr (std::is_void_v<HostWord>) {
      return reinterpret_cast<void*>(&Code::stubNoResult);
    } else {
      return reinterpret_cast<void*>(&Code::stub);
    }
  }
};

// ---- one class ------------------------------------------------------------------------------

constexpr uint8_t hexDigit(char c) {
  return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
}

template <template <int> class Method, int N>
struct MethodIds {
  static constexpr bool isStatic(MethodKind k) {
    return k == MethodKind::Static || k == MethodKind::Clinit;
  }
  // 4k+1 for the k-th instance method or constructor, 4k+3 for the k-th static method.
  template <int I>
  static constexpr uintptr_t id() {
    return []<int... J>(std::integer_sequence<int, J...>) {
      const bool statics[] = {isStatic(Method<J>::kind)..., false};
      int k = 0;
      for (int j = 0; j < I; ++j) k += statics[j] == statics[I] ? 1 : 0;
      return static_cast<uintptr_t>(4 * k + (statics[I] ? 3 : 1));
    }(std::make_integer_sequence<int, N>{});
  }
};

template <template <int> class Method, int N, int LinkSize, const char* Fingerprint,
          const host::ClassCodeDescriptor* (*EntryFn)()>
struct ClassBinding {
  template <int... I>
  static constexpr bool indexesInOrder(std::integer_sequence<int, I...>) {
    return ((Method<I>::index == I) && ...);
  }
  template <int... I>
  static constexpr int highestPosition(std::integer_sequence<int, I...>) {
    int h = -1;
    ((h = Method<I>::position > h ? Method<I>::position : h), ...);
    return h;
  }
  using Seq = std::make_integer_sequence<int, N>;
  static_assert(indexesInOrder(Seq{}), "the methods are not numbered 0..N-1 in table order");
  static_assert(2 * (highestPosition(Seq{}) + 1) <= LinkSize,
                "the virtual positions do not fit the link table");
  static_assert(sameText(Fingerprint, Fingerprint) && [] {
    int n = 0;
    while (Fingerprint[n] != 0) ++n;
    return n == 32;
  }(), "a fingerprint is 16 bytes");

  template <int I>
  using At = MethodBinding<Method<I>, MethodIds<Method, N>::template id<I>()>;

  template <int... I>
  static void* const* codeTable(std::integer_sequence<int, I...>) {
    static void* const table[N + 2] = {reinterpret_cast<void*>(EntryFn), At<I>::methodAddress()...,
                                       nullptr};
    return table;
  }
  template <int... I>
  static void* const* stubTable(std::integer_sequence<int, I...>) {
    static void* const table[N + 1] = {At<I>::stubAddress()..., nullptr};
    return table;
  }

  static void* const* getCodeTable() { return codeTable(Seq{}); }
  static const uint8_t* getFingerprint() {
    static constexpr std::array<uint8_t, 16> bytes = [] {
      std::array<uint8_t, 16> b{};
      for (int i = 0; i < 16; ++i) {
        b[static_cast<size_t>(i)] =
            static_cast<uint8_t>(hexDigit(Fingerprint[2 * i]) << 4 | hexDigit(Fingerprint[2 * i + 1]));
      }
      return b;
    }();
    return bytes.data();
  }
  static int32_t getLinkTableSize() { return LinkSize; }
  // 2N native words: (entry of method i, stub of method i), through the host's allocator.
  static uint32_t buildMethodStubPairs(uintptr_t env) {
    if (!hostOperationsPresent()) return 0;
    const uint32_t array = hostNewWordArray(env, 2 * N);
    if (array == 0) return 0;
    host::ThreadContext* ctx = host::contextOf(env);
    const HostMemory memory(env, ctx);
    void* const* code = getCodeTable() + 1;
    void* const* stubs = stubTable(Seq{});
    for (uint32_t i = 0; i < N; ++i) {
      const auto entry = reinterpret_cast<uintptr_t>(code[i]);
      const auto stub = reinterpret_cast<uintptr_t>(stubs[i]);
      std::memcpy(memory.address(array, host::OFFSET_ELEMENTS + 16 * i), &entry, sizeof entry);
      std::memcpy(memory.address(array, host::OFFSET_ELEMENTS + 16 * i + 8), &stub, sizeof stub);
    }
    return array;
  }
  static const host::ClassCodeDescriptor* descriptor() {
    static constexpr host::ClassCodeDescriptor d{&getCodeTable, &getFingerprint,
                                                 &getLinkTableSize, &buildMethodStubPairs};
    return &d;
  }
};

}  // namespace kelvor::binding

// One entry of a class's table; see the top of this file.
#define KELCORE_METHOD(Idx, Name, Kind, Slots, ResultKind, Position, ...)  \
  template <>                                                               \
  struct Method<Idx> {                                                      \
    static constexpr int index = Idx;                                       \
    static constexpr const char* name = Name;                               \
    static constexpr ::kelvor::binding::MethodKind kind =                   \
        ::kelvor::binding::MethodKind::Kind;                                \
    static constexpr const char* slots = Slots;                             \
    static constexpr char result = ResultKind;                              \
    static constexpr int position = Position;                               \
    static constexpr auto fn = __VA_ARGS__;                                 \
  };

#define KELCORE_ENTRY_NAME(Class) jtcentry_e2b24ceb2b_kelvor_jdbc_kelcore_##Class

// The exported entry function of a class whose table is `Method<0..N-1>` in this file.
#define KELCORE_BIND_CLASS(Class, N, LinkSize, FingerprintHex)                                \
  extern "C" __attribute__((visibility("default"))) const ::kelvor::host::ClassCodeDescriptor* \
  KELCORE_ENTRY_NAME(Class)();                                                                \
  namespace {                                                                                 \
  constexpr char kFingerprint[] = FingerprintHex;                                             \
  using Binding = ::kelvor::binding::ClassBinding<Method, N, LinkSize, kFingerprint,          \
                                                  &KELCORE_ENTRY_NAME(Class)>;                \
  }                                                                                           \
  extern "C" const ::kelvor::host::ClassCodeDescriptor* KELCORE_ENTRY_NAME(Class)() {         \
    return Binding::descriptor();                                                             \
  }
