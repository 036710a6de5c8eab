#include "lang/OutputStream.h"

namespace kelvor::lang {

void OutputStream::write(const ByteArray& b, int32_t off, int32_t len) {
  if (off < 0 || len < 0 || off > b.length() || len > b.length() - off) {
    throw IndexOutOfBoundsException();
  }
  write(b.data() + off, len);
}

}  // namespace kelvor::lang
