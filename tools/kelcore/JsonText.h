// JSON text in and out, with numbers kept exact. A JSON number is carried through the tool as
// its decimal text, never as a double, so that a 38-digit number read from an image prints
// with all its digits and a number in a value encodes without rounding.
//
// In the tree a number written with a fraction or an exponent is the object
// {NUMBER_KEY: "<its text>"} (integers that fit 64 bits stay JSON integers); write() prints
// such an object as the bare number again. Everything else is nlohmann's ordered JSON.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kelvor::tools {

class JsonText {
 public:
  using Json = nlohmann::ordered_json;

  // The key of an exact-number object; not a key a user would write.
  static constexpr const char* NUMBER_KEY = "\x01number";

  // Parses JSON text; text that is not JSON raises UsageError naming `what` and the position.
  static Json parse(std::string_view text, const std::string& what);
  // The exact-number object for decimal text.
  static Json number(const std::string& text);
  // The decimal text of a JSON number (integer or exact-number object); nullopt for any other
  // value.
  static std::optional<std::string> numberText(const Json& value);
  // Pretty text, two spaces of indent, exact numbers bare; ends without a newline.
  static std::string write(const Json& value);

 private:
  JsonText() = default;
  static void write(const Json& value, int indent, std::string& out);
};

}  // namespace kelvor::tools
