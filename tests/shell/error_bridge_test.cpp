#include "shell/error_bridge.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "base/exception.h"
#include "tests/app/fakes.h"

namespace pq::shell {
namespace {

using app::testing::FakeRegistry;

// Records what reached the library, as the bytes it received.
class RecordingLibrary : public ErrorReportLibrary {
  public:
    void ExceptionMessage(const ShortTexts& texts) override {
        std::vector<std::string> call;
        for (const auto& t : texts) call.emplace_back(t.Ansi());
        reports.push_back(call);
        lengthBytes.push_back(texts[7].Data()[0]);
    }
    uint8_t DatabaseErrorMessage(const derodede::ShortText& title) override {
        events.push_back("DatabaseErrorMessage:" + std::string(title.Ansi()));
        return answer;
    }
    void SetLastDatabaseError(const derodede::ShortText& text) override {
        events.push_back("SetLastDatabaseError:" + std::string(text.Ansi()));
    }
    std::vector<std::vector<std::string>> reports;
    std::vector<int> lengthBytes;
    std::vector<std::string> events;
    uint8_t answer = 0;
};

const std::string kKey(kRegistrationKey);

TEST(MensagemExcecao, EightTextsInOrderInTheAnsiCodePage) {
    FakeRegistry registry;
    registry.SetText(kKey, "Name", "Colégio Ação");
    RecordingLibrary library;
    MensagemExcecao("TFPrincipal", ERegistryException("Invalid data type for 'UninstallString'"),
                    registry, library);
    ASSERT_EQ(library.reports.size(), 1u);
    EXPECT_EQ(library.reports[0],
              (std::vector<std::string>{"Instalador de Quest\xF5"
                                        "es",
                                        "Pacote Lumen", "", "Col\xE9gio A\xE7\xE3o", "",
                                        "TFPrincipal", "ERegistryException",
                                        "Invalid data type for 'UninstallString'"}));
}

TEST(MensagemExcecao, MessageCutTo255CharactersAfterConversion) {
    FakeRegistry registry;
    RecordingLibrary library;
    std::string accented;
    for (int i = 0; i < 300; ++i) accented += "é";  // 600 UTF-8 bytes, 300 characters
    MensagemExcecao("TButton", std::runtime_error(accented), registry, library);
    MensagemExcecao("TButton", std::runtime_error(std::string(255, 'x')), registry, library);
    MensagemExcecao("TButton", std::runtime_error(std::string(256, 'y')), registry, library);
    ASSERT_EQ(library.reports.size(), 3u);
    EXPECT_EQ(library.reports[0][7], std::string(255, '\xE9'));
    EXPECT_EQ(library.lengthBytes[0], 255);
    EXPECT_EQ(library.reports[1][7], std::string(255, 'x'));
    EXPECT_EQ(library.reports[2][7], std::string(255, 'y'));
    // A standard exception carries the platform library's generic class name.
    EXPECT_EQ(library.reports[0][6], "Exception");
}

TEST(MensagemExcecao, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    FakeRegistry registry;
    RecordingLibrary library;
    MensagemExcecao("TApplication", std::runtime_error("Falha → π"), registry, library);
    EXPECT_EQ(library.reports.at(0)[7], "Falha ? ?");
}

TEST(MensagemExcecao, RegistrationNameReadAfreshForEveryReport) {
    FakeRegistry registry;
    RecordingLibrary library;
    const std::runtime_error e("x");
    MensagemExcecao("T", e, registry, library);  // no key
    registry.AddKey(kKey);
    MensagemExcecao("T", e, registry, library);  // key without the value
    registry.SetText(kKey, "Name", "");
    MensagemExcecao("T", e, registry, library);  // an empty value
    registry.SetText(kKey, "Name", "Escola Nova");
    MensagemExcecao("T", e, registry, library);
    registry.SetNonText(kKey, "Name");
    MensagemExcecao("T", e, registry, library);  // not a text: no second exception
    ASSERT_EQ(library.reports.size(), 5u);
    EXPECT_EQ(library.reports[0][3], "N\xE3o Registrado");
    EXPECT_EQ(library.reports[1][3], "N\xE3o Registrado");
    EXPECT_EQ(library.reports[2][3], "");
    EXPECT_EQ(library.reports[3][3], "Escola Nova");
    EXPECT_EQ(library.reports[4][3], "N\xE3o Registrado");
}

TEST(MensagemExcecao, AbortIsDroppedWithoutReport) {
    FakeRegistry registry;
    RecordingLibrary library;
    MensagemExcecao("TFPrincipal", EAbort(), registry, library);
    EXPECT_TRUE(library.reports.empty());
    EXPECT_EQ(registry.reads, 0);
}

TEST(MensagemErroDb, HandsTheErrorThenAsksWithTheTitle) {
    RecordingLibrary library;
    for (const uint8_t answer : {0, 1, 2, 7}) {
        library.answer = answer;
        library.events.clear();
        EXPECT_EQ(MensagemErroDb("Pacote Lumen", std::runtime_error("Chave duplicada"), library),
                  answer);
        EXPECT_EQ(library.events, (std::vector<std::string>{"SetLastDatabaseError:Chave duplicada",
                                                            "DatabaseErrorMessage:Pacote Lumen"}));
    }
    library.events.clear();
    MensagemErroDb("Pacote de Questões", std::runtime_error(std::string(400, 'e')), library);
    EXPECT_EQ(library.events.at(0), "SetLastDatabaseError:" + std::string(255, 'e'));
    EXPECT_EQ(library.events.at(1),
              "DatabaseErrorMessage:Pacote de Quest\xF5"
              "es");
}

}  // namespace
}  // namespace pq::shell
