#include "derodede/dialog_template_win.h"

namespace pq::derodede {

// The layout: DLGTEMPLATE (style, extended style, item count, x, y, cx, cy), menu, class,
// title, point size and font name; then each item DWORD-aligned: DLGITEMTEMPLATE (style,
// extended style, x, y, cx, cy, id), class as 0xFFFF + atom, text, creation data size.
DialogTemplate::DialogTemplate(std::wstring_view title, short cx, short cy) {
    PutDword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    PutDword(0);
    words_.push_back(0);  // item count, raised by Add
    for (short v : {short(0), short(0), cx, cy}) words_.push_back(static_cast<WORD>(v));
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the standard dialog class
    PutText(title);
    words_.push_back(8);
    PutText(L"MS Shell Dlg");
}

void DialogTemplate::Add(int id, WORD classAtom, std::wstring_view text, DWORD style, short x,
                         short y, short cx, short cy) {
    AlignDword();
    PutDword(style | WS_CHILD | WS_VISIBLE);
    PutDword(0);
    for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
    words_.push_back(static_cast<WORD>(id));
    words_.push_back(0xFFFF);
    words_.push_back(classAtom);
    PutText(text);
    words_.push_back(0);  // no creation data
    ++words_[4];          // cdit: after the two DWORDs
}

void DialogTemplate::PutDword(DWORD d) {
    words_.push_back(LOWORD(d));
    words_.push_back(HIWORD(d));
}

void DialogTemplate::PutText(std::wstring_view text) {
    for (wchar_t c : text) words_.push_back(static_cast<WORD>(c));
    words_.push_back(0);
}

void DialogTemplate::AlignDword() {
    if (words_.size() % 2) words_.push_back(0);
}

}  // namespace pq::derodede
