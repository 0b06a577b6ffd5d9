// Control identifiers of the real library's two dialogs, for the library and for the tests
// that find its controls and press its buttons.
// Portable: no platform headers.
#pragma once

namespace pq::derodede {

// The report dialog of ExceptionMessage.
inline constexpr int kIdCopy = 1001;        // "Copiar": the full report to the clipboard
inline constexpr int kIdClose = 1;          // "Fechar" (IDOK)
inline constexpr int kIdFirstValue = 2001;  // 2001..2008: the eight texts, in order
inline constexpr int kIdFirstLabel = 2101;  // 2101..2108: their labels
inline constexpr int kIdReport = 3000;      // read-only edit with the full report
inline constexpr int kIdNote = 3001;        // where the report was kept; "copied" after Copiar

// The database error dialog of DatabaseErrorMessage: each button ends the dialog with its
// data action; closing the dialog (Esc, the close box) counts as "Falhar".
inline constexpr int kIdFail = 1100;   // "Falhar": 0
inline constexpr int kIdAbort = 1101;  // "Abortar": 1
inline constexpr int kIdRetry = 1102;  // "Tentar novamente": 2
inline constexpr int kIdExplanation = 3100;

// Dialog titles: the report's is "Relatório de erro - " + product (or just "Relatório de
// erro" without one); the database error's is the title received ("Erro no banco de dados"
// when it is empty).
inline constexpr const char* kReportTitle = "Relatório de erro";
inline constexpr const char* kDatabaseErrorDefaultTitle = "Erro no banco de dados";

}  // namespace pq::derodede
