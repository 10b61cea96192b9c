#pragma once

#include <stdexcept>
#include <string>

namespace kdx2::base {

// A failure to show the user: what() is a complete Portuguese sentence in
// CP850 (like every text the program shows), fit for a message window. Damaged files, failed I/O
// and refused input are reported this way, never by crashing.
class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace kdx2::base
