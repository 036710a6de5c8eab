#include "driver/ObjectValue.h"

#include "adt/KelvorTypeADT.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"

namespace kelvor::jdbc {

ObjectValue::ObjectValue(lang::Ref<ObjectDescriptor> descriptor, Connection* connection,
                         lang::Ref<lang::ObjectArray> attributes)
    : descriptor_(std::move(descriptor)), connection_(connection) {
  if (!descriptor_) lang::throwNullPointer("object value without a descriptor");
  const lang::Ref<kelcore::KelvorTypeADT>& type = descriptor_->getKelvorType();
  const int32_t n = type->getNumAttributes();
  if (!attributes || attributes->length() != n) {
    ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, attributes.get());
  }
  attributes_ = lang::ObjectArray::makeOf<SqlValue>(n);
  for (int32_t i = 0; i < n; ++i) {
    attributes_->set(i, type->getAttributeType(i)->toSqlValue(attributes->at(i), connection));
  }
}

bool ObjectValue::equals(const lang::Object* other) const {
  if (other == this) return true;
  const auto* o = dynamic_cast<const ObjectValue*>(other);
  if (o == nullptr) return false;
  if (descriptor_->getName() != o->descriptor_->getName()) return false;
  if (attributes_->length() != o->attributes_->length()) return false;
  for (int32_t i = 0; i < attributes_->length(); ++i) {
    const lang::Object* a = attributes_->at(i);
    const lang::Object* b = o->attributes_->at(i);
    if (a == nullptr ? b != nullptr : !a->equals(b)) return false;
  }
  return true;
}

}  // namespace kelvor::jdbc
