#include "derodede/report.h"

namespace pq::derodede {

const std::array<std::string_view, kReportTextCount>& ReportLabels() {
    static const std::array<std::string_view, kReportTextCount> labels = {
        "Programa",      "Produto",          "Complemento 1", "Registrado para",
        "Complemento 2", "Objeto de origem", "Tipo do erro",  "Mensagem",
    };
    return labels;
}

namespace {

// Every line break (CR LF, LF or CR) becomes CR LF followed by `indent`.
std::string BreakLines(std::string_view text, std::string_view indent) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
            out += indent;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string FormatReport(const ReportTexts& texts, std::string_view timestamp) {
    std::string out = "Relatório de erro";
    if (!timestamp.empty()) out += " - " + std::string(timestamp);
    out += "\r\n";
    const auto& labels = ReportLabels();
    for (size_t i = 0; i < kReportTextCount; ++i) {
        out += labels[i];
        out += ": ";
        out += BreakLines(texts[i], "    ");
        out += "\r\n";
    }
    return out;
}

std::string DatabaseErrorExplanation(std::string_view errorText) {
    std::string out =
        "Não foi possível concluir uma operação numa tabela do banco de dados.\r\n\r\n";
    if (errorText.empty())
        out += "O programa não informou a descrição do erro.";
    else
        out += "Erro informado:\r\n" + BreakLines(errorText, "");
    out +=
        "\r\n\r\n"
        "Tentar novamente: repete a operação.\r\n"
        "Abortar: desiste da operação sem outro aviso.\r\n"
        "Falhar: desiste da operação e mostra o relatório do erro.";
    return out;
}

std::string EscapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string UnescapeField(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        switch (field[++i]) {
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\', out += field[i];  // not ours: kept as it stands
        }
    }
    return out;
}

std::string ExceptionLogLine(const ReportTexts& texts) {
    std::string line = "ExceptionMessage";
    for (const std::string& t : texts) line += "\t" + EscapeField(t);
    return line + "\n";
}

std::string DatabaseErrorLogLine(std::string_view title, std::string_view errorText) {
    return "DatabaseErrorMessage\t" + EscapeField(title) + "\t" + EscapeField(errorText) + "\n";
}

std::vector<LoggedCall> ParseLog(std::string_view contents) {
    std::vector<LoggedCall> calls;
    while (!contents.empty()) {
        const size_t end = contents.find('\n');
        std::string_view line = contents.substr(0, end);
        contents = end == std::string_view::npos ? std::string_view{} : contents.substr(end + 1);
        if (line.empty()) continue;
        LoggedCall call;
        size_t tab = line.find('\t');
        call.function = std::string(line.substr(0, tab));
        while (tab != std::string_view::npos) {
            line = line.substr(tab + 1);
            tab = line.find('\t');
            call.fields.push_back(UnescapeField(line.substr(0, tab)));
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

uint8_t ScriptedAnswer(std::string_view script, size_t index) {
    for (size_t i = 0;; ++i) {
        const size_t comma = script.find(',');
        std::string_view entry = script.substr(0, comma);
        if (i == index) {
            while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
            while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
            if (entry.empty() || entry.size() > 3) return 0;
            unsigned value = 0;
            for (const char c : entry) {
                if (c < '0' || c > '9') return 0;
                value = value * 10 + static_cast<unsigned>(c - '0');
            }
            return value > 255 ? 0 : static_cast<uint8_t>(value);
        }
        if (comma == std::string_view::npos) return 0;
        script = script.substr(comma + 1);
    }
}

}  // namespace pq::derodede
