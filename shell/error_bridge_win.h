// The error bridge bound to the real things: DERodede.dll, imported when the program loads
// (the program does not start without it), and the registry of the machine.
#pragma once

#include <cstdint>
#include <exception>
#include <string_view>

#include "shell/error_bridge.h"

namespace pq::shell {

// The library the program was linked against. SetLastDatabaseError uses the library's
// optional export when it has one.
ErrorReportLibrary& DERodede();

// MensagemExcecao with the machine's registry and DERodede.dll. Never throws.
void ReportException(std::string_view senderClass, const std::exception& e) noexcept;

// MensagemErroDb with DERodede.dll: the data action for a table error event.
uint8_t AskDatabaseError(std::string_view applicationTitle, const std::exception& error);

}  // namespace pq::shell
