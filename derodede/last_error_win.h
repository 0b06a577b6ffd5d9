// The table error text handed over through DERodedeSetLastDatabaseError, kept for the next
// DatabaseErrorMessage call only. Shared by both builds of the library.
#pragma once

#include <string>

namespace pq::derodede {

void KeepLastDatabaseError(std::string utf8);
// The kept text (UTF-8), which is forgotten by this call.
std::string TakeLastDatabaseError();

}  // namespace pq::derodede
