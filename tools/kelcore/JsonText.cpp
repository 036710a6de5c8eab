#include "tools/kelcore/JsonText.h"

#include "tools/kelcore/UsageError.h"

namespace kelvor::tools {

namespace {

using Json = JsonText::Json;

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
  bool string(Json::string_t& value) { return dom_.string(value); }
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
    Json::sax_parse(text, &sax);
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

void JsonText::write(const Json& value, int indent, std::string& out) {
  const std::string pad(static_cast<size_t>(indent + 2), ' ');
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
    out += "\n" + std::string(static_cast<size_t>(indent), ' ') + "}";
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
    out += "\n" + std::string(static_cast<size_t>(indent), ' ') + "]";
  } else if (value.is_string()) {
    writeString(value.get<std::string>(), out);
  } else {
    out += value.dump();
  }
}

}  // namespace kelvor::tools
