#include "jni/JniRaise.h"

#include <exception>
#include <new>

#include "driver/DriverException.h"
#include "jni/JniClasses.h"
#include "jni/JniValues.h"
#include "lang/Exceptions.h"

namespace kelvor::jni {

namespace {

void throwNew(JNIEnv* env, jclass cls, const char* message) noexcept {
  if (env->ExceptionCheck()) return;
  env->ThrowNew(cls, message);
}

void throwDriver(JNIEnv* env, const jdbc::DriverException& e) noexcept {
  const JniClasses& c = classes();
  jobject offending = nullptr;
  try {
    offending = JniValues::toJava(env, e.offendingValue().get());
  } catch (...) {
    env->ExceptionClear();  // the error itself matters more than its value
    offending = nullptr;
  }
  jstring text = env->NewStringUTF("");
  try {
    text = JniValues::newString(env, e.what());
  } catch (...) {
    env->ExceptionClear();
  }
  auto ex = static_cast<jthrowable>(
      env->NewObject(c.driverException, c.driverExceptionNew, text, e.code(), offending));
  if (ex != nullptr) env->Throw(ex);
}

}  // namespace

void JniRaise::pending(JNIEnv* env) noexcept {
  const JniClasses& c = classes();
  try {
    throw;
  } catch (const JavaExceptionPending&) {
    if (!env->ExceptionCheck()) throwNew(env, c.runtime, "Java call failed");
  } catch (const jdbc::DriverException& e) {
    throwDriver(env, e);
  } catch (const lang::NullPointerException& e) {
    throwNew(env, c.nullPointer, e.what());
  } catch (const lang::IndexOutOfBoundsException& e) {
    throwNew(env, c.indexOutOfBounds, e.what());
  } catch (const lang::ClassCastException& e) {
    throwNew(env, c.classCast, e.what());
  } catch (const lang::NegativeArraySizeException& e) {
    throwNew(env, c.negativeArraySize, e.what());
  } catch (const lang::IllegalArgumentException& e) {
    throwNew(env, c.illegalArgument, e.what());
  } catch (const lang::IllegalStateException& e) {
    throwNew(env, c.illegalState, e.what());
  } catch (const lang::ArithmeticException& e) {
    throwNew(env, c.arithmetic, e.what());
  } catch (const lang::IOException& e) {
    throwNew(env, c.ioException, e.what());
  } catch (const std::bad_alloc&) {
    throwNew(env, c.outOfMemory, "out of memory");
  } catch (const std::exception& e) {
    throwNew(env, c.runtime, e.what());
  } catch (...) {
    throwNew(env, c.runtime, "unknown failure");
  }
}

}  // namespace kelvor::jni
