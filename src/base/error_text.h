// The words a user sees for an exception that ends a command.
#pragma once

#include <exception>
#include <string>

namespace pimu {

// The exception's own message, except where it is the standard library's ("std::bad_alloc",
// "vector::reserve", "basic_string::_M_create", "stoi"): those name no cause a user can act on,
// so they become a sentence that does (out of memory: a drawing with numbers no site has), in
// Japanese or English.
std::string UserMessage(const std::exception &e, bool japanese);

// Whether a message is the standard library's own text rather than one of Pimu's.
bool IsLibraryText(const std::string &what);

}  // namespace pimu
