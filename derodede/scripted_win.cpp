// The scripted DERodede.dll for tests: shows nothing, appends every call with its texts to the
// file named by DERODEDE_LOG (nothing is recorded when the variable is unset) and answers
// DatabaseErrorMessage from the script in DERODEDE_ANSWERS (see derodede/report.h).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "base/text.h"
#include "derodede/derodede.h"
#include "derodede/last_error_win.h"
#include "derodede/report.h"
#include "derodede/short_text.h"

namespace pq::derodede {
namespace {

std::atomic<size_t> databaseErrorCalls{0};

std::wstring Variable(const wchar_t* name) {
    std::wstring value(1024, L'\0');
    for (;;) {
        const DWORD n =
            GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (n < value.size()) {
            value.resize(n);  // 0 when unset
            return value;
        }
        value.resize(n);
    }
}

void Record(const std::string& line) {
    const std::wstring path = Variable(L"DERODEDE_LOG");
    if (path.empty()) return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A test that names a log it cannot get would otherwise pass on an empty log.
        fputs("DERodede (scripted): the log file named by DERODEDE_LOG cannot be opened\n", stderr);
        ExitProcess(97);
    }
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace
}  // namespace pq::derodede

using namespace pq::derodede;

extern "C" void DERODEDE_CALL
ExceptionMessage(const unsigned char* program, const unsigned char* product,
                 const unsigned char* extra1, const unsigned char* registeredTo,
                 const unsigned char* extra2, const unsigned char* senderClass,
                 const unsigned char* exceptionClass, const unsigned char* message) {
    const unsigned char* texts[] = {program, product,     extra1,         registeredTo,
                                    extra2,  senderClass, exceptionClass, message};
    ReportTexts utf8;
    for (size_t i = 0; i < kReportTextCount; ++i) utf8[i] = Utf8Of(texts[i]);
    Record(ExceptionLogLine(utf8));
}

extern "C" uint8_t DERODEDE_CALL DatabaseErrorMessage(const unsigned char* title) {
    Record(DatabaseErrorLogLine(Utf8Of(title), TakeLastDatabaseError()));
    const std::wstring script = Variable(L"DERODEDE_ANSWERS");
    return ScriptedAnswer(pq::text::Utf16ToUtf8(std::u16string(script.begin(), script.end())),
                          databaseErrorCalls++);
}
