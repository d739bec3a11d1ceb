#include "common/ErrorText.h"

#include <new>
#include <system_error>

namespace tabulo {

std::string reasonOf(const std::exception& e) {
    if (const auto* system = dynamic_cast<const std::system_error*>(&e)) return system->code().message();
    if (dynamic_cast<const std::bad_alloc*>(&e)) return "not enough memory";
    return e.what();
}

}  // namespace tabulo
