#include "driver/CharValue.h"

#include <utility>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "lang/Boxed.h"
#include "lang/Decimal.h"

namespace kelvor::jdbc {
namespace {

lang::Ref<lang::ByteArray> encoded(std::string_view text, const CharsetConverter* charset) {
  if (charset != nullptr) return charset->encode(text);
  return lang::ByteArray::copyOf(reinterpret_cast<const int8_t*>(text.data()),
                                 static_cast<int32_t>(text.size()));
}

// The values that become characters through their text.
bool hasTextForm(const lang::Object& value) {
  return dynamic_cast<const lang::Decimal*>(&value) != nullptr ||
         dynamic_cast<const lang::Byte*>(&value) != nullptr ||
         dynamic_cast<const lang::Short*>(&value) != nullptr ||
         dynamic_cast<const lang::Integer*>(&value) != nullptr ||
         dynamic_cast<const lang::Long*>(&value) != nullptr ||
         dynamic_cast<const lang::Float*>(&value) != nullptr ||
         dynamic_cast<const lang::Double*>(&value) != nullptr ||
         dynamic_cast<const lang::Boolean*>(&value) != nullptr ||
         dynamic_cast<const lang::Character*>(&value) != nullptr;
}

}  // namespace

CharValue::CharValue(lang::Ref<lang::ByteArray> bytes, lang::Ref<CharsetConverter> charset)
    : SqlValue(std::move(bytes)), charset_(charset.get()) {
  addClassBits(CLASS_BIT);
}

CharValue::CharValue(const lang::String& text, lang::Ref<CharsetConverter> charset)
    : SqlValue(encoded(text.value(), charset.get())), charset_(charset.get()) {
  addClassBits(CLASS_BIT);
}

lang::Ref<CharValue> CharValue::makeNew(const lang::String& text,
                                        lang::Ref<CharsetConverter> charset) {
  const std::string& t = text.value();
  if (t.size() <= static_cast<size_t>(SHARED_BLOCK_MAX_BYTES) &&
      (!charset || charset->encodesAsIs(t))) {
    return withBytesCopied<CharValue>(reinterpret_cast<const int8_t*>(t.data()),
                                      static_cast<int32_t>(t.size()), charset);
  }
  return lang::Ref<CharValue>::adopt(new CharValue(text, std::move(charset)));
}

lang::Ref<CharValue> CharValue::fromObject(const lang::Object* value,
                                           lang::Ref<CharsetConverter> charset) {
  if (value == nullptr) return nullptr;
  if (const auto* text = lang::exactly<lang::String>(value)) {
    return lang::makeRef<CharValue>(*text, std::move(charset));
  }
  if (const auto* other = SqlValue::as<CharValue>(value)) {
    const lang::Ref<lang::ByteArray> bytes = other->shareBytes();
    if (!charset || !other->charset_ || other->charset_->id() == charset->id() || !bytes) {
      return lang::makeRef<CharValue>(bytes, other->getCharacterSet());
    }
    auto converted = charset->convert(*other->charset_, *bytes, 0, bytes->length());
    return lang::makeRef<CharValue>(std::move(converted), std::move(charset));
  }
  if (hasTextForm(*value)) {
    return lang::makeRef<CharValue>(encoded(value->toString(), charset.get()), charset);
  }
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

std::string CharValue::stringValue() const {
  if (!hasBytes()) return {};
  if (charset_) return charset_->decode(byteData(), byteLength());
  // Without a set: the platform's own encoding, checked.
  return CharsetConverter::forId(CharsetConverter::UTF_8)->decode(byteData(), byteLength());
}

lang::Ref<lang::Object> CharValue::toJdbc() const { return lang::String::take(stringValue()); }

bool CharValue::equals(const lang::Object* other) const {
  if (!SqlValue::equals(other)) return false;
  const auto& o = static_cast<const CharValue&>(*other);  // same class: SqlValue checked it
  if (!charset_ || !o.charset_) return !charset_ && !o.charset_;
  return charset_->id() == o.charset_->id();
}

}  // namespace kelvor::jdbc
