#include "driver/PlatformArrayFactory.h"

#include "lang/Decimal.h"
#include "lang/Exceptions.h"
#include "lang/String.h"
#include "lang/Timestamp.h"

namespace kelvor::jdbc {

lang::Ref<lang::ObjectArray> PlatformArrayFactory::makeArray(int32_t typeCode, int32_t length) {
  if (length < 0) throw lang::NegativeArraySizeException(length);
  switch (typeCode) {
    case 2:  // NUMERIC
    case 3:  // DECIMAL
    case 6:  // FLOAT
    case 8:  // DOUBLE
      return lang::ObjectArray::makeOf<lang::Decimal>(length);
    case 1:   // CHAR
    case 12:  // VARCHAR
      return lang::ObjectArray::makeOf<lang::String>(length);
    case 91:  // DATE
    case 93:  // TIMESTAMP
      return lang::ObjectArray::makeOf<lang::Timestamp>(length);
    case -2:  // BINARY
    case -3:  // VARBINARY
      return lang::ObjectArray::makeOf<lang::ByteArray>(length);
    default:
      return lang::ObjectArray::make(length);
  }
}

}  // namespace kelvor::jdbc
