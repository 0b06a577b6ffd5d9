// The licence agreement window under Wine, made from its real definition: the agreement text
// as the memo shows it. The window is modal from inside its own creation, so a second thread
// looks at it while the modal loop runs and then presses "Não".
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "install/UContratoLicensa_win.h"
#include "tests/app/win_test_support.h"
#include "ui/application.h"

namespace pq::install {
namespace {

using namespace pq::testing;

// What the memo shows, read from its window: its font, its text area and its lines.
struct MemoLook {
    std::string face;                // the face of the memo's own font as selected
    int areaWidth = 0;               // the formatting rectangle: client width less the margins
    int clientWidth = 0;             // the client area (the vertical scroll bar is outside it)
    int memoLines = 0;               // the lines the memo lays out (wrapped lines counted)
    std::vector<std::string> lines;  // the text's own lines
    std::vector<int> widths;         // each line's width in pixels at the memo's font
};

MemoLook LookAtMemo(HWND window) {
    MemoLook look;
    HWND memo = FindWindowExW(window, nullptr, L"Edit", nullptr);
    if (!memo) return look;
    RECT area{}, client{};
    SendMessageW(memo, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    GetClientRect(memo, &client);
    look.areaWidth = area.right - area.left;
    look.clientWidth = client.right;
    look.memoLines = static_cast<int>(SendMessageW(memo, EM_GETLINECOUNT, 0, 0));

    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(memo)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(memo, text.data(), static_cast<int>(text.size()))));

    HDC dc = GetDC(memo);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(memo, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    look.face = Narrow(face);
    for (size_t start = 0;;) {
        const size_t end = text.find(L"\r\n", start);
        const std::wstring line = text.substr(start, end == std::wstring::npos ? end : end - start);
        SIZE size{};
        GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
        look.lines.push_back(Narrow(line));
        look.widths.push_back(size.cx);
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    SelectObject(dc, old);
    ReleaseDC(memo, dc);
    return look;
}

TEST(LicenceWindow, EveryLineOfTheAgreementFitsTheMemoTextArea) {
    ui::Application app;
    app.SetTitle("Pacote de Questões");
    MemoLook look;
    bool seen = false;
    std::thread probe([&] {
        HWND window = WaitForWindow(L"PQWindow", "Contrato de Licensa do Pacote Lumen");
        if (!window) return;
        seen = true;
        look = LookAtMemo(window);
        PostMessageW(FindWindowExW(window, nullptr, L"Button", L"&Não"), BM_CLICK, 0, 0);
    });
    EXPECT_NO_THROW(RunLicenceAgreement());  // returns once declined
    probe.join();
    ASSERT_TRUE(seen);

    // The form's font itself, not a substitute of other widths.
    EXPECT_EQ(look.face, "MS Sans Serif");
    EXPECT_GT(look.areaWidth, 300);
    EXPECT_LT(look.areaWidth, look.clientWidth);

    ASSERT_EQ(look.lines.size(), 99u);
    size_t blank = 0, characters = 0, longest = 0;
    std::string tooWide;
    for (size_t i = 0; i < look.lines.size(); ++i) {
        const std::string& line = look.lines[i];
        const size_t length = text::Utf8ToUtf16(line).size();
        if (length == 0) ++blank;
        characters += length;
        longest = std::max(longest, length);
        if (look.widths[i] > look.areaWidth)
            tooWide += "line " + std::to_string(i + 1) + ", " + std::to_string(look.widths[i]) +
                       " px: " + line + "\n";
    }
    EXPECT_TRUE(tooWide.empty()) << "wider than the memo's text area of " << look.areaWidth
                                 << " px:\n"
                                 << tooWide;
    EXPECT_EQ(blank, 23u);
    EXPECT_EQ(characters, 4887u);
    EXPECT_LE(longest, 92u);
    // No line of the memo's own: it lays out exactly the text's lines.
    EXPECT_EQ(look.memoLines, 99);
}

}  // namespace
}  // namespace pq::install
