// A failure of the tool's own making rather than the driver's: a bad option, an unreadable
// file, text that is not JSON, a value that does not fit the type's shape. The tool reports it
// on standard error and exits with status 2.
#pragma once

#include <stdexcept>
#include <string>

namespace kelvor::tools {

class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace kelvor::tools
