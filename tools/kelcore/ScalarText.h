// The readable forms of scalar values, shared by the JSON value model and the image dump:
// numbers as their exact decimal digits, dates as ISO 8601 date-times, character values as
// text, everything else (RAW, LOB locators, REFs) as lowercase hex. Each form reads back
// into the same bytes (fromText), so a value printed by decode encodes to the same image.
//
// date text := ['-'] yyyy[y] '-' mm '-' dd 'T' hh ':' mi ':' ss     e.g. 2026-03-05T14:07:09
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::jdbc::kelcore {
class KelvorType;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::tools {

class ScalarText {
 public:
  enum class Form { NUMBER, DATE, TEXT, HEX };

  // The readable form of a scalar descriptor's values: NUMBER, FLOAT, SINT32 numbers; DATE
  // dates; CHAR text; RAW, BLOB, CLOB, BFILE and REF hex.
  static Form formOf(const jdbc::kelcore::KelvorType& type);
  // The readable text of a byte form, or nullopt when the bytes are not a value of the form
  // (a malformed number or date, text that is not valid in the character set).
  static std::optional<std::string> toText(Form form, const int8_t* bytes, int32_t length);
  // The byte form of a readable text; text that is not a value of the form raises the
  // driver's conversion error (59) or, for hex, UsageError.
  static lang::Ref<lang::ByteArray> fromText(Form form, std::string_view text);

  // Lowercase hex of the bytes, two digits per byte, no separators.
  static std::string hex(const int8_t* bytes, int32_t length);
  // Bytes of hex digits; white space between digits is allowed. An odd digit count or another
  // character raises UsageError naming `what`.
  static lang::Ref<lang::ByteArray> parseHex(std::string_view text, const std::string& what);

  // The character set the tool's connection reports and takes character values in.
  static constexpr int32_t CHARSET_ID = 106;  // UTF-8

 private:
  ScalarText() = default;
};

}  // namespace kelvor::tools
