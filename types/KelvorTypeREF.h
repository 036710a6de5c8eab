// Descriptor of a REF attribute: a reference to a row object of an object type. Values are
// the server's REF bytes (starting with their own 2-byte length), wrapped in a RefValue that
// also carries the referenced type's object descriptor, which this descriptor obtains once.
// Thread rule: no lock of its own; two threads may both build the object descriptor on first
// use (both describe the same type): the first one published is kept and returned to both.
#pragma once

#include <cstdint>
#include <string>

#include "types/KelvorNamedType.h"

namespace kelvor::jdbc {
class ObjectDescriptor;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {

class KelvorTypeREF final : public KelvorNamedType {
 public:
  static constexpr int32_t TYPE_CODE = 2006;  // the platform's REF type code
  static constexpr int32_t STYLE_SQL_VALUE = 1;
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;
  static constexpr int32_t STYLE_BYTES = 3;

  static const lang::SerialClass SERIAL_CLASS;
  static inline TraceSwitch TRACE{0};

  KelvorTypeREF();
  KelvorTypeREF(const std::string& sqlName, jdbc::Connection* connection);
  KelvorTypeREF(KelvorTypeADT* parent, int32_t parentIndex, jdbc::Connection* connection);

  int32_t getTypeCode() const override;
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* connection) override;
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  using KelvorType::unpickle;
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // The object descriptor of the referenced type, built on first use; null when none.
  virtual Ref<jdbc::ObjectDescriptor> getObjectDescriptor();

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeREF"; }
};

}  // namespace kelvor::jdbc::kelcore
