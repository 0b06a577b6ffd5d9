#include "shell/error_bridge.h"

#include "base/exception.h"

namespace pq::shell {

std::string RegistrationName(MachineRegistry& registry) {
    RegistryText r = registry.ReadText(kRegistrationKey, kRegistrationValue);
    // A value of another type must not make the report itself fail: it counts as missing.
    if (r.status == RegistryText::Status::kFound) return std::move(r.text);
    return std::string(kUnregistered);
}

std::array<std::string, 8> ReportTexts(std::string_view senderClass, const std::exception& e,
                                       MachineRegistry& registry) {
    return {std::string(kReportProgram),
            std::string(kReportProduct),
            std::string(),
            RegistrationName(registry),
            std::string(),
            std::string(senderClass),
            ExceptionClassName(e),
            e.what()};
}

void MensagemExcecao(std::string_view senderClass, const std::exception& e,
                     MachineRegistry& registry, ErrorReportLibrary& library) noexcept {
    if (dynamic_cast<const EAbort*>(&e)) return;
    try {
        const std::array<std::string, 8> texts = ReportTexts(senderClass, e, registry);
        ShortTexts shortTexts;
        for (size_t i = 0; i < texts.size(); ++i)
            shortTexts[i] = derodede::ShortText::FromUtf8(texts[i]);
        library.ExceptionMessage(shortTexts);
    } catch (...) {
        // Only an allocation failure can land here. The handler is the last stop of every
        // failure, so there is no one left to tell; the message loop goes on.
    }
}

uint8_t MensagemErroDb(std::string_view applicationTitle, const std::exception& error,
                       ErrorReportLibrary& library) {
    library.SetLastDatabaseError(derodede::ShortText::FromUtf8(error.what()));
    return library.DatabaseErrorMessage(derodede::ShortText::FromUtf8(applicationTitle));
}

}  // namespace pq::shell
