// The platform's exceptions. They are C++ exceptions thrown by value and pass through the
// package untranslated, as the host's own exceptions would.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kelvor::lang {

class Throwable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IndexOutOfBoundsException : public Throwable {
 public:
  IndexOutOfBoundsException() : Throwable("index out of bounds") {}
  explicit IndexOutOfBoundsException(const std::string& message) : Throwable(message) {}
};

class NullPointerException : public Throwable {
 public:
  NullPointerException() : Throwable("null reference") {}
  explicit NullPointerException(const std::string& message) : Throwable(message) {}
};

class ClassCastException : public Throwable {
 public:
  explicit ClassCastException(const std::string& message) : Throwable(message) {}
};

class NegativeArraySizeException : public Throwable {
 public:
  explicit NegativeArraySizeException(int64_t size)
      : Throwable("negative array size " + std::to_string(size)) {}
};

class IllegalArgumentException : public Throwable {
 public:
  explicit IllegalArgumentException(const std::string& message) : Throwable(message) {}
};

// Text that does not spell a number of the requested kind.
class NumberFormatException : public IllegalArgumentException {
 public:
  explicit NumberFormatException(const std::string& message) : IllegalArgumentException(message) {}
};

// An arithmetic result that cannot be represented exactly where exactness was asked for.
class ArithmeticException : public Throwable {
 public:
  explicit ArithmeticException(const std::string& message) : Throwable(message) {}
};

// An operation met an object in a state it cannot work with (a raw pointer to an object that
// nothing owns, made into an owning handle).
class IllegalStateException : public Throwable {
 public:
  explicit IllegalStateException(const std::string& message) : Throwable(message) {}
};

class IOException : public Throwable {
 public:
  explicit IOException(const std::string& message) : Throwable(message) {}
};

// The end of a stream came before a read that needs a fixed number of bytes was done.
class EOFException : public IOException {
 public:
  EOFException() : IOException("end of stream") {}
};

// A serial stream holds bytes that are not a valid serial form.
class StreamCorruptedException : public IOException {
 public:
  explicit StreamCorruptedException(const std::string& message) : IOException(message) {}
};

// Out-of-line throw helpers, so that the hot path of a check is one compare and a call.
[[noreturn]] void throwIndexOutOfBounds(int64_t index, int64_t length);
[[noreturn]] void throwNullPointer(const char* what);
[[noreturn]] void throwClassCast(const char* from, const char* to);

}  // namespace kelvor::lang
