#include "driver/ObjectDescriptor.h"

#include "adt/KelvorTypeADT.h"
#include "driver/Connection.h"

namespace kelvor::jdbc {

ObjectDescriptor::ObjectDescriptor(lang::Ref<kelcore::KelvorTypeADT> type, Connection* connection)
    : type_(std::move(type)), connection_(connection) {
  if (!type_) lang::throwNullPointer("object descriptor without a type");
}

ObjectDescriptor::~ObjectDescriptor() = default;

lang::Ref<ObjectDescriptor> ObjectDescriptor::createDescriptor(const std::string& sqlName,
                                                               Connection* connection) {
  if (connection != nullptr) {
    if (auto* cached = dynamic_cast<ObjectDescriptor*>(connection->getDescriptor(sqlName).get())) {
      return lang::Ref<ObjectDescriptor>(cached);
    }
  }
  auto type = lang::makeRef<kelcore::KelvorTypeADT>(sqlName, connection);
  // Initialised before it is cached: a failed fetch leaves nothing behind.
  if (connection != nullptr) type->init(connection);
  auto descriptor = lang::makeRef<ObjectDescriptor>(type, connection);
  if (connection != nullptr) connection->putDescriptor(sqlName, descriptor);
  return descriptor;
}

std::string ObjectDescriptor::getName() const { return type_->getSqlName(); }

int32_t ObjectDescriptor::getLength() const { return type_->getNumAttributes(); }

}  // namespace kelvor::jdbc
