// The driver's connection, as the package sees it. The type-information server call, the
// dictionary queries, the descriptor cache, the format descriptor and the character set are
// added with the descriptors that use them; an in-memory implementation serves tests.
#pragma once

#include "lang/Object.h"

namespace kelvor::jdbc {

class Connection : public lang::Object {
 public:
  const char* className() const noexcept override { return "Connection"; }
};

}  // namespace kelvor::jdbc
