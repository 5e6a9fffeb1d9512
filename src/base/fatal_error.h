#pragma once

#include <stdexcept>
#include <string>

namespace tavik {

// An error that ends the decoding session. what() is the exact text the user sees, line end
// included; the command line prints it to the standard error stream and exits with status 1.
class FatalError : public std::runtime_error {
 public:
  explicit FatalError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace tavik
