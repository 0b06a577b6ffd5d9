// The program's side of the error-report library DERodede.dll: MensagemExcecao, the handler of
// every exception that escapes an event handler, and MensagemErroDb, the answer to a table
// error event. Both only build short texts and call the library; they raise and show nothing
// of their own. The library and the registry are interfaces here, so that the texts are tested
// natively; error_bridge_win.h binds them to the real DERodede.dll and registry.
// Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "derodede/short_text.h"
#include "shell/registry.h"

namespace pq::shell {

inline constexpr std::string_view kRegistrationKey = "\\Software\\Tessera\\Farol Exames\\1.0";
inline constexpr std::string_view kRegistrationValue = "Name";
inline constexpr std::string_view kUnregistered = "Não Registrado";
inline constexpr std::string_view kReportProgram = "Instalador de Questões";
inline constexpr std::string_view kReportProduct = "Pacote Lumen";

using ShortTexts = std::array<derodede::ShortText, 8>;

class ErrorReportLibrary {
  public:
    virtual ~ErrorReportLibrary() = default;
    virtual void ExceptionMessage(const ShortTexts& texts) = 0;
    // Returns the data action: 0 fail, 1 abort, 2 (or any other value) retry.
    virtual uint8_t DatabaseErrorMessage(const derodede::ShortText& title) = 0;
    // Hands the library the text of the table error that the next DatabaseErrorMessage is
    // about. Does nothing when the library does not offer it.
    virtual void SetLastDatabaseError(const derodede::ShortText& errorText) = 0;
};

// The host's registered user, read afresh: the "Name" text of the registration key;
// "Não Registrado" when the key or the value is missing or the value is not a text.
std::string RegistrationName(MachineRegistry& registry);

// The eight texts of a report, in order, UTF-8 and not yet cut.
std::array<std::string, 8> ReportTexts(std::string_view senderClass, const std::exception& e,
                                       MachineRegistry& registry);

// Reports `e`, raised while `senderClass` processed something, through ExceptionMessage.
// EAbort is dropped without a report. Never throws.
void MensagemExcecao(std::string_view senderClass, const std::exception& e,
                     MachineRegistry& registry, ErrorReportLibrary& library) noexcept;

// Asks the library how the table operation that failed with `error` goes on and returns its
// answer, the event's new data action. `applicationTitle` is the title at the time of the
// call. The error's text is handed over first through the optional export.
uint8_t MensagemErroDb(std::string_view applicationTitle, const std::exception& error,
                       ErrorReportLibrary& library);

}  // namespace pq::shell
