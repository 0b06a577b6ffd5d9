#include "paradox/error.h"

namespace pq::paradox {

void Corrupt(const std::string& where, const std::string& what) {
    throw CorruptError(where + ": " + what);
}

}  // namespace pq::paradox
