// A character value: the bytes of a string in one database character set, together with that
// set. A value may also come without a set (a national-character column, whose set the
// descriptor does not know): its bytes are then kept and written as they are, never
// converted, and read as UTF-8 when the value is turned into text.
//
// The length (getLength) is the byte count in the value's own set.
//
// Thread rule: immutable once made (its bytes are shared, never written); shareable between
// threads.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "driver/CharsetConverter.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"
#include "lang/String.h"

namespace kelvor::jdbc {

class CharValue final : public SqlValue {
 public:
  static constexpr uint8_t CLASS_BIT = SqlValue::CHAR_VALUE_BIT;

  // Bytes already in charset (shared, not copied); charset may be null.
  CharValue(lang::Ref<lang::ByteArray> bytes, lang::Ref<CharsetConverter> charset);
  // Bytes inline (withBytesCopied) in charset.
  CharValue(InlineForm form, const lang::Ref<CharsetConverter>& charset) noexcept
      : SqlValue(form), charset_(charset.get()) {
    addClassBits(CLASS_BIT);
  }
  // The text encoded in charset; without a set the text is kept as UTF-8. A character the set
  // cannot hold raises ERR_CONVERSION.
  CharValue(const lang::String& text, lang::Ref<CharsetConverter> charset);
  // What makeRef<CharValue> makes of a text: the constructor's value, with a short form that
  // needs no conversion inline, in one allocation.
  static lang::Ref<CharValue> makeNew(const lang::String& text,
                                      lang::Ref<CharsetConverter> charset);

  // Null gives null. A String is encoded as above. A CharValue is converted from its own set
  // into charset; one without a set, or any value when charset is null or the same set,
  // shares its bytes and keeps its own set. Boxed numbers, booleans and characters and
  // Decimals are encoded by their text ("12", "1.5", "true"). Anything else raises
  // ERR_CONVERSION with the value.
  static lang::Ref<CharValue> fromObject(const lang::Object* value,
                                         lang::Ref<CharsetConverter> charset);

  // The value's set; null for a value without one.
  lang::Ref<CharsetConverter> getCharacterSet() const {
    return lang::Ref<CharsetConverter>(const_cast<CharsetConverter*>(charset_));
  }
  // The same, borrowed: a converter lives as long as the process.
  const CharsetConverter* characterSet() const noexcept { return charset_; }
  // The value as UTF-8 text, decoded from its set (UTF-8 without one). Bytes that are not
  // valid in the set raise ERR_CONVERSION.
  std::string stringValue() const;
  // The platform-object form: a lang::String of stringValue().
  lang::Ref<lang::Object> toJdbc() const override;

  // Equal bytes in the same set (or both without one).
  bool equals(const lang::Object* other) const override;
  const char* className() const noexcept override { return "CharValue"; }

 private:
  // The set of the bytes; null when unknown. Converters are made once per id and never freed
  // (CharsetConverter::forId), so a value needs no count of its own: making and dropping the
  // values of a read does not touch the converter's count from every value.
  const CharsetConverter* charset_;
};

}  // namespace kelvor::jdbc
