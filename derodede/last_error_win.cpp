#include "derodede/last_error_win.h"

#include <mutex>
#include <utility>

#include "derodede/derodede.h"
#include "derodede/short_text.h"

namespace pq::derodede {
namespace {

std::mutex lastErrorMutex;
std::string lastError;

}  // namespace

void KeepLastDatabaseError(std::string utf8) {
    std::lock_guard lock(lastErrorMutex);
    lastError = std::move(utf8);
}

std::string TakeLastDatabaseError() {
    std::lock_guard lock(lastErrorMutex);
    return std::exchange(lastError, {});
}

}  // namespace pq::derodede

extern "C" void DERODEDE_CALL DERodedeSetLastDatabaseError(const unsigned char* errorText) {
    pq::derodede::KeepLastDatabaseError(pq::derodede::Utf8Of(errorText));
}
