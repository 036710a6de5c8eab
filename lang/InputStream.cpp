#include "lang/InputStream.h"

namespace kelvor::lang {

int64_t InputStream::skip(int64_t n) {
  int64_t skipped = 0;
  while (skipped < n && read() >= 0) ++skipped;
  return skipped;
}

int32_t InputStream::read(ByteArray& b, int32_t off, int32_t len) {
  // off and len are the caller's: compare, never add
  if (off < 0 || len < 0 || off > b.length() || len > b.length() - off) {
    throw IndexOutOfBoundsException();
  }
  return read(b.data() + off, len);
}

void InputStream::readFully(ByteArray& b) {
  int32_t done = 0;
  while (done < b.length()) {
    const int32_t n = read(b.data() + done, b.length() - done);
    if (n < 0) throw EOFException();
    done += n;
  }
}

}  // namespace kelvor::lang
