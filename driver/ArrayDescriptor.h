// The driver's descriptor of a collection type: the type's descriptor tree (a
// KelvorTypeCOLLECTION) and the connection it belongs to. Made by the factory, which serves
// each SQL name once per connection from the connection's descriptor cache, or built around an
// unnamed collection tree (an attribute type whose name is not known).
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
class KelvorTypeCOLLECTION;
class KelvorType;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::jdbc {

class ArrayDescriptor final : public lang::Object {
 public:
  ArrayDescriptor(lang::Ref<kelcore::KelvorTypeCOLLECTION> type, Connection* connection);
  ~ArrayDescriptor() override;

  // The descriptor of the named collection type: the connection's cached one, or a new one
  // whose type is initialised through the connection (when there is one) and then cached.
  static lang::Ref<ArrayDescriptor> createDescriptor(const std::string& sqlName,
                                                     Connection* connection);

  const lang::Ref<kelcore::KelvorTypeCOLLECTION>& getKelvorType() const noexcept { return type_; }
  Connection* getConnection() const noexcept { return connection_; }
  std::string getName() const;
  // The element descriptor; null before the type is parsed.
  lang::Ref<kelcore::KelvorType> getElementType() const;
  // The declared maximum element count (bounded collections).
  int64_t getMaxLength() const;

  const char* className() const noexcept override { return "ArrayDescriptor"; }

 private:
  lang::Ref<kelcore::KelvorTypeCOLLECTION> type_;
  Connection* connection_;  // not owned
};

}  // namespace kelvor::jdbc
