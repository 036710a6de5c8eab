// The driver's descriptor of an object type: the type's descriptor tree (a KelvorTypeADT) and
// the connection it belongs to. Made by the factory, which serves each SQL name once per
// connection from the connection's descriptor cache.
//
// Ownership: the descriptor owns its type; types refer to the connection without owning it.
#pragma once

#include <cstdint>
#include <string>

#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class Connection;

}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {
class KelvorTypeADT;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::jdbc {

class ObjectDescriptor final : public lang::Object {
 public:
  ObjectDescriptor(lang::Ref<kelcore::KelvorTypeADT> type, Connection* connection);
  ~ObjectDescriptor() override;

  // The descriptor of the named type: the connection's cached one, or a new one whose type is
  // initialised through the connection (when there is one) and then cached under the name.
  static lang::Ref<ObjectDescriptor> createDescriptor(const std::string& sqlName,
                                                      Connection* connection);

  const lang::Ref<kelcore::KelvorTypeADT>& getKelvorType() const noexcept { return type_; }
  Connection* getConnection() const noexcept { return connection_; }
  std::string getName() const;
  // The number of attributes of the type.
  int32_t getLength() const;

  const char* className() const noexcept override { return "ObjectDescriptor"; }

 private:
  lang::Ref<kelcore::KelvorTypeADT> type_;
  Connection* connection_;  // not owned
};

}  // namespace kelvor::jdbc
