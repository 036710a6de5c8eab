// A prepared statement or server call of a connection: parameters are bound and output
// parameters registered by 1-based index, then it is executed once and its outputs read.
#pragma once

#include <cstdint>
#include <string>

#include "driver/ResultSet.h"
#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class Statement : public lang::Object {
 public:
  // The platform's SQL type codes used for output parameters.
  static constexpr int32_t NUMERIC = 2;
  static constexpr int32_t INTEGER = 4;
  static constexpr int32_t VARBINARY = -3;

  // Binds an input parameter; a null pointer binds SQL null.
  virtual void setString(int32_t index, const lang::String* value) = 0;
  virtual void registerOutParameter(int32_t index, int32_t sqlType) = 0;
  // Runs a call; its outputs are then read with the getters.
  virtual void execute() = 0;
  // Runs a query.
  virtual lang::Ref<ResultSet> executeQuery() = 0;
  // Output parameters. A parameter that was not registered or has no value raises ERR_INTERNAL.
  virtual int32_t getInt(int32_t index) = 0;
  virtual int64_t getLong(int32_t index) = 0;
  // Null for an SQL null.
  virtual lang::Ref<lang::ByteArray> getBytes(int32_t index) = 0;
  virtual void close() = 0;

  const char* className() const noexcept override { return "Statement"; }
};

}  // namespace kelvor::jdbc
