#include "ui/color.h"

#include <utility>

namespace ui {

std::optional<Color> ColorFromName(std::string_view name) {
    static constexpr std::pair<std::string_view, Color> kNames[] = {
        {"clNone", clNone},
        {"clDefault", clDefault},
        {"clBlack", clBlack},
        {"clMaroon", clMaroon},
        {"clGreen", clGreen},
        {"clOlive", clOlive},
        {"clNavy", clNavy},
        {"clPurple", clPurple},
        {"clTeal", clTeal},
        {"clGray", clGray},
        {"clSilver", clSilver},
        {"clRed", clRed},
        {"clLime", clLime},
        {"clYellow", clYellow},
        {"clBlue", clBlue},
        {"clFuchsia", clFuchsia},
        {"clAqua", clAqua},
        {"clWhite", clWhite},
        {"clBtnFace", clBtnFace},
        {"clWindow", clWindow},
        {"clWindowText", clWindowText},
        {"clBtnText", clBtnText},
        {"clBtnShadow", clBtnShadow},
        {"clBtnHighlight", clBtnHighlight},
        {"clHighlight", clHighlight},
        {"clHighlightText", clHighlightText},
        {"clGrayText", clGrayText},
    };
    for (const auto& [n, c] : kNames)
        if (n == name) return c;
    return std::nullopt;
}

}  // namespace ui
