#include "driver/CharsetConverter.h"

#include <iconv.h>
#if defined(__SSE2__)
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/ByteCopy.h"
#include "lang/Exceptions.h"
#include "lang/String.h"

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

// Idle iconv descriptors, per direction. A descriptor holds the state of the conversion that
// uses it, so only one conversion at a time may hold it; opening one costs more than most
// conversions, so each is kept for the next conversion of its direction once it is reset.
// Directions are few (pairs of the sets we convert), and so are the descriptors kept.
class IconvPool {
 public:
  static IconvPool& shared() {
    // Never destroyed: conversions may still run while static objects are torn down.
    static IconvPool* const pool = new IconvPool();
    return *pool;
  }

  // An idle descriptor of the direction, or a new one; ERR_CONVERSION when iconv has none.
  iconv_t take(const char* to, const char* from) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      std::vector<iconv_t>& idle = idleOf(to, from);
      if (!idle.empty()) {
        const iconv_t cd = idle.back();
        idle.pop_back();
        return cd;
      }
    }
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, "character set not available");
    }
    return cd;
  }

  // Resets the descriptor to its initial state and keeps it for the next conversion.
  void give(const char* to, const char* from, iconv_t cd) noexcept {
    (void)iconv(cd, nullptr, nullptr, nullptr, nullptr);
    try {
      std::lock_guard<std::mutex> hold(lock_);
      std::vector<iconv_t>& idle = idleOf(to, from);
      if (idle.size() < MAX_IDLE) {
        idle.push_back(cd);
        return;
      }
    } catch (...) {
      // no room to keep it: closed below
    }
    iconv_close(cd);
  }

 private:
  static constexpr size_t MAX_IDLE = 8;  // per direction: as many as threads converted at once
  struct Direction {
    std::string to;
    std::string from;
    std::vector<iconv_t> idle;
  };

  std::vector<iconv_t>& idleOf(const char* to, const char* from) {
    for (Direction& d : directions_) {
      if (d.to == to && d.from == from) return d.idle;
    }
    directions_.push_back(Direction{to, from, {}});
    return directions_.back().idle;
  }

  std::mutex lock_;
  std::deque<Direction> directions_;  // guarded by lock_; a deque keeps references stable
};

// One descriptor of the pool for one conversion; given back on every exit.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from)
      : to_(to), from_(from), cd_(IconvPool::shared().take(to, from)) {}
  ~IconvHandle() { IconvPool::shared().give(to_, from_, cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  iconv_t get() const noexcept { return cd_; }

 private:
  const char* to_;
  const char* from_;
  iconv_t cd_;
};

[[noreturn]] void raiseNoConversion() {
  ErrorRaiser::raise(DriverException::ERR_CONVERSION,
                     "no conversion into or out of this character set");
}

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

// --- conversions that are copies ---
//
// US-ASCII, ISO-8859-1 and UTF-8 write the characters U+0000..U+007F as the same one byte, so
// bytes below 0x80 are the same text in any of them; and UTF-8 into UTF-8 leaves valid bytes
// as they are. Those conversions copy, after the same checks iconv would make.

bool asciiCompatible(int32_t id) noexcept {
  return id == CharsetConverter::US_ASCII || id == CharsetConverter::ISO_8859_1 ||
         id == CharsetConverter::UTF_8;
}

// Whether n bytes of the set `from` are, unchanged, the same text in the set `to`. Bytes that
// a UTF-8 to UTF-8 conversion finds malformed raise ERR_CONVERSION here, as iconv's would.
bool sameBytes(int32_t to, int32_t from, const int8_t* data, size_t n) {
  if (!asciiCompatible(to) || !asciiCompatible(from)) return false;
  const std::string_view text(reinterpret_cast<const char*>(data), n);
  const size_t ascii = lang::String::asciiPrefix(text);
  if (ascii == n) return true;
  if (to != CharsetConverter::UTF_8 || from != CharsetConverter::UTF_8) return false;
  if (!lang::String::isWellFormedUtf8(text.substr(ascii))) {
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, "character set conversion failed");
  }
  return true;
}

// The text at data (above COPY_PIECE bytes) as a string when it is the same text in UTF-8, or
// nullopt when it has to be transcoded; as sameBytes(UTF_8, from, ...) followed by a copy, and
// raising as it does. Each piece is scanned for bytes above 0x7F and then copied while it is
// still in the nearest cache, so that a large text is read from memory once, not once for the
// scan and once for the copy.
std::optional<std::string> sameText(int32_t from, const char* data, size_t n) {
  if (!asciiCompatible(from)) return std::nullopt;
  std::string text;
  text.reserve(n);
  const size_t piece = lang::copyPiece();
  size_t done = 0;
  while (done < n) {
    const std::string_view part(data + done, std::min(n - done, piece));
    if (lang::String::asciiPrefix(part) != part.size()) break;
    text.append(part);
    done += part.size();
  }
  if (done == n) return text;
  if (from != CharsetConverter::UTF_8) return std::nullopt;
  const std::string_view rest(data + done, n - done);
  if (!lang::String::isWellFormedUtf8(rest)) {
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, "character set conversion failed");
  }
  for (size_t at = 0; at < rest.size(); at += piece) text.append(rest.substr(at, piece));
  return text;
}

lang::Ref<lang::ByteArray> toByteArray(const std::string& bytes) {
  if (bytes.size() > INT32_MAX) throw lang::IllegalArgumentException("array length above 2^31-1");
  return lang::ByteArray::copyOf(reinterpret_cast<const int8_t*>(bytes.data()),
                                 static_cast<int32_t>(bytes.size()));
}

}  // namespace

lang::Ref<CharsetConverter> CharsetConverter::forId(int32_t id) {
  if (lang::Ref<CharsetConverter> known = find(id)) return known;
  // Any other id gets one instance too, made on first use. The ids come from connections and
  // descriptors (16-bit), so the map stays small.
  static std::mutex lock;
  static auto* const others = new std::unordered_map<int32_t, lang::Ref<CharsetConverter>>();
  std::lock_guard<std::mutex> hold(lock);
  lang::Ref<CharsetConverter>& slot = (*others)[id];
  if (!slot) slot = lang::Ref<CharsetConverter>::adopt(new CharsetConverter(id, nullptr));
  return slot;
}

lang::Ref<CharsetConverter> CharsetConverter::find(int32_t id) {
  // Built once, on first use, by whichever thread comes first (a thread-safe static).
  // Never freed: a converter lives as long as the process (as the others' map does).
  static const auto* const converters = [] {
    auto* all = new std::array<lang::Ref<CharsetConverter>, KNOWN_SETS.size()>();
    for (size_t i = 0; i < KNOWN_SETS.size(); ++i) {
      (*all)[i] = lang::Ref<CharsetConverter>::adopt(
          new CharsetConverter(KNOWN_SETS[i].id, KNOWN_SETS[i].name));
    }
    return all;
  }();
  for (const auto& c : *converters) {
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
  if (!canConvert() || !from.canConvert()) raiseNoConversion();
  if (sameBytes(id_, from.id_, start, static_cast<size_t>(length))) {
    return lang::ByteArray::copyOf(start, length);
  }
  return toByteArray(transcode(name_, from.name_, start, static_cast<size_t>(length)));
}

lang::Ref<lang::ByteArray> CharsetConverter::encode(std::string_view text) const {
  if (!canConvert()) raiseNoConversion();
  const auto* data = reinterpret_cast<const int8_t*>(text.data());
  if (sameBytes(id_, UTF_8, data, text.size())) {
    if (text.size() > INT32_MAX) throw lang::IllegalArgumentException("array length above 2^31-1");
    return lang::ByteArray::copyOf(data, static_cast<int32_t>(text.size()));
  }
  return toByteArray(transcode(name_, "UTF-8", data, text.size()));
}

bool CharsetConverter::encodesAsIs(std::string_view text) const {
  return canConvert() &&
         sameBytes(id_, UTF_8, reinterpret_cast<const int8_t*>(text.data()), text.size());
}

std::string CharsetConverter::decode(const int8_t* data, int32_t length) const {
  if (length < 0) throw lang::NegativeArraySizeException(length);
  if (!canConvert()) raiseNoConversion();
  const auto n = static_cast<size_t>(length);
  const auto* text = reinterpret_cast<const char*>(data);
  if (n > lang::COPY_PIECE) {
    if (std::optional<std::string> same = sameText(id_, text, n)) return std::move(*same);
  } else if (sameBytes(UTF_8, id_, data, n)) {
    return std::string(text, n);
  }
  return transcode("UTF-8", name_, data, n);
}

lang::Ref<lang::String> CharsetConverter::decodeString(const int8_t* data, int32_t length) const {
  if (length < 0) throw lang::NegativeArraySizeException(length);
  if (!canConvert()) raiseNoConversion();
  const auto n = static_cast<size_t>(length);
  if (n <= lang::COPY_PIECE && sameBytes(UTF_8, id_, data, n)) {
    return lang::String::of(std::string_view(reinterpret_cast<const char*>(data), n));
  }
  return lang::String::take(decode(data, length));
}

std::string CharsetConverter::toString() const {
  if (!canConvert()) return "CharsetConverter (" + std::to_string(id_) + ", not converted)";
  return std::string("CharsetConverter ") + name_ + " (" + std::to_string(id_) + ")";
}

}  // namespace kelvor::jdbc
