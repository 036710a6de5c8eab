#include "lang/Exceptions.h"

namespace kelvor::lang {

void throwIndexOutOfBounds(int64_t index, int64_t length) {
  throw IndexOutOfBoundsException("index " + std::to_string(index) + " out of bounds for length " +
                                  std::to_string(length));
}

void throwNullPointer(const char* what) { throw NullPointerException(what); }

void throwClassCast(const char* from, const char* to) {
  throw ClassCastException(std::string(from) + " cannot be cast to " + to);
}

}  // namespace kelvor::lang
