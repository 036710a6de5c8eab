// Rows of a query, read forward once. Columns are 1-based.
#pragma once

#include <cstdint>

#include "lang/Object.h"
#include "lang/Ref.h"
#include "lang/String.h"

namespace kelvor::jdbc {

class ResultSet : public lang::Object {
 public:
  // Moves to the next row; false when there is none.
  virtual bool next() = 0;
  virtual int32_t getInt(int32_t column) = 0;
  // Null for an SQL null.
  virtual lang::Ref<lang::String> getString(int32_t column) = 0;
  virtual void close() = 0;

  const char* className() const noexcept override { return "ResultSet"; }
};

}  // namespace kelvor::jdbc
