#include "shell/error_bridge_win.h"

#include <windows.h>

#include "derodede/derodede.h"
#include "shell/registry_win.h"

namespace pq::shell {
namespace {

class ImportedLibrary : public ErrorReportLibrary {
  public:
    void ExceptionMessage(const ShortTexts& t) override {
        ::ExceptionMessage(t[0].Data(), t[1].Data(), t[2].Data(), t[3].Data(), t[4].Data(),
                           t[5].Data(), t[6].Data(), t[7].Data());
    }
    uint8_t DatabaseErrorMessage(const derodede::ShortText& title) override {
        return ::DatabaseErrorMessage(title.Data());
    }
    void SetLastDatabaseError(const derodede::ShortText& errorText) override {
        // Looked up each time rather than imported: the export is optional, and the fixed
        // import shape of the library stays the two functions.
        HMODULE library = GetModuleHandleW(L"DERodede.dll");
        if (!library) return;
        auto set = reinterpret_cast<derodede::SetLastDatabaseErrorFn>(reinterpret_cast<void*>(
            GetProcAddress(library, derodede::kSetLastDatabaseErrorExport)));
        if (set) set(errorText.Data());
    }
};

}  // namespace

ErrorReportLibrary& DERodede() {
    static ImportedLibrary library;
    return library;
}

void ReportException(std::string_view senderClass, const std::exception& e) noexcept {
    WinMachineRegistry registry;
    MensagemExcecao(senderClass, e, registry, DERodede());
}

uint8_t AskDatabaseError(std::string_view applicationTitle, const std::exception& error) {
    return MensagemErroDb(applicationTitle, error, DERodede());
}

}  // namespace pq::shell
