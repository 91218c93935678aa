// Failures of the korv library. Every failure is thrown as a korv::Error (or std::bad_alloc when
// memory runs out) whose message is the line the programs print for it; the library never ends
// the process.
#pragma once

#include <stdexcept>
#include <string>

namespace korv {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace korv
