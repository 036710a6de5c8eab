#include "tools/kelcore/JsonText.h"

#include <algorithm>

#include "tools/kelcore/UsageError.h"

namespace kelvor::tools {

namespace {

using Json = JsonText::Json;

// Marks a string that stands for a number: the parser would turn a number beyond a double's
// range into an error, and round any other to a double, so numbers with a fraction, an
// exponent or more digits than 64 bits hold are handed to it as strings. A JSON string
// cannot hold U+0001 unescaped, and one that holds it escaped is at worst read as a number.
const std::string NUMBER_MARK = "\x01number:";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the JSON number at text[i], or 0 when what stands there is not one:
// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
size_t numberLength(std::string_view text, size_t i) {
  size_t j = i;
  if (j < text.size() && text[j] == '-') ++j;
  if (j >= text.size() || !isDigit(text[j])) return 0;
  if (text[j] == '0') {
    ++j;
  } else {
    while (j < text.size() && isDigit(text[j])) ++j;
  }
  if (j < text.size() && text[j] == '.') {
    if (++j >= text.size() || !isDigit(text[j])) return 0;
    while (j < text.size() && isDigit(text[j])) ++j;
  }
  if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
    if (++j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j >= text.size() || !isDigit(text[j])) return 0;
    while (j < text.size() && isDigit(text[j])) ++j;
  }
  return j - i;
}

// The text with every number that a 64-bit integer cannot hold exactly written as a marked
// string. Strings are copied as they are; anything that is not JSON is left for the parser to
// refuse.
std::string quoteNumbers(std::string_view text) {
  constexpr size_t EXACT_INTEGER_DIGITS = 18;
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '"') {
      const size_t start = i++;
      while (i < text.size() && text[i] != '"') i += text[i] == '\\' ? 2 : 1;
      i = std::min(i + 1, text.size());
      out.append(text.substr(start, i - start));
      continue;
    }
    const size_t n = (c == '-' || isDigit(c)) ? numberLength(text, i) : 0;
    if (n == 0) {
      out += c;
      ++i;
      continue;
    }
    const std::string_view number = text.substr(i, n);
    const bool plainInteger = number.find_first_of(".eE") == std::string_view::npos &&
                              number.size() - (number[0] == '-' ? 1 : 0) <= EXACT_INTEGER_DIGITS;
    if (plainInteger) {
      out.append(number);
    } else {
      out += '"';
      out += "\\u0001number:";
      out.append(number);
      out += '"';
    }
    i += n;
  }
  return out;
}

// Builds the tree as nlohmann's own DOM parser does, but keeps a non-integer number as its
// text: the parser hands the text to number_float along with a double that may have lost
// digits.
class ExactNumberSax {
 public:
  explicit ExactNumberSax(Json& root) : dom_(root, true) {}

  bool null() { return dom_.null(); }
  bool boolean(bool value) { return dom_.boolean(value); }
  bool number_integer(Json::number_integer_t value) { return dom_.number_integer(value); }
  bool number_unsigned(Json::number_unsigned_t value) { return dom_.number_unsigned(value); }
  bool number_float(Json::number_float_t /*rounded*/, const Json::string_t& text) {
    // An exact-number object stands where the number stood.
    Json::string_t key = JsonText::NUMBER_KEY;
    Json::string_t copy = text;
    return dom_.start_object(1) && dom_.key(key) && dom_.string(copy) && dom_.end_object();
  }
  bool string(Json::string_t& value) {
    if (value.compare(0, NUMBER_MARK.size(), NUMBER_MARK) != 0) return dom_.string(value);
    // A number the text pass below wrapped.
    return number_float(0, value.substr(NUMBER_MARK.size()));
  }
  bool binary(Json::binary_t& value) { return dom_.binary(value); }
  bool start_object(std::size_t n) { return dom_.start_object(n); }
  bool key(Json::string_t& value) { return dom_.key(value); }
  bool end_object() { return dom_.end_object(); }
  bool start_array(std::size_t n) { return dom_.start_array(n); }
  bool end_array() { return dom_.end_array(); }
  template <typename Exception>
  bool parse_error(std::size_t position, const std::string& token, const Exception& e) {
    return dom_.parse_error(position, token, e);
  }

 private:
  nlohmann::detail::json_sax_dom_parser<Json> dom_;
};

void writeString(const std::string& text, std::string& out) {
  // nlohmann escapes it; bytes that are not UTF-8 become U+FFFD rather than failing.
  out += Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

Json JsonText::parse(std::string_view text, const std::string& what) {
  Json root;
  ExactNumberSax sax(root);
  try {
    Json::sax_parse(quoteNumbers(text), &sax);
  } catch (const Json::exception& e) {
    throw UsageError(what + ": not JSON: " + e.what());
  }
  return root;
}

Json JsonText::number(const std::string& text) {
  Json n = Json::object();
  n[NUMBER_KEY] = text;
  return n;
}

std::optional<std::string> JsonText::numberText(const Json& value) {
  if (value.is_number_integer()) return value.dump();
  if (value.is_number_float()) return value.dump();  // a double built by hand, not parsed
  if (value.is_object() && value.size() == 1 && value.contains(NUMBER_KEY) &&
      value[NUMBER_KEY].is_string()) {
    return value[NUMBER_KEY].get<std::string>();
  }
  return std::nullopt;
}

std::string JsonText::write(const Json& value) {
  std::string out;
  write(value, 0, out);
  return out;
}

namespace {

constexpr size_t LINE_WIDTH = 80;

bool isExactNumber(const Json& value) {
  return value.is_object() && !value.is_number() && JsonText::numberText(value).has_value();
}

// A container of scalars only ("{"bytes": "c0000f"}", "[1, 2, 3]"): written on one line when
// it fits.
bool isFlat(const Json& value) {
  if (!value.is_structured() || isExactNumber(value)) return false;
  for (const auto& item : value) {
    if (item.is_structured() && !isExactNumber(item)) return false;
  }
  return true;
}

void writeScalar(const Json& value, std::string& out) {
  if (auto text = JsonText::numberText(value); text && !value.is_number()) {
    out += *text;
  } else if (value.is_string()) {
    writeString(value.get<std::string>(), out);
  } else {
    out += value.dump();
  }
}

std::string flatText(const Json& value) {
  std::string out(value.is_object() ? "{" : "[");
  bool first = true;
  for (const auto& [key, item] : value.items()) {
    if (!first) out += ", ";
    first = false;
    if (value.is_object()) {
      writeString(key, out);
      out += ": ";
    }
    writeScalar(item, out);
  }
  return out + (value.is_object() ? "}" : "]");
}

}  // namespace

void JsonText::write(const Json& value, int indent, std::string& out) {
  const std::string pad(static_cast<size_t>(indent + 2), ' ');
  if (isFlat(value)) {
    std::string flat = flatText(value);
    if (static_cast<size_t>(indent) + flat.size() <= LINE_WIDTH) {
      out += flat;
      return;
    }
  }
  if (auto text = numberText(value); text && !value.is_number()) {
    out += *text;
  } else if (value.is_object()) {
    if (value.empty()) {
      out += "{}";
      return;
    }
    out += "{\n";
    bool first = true;
    for (const auto& [key, item] : value.items()) {
      if (!first) out += ",\n";
      first = false;
      out += pad;
      writeString(key, out);
      out += ": ";
      write(item, indent + 2, out);
    }
    // Appended piece by piece: "\n" + std::string&& trips GCC 12's bogus -Wrestrict at -O3
    // (GCC bug 105651).
    out += '\n';
    out.append(static_cast<size_t>(indent), ' ');
    out += '}';
  } else if (value.is_array()) {
    if (value.empty()) {
      out += "[]";
      return;
    }
    out += "[\n";
    for (size_t i = 0; i < value.size(); ++i) {
      if (i > 0) out += ",\n";
      out += pad;
      write(value[i], indent + 2, out);
    }
    out += '\n';
    out.append(static_cast<size_t>(indent), ' ');
    out += ']';
  } else if (value.is_string()) {
    writeString(value.get<std::string>(), out);
  } else {
    out += value.dump();
  }
}

}  // namespace kelvor::tools
