// Values of the session's type as JSON and back, in the tool's two value models.
//
// raw (--raw): the byte forms the descriptors hand to and take from the value classes
//   object     := [attribute, ...]            in attribute order
//   collection := [element, ...] | {"locator": "<hex>"}     the latter held by a locator only
//   scalar     := {"bytes": "<hex>"}          NUMBER FLOAT SINT32 DATE RAW CHAR BLOB CLOB BFILE REF
//   null       := null
// friendly (the default):
//   object     := {"NAME": attribute, ...} when names are given, else [attribute, ...]
//   collection := [element, ...] | {"locator": "<hex>"}
//   NUMBER, FLOAT, SINT32 := a JSON number with the value's exact digits
//   DATE       := "2026-03-05T14:07:09"      (ScalarText's date text)
//   CHAR       := a JSON string
//   RAW, BLOB, CLOB, BFILE, REF := a lowercase hex string
//   any scalar may also be {"bytes": "<hex>"}; decode prints that form for bytes that are no
//   value of their kind (a malformed number or date, text that is not valid UTF-8)
// Character bytes are in the connection's character set, UTF-8. Bytes that are empty make a
// null value, as the descriptors' own readers do.
//
// A JSON value of the wrong shape raises UsageError naming the path of the value (e.g.
// `ADDRESS.LINES[2]`); a value the driver refuses raises the driver's error.
#pragma once

#include <string>

#include "lang/Object.h"
#include "lang/Ref.h"
#include "tools/kelcore/JsonText.h"
#include "tools/kelcore/NameTree.h"

namespace kelvor::jdbc {
class Connection;
class SqlValue;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {
class KelvorType;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::tools {

class ToolSession;

class ValueCodec {
 public:
  ValueCodec(const ToolSession& session, const NameTree& names, bool raw);

  // The value of the session's type that the JSON describes (an ObjectValue or an
  // ArrayValue); a null JSON value: UsageError, a top-level value cannot be null.
  lang::Ref<jdbc::SqlValue> fromJson(const JsonText::Json& json) const;
  // The JSON of a value of the session's type, as fromImage returns it.
  JsonText::Json toJson(const lang::Object* value) const;

 private:
  lang::Ref<jdbc::SqlValue> valueOf(jdbc::kelcore::KelvorType& type, const JsonText::Json& json,
                                    const NameTree& names, const std::string& path,
                                    int32_t depth) const;
  lang::Ref<jdbc::SqlValue> objectOf(jdbc::kelcore::KelvorType& type, const JsonText::Json& json,
                                     const NameTree& names, const std::string& path,
                                     int32_t depth) const;
  lang::Ref<jdbc::SqlValue> collectionOf(jdbc::kelcore::KelvorType& type,
                                         const JsonText::Json& json, const NameTree& names,
                                         const std::string& path, int32_t depth) const;
  lang::Ref<jdbc::SqlValue> scalarOf(jdbc::kelcore::KelvorType& type, const JsonText::Json& json,
                                     const std::string& path) const;
  JsonText::Json jsonOf(jdbc::kelcore::KelvorType& type, const lang::Object* value,
                        const NameTree& names, int32_t depth) const;
  JsonText::Json scalarJson(jdbc::kelcore::KelvorType& type, const jdbc::SqlValue& value) const;

  const ToolSession& session_;
  const NameTree& names_;
  bool raw_;
};

}  // namespace kelvor::tools
