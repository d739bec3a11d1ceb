#pragma once

#include <exception>
#include <string>

namespace tabulo {

// What went wrong, in the words of a status line: a system error's message, "not enough
// memory", or whatever else the exception says.
std::string reasonOf(const std::exception& e);

}  // namespace tabulo
