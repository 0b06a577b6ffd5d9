// The kinds table entries of the standard controls and of forms.
#include <windows.h>

#include "ui/form.h"
#include "ui/std_controls.h"

namespace ui {

namespace {

int CharsetFromName(const std::string& name) {
    static const std::pair<const char*, int> kCharsets[] = {
        {"DEFAULT_CHARSET", DEFAULT_CHARSET},       {"ANSI_CHARSET", ANSI_CHARSET},
        {"SYMBOL_CHARSET", SYMBOL_CHARSET},         {"OEM_CHARSET", OEM_CHARSET},
        {"EASTEUROPE_CHARSET", EASTEUROPE_CHARSET},
    };
    for (const auto& [n, v] : kCharsets)
        if (name == n) return v;
    throw pq::EConvertError("Unknown character set " + name);
}

ModalResult ModalResultOf(const PropertyValue& v) {
    if (v.type == PropertyValue::Type::Integer) return ToInt(v);
    static const std::pair<const char*, ModalResult> kNames[] = {
        {"mrNone", mrNone},   {"mrOk", mrOk},         {"mrCancel", mrCancel}, {"mrAbort", mrAbort},
        {"mrRetry", mrRetry}, {"mrIgnore", mrIgnore}, {"mrYes", mrYes},       {"mrNo", mrNo},
    };
    const std::string& id = ToIdentifier(v);
    for (const auto& [n, r] : kNames)
        if (id == n) return r;
    throw pq::EConvertError("Unknown modal result " + id);
}

}  // namespace

void RegisterStandardKinds(KindRegistry& kinds) {
    if (kinds.Contains("TForm")) return;

    kinds.Register<Control>("TControl", nullptr)
        .Integer("Left", &Control::SetLeft)
        .Integer("Top", &Control::SetTop)
        .Integer("Width", &Control::SetWidth)
        .Integer("Height", &Control::SetHeight)
        .Boolean("Visible", &Control::SetVisible)
        .Boolean("Enabled", &Control::SetEnabled)
        .String("Caption", &Control::SetCaption)
        .Integer("Tag", &Control::SetTag)
        .Event("OnClick", &Control::OnClick)
        .Event("OnMouseEnter", &Control::OnMouseEnter)
        .Event("OnMouseLeave", &Control::OnMouseLeave);

    kinds.Register<GraphicControl>("TGraphicControl", nullptr)
        .Inherit("TControl")
        .Event("OnMouseDown", &GraphicControl::OnMouseDown)
        .Event("OnMouseUp", &GraphicControl::OnMouseUp)
        .Event("OnMouseMove", &GraphicControl::OnMouseMove)
        .Event("OnDblClick", &GraphicControl::OnDblClick);

    kinds.Register<WinControl>("TWinControl", nullptr)
        .Inherit("TControl")
        .Integer("TabOrder", &WinControl::SetTabOrder)
        .Boolean("TabStop", &WinControl::SetTabStop)
        .ColorValue("Color", &WinControl::SetColor)
        .String("Font.Name", &WinControl::SetFontName)
        .Integer("Font.Height", &WinControl::SetFontHeight)
        .ColorValue("Font.Color", &WinControl::SetFontColor)
        .Raw("Font.Charset",
             [](WinControl& w, const PropertyValue& v, const LoadContext&, const Bindings&) {
                 w.SetFontCharset(v.type == PropertyValue::Type::Integer
                                      ? ToInt(v)
                                      : CharsetFromName(ToIdentifier(v)));
             })
        .Raw("Font.Style",
             [](WinControl&, const PropertyValue& v, const LoadContext&, const Bindings&) {
                 if (v.type != PropertyValue::Type::Set)
                     throw pq::EConvertError("Expected a set, found " +
                                             std::string(TypeDescription(v.type)));
                 if (!v.items.empty())
                     throw pq::EConvertError("Font styles are not supported: " + v.items[0]);
             });

    kinds.Register<Form>("TForm", nullptr)
        .Inherit("TWinControl")
        .Enum<BorderStyle>("BorderStyle",
                           {{"bsNone", bsNone},
                            {"bsSingle", bsSingle},
                            {"bsSizeable", bsSizeable},
                            {"bsDialog", bsDialog},
                            {"bsToolWindow", bsToolWindow},
                            {"bsSizeToolWin", bsSizeToolWin}},
                           &Form::SetBorderStyle)
        .Enum<Position>("Position",
                        {{"poDesigned", poDesigned},
                         {"poDefault", poDefault},
                         {"poScreenCenter", poScreenCenter}},
                        &Form::SetPosition)
        .Integer("ClientWidth", &Form::SetClientWidth)
        .Integer("ClientHeight", &Form::SetClientHeight)
        .File("Icon",
              [](Form& f, const std::string&, std::span<const uint8_t> bytes) { f.SetIcon(bytes); })
        .Boolean("KeyPreview", &Form::SetKeyPreview)
        .Raw("PixelsPerInch",
             [](Form&, const PropertyValue& v, const LoadContext&, const Bindings&) {
                 // The program is DPI-unaware: definitions are made at 96 pixels per inch.
                 if (ToInt(v) != 96)
                     throw pq::EConvertError("Only 96 pixels per inch is supported");
             })
        .Accepted("TextHeight")
        .Event("OnCreate", &Form::OnCreate)
        .Event("OnShow", &Form::OnShow)
        .Event("OnHide", &Form::OnHide)
        .Event("OnActivate", &Form::OnActivate)
        .Event("OnDestroy", &Form::OnDestroy)
        .Event("OnClose", &Form::OnClose)
        .Event("OnCloseQuery", &Form::OnCloseQuery);

    kinds.Register<TLabel>("TLabel", &CreateControl<TLabel>)
        .Inherit("TGraphicControl")
        .Boolean("AutoSize", &TLabel::SetAutoSize)
        .Boolean("WordWrap", &TLabel::SetWordWrap)
        .Boolean("Transparent", &TLabel::SetTransparent);

    kinds.Register<TImage>("TImage", &CreateControl<TImage>)
        .Inherit("TGraphicControl")
        .File("Picture", [](TImage& i, const std::string&, std::span<const uint8_t> bytes) {
            i.LoadPicture(bytes);
        });

    kinds.Register<TButton>("TButton", &CreateControl<TButton>)
        .Inherit("TWinControl")
        .Raw("ModalResult", [](TButton& b, const PropertyValue& v, const LoadContext&,
                               const Bindings&) { b.SetModalResult(ModalResultOf(v)); })
        .Boolean("Default", &TButton::SetDefault)
        .Boolean("Cancel", &TButton::SetCancel);

    kinds.Register<TMemo>("TMemo", &CreateControl<TMemo>)
        .Inherit("TWinControl")
        .Strings("Lines", &TMemo::SetLines)
        .Boolean("ReadOnly", &TMemo::SetReadOnly)
        .Boolean("WordWrap", &TMemo::SetWordWrap)
        .Enum<ScrollStyle>("ScrollBars",
                           {{"ssNone", ScrollStyle::ssNone},
                            {"ssHorizontal", ScrollStyle::ssHorizontal},
                            {"ssVertical", ScrollStyle::ssVertical},
                            {"ssBoth", ScrollStyle::ssBoth}},
                           &TMemo::SetScrollBars);

    kinds.Register<TProgressBar>("TProgressBar", &CreateControl<TProgressBar>)
        .Inherit("TWinControl")
        .Integer("Min", &TProgressBar::SetMin)
        .Integer("Max", &TProgressBar::SetMax)
        .Integer("Position", &TProgressBar::SetPosition);
}

}  // namespace ui
