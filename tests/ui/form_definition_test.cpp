#include "ui/form_definition.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(FormDefinition, ParsesObjectWithEveryValueType) {
    FormNode root = ParseFormDefinition(R"(object FPrincipal: TFPrincipal
  BorderStyle = bsNone
  ClientWidth = 457
  Left = -15
  Color = $00FF80
  Caption = 'Pacote de Questões'
  KeyPreview = True
  Visible = false
  Font.Name = 'MS Sans Serif'
  Font.Style = [fsBold, fsItalic]
  Empty = []
  OnCreate = FormCreate
  object Image1: TImage
    Picture = 'principal.bmp'
  end
end
)",
                                        "FPrincipal.form");
    EXPECT_EQ(root.name, "FPrincipal");
    EXPECT_EQ(root.kind, "TFPrincipal");
    ASSERT_EQ(root.properties.size(), 11u);
    EXPECT_EQ(root.Find("BorderStyle")->value.type, PropertyValue::Type::Identifier);
    EXPECT_EQ(root.Find("BorderStyle")->value.text, "bsNone");
    EXPECT_EQ(root.Find("ClientWidth")->value.integer, 457);
    EXPECT_EQ(root.Find("Left")->value.integer, -15);
    EXPECT_EQ(root.Find("Color")->value.integer, 0x00FF80);
    EXPECT_EQ(root.Find("Caption")->value.type, PropertyValue::Type::String);
    EXPECT_EQ(root.Find("Caption")->value.text, "Pacote de Questões");
    EXPECT_EQ(root.Find("KeyPreview")->value.type, PropertyValue::Type::Boolean);
    EXPECT_TRUE(root.Find("KeyPreview")->value.boolean);
    EXPECT_FALSE(root.Find("Visible")->value.boolean);
    EXPECT_EQ(root.Find("Font.Name")->value.text, "MS Sans Serif");
    EXPECT_EQ(root.Find("Font.Style")->value.items,
              (std::vector<std::string>{"fsBold", "fsItalic"}));
    EXPECT_TRUE(root.Find("Empty")->value.items.empty());
    EXPECT_EQ(root.Find("OnCreate")->value.text, "FormCreate");
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0].name, "Image1");
    EXPECT_EQ(root.children[0].kind, "TImage");
    EXPECT_EQ(root.children[0].line, 13);
    EXPECT_EQ(root.children[0].column, 3);
    EXPECT_EQ(root.children[0].Find("Picture")->value.text, "principal.bmp");
}

}  // namespace
}  // namespace ui
