#include "driver/ArrayDescriptor.h"

#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/Connection.h"

namespace kelvor::jdbc {

ArrayDescriptor::ArrayDescriptor(lang::Ref<kelcore::KelvorTypeCOLLECTION> type,
                                 Connection* connection)
    : type_(std::move(type)), connection_(connection) {
  if (!type_) lang::throwNullPointer("array descriptor without a type");
}

ArrayDescriptor::~ArrayDescriptor() = default;

lang::Ref<ArrayDescriptor> ArrayDescriptor::createDescriptor(const std::string& sqlName,
                                                             Connection* connection) {
  if (connection != nullptr) {
    if (auto* cached = dynamic_cast<ArrayDescriptor*>(connection->getDescriptor(sqlName).get())) {
      return lang::Ref<ArrayDescriptor>(cached);
    }
  }
  auto type = lang::makeRef<kelcore::KelvorTypeCOLLECTION>(sqlName, connection);
  // Initialised before it is cached: a failed fetch leaves nothing behind.
  if (connection != nullptr) type->init(connection);
  auto descriptor = lang::makeRef<ArrayDescriptor>(type, connection);
  if (connection != nullptr) connection->putDescriptor(sqlName, descriptor);
  return descriptor;
}

std::string ArrayDescriptor::getName() const { return type_->getSqlName(); }

lang::Ref<kelcore::KelvorType> ArrayDescriptor::getElementType() const {
  return type_->getElementType();
}

int64_t ArrayDescriptor::getMaxLength() const { return type_->getMaxElements(); }

}  // namespace kelvor::jdbc
