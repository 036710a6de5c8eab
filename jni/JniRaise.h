// Failure translation at the JNI edge. A native runs its C++ callee inside a try block; whatever
// the callee threw becomes a Java exception as the native's last act, after every C++ object of
// the call is gone: a driver error becomes kelvor.jdbc.DriverException with its code and
// offending value, a platform failure Java's own exception of the same name (the same mapping
// the class binding gives its host). A Java exception already pending (raised by a Java
// connection service the library called) passes through untouched.
#pragma once

#include <jni.h>

#include <type_traits>

namespace kelvor::jni {

// Thrown by the JNI layer when a Java call left its exception pending.
struct JavaExceptionPending {};

class JniRaise {
 public:
  // Turns the exception being handled into the pending Java exception. Call only inside a
  // handler. Never throws.
  static void pending(JNIEnv* env) noexcept;
  // Throws JavaExceptionPending when a Java exception is pending.
  static void check(JNIEnv* env) {
    if (env->ExceptionCheck()) throw JavaExceptionPending{};
  }

  JniRaise() = delete;
};

// The adapter of every native: runs `F` and turns what it throws into the Java exception.
template <auto F>
struct Guarded;
template <typename R, typename... A, R (*F)(JNIEnv*, A...)>
struct Guarded<F> {
  static R JNICALL call(JNIEnv* env, A... args) noexcept {
    try {
      return F(env, args...);
    } catch (...) {
      JniRaise::pending(env);
    }
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

}  // namespace kelvor::jni
