// What DERodede.dll makes of the texts it receives: the labelled report that its dialog shows
// and its report file keeps, the database-error explanation, and the pieces of the scripted
// test build (one log line per call, answers from a script).
// Portable: no platform headers. Texts are UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pq::derodede {

inline constexpr size_t kReportTextCount = 8;
using ReportTexts = std::array<std::string, kReportTextCount>;

// The label of each of the eight texts, in order ("Programa", ..., "Mensagem").
const std::array<std::string_view, kReportTextCount>& ReportLabels();

// The full report: a heading with `timestamp`, then one "Label: text" line per text, lines
// ended by CR LF (the edit control and the clipboard want them). Multi-line texts keep their
// lines, each continuation indented.
std::string FormatReport(const ReportTexts& texts, std::string_view timestamp);

// The body of the database error dialog: what failed (the error text when the program handed
// one, else a note that it did not) and what each choice does.
std::string DatabaseErrorExplanation(std::string_view errorText);

// --- The scripted build -------------------------------------------------------------------

// Environment variables: the log file that every call is appended to, and the answers of
// DatabaseErrorMessage ("2,0": first call 2, second 0, every later call 0).
inline constexpr const char* kLogVariable = "DERODEDE_LOG";
inline constexpr const char* kAnswersVariable = "DERODEDE_ANSWERS";

// Log fields are escaped so that a line holds one call: backslash "\\", tab "\t", line feed
// "\n", carriage return "\r".
std::string EscapeField(std::string_view text);
std::string UnescapeField(std::string_view field);

// "ExceptionMessage\t<t1>\t...\t<t8>\n"
std::string ExceptionLogLine(const ReportTexts& texts);
// "DatabaseErrorMessage\t<title>\t<error text handed before the call, or empty>\n"
std::string DatabaseErrorLogLine(std::string_view title, std::string_view errorText);

// One logged call: its function name and its unescaped fields.
struct LoggedCall {
    std::string function;
    std::vector<std::string> fields;
};
// Splits a log file's contents into calls (a missing final line feed is accepted).
std::vector<LoggedCall> ParseLog(std::string_view contents);

// The answer to the `index`-th (0-based) DatabaseErrorMessage call under `script`: the
// comma-separated numbers 0..255, blanks allowed; a missing, empty or malformed entry gives
// 0 (fail), which ends any retry loop.
uint8_t ScriptedAnswer(std::string_view script, size_t index);

}  // namespace pq::derodede
