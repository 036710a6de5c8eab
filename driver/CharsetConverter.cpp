#include "driver/CharsetConverter.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/Exceptions.h"

namespace kelvor::jdbc {
namespace {

struct KnownSet {
  int32_t id;
  const char* name;
};

constexpr std::array<KnownSet, 4> KNOWN_SETS = {{
    {CharsetConverter::US_ASCII, "US-ASCII"},
    {CharsetConverter::ISO_8859_1, "ISO-8859-1"},
    {CharsetConverter::UTF_8, "UTF-8"},
    {CharsetConverter::UTF_16BE, "UTF-16BE"},
}};

// Closes the descriptor on every exit.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, "character set not available");
    }
  }
  ~IconvHandle() { iconv_close(cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  iconv_t get() const noexcept { return cd_; }

 private:
  iconv_t cd_;
};

// n bytes at data, from the set named `from` into the set named `to`. Invalid or incomplete
// input and characters the target cannot hold raise ERR_CONVERSION.
std::string transcode(const char* to, const char* from, const int8_t* data, size_t n) {
  std::string out;
  if (n == 0) return out;
  IconvHandle cd(to, from);
  // Every pair of our sets at most doubles the size (one ISO-8859-1 byte becomes two UTF-8 or
  // UTF-16 bytes); the loop grows the buffer should that ever be wrong.
  out.resize(2 * n + 4);
  // iconv's interface takes char**; it never writes through the input pointer.
  char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
  size_t inLeft = n;
  size_t used = 0;
  while (inLeft > 0) {
    char* outPos = out.data() + used;
    size_t outLeft = out.size() - used;
    const size_t r = iconv(cd.get(), &in, &inLeft, &outPos, &outLeft);
    const int error = errno;
    used = static_cast<size_t>(outPos - out.data());
    if (r != static_cast<size_t>(-1)) break;
    if (error == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ: invalid or unrepresentable; EINVAL: the input ends inside a character.
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, "character set conversion failed");
  }
  out.resize(used);
  return out;
}

lang::Ref<lang::ByteArray> toByteArray(const std::string& bytes) {
  if (bytes.size() > INT32_MAX) throw lang::IllegalArgumentException("array length above 2^31-1");
  return lang::ByteArray::copyOf(reinterpret_cast<const int8_t*>(bytes.data()),
                                 static_cast<int32_t>(bytes.size()));
}

}  // namespace

lang::Ref<CharsetConverter> CharsetConverter::forId(int32_t id) {
  lang::Ref<CharsetConverter> found = find(id);
  if (!found) ErrorRaiser::raise(DriverException::ERR_CONVERSION, "unknown character set id");
  return found;
}

lang::Ref<CharsetConverter> CharsetConverter::find(int32_t id) {
  // Built once, on first use, by whichever thread comes first (a thread-safe static).
  static const std::array<lang::Ref<CharsetConverter>, KNOWN_SETS.size()> converters = [] {
    std::array<lang::Ref<CharsetConverter>, KNOWN_SETS.size()> all;
    for (size_t i = 0; i < KNOWN_SETS.size(); ++i) {
      all[i] = lang::Ref<CharsetConverter>(
          new CharsetConverter(KNOWN_SETS[i].id, KNOWN_SETS[i].name));
    }
    return all;
  }();
  for (const auto& c : converters) {
    if (c->id_ == id) return c;
  }
  return nullptr;
}

lang::Ref<lang::ByteArray> CharsetConverter::convert(const CharsetConverter& from,
                                                     const lang::ByteArray& bytes, int32_t offset,
                                                     int32_t length) const {
  // Compared, never added: offset and length may come from anywhere.
  if (offset < 0 || length < 0 || offset > bytes.length() || length > bytes.length() - offset) {
    lang::throwIndexOutOfBounds(offset, bytes.length());
  }
  const int8_t* start = bytes.data() + offset;
  if (from.id_ == id_) return lang::ByteArray::copyOf(start, length);
  return toByteArray(transcode(name_, from.name_, start, static_cast<size_t>(length)));
}

lang::Ref<lang::ByteArray> CharsetConverter::encode(std::string_view text) const {
  return toByteArray(
      transcode(name_, "UTF-8", reinterpret_cast<const int8_t*>(text.data()), text.size()));
}

std::string CharsetConverter::decode(const int8_t* data, int32_t length) const {
  if (length < 0) throw lang::NegativeArraySizeException(length);
  return transcode("UTF-8", name_, data, static_cast<size_t>(length));
}

std::string CharsetConverter::toString() const {
  return std::string("CharsetConverter ") + name_ + " (" + std::to_string(id_) + ")";
}

}  // namespace kelvor::jdbc
