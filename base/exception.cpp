#include "base/exception.h"

#include <new>
#include <stdexcept>

namespace pq {

const char* ExceptionClassName(const std::exception& e) noexcept {
    if (auto* ours = dynamic_cast<const Exception*>(&e)) return ours->ClassName();
    if (dynamic_cast<const std::bad_alloc*>(&e)) return "EOutOfMemory";
    if (dynamic_cast<const std::out_of_range*>(&e)) return "ERangeError";
    return "Exception";
}

}  // namespace pq
