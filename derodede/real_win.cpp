// The real DERodede.dll: ExceptionMessage shows a report dialog with every text it received
// (and a button that copies the full report) and keeps the report in the report file;
// DatabaseErrorMessage shows the table error it was handed, if any, and lets the user choose
// retry, abort or fail. Both dialogs are modal, owned by the caller's active window, and made
// from in-memory templates.
#include <windows.h>

#include <string>

#include "base/text.h"
#include "derodede/derodede.h"
#include "derodede/dialog_ids.h"
#include "derodede/dialog_template_win.h"
#include "derodede/last_error_win.h"
#include "derodede/report.h"
#include "derodede/report_file_win.h"
#include "derodede/short_text.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pq::derodede {
namespace {

std::wstring Wide(std::string_view utf8) {
    const std::u16string w = text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

HINSTANCE ThisModule() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

std::string Timestamp() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char buffer[32];
    wsprintfA(buffer, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
              t.wMinute, t.wSecond);
    return buffer;
}

bool CopyToClipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    bool ok = false;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = GlobalLock(memory)) {
            memcpy(p, text.c_str(), bytes);
            GlobalUnlock(memory);
            ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!ok) GlobalFree(memory);  // on success the clipboard owns it
    }
    CloseClipboard();
    return ok;
}

// --- The report dialog ---------------------------------------------------------------------

struct ReportDialog {
    ReportTexts texts;
    std::wstring report;  // CR LF lines
    std::wstring savedPath;
};

constexpr DWORD kValueStyle = SS_NOPREFIX | SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS;

INT_PTR CALLBACK ReportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* data = reinterpret_cast<ReportDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            data = reinterpret_cast<ReportDialog*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            for (size_t i = 0; i < kReportTextCount; ++i)
                SetDlgItemTextW(dialog, kIdFirstValue + static_cast<int>(i),
                                Wide(data->texts[i]).c_str());
            SetDlgItemTextW(dialog, kIdReport, data->report.c_str());
            if (!data->savedPath.empty())
                SetDlgItemTextW(dialog, kIdNote,
                                (L"Uma cópia foi guardada em " + data->savedPath).c_str());
            SendDlgItemMessageW(dialog, 3002, STM_SETICON,
                                reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_ERROR)), 0);
            // Focus on "Fechar", so the report is not shown all selected.
            SetFocus(GetDlgItem(dialog, kIdClose));
            return FALSE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kIdCopy:
                    SetDlgItemTextW(dialog, kIdNote,
                                    CopyToClipboard(dialog, data->report)
                                        ? L"Relatório copiado para a área de transferência."
                                        : L"Não foi possível copiar o relatório.");
                    return TRUE;
                case IDOK:
                case IDCANCEL:
                    EndDialog(dialog, IDOK);
                    return TRUE;
            }
            break;
    }
    return FALSE;
}

void ShowReport(ReportDialog& data) {
    const std::string& product = data.texts[1];
    const std::string title =
        product.empty() ? std::string(kReportTitle) : std::string(kReportTitle) + " - " + product;
    DialogTemplate t(Wide(title), 340, 252);
    t.Add(3002, DialogTemplate::kStatic, L"", SS_ICON, 7, 7, 20, 20);
    t.Add(3003, DialogTemplate::kStatic,
          L"O programa encontrou um erro e não pôde concluir o que estava fazendo. Os dados "
          L"abaixo descrevem o erro; use \"Copiar\" para enviá-los ao suporte.",
          SS_NOPREFIX, 34, 7, 299, 20);
    const auto& labels = ReportLabels();
    for (int i = 0; i < static_cast<int>(kReportTextCount); ++i) {
        const short y = static_cast<short>(32 + 11 * i);
        const bool message = i == static_cast<int>(kReportTextCount) - 1;
        t.Add(kIdFirstLabel + i, DialogTemplate::kStatic, Wide(std::string(labels[i]) + ":"),
              SS_NOPREFIX, 7, y, 75, 9);
        t.Add(kIdFirstValue + i, DialogTemplate::kStatic, L"", message ? SS_NOPREFIX : kValueStyle,
              85, y, 248, message ? 33 : 9);
    }
    t.Add(3004, DialogTemplate::kStatic, L"Relatório completo:", SS_NOPREFIX, 7, 148, 200, 9);
    t.Add(kIdReport, DialogTemplate::kEdit, L"",
          ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 7, 159,
          326, 60);
    t.Add(kIdNote, DialogTemplate::kStatic, L"", SS_NOPREFIX | SS_PATHELLIPSIS, 7, 222, 326, 9);
    t.Add(kIdCopy, DialogTemplate::kButton, L"Copiar", BS_PUSHBUTTON | WS_TABSTOP, 225, 233, 50,
          14);
    t.Add(kIdClose, DialogTemplate::kButton, L"Fechar", BS_DEFPUSHBUTTON | WS_TABSTOP, 283, 233, 50,
          14);
    DialogBoxIndirectParamW(ThisModule(), t.Get(), GetActiveWindow(), ReportProc,
                            reinterpret_cast<LPARAM>(&data));
}

// --- The database error dialog ---------------------------------------------------------------

INT_PTR CALLBACK DatabaseErrorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextW(dialog, kIdExplanation, reinterpret_cast<const wchar_t*>(lParam));
            SendDlgItemMessageW(dialog, 3101, STM_SETICON,
                                reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
            SetFocus(GetDlgItem(dialog, kIdFail));
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kIdFail:
                case IDCANCEL:
                    EndDialog(dialog, kActFail);
                    return TRUE;
                case kIdAbort:
                    EndDialog(dialog, kActAbort);
                    return TRUE;
                case kIdRetry:
                    EndDialog(dialog, kActRetry);
                    return TRUE;
            }
            break;
    }
    return FALSE;
}

uint8_t AskDatabaseError(const std::string& title, const std::string& errorText) {
    DialogTemplate t(Wide(title.empty() ? std::string(kDatabaseErrorDefaultTitle) : title), 300,
                     150);
    t.Add(3101, DialogTemplate::kStatic, L"", SS_ICON, 7, 7, 20, 20);
    t.Add(kIdExplanation, DialogTemplate::kStatic, L"", SS_NOPREFIX, 34, 7, 259, 112);
    t.Add(kIdRetry, DialogTemplate::kButton, L"Tentar novamente", BS_PUSHBUTTON | WS_TABSTOP, 113,
          129, 70, 14);
    t.Add(kIdAbort, DialogTemplate::kButton, L"Abortar", BS_PUSHBUTTON | WS_TABSTOP, 188, 129, 50,
          14);
    // "Falhar" is the default: holding Enter down must not retry forever.
    t.Add(kIdFail, DialogTemplate::kButton, L"Falhar", BS_DEFPUSHBUTTON | WS_TABSTOP, 243, 129, 50,
          14);
    const std::wstring explanation = Wide(DatabaseErrorExplanation(errorText));
    const INT_PTR answer =
        DialogBoxIndirectParamW(ThisModule(), t.Get(), GetActiveWindow(), DatabaseErrorProc,
                                reinterpret_cast<LPARAM>(explanation.c_str()));
    // A dialog that could not be shown fails the operation rather than retrying it blindly.
    return answer == kActAbort || answer == kActRetry ? static_cast<uint8_t>(answer) : kActFail;
}

}  // namespace
}  // namespace pq::derodede

using namespace pq::derodede;

extern "C" void DERODEDE_CALL
ExceptionMessage(const unsigned char* program, const unsigned char* product,
                 const unsigned char* extra1, const unsigned char* registeredTo,
                 const unsigned char* extra2, const unsigned char* senderClass,
                 const unsigned char* exceptionClass, const unsigned char* message) {
    ReportDialog data;
    const unsigned char* texts[] = {program, product,     extra1,         registeredTo,
                                    extra2,  senderClass, exceptionClass, message};
    for (size_t i = 0; i < kReportTextCount; ++i) data.texts[i] = Utf8Of(texts[i]);
    const std::string report = FormatReport(data.texts, Timestamp());
    data.report = Wide(report);
    data.savedPath = Wide(AppendReport(report));
    ShowReport(data);
}

extern "C" uint8_t DERODEDE_CALL DatabaseErrorMessage(const unsigned char* title) {
    return AskDatabaseError(Utf8Of(title), TakeLastDatabaseError());
}
