// The real DERodede.dll under Wine: its dialogs are found from a second thread, read, pressed
// and photographed (build/<preset>/screenshots/).
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "derodede/dialog_ids.h"
#include "derodede/report.h"
#include "library_loader_win.h"
#include "tests/app/win_test_support.h"

namespace pq::derodede {
namespace {

using namespace pq::testing;
using testing::Library;

// Runs `driver` on a second thread while the calling thread is inside a library call. If the
// driver gives up, every dialog still open on the calling thread is cancelled so that the call
// returns and the test fails instead of hanging.
class DialogDriver {
  public:
    explicit DialogDriver(std::function<void()> driver)
        : mainThread_(GetCurrentThreadId()), thread_([this, driver] {
              driver();
              CancelLeftovers();
          }) {}
    ~DialogDriver() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    void CancelLeftovers() {
        EnumThreadWindows(
            mainThread_,
            [](HWND w, LPARAM) -> BOOL {
                wchar_t cls[16];
                GetClassNameW(w, cls, 16);
                if (std::wstring(cls) == L"#32770") PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
                return TRUE;
            },
            0);
    }
    DWORD mainThread_;
    std::thread thread_;
};

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return "<clipboard busy>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = Narrow(p);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

const std::array<std::string, 8> kTexts = {"Instalador de Questões",
                                           "Pacote Lumen",
                                           "",
                                           "Colégio São José",
                                           "",
                                           "TFPrincipal",
                                           "EDatabaseError",
                                           "Key violation.\nTable: Matemática.db"};

TEST(RealLibrary, ReportDialogShowsTheTextsCopiesThemAndKeepsTheReport) {
    TempDir appData("derodede-appdata");
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", Wide(appData.Path()).c_str()));
    Library library("bin\\DERodede.dll");

    std::vector<std::string> values;
    std::string reportText, noteAfterCopy, savedNote;
    bool shot = false;
    DialogDriver driver([&] {
        HWND dialog = WaitForWindow(L"#32770", "Relatório de erro - Pacote Lumen");
        if (!dialog) return;
        for (int i = 0; i < 8; ++i) values.push_back(ItemText(dialog, kIdFirstValue + i));
        reportText = ItemText(dialog, kIdReport);
        savedNote = ItemText(dialog, kIdNote);
        shot = SaveScreenshot(dialog, ScreenshotDir() + "\\derodede-relatorio.bmp");
        PressButton(dialog, kIdCopy);
        noteAfterCopy = ItemText(dialog, kIdNote);
        PressButton(dialog, kIdClose);
    });
    library.Report(kTexts);
    driver.Join();

    ASSERT_EQ(values.size(), 8u) << "the report dialog did not appear";
    EXPECT_EQ(values, std::vector<std::string>(kTexts.begin(), kTexts.end()));
    EXPECT_TRUE(shot);
    for (size_t i = 0; i < 8; ++i)
        EXPECT_NE(reportText.find(std::string(ReportLabels()[i]) + ": "), std::string::npos);
    EXPECT_NE(reportText.find("Registrado para: Colégio São José\r\n"), std::string::npos);
    EXPECT_NE(reportText.find("Mensagem: Key violation.\r\n    Table: Matemática.db"),
              std::string::npos);
    EXPECT_EQ(noteAfterCopy, "Relatório copiado para a área de transferência.");
    EXPECT_EQ(ClipboardText(), reportText);

    const std::string file = appData.Path() + "\\DERodede\\relatorios.txt";
    EXPECT_EQ(savedNote, "Uma cópia foi guardada em " + file);
    EXPECT_EQ(ReadFileBytes(file), reportText + "\r\n");
}

TEST(RealLibrary, ReportsAreAppendedAndAnUnwritableFolderOnlyLosesTheCopy) {
    TempDir appData("derodede-append");
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", Wide(appData.Path()).c_str()));
    Library library("bin\\DERodede.dll");
    int closed = 0;
    std::string noteWithoutFolder = "<not seen>";
    DialogDriver driver([&] {
        for (int i = 0; i < 3; ++i) {
            HWND dialog = WaitForWindow(L"#32770", "Relatório de erro - Pacote Lumen");
            if (!dialog) return;
            if (i == 2) noteWithoutFolder = ItemText(dialog, kIdNote);
            PressButton(dialog, kIdClose);
            WaitFor([&] { return !IsWindow(dialog); });
            ++closed;
        }
    });
    library.Report(kTexts);
    library.Report(kTexts);
    const std::string file = appData.Path() + "\\DERodede\\relatorios.txt";
    const std::string twice = ReadFileBytes(file);
    // A file where the folder should be: the third report cannot be kept, and is shown anyway.
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", Wide(file).c_str()));
    library.Report(kTexts);
    driver.Join();
    EXPECT_EQ(closed, 3);
    size_t count = 0;
    for (size_t at = twice.find("Relatório de erro - "); at != std::string::npos;
         at = twice.find("Relatório de erro - ", at + 1))
        ++count;
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(noteWithoutFolder, "");
    EXPECT_EQ(ReadFileBytes(file), twice);
}

TEST(RealLibrary, DatabaseDialogAnswersByItsButtons) {
    Library library("bin\\DERodede.dll");
    struct Press {
        int id;  // a button, or IDCANCEL sent as Esc would
        uint8_t expected;
    };
    const Press presses[] = {{kIdRetry, 2}, {kIdAbort, 1}, {kIdFail, 0}, {IDCANCEL, 0}};
    std::vector<std::string> explanations;
    bool shot = false;
    DialogDriver driver([&] {
        for (const Press& p : presses) {
            HWND dialog = WaitForWindow(L"#32770", "Pacote Lumen");
            if (!dialog) return;
            explanations.push_back(ItemText(dialog, kIdExplanation));
            if (explanations.size() == 1)
                shot = SaveScreenshot(dialog, ScreenshotDir() + "\\derodede-erro-banco.bmp");
            if (p.id == IDCANCEL)
                SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            else
                PressButton(dialog, p.id);
            WaitFor([&] { return !IsWindow(dialog); });
        }
    });
    std::vector<int> answers;
    library.SetLastError("Key violation.\nTable: Matemática.db");
    for (size_t i = 0; i < std::size(presses); ++i) answers.push_back(library.Ask("Pacote Lumen"));
    driver.Join();

    EXPECT_EQ(answers, (std::vector<int>{2, 1, 0, 0}));
    ASSERT_EQ(explanations.size(), 4u);
    EXPECT_TRUE(shot);
    EXPECT_NE(explanations[0].find("Erro informado:\r\nKey violation.\r\nTable: Matemática.db"),
              std::string::npos);
    // The handed error serves one call only.
    EXPECT_NE(explanations[1].find("O programa não informou a descrição do erro."),
              std::string::npos);
    for (const std::string& e : explanations) {
        EXPECT_NE(e.find("Tentar novamente: repete a operação."), std::string::npos);
        EXPECT_NE(e.find("Abortar:"), std::string::npos);
        EXPECT_NE(e.find("Falhar:"), std::string::npos);
    }
}

TEST(RealLibrary, DatabaseDialogOffersAllThreeChoicesAndFailIsTheDefault) {
    Library library("bin\\DERodede.dll");
    std::vector<std::string> captions;
    LRESULT defaultId = 0;
    DialogDriver driver([&] {
        HWND dialog = WaitForWindow(L"#32770", "Erro no banco de dados");
        if (!dialog) return;
        for (int id : {kIdRetry, kIdAbort, kIdFail}) {
            HWND b = GetDlgItem(dialog, id);
            captions.push_back(b && IsWindowVisible(b) && IsWindowEnabled(b) ? WindowText(b)
                                                                             : "<unusable>");
        }
        defaultId = LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0));
        PressButton(dialog, kIdFail);
    });
    const uint8_t answer = library.Ask("");  // an empty title gets one of the library's
    driver.Join();
    EXPECT_EQ(captions, (std::vector<std::string>{"Tentar novamente", "Abortar", "Falhar"}));
    EXPECT_EQ(defaultId, kIdFail);
    EXPECT_EQ(answer, 0);
}

}  // namespace
}  // namespace pq::derodede
