// Exception translation at the adapters' boundary: every C++ exception becomes the host's.
#include <exception>
#include <new>
#include <string>

#include "binding/Bridge.h"
#include "binding/ClassBinding.h"
#include "driver/DriverException.h"
#include "lang/Exceptions.h"

namespace kelvor::binding {

namespace {

// A host exception object of pool class `pool` with the given message, code and value.
uint32_t hostException(const Bridge& b, int32_t pool, const char* message, int32_t code,
                       const lang::Object* offending) {
  const uint32_t text = b.toHost(std::string_view(message));
  const uint32_t value = b.toHost(offending);
  const uint32_t e = b.newInstance(pool);
  b.write32(e, host::FIELD_ERROR_CODE, static_cast<uint32_t>(code));
  b.writeRef(e, host::FIELD_OFFENDING, value);
  b.writeRef(e, host::FIELD_MESSAGE, text);
  return e;
}

PendingRaise thrown(const Bridge& b, int32_t pool, const char* message, int32_t code = 0,
                    const lang::Object* offending = nullptr) {
  return {PendingRaise::Throw, hostException(b, pool, message, code, offending)};
}

}  // namespace

PendingRaise prepareRaise(uintptr_t env, uint32_t cls) noexcept {
  const Bridge b(env, host::contextOf(env), cls);
  try {
    try {
      throw;
    } catch (const HostExceptionPending&) {
      return {PendingRaise::AlreadyPending, 0};
    } catch (const jdbc::DriverException& e) {
      // The nesting bound and the host's own stack check look the same to the host.
      if (e.code() == jdbc::DriverException::ERR_STACK_OVERFLOW) return {PendingRaise::StackOverflow, 0};
      return thrown(b, host::POOL_DRIVER_EXCEPTION, e.what(), e.code(), e.offendingValue().get());
    } catch (const lang::NullPointerException&) {
      return {PendingRaise::NullPointer, 0};
    } catch (const lang::IndexOutOfBoundsException&) {
      return {PendingRaise::IndexOutOfBounds, 0};
    } catch (const lang::ClassCastException& e) {
      return thrown(b, host::POOL_CLASS_CAST_EXCEPTION, e.what());
    } catch (const lang::NegativeArraySizeException& e) {
      return thrown(b, host::POOL_NEGATIVE_ARRAY_SIZE_EXCEPTION, e.what());
    } catch (const lang::IllegalArgumentException& e) {
      return thrown(b, host::POOL_ILLEGAL_ARGUMENT_EXCEPTION, e.what());
    } catch (const lang::ArithmeticException& e) {
      return thrown(b, host::POOL_ARITHMETIC_EXCEPTION, e.what());
    } catch (const lang::IOException& e) {
      return thrown(b, host::POOL_IO_EXCEPTION, e.what());
    } catch (const std::bad_alloc&) {
      return thrown(b, host::POOL_OUT_OF_MEMORY_ERROR, "out of memory");
    } catch (const std::exception& e) {
      return thrown(b, host::POOL_RUNTIME_EXCEPTION, e.what());
    } catch (...) {
      return thrown(b, host::POOL_RUNTIME_EXCEPTION, "unknown failure");
    }
  } catch (...) {
    // Building the host exception failed; the host left its own failure pending, or, if it did
    // not, the call still must not return as if it succeeded.
    if (host::contextOf(env)->pendingException != 0) return {PendingRaise::AlreadyPending, 0};
    return {PendingRaise::NullPointer, 0};
  }
}

void deliverRaise(uintptr_t env, PendingRaise raise) noexcept {
  switch (raise.kind) {
    case PendingRaise::None:
    case PendingRaise::AlreadyPending:
      return;
    case PendingRaise::StackOverflow:
      hostRaiseStackOverflow(env);
      return;
    case PendingRaise::NullPointer:
      hostRaiseNullPointer(env);
      return;
    case PendingRaise::IndexOutOfBounds:
      hostRaiseIndexOutOfBounds(env);
      return;
    case PendingRaise::Throw:
      hostThrow(env, raise.exception);
      return;
  }
}

bool hostOperationsPresent() noexcept {
  bool present = true;
#define KELCORE_CHECK_PRESENT(name) present = present && (&name != nullptr);
  KELCORE_HOST_OPERATIONS_USED(KELCORE_CHECK_PRESENT)
#undef KELCORE_CHECK_PRESENT
  return present;
}

}  // namespace kelvor::binding
