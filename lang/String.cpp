#include "lang/String.h"

#include <cstdint>
#include <string>
#include <utility>

namespace kelvor::lang {

Ref<String> String::fromUtf16(const char16_t* units, int32_t length) {
  std::string text;
  text.reserve(static_cast<size_t>(length));
  for (int32_t i = 0; i < length; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t{units[i + 1]} - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (c >> 18));
      text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return Ref<String>::adopt(new String(std::move(text)));
}

bool String::equals(const Object* other) const {
  const auto* s = dynamic_cast<const String*>(other);
  return s != nullptr && s->value_ == value_;
}

int32_t String::hashCode() const {
  uint32_t h = 0;
  for (const char c : value_) h = 31 * h + static_cast<uint8_t>(c);
  return static_cast<int32_t>(h);
}

}  // namespace kelvor::lang
