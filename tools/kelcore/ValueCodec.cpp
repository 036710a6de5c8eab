#include "tools/kelcore/ValueCodec.h"

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "driver/SqlValue.h"
#include "types/DepthGuard.h"
#include "types/KelvorTypeUPT.h"
#include "tools/kelcore/ScalarText.h"
#include "tools/kelcore/ToolSession.h"
#include "tools/kelcore/UsageError.h"

namespace kelvor::tools {

using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using jdbc::kelcore::KelvorTypeUPT;
using Json = JsonText::Json;

namespace {

constexpr int32_t STYLE_SQL_VALUE = KelvorTypeADT::STYLE_SQL_VALUE;

// The type a value of `type` is written with: a UPT stands for its attached type.
KelvorType& effective(KelvorType& type) {
  if (auto* upt = dynamic_cast<KelvorTypeUPT*>(&type)) {
    if (!upt->getObjectType()) lang::throwNullPointer("UPT without its attached type");
    return *upt->getObjectType();
  }
  return type;
}

void checkDepth(int32_t depth) {
  if (depth > jdbc::kelcore::MAX_NESTING_DEPTH) jdbc::ErrorRaiser::raiseStackOverflow();
}

std::string join(const std::string& path, const std::string& label) {
  return path.empty() ? label : path + "." + label;
}

std::string where(const std::string& path) { return path.empty() ? "value" : path; }

// The bytes of {"bytes": "<hex>"} (or {"locator": ...}), or null when json is not that form.
lang::Ref<lang::ByteArray> bytesField(const Json& json, const char* key, const std::string& path) {
  if (!json.is_object() || json.size() != 1 || !json.contains(key)) return nullptr;
  const Json& hex = json[key];
  if (!hex.is_string()) throw UsageError(where(path) + ": \"" + key + "\" must be a hex string");
  return ScalarText::parseHex(hex.get<std::string>(), where(path));
}

Json hexField(const char* key, const lang::ByteArray& bytes) {
  Json j = Json::object();
  j[key] = ScalarText::hex(bytes.data(), bytes.length());
  return j;
}

}  // namespace

ValueCodec::ValueCodec(const ToolSession& session, const NameTree& names, bool raw)
    : session_(session), names_(names), raw_(raw) {}

// --- JSON to values ---

lang::Ref<jdbc::SqlValue> ValueCodec::fromJson(const Json& json) const {
  if (json.is_null()) throw UsageError("value: the top-level value cannot be null");
  return valueOf(session_.type(), json, names_, "", 0);
}

lang::Ref<jdbc::SqlValue> ValueCodec::valueOf(KelvorType& declared, const Json& json,
                                              const NameTree& names, const std::string& path,
                                              int32_t depth) const {
  checkDepth(depth);
  if (json.is_null()) return nullptr;
  KelvorType& type = effective(declared);
  if (dynamic_cast<KelvorTypeCOLLECTION*>(&type) != nullptr) {
    return collectionOf(type, json, names, path, depth);
  }
  if (dynamic_cast<KelvorTypeADT*>(&type) != nullptr) return objectOf(type, json, names, path, depth);
  return scalarOf(type, json, path);
}

lang::Ref<jdbc::SqlValue> ValueCodec::objectOf(KelvorType& type, const Json& json,
                                               const NameTree& names, const std::string& path,
                                               int32_t depth) const {
  auto& object = static_cast<KelvorTypeADT&>(type);
  const auto& types = object.parsedAttributeTypes();
  const int32_t n = types ? types->length() : 0;
  auto attributes = lang::ObjectArray::make(n);
  const auto attribute = [&](int32_t i, const Json& item) {
    const auto at = static_cast<size_t>(i);
    attributes->set(i, valueOf(static_cast<KelvorType&>(*types->at(i)), item, names.child(at),
                               join(path, names.label(at)), depth + 1));
  };
  if (json.is_array()) {
    if (json.size() != static_cast<size_t>(n)) {
      throw UsageError(where(path) + ": " + std::to_string(json.size()) + " values for " +
                       std::to_string(n) + " attributes");
    }
    for (int32_t i = 0; i < n; ++i) attribute(i, json[static_cast<size_t>(i)]);
  } else if (json.is_object() && !raw_) {
    if (names.empty()) throw UsageError(where(path) + ": attribute names are not known (--names)");
    // Keyed by the labels decode prints: the names, "#n" for an attribute without one. An
    // attribute left out is null.
    size_t used = 0;
    for (int32_t i = 0; i < n; ++i) {
      const std::string label = names.label(static_cast<size_t>(i));
      if (json.contains(label)) {
        attribute(i, json[label]);
        ++used;
      }
    }
    if (used != json.size()) {
      for (const auto& [key, item] : json.items()) {
        bool known = false;
        for (int32_t i = 0; i < n && !known; ++i) known = names.label(static_cast<size_t>(i)) == key;
        if (!known) throw UsageError(where(path) + ": no attribute named \"" + key + "\"");
      }
    }
  } else {
    throw UsageError(where(path) + (raw_ ? ": expected an array of attribute values"
                                         : ": expected an object or an array of attribute values"));
  }
  // The top-level type has its descriptor by name; the others get one around their own tree.
  lang::Ref<jdbc::ObjectDescriptor> descriptor =
      &object == &session_.type() && session_.objectDescriptor()
          ? session_.objectDescriptor()
          : lang::makeRef<jdbc::ObjectDescriptor>(lang::Ref<KelvorTypeADT>(&object),
                                                  &session_.connection());
  return lang::makeRef<jdbc::ObjectValue>(descriptor, &session_.connection(), attributes);
}

lang::Ref<jdbc::SqlValue> ValueCodec::collectionOf(KelvorType& type, const Json& json,
                                                   const NameTree& names, const std::string& path,
                                                   int32_t depth) const {
  auto& collection = static_cast<KelvorTypeCOLLECTION&>(type);
  lang::Ref<jdbc::ArrayDescriptor> descriptor =
      &collection == session_.collection() ? session_.arrayDescriptor()
                                           : collection.getArrayDescriptor();
  if (auto locator = bytesField(json, "locator", path)) {
    return jdbc::ArrayValue::ofLocator(descriptor, &session_.connection(), locator);
  }
  if (!json.is_array()) throw UsageError(where(path) + ": expected an array of elements");
  if (!collection.getElementType()) lang::throwNullPointer("collection type without an element type");
  auto elements = lang::ObjectArray::make(static_cast<int64_t>(json.size()));
  for (size_t i = 0; i < json.size(); ++i) {
    elements->set(static_cast<int32_t>(i),
                  valueOf(*collection.getElementType(), json[i], names,
                          path + "[" + std::to_string(i + 1) + "]", depth + 1));
  }
  return lang::makeRef<jdbc::ArrayValue>(descriptor, &session_.connection(), elements.get());
}

lang::Ref<jdbc::SqlValue> ValueCodec::scalarOf(KelvorType& type, const Json& json,
                                               const std::string& path) const {
  lang::Ref<lang::ByteArray> bytes = bytesField(json, "bytes", path);
  if (!bytes) {
    if (raw_) throw UsageError(where(path) + ": expected {\"bytes\": \"<hex>\"}");
    const ScalarText::Form form = ScalarText::formOf(type);
    std::optional<std::string> text;
    if (form == ScalarText::Form::NUMBER) {
      text = JsonText::numberText(json);
      if (!text) throw UsageError(where(path) + ": expected a number");
    } else if (json.is_string()) {
      text = json.get<std::string>();
    } else {
      throw UsageError(where(path) + (form == ScalarText::Form::DATE   ? ": expected a date text"
                                      : form == ScalarText::Form::TEXT ? ": expected a string"
                                                                       : ": expected a hex string"));
    }
    bytes = form == ScalarText::Form::HEX ? ScalarText::parseHex(*text, where(path))
                                          : ScalarText::fromText(form, *text);
  }
  // The value class the descriptor's own readers build from these bytes.
  lang::Ref<lang::Object> value = type.toObject(bytes, STYLE_SQL_VALUE, nullptr);
  auto* sql = dynamic_cast<jdbc::SqlValue*>(value.get());
  if (value && sql == nullptr) lang::throwClassCast(value->className(), "SqlValue");
  return lang::Ref<jdbc::SqlValue>(sql);
}

// --- values to JSON ---

Json ValueCodec::toJson(const lang::Object* value) const {
  return jsonOf(session_.type(), value, names_, 0);
}

Json ValueCodec::jsonOf(KelvorType& declared, const lang::Object* value, const NameTree& names,
                        int32_t depth) const {
  checkDepth(depth);
  if (value == nullptr) return Json();
  KelvorType& type = effective(declared);
  if (auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(&type)) {
    const auto* array = dynamic_cast<const jdbc::ArrayValue*>(value);
    if (array == nullptr) lang::throwClassCast(value->className(), "ArrayValue");
    if (!array->holdsElements()) {
      const auto& locator = array->getLocator();
      return locator ? hexField("locator", *locator) : Json();
    }
    Json elements = Json::array();
    const lang::Ref<lang::ObjectArray> items = array->getSqlValueElements();
    for (int32_t i = 0; items && i < items->length(); ++i) {
      elements.push_back(jsonOf(*collection->getElementType(), items->at(i), names, depth + 1));
    }
    return elements;
  }
  if (auto* object = dynamic_cast<KelvorTypeADT*>(&type)) {
    const auto* objectValue = dynamic_cast<const jdbc::ObjectValue*>(value);
    if (objectValue == nullptr) lang::throwClassCast(value->className(), "ObjectValue");
    const lang::Ref<lang::ObjectArray> attributes = objectValue->getAttributes();
    const auto& types = object->parsedAttributeTypes();
    const int32_t n = types ? types->length() : 0;
    if (!attributes || attributes->length() != n) {
      jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                               "object value does not hold its attributes");
    }
    const bool keyed = !raw_ && !names.empty();
    Json out = keyed ? Json::object() : Json::array();
    for (int32_t i = 0; i < n; ++i) {
      const auto at = static_cast<size_t>(i);
      Json item = jsonOf(static_cast<KelvorType&>(*types->at(i)), attributes->at(i),
                         names.child(at), depth + 1);
      if (keyed) {
        out[names.label(at)] = std::move(item);
      } else {
        out.push_back(std::move(item));
      }
    }
    return out;
  }
  const auto* sql = dynamic_cast<const jdbc::SqlValue*>(value);
  if (sql == nullptr) lang::throwClassCast(value->className(), "SqlValue");
  return scalarJson(type, *sql);
}

Json ValueCodec::scalarJson(KelvorType& type, const jdbc::SqlValue& value) const {
  const lang::Ref<lang::ByteArray> bytes = value.shareBytes();
  if (!bytes) return Json();
  if (!raw_) {
    const ScalarText::Form form = ScalarText::formOf(type);
    if (auto text = ScalarText::toText(form, bytes->data(), bytes->length())) {
      return form == ScalarText::Form::NUMBER ? JsonText::number(*text) : Json(*text);
    }
  }
  return hexField("bytes", *bytes);
}

}  // namespace kelvor::tools
