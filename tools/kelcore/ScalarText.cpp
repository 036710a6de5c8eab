#include "tools/kelcore/ScalarText.h"

#include <cctype>

#include "driver/CharsetConverter.h"
#include "driver/DateValue.h"
#include "driver/DriverException.h"
#include "driver/NumberValue.h"
#include "lang/Exceptions.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeDATE.h"
#include "scalar/KelvorTypeFLOAT.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "scalar/KelvorTypeSINT32.h"
#include "tools/kelcore/UsageError.h"

namespace kelvor::tools {

using jdbc::kelcore::KelvorType;

ScalarText::Form ScalarText::formOf(const KelvorType& type) {
  if (dynamic_cast<const jdbc::kelcore::KelvorTypeNUMBER*>(&type) != nullptr ||
      dynamic_cast<const jdbc::kelcore::KelvorTypeFLOAT*>(&type) != nullptr ||
      dynamic_cast<const jdbc::kelcore::KelvorTypeSINT32*>(&type) != nullptr) {
    return Form::NUMBER;
  }
  if (dynamic_cast<const jdbc::kelcore::KelvorTypeDATE*>(&type) != nullptr) return Form::DATE;
  if (dynamic_cast<const jdbc::kelcore::KelvorTypeCHAR*>(&type) != nullptr) return Form::TEXT;
  return Form::HEX;
}

std::optional<std::string> ScalarText::toText(Form form, const int8_t* bytes, int32_t length) {
  try {
    switch (form) {
      case Form::NUMBER:
        return jdbc::NumberValue::toText(bytes, length);
      case Form::DATE: {
        auto copy = lang::ByteArray::make(length);
        for (int32_t i = 0; i < length; ++i) (*copy)[i] = bytes[i];
        std::string text = jdbc::DateValue(copy).toString();
        const size_t blank = text.find(' ');
        if (blank != std::string::npos) text[blank] = 'T';
        return text;
      }
      case Form::TEXT:
        return jdbc::CharsetConverter::forId(CHARSET_ID)->decode(bytes, length);
      case Form::HEX:
        return hex(bytes, length);
    }
  } catch (const lang::Throwable&) {
    // Bytes that are no value of the form have no readable text.
  }
  return std::nullopt;
}

lang::Ref<lang::ByteArray> ScalarText::fromText(Form form, std::string_view text) {
  switch (form) {
    case Form::NUMBER:
      return jdbc::NumberValue::fromString(text)->getBytes();
    case Form::DATE: {
      std::string spaced(text);
      const size_t t = spaced.find('T');
      if (t != std::string::npos) spaced[t] = ' ';
      return jdbc::DateValue::fromString(spaced)->getBytes();
    }
    case Form::TEXT:
      return jdbc::CharsetConverter::forId(CHARSET_ID)->encode(text);
    case Form::HEX:
      return parseHex(text, "hex value");
  }
  return nullptr;
}

std::string ScalarText::hex(const int8_t* bytes, int32_t length) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::string out;
  out.reserve(static_cast<size_t>(length) * 2);
  for (int32_t i = 0; i < length; ++i) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    out += DIGITS[b >> 4];
    out += DIGITS[b & 0x0F];
  }
  return out;
}

lang::Ref<lang::ByteArray> ScalarText::parseHex(std::string_view text, const std::string& what) {
  std::string digits;
  digits.reserve(text.size());
  for (const char c : text) {
    if (std::isspace(static_cast<unsigned char>(c)) != 0) continue;
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
      throw UsageError(what + ": '" + std::string(1, c) + "' is not a hex digit");
    }
    digits += c;
  }
  if (digits.size() % 2 != 0) throw UsageError(what + ": an odd number of hex digits");
  auto bytes = lang::ByteArray::make(static_cast<int64_t>(digits.size() / 2));
  for (size_t i = 0; i < digits.size(); i += 2) {
    (*bytes)[static_cast<int32_t>(i / 2)] =
        static_cast<int8_t>(std::stoi(digits.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

}  // namespace kelvor::tools
