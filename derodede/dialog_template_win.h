// An in-memory dialog template (DLGTEMPLATE and its items), so the library's dialogs need no
// resource script. Sizes are dialog units; the font is "MS Shell Dlg", 8 points.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace pq::derodede {

class DialogTemplate {
  public:
    DialogTemplate(std::wstring_view title, short cx, short cy);
    // classAtom: 0x0080 button, 0x0081 edit, 0x0082 static.
    void Add(int id, WORD classAtom, std::wstring_view text, DWORD style, short x, short y,
             short cx, short cy);
    // Valid until the next Add.
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

    static constexpr WORD kButton = 0x0080;
    static constexpr WORD kEdit = 0x0081;
    static constexpr WORD kStatic = 0x0082;

  private:
    void PutDword(DWORD d);
    void PutText(std::wstring_view text);
    void AlignDword();

    std::vector<WORD> words_;
};

}  // namespace pq::derodede
