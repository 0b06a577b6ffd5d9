#include "components/ZRDrives.h"
#include "components/ZRMultiButton_win.h"
#include "components/kinds.h"
#include "components/vyxbmp32_win.h"
#include "ui/form_loader.h"

namespace components {

namespace {

// Hints and cursor shapes of controls are not supported by the toolkit: a definition may carry
// these properties only with their default values.
template <class T>
ui::KindBuilder<T>& HintAndCursor(ui::KindBuilder<T>& kind) {
    return kind
        .Raw("Cursor",
             [](T&, const ui::PropertyValue& v, const ui::LoadContext&, const ui::Bindings&) {
                 if (ui::ToIdentifier(v) != "crDefault")
                     throw pq::EConvertError("Cursor shapes are not supported: " + v.text);
             })
        .Raw("Hint",
             [](T&, const ui::PropertyValue& v, const ui::LoadContext&, const ui::Bindings&) {
                 if (!ui::ToText(v).empty()) throw pq::EConvertError("Hints are not supported");
             })
        .Raw("ShowHint",
             [](T&, const ui::PropertyValue& v, const ui::LoadContext&, const ui::Bindings&) {
                 if (ui::ToBool(v)) throw pq::EConvertError("Hints are not supported");
             })
        .Accepted("ParentShowHint");
}

void RegisterMultiButton(ui::KindRegistry& kinds) {
    using B = TZRMultiButton;
    auto kind = kinds.Register<B>("TZRMultiButton", ui::CreateControl<B>);
    HintAndCursor(kind.Inherit("TGraphicControl"))
        // Stored with a speed button, no part of this one's drawing.
        .Accepted("Font.Name")
        .Accepted("Font.Height")
        .Accepted("Font.Color")
        .Accepted("Font.Charset")
        .Accepted("Font.Style")
        .Accepted("ParentFont")
        .Boolean("AllowAllUp", &B::SetAllowAllUp)
        .Integer("GroupIndex", &B::SetGroupIndex)
        .Boolean("Down", &B::SetDown)
        .Boolean("Flat", &B::SetFlat)
        .Picture("Glyph", &B::SetGlyph)
        .Enum<TButtonLayout>("Layout",
                             {{"blGlyphLeft", TButtonLayout::blGlyphLeft},
                              {"blGlyphRight", TButtonLayout::blGlyphRight},
                              {"blGlyphTop", TButtonLayout::blGlyphTop},
                              {"blGlyphBottom", TButtonLayout::blGlyphBottom}},
                             &B::SetLayout)
        .Integer("Margin", &B::SetMargin)
        .Integer("NumGlyphs", &B::SetNumGlyphs)
        .Integer("Spacing", &B::SetSpacing)
        .Event("OnDblClick", &ui::GraphicControl::OnDblClick)
        .Boolean("AutoSize", &B::SetAutoSize)
        .Picture("GlyphDisable", &B::SetGlyphDisable)
        .Picture("GlyphDown", &B::SetGlyphDown)
        .Picture("GlyphMouseOver", &B::SetGlyphMouseOver)
        .String("WaveSoundClick", &B::SetWaveSoundClick)
        .String("WaveSoundDown", &B::SetWaveSoundDown)
        .String("WaveSoundOver", &B::SetWaveSoundOver);
}

void RegisterVyxBmp(ui::KindRegistry& kinds) {
    using V = TVyxBmp;
    auto kind = kinds.Register<V>("TVyxBmp", ui::CreateControl<V>);
    HintAndCursor(kind.Inherit("TGraphicControl"))
        .Picture("BitMap", &V::SetBitMap)
        .ColorValue("TransparentColor", &V::SetTransparentColor)
        .Boolean("Stretch", &V::SetStretch)
        .Enum<TAlign>("Align",
                      {{"alNone", TAlign::alNone},
                       {"alTop", TAlign::alTop},
                       {"alBottom", TAlign::alBottom},
                       {"alLeft", TAlign::alLeft},
                       {"alRight", TAlign::alRight},
                       {"alClient", TAlign::alClient}},
                      &V::SetAlign);
}

void RegisterDrives(ui::KindRegistry& kinds) {
    using D = TZRDrives;
    kinds
        .Register<D>("TZRDrives",
                     [](ui::Component& owner, ui::Component&) -> ui::Component* {
                         return new TZRDrives(&owner, SystemDriveQueries());
                     })
        .Enum<TDriveType>("DriveType",
                          {{"dtUnknow", dtUnknow},
                           {"dtRemovable", dtRemovable},
                           {"dtFixed", dtFixed},
                           {"dtRemote", dtRemote},
                           {"dtCDROM", dtCDROM},
                           {"dtRAMDisk", dtRAMDisk}},
                          &D::SetDriveType)
        .String("Drives", &D::SetDrives);
}

}  // namespace

void RegisterKinds(ui::KindRegistry& kinds) {
    if (kinds.Contains("TZRMultiButton")) return;
    RegisterMultiButton(kinds);
    RegisterVyxBmp(kinds);
    RegisterDrives(kinds);
}

}  // namespace components
