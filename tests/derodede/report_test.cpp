#include "derodede/report.h"

#include <gtest/gtest.h>

#include "derodede/short_text.h"

namespace pq::derodede {
namespace {

TEST(ShortText, LengthByteThenAtMost255Characters) {
    const ShortText empty;
    EXPECT_EQ(empty.Data()[0], 0);
    const ShortText t = ShortText::FromAnsi(std::string(300, 'a'));
    EXPECT_EQ(t.Data()[0], 255);
    EXPECT_EQ(t.Ansi(), std::string(255, 'a'));
    const ShortText u = ShortText::FromUtf8("Não Registrado");
    EXPECT_EQ(u.Data()[0], 14);
    EXPECT_EQ(u.Ansi(), "N\xE3o Registrado");
    EXPECT_EQ(u.Utf8(), "Não Registrado");
    EXPECT_EQ(Utf8Of(u.Data()), "Não Registrado");
    EXPECT_EQ(AnsiOf(nullptr), "");
}

TEST(FormatReport, LabelledLinesWithContinuations) {
    const ReportTexts texts = {"Instalador de Questões",
                               "Pacote Lumen",
                               "",
                               "Escola",
                               "",
                               "TFPrincipal",
                               "EDatabaseError",
                               "Linha 1\nLinha 2\r\nLinha 3"};
    EXPECT_EQ(FormatReport(texts, "2024-03-01 10:20:30"),
              "Relatório de erro - 2024-03-01 10:20:30\r\n"
              "Programa: Instalador de Questões\r\n"
              "Produto: Pacote Lumen\r\n"
              "Complemento 1: \r\n"
              "Registrado para: Escola\r\n"
              "Complemento 2: \r\n"
              "Objeto de origem: TFPrincipal\r\n"
              "Tipo do erro: EDatabaseError\r\n"
              "Mensagem: Linha 1\r\n    Linha 2\r\n    Linha 3\r\n");
}

TEST(DatabaseErrorExplanation, WithAndWithoutTheErrorText) {
    EXPECT_NE(DatabaseErrorExplanation("Key violation").find("Erro informado:\r\nKey violation"),
              std::string::npos);
    EXPECT_NE(DatabaseErrorExplanation("").find("O programa não informou a descrição do erro."),
              std::string::npos);
}

TEST(ScriptedLog, FieldsRoundTripThroughEscapes) {
    const std::string nasty = "a\tb\nc\rd\\e\\tf";
    EXPECT_EQ(EscapeField(nasty), "a\\tb\\nc\\rd\\\\e\\\\tf");
    EXPECT_EQ(UnescapeField(EscapeField(nasty)), nasty);

    ReportTexts texts = {"p", "Pacote Lumen", "", "Não Registrado", "", "TButton", "E", nasty};
    const std::string log =
        ExceptionLogLine(texts) + DatabaseErrorLogLine("Pacote Lumen", "Key violation");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    const std::vector<LoggedCall> calls = ParseLog(log);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "ExceptionMessage");
    EXPECT_EQ(calls[0].fields, std::vector<std::string>(texts.begin(), texts.end()));
    EXPECT_EQ(calls[1].function, "DatabaseErrorMessage");
    EXPECT_EQ(calls[1].fields, (std::vector<std::string>{"Pacote Lumen", "Key violation"}));
    // Empty fields at the end survive, and a last line without its line feed counts.
    const std::vector<LoggedCall> tail = ParseLog("DatabaseErrorMessage\tT\t");
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(tail[0].fields, (std::vector<std::string>{"T", ""}));
}

TEST(ScriptedAnswer, OneNumberPerCallThenFail) {
    EXPECT_EQ(ScriptedAnswer("2,0", 0), 2);
    EXPECT_EQ(ScriptedAnswer("2,0", 1), 0);
    EXPECT_EQ(ScriptedAnswer("2,0", 2), 0);
    EXPECT_EQ(ScriptedAnswer(" 2 , 1 ,7", 2), 7);
    EXPECT_EQ(ScriptedAnswer("2, 1", 1), 1);
    EXPECT_EQ(ScriptedAnswer("255", 0), 255);
    EXPECT_EQ(ScriptedAnswer("", 0), 0);
    // Malformed entries fail instead of retrying forever.
    EXPECT_EQ(ScriptedAnswer("x,2", 0), 0);
    EXPECT_EQ(ScriptedAnswer("x,2", 1), 2);
    EXPECT_EQ(ScriptedAnswer("256", 0), 0);
    EXPECT_EQ(ScriptedAnswer("-1", 0), 0);
    EXPECT_EQ(ScriptedAnswer("2,,2", 1), 0);
}

}  // namespace
}  // namespace pq::derodede
