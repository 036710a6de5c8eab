// The platform's immutable string. The text is held as UTF-8; conversion to and from a
// database character set is the driver's.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "lang/Object.h"
#include "lang/Placeable.h"
#include "lang/Ref.h"

namespace kelvor::lang {

class String final : public Object, public Placeable {
 public:
  static Ref<String> of(std::string_view text) { return Ref<String>::adopt(new String(text)); }
  // The string of text moved in, without a copy of its bytes.
  static Ref<String> take(std::string text) { return Ref<String>::adopt(new String(std::move(text))); }
  // The text of `length` UTF-16 code units (a char array's elements): a surrogate pair becomes
  // one 4-byte character; a lone surrogate, which UTF-8 cannot carry, becomes U+FFFD.
  static Ref<String> fromUtf16(const char16_t* units, int32_t length);
  // UTF-8 text (as a String holds it) as UTF-16 code units. A malformed sequence (an overlong
  // form, an encoded surrogate, a lead byte without its continuations, anything above
  // U+10FFFF) becomes U+FFFD rather than being guessed at.
  static std::u16string toUtf16(std::string_view text);
  // The length of the run of bytes below 0x80 at the start of text.
  static size_t asciiPrefix(std::string_view text) noexcept;
  // Whether text is well-formed UTF-8: shortest forms only, no surrogates, nothing above
  // U+10FFFF, no sequence cut short by the end.
  static bool isWellFormedUtf8(std::string_view text) noexcept;

  const std::string& value() const noexcept { return value_; }
  int32_t length() const noexcept { return static_cast<int32_t>(value_.size()); }

  bool equals(const Object* other) const override;
  int32_t hashCode() const override;
  std::string toString() const override { return value_; }
  static constexpr const char* NAME = "String";
  const char* className() const noexcept override { return NAME; }

 private:
  explicit String(std::string&& value) noexcept : value_(std::move(value)) {}
  explicit String(std::string_view text) : value_(text) {}
  std::string value_;
};

}  // namespace kelvor::lang
