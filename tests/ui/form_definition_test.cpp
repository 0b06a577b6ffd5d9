#include "ui/form_definition.h"

#include <gtest/gtest.h>

#include <string>

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
    EXPECT_EQ(root.kindLine, 1);
    EXPECT_EQ(root.kindColumn, 20);
    ASSERT_EQ(root.properties.size(), 11u);
    EXPECT_EQ(root.Find("BorderStyle")->value.type, PropertyValue::Type::Identifier);
    EXPECT_EQ(root.Find("BorderStyle")->value.text, "bsNone");
    EXPECT_EQ(root.Find("BorderStyle")->line, 2);
    EXPECT_EQ(root.Find("BorderStyle")->column, 3);
    EXPECT_EQ(root.Find("BorderStyle")->value.column, 17);
    EXPECT_EQ(root.Find("ClientWidth")->value.integer, 457);
    EXPECT_EQ(root.Find("Left")->value.integer, -15);
    EXPECT_EQ(root.Find("Color")->value.integer, 0x00FF80);
    EXPECT_EQ(root.Find("Caption")->value.type, PropertyValue::Type::String);
    EXPECT_EQ(root.Find("Caption")->value.text, "Pacote de Questões");
    EXPECT_EQ(root.Find("KeyPreview")->value.type, PropertyValue::Type::Boolean);
    EXPECT_TRUE(root.Find("KeyPreview")->value.boolean);
    EXPECT_EQ(root.Find("Visible")->value.type, PropertyValue::Type::Boolean);
    EXPECT_FALSE(root.Find("Visible")->value.boolean);
    EXPECT_EQ(root.Find("Font.Name")->value.text, "MS Sans Serif");
    EXPECT_EQ(root.Find("Font.Style")->value.type, PropertyValue::Type::Set);
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
    EXPECT_EQ(root.Find("Missing"), nullptr);
}

TEST(FormDefinition, StringsListsCommentsAndKeywordCase) {
    FormNode root = ParseFormDefinition(
        "\xEF\xBB\xBF"
        "// a comment before the object\n"
        "OBJECT Memo1: TMemo  // trailing comment\n"
        "  Quote = 'it''s'\n"
        "  Empty = ''\n"
        "  Long = 'first part, ' +\n"
        "    'second part' + ' and third'\n"
        "  Lines = (\n"
        "    'Cláusula 1'\n"
        "    ''\n"
        "    'a' + 'b'\n"
        "  )\n"
        "  NoLines = ()\n"
        "  Min = -9223372036854775808\n"
        "  Max = 9223372036854775807\n"
        "  Hex = $7fFF\n"
        "  Plus = +4\n"
        "  Ok = TRUE\n"
        "End\n",
        "t");
    EXPECT_EQ(root.Find("Quote")->value.text, "it's");
    EXPECT_EQ(root.Find("Empty")->value.type, PropertyValue::Type::String);
    EXPECT_EQ(root.Find("Empty")->value.text, "");
    EXPECT_EQ(root.Find("Long")->value.text, "first part, second part and third");
    EXPECT_EQ(root.Find("Lines")->value.type, PropertyValue::Type::StringList);
    EXPECT_EQ(root.Find("Lines")->value.items, (std::vector<std::string>{"Cláusula 1", "", "ab"}));
    EXPECT_TRUE(root.Find("NoLines")->value.items.empty());
    EXPECT_EQ(root.Find("Min")->value.integer, INT64_MIN);
    EXPECT_EQ(root.Find("Max")->value.integer, INT64_MAX);
    EXPECT_EQ(root.Find("Hex")->value.integer, 0x7FFF);
    EXPECT_EQ(root.Find("Plus")->value.integer, 4);
    EXPECT_TRUE(root.Find("Ok")->value.boolean);
    EXPECT_EQ(root.line, 2);
}

TEST(FormDefinition, NestedObjectsKeepTheirOrderAndPositions) {
    FormNode root = ParseFormDefinition(
        "object F: TF\n"
        "  object A: TPanel\n"
        "    object B: TButton\n"
        "    end\n"
        "  end\n"
        "  Caption = 'after a child'\n"
        "  object C: TLabel\n"
        "  end\n"
        "end",
        "t");
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[0].name, "A");
    ASSERT_EQ(root.children[0].children.size(), 1u);
    EXPECT_EQ(root.children[0].children[0].name, "B");
    EXPECT_EQ(root.children[0].children[0].line, 3);
    EXPECT_EQ(root.children[0].children[0].column, 5);
    EXPECT_EQ(root.children[1].name, "C");
    EXPECT_EQ(root.Find("Caption")->value.text, "after a child");
}

struct BadCase {
    const char* text;
    int line;
    int column;
    const char* what;
};

class FormDefinitionErrors : public ::testing::TestWithParam<BadCase> {};

TEST_P(FormDefinitionErrors, NameTheSourceLineAndColumn) {
    const BadCase& c = GetParam();
    try {
        ParseFormDefinition(c.text, "Test.form");
        FAIL() << "no error for: " << c.text;
    } catch (const FormDefinitionError& e) {
        EXPECT_EQ(e.Line(), c.line) << c.text;
        EXPECT_EQ(e.Column(), c.column) << c.text;
        EXPECT_EQ(e.What(), c.what) << c.text;
        EXPECT_EQ(std::string(e.what()), "Test.form, line " + std::to_string(c.line) + ", column " +
                                             std::to_string(c.column) + ": " + c.what);
        EXPECT_STREQ(e.ClassName(), "EFormError");
    }
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, FormDefinitionErrors,
    ::testing::Values(
        BadCase{"", 1, 1, "Empty form definition"},
        BadCase{"  // only a comment\n", 2, 1, "Empty form definition"},
        BadCase{"thing A: TA\nend", 1, 1, "Expected 'object', found 'thing'"},
        BadCase{"object A TA\nend", 1, 10, "Expected ':' after the object name, found 'TA'"},
        BadCase{"object : TA\nend", 1, 8, "Expected an object name, found ':'"},
        BadCase{"object A.B: TA\nend", 1, 8, "Expected an object name, found 'A.B'"},
        BadCase{"object A: 5\nend", 1, 11, "Expected a kind name, found the number 5"},
        BadCase{"object A: TA\n  X 5\nend", 2, 5, "Expected '=' after X, found the number 5"},
        BadCase{"object A: TA\n  X = 1\n", 3, 1, "Missing 'end' of object A"},
        BadCase{"object A: TA\n  object B: TB\n  X = 1\nend", 4, 4, "Missing 'end' of object A"},
        BadCase{"object A: TA\nend\nextra", 3, 1, "Text after the end of the top object"},
        BadCase{"object A: TA\n  5 = 1\nend", 2, 3,
                "Expected a property name, 'object' or 'end', found the number 5"},
        BadCase{"object A: TA\n  X = 'abc\nend", 2, 7, "Unterminated string"},
        BadCase{"object A: TA\n  X = 'abc", 2, 7, "Unterminated string"},
        BadCase{"object A: TA\n  X = 99999999999999999999\nend", 2, 7, "Integer out of range"},
        BadCase{"object A: TA\n  X = 9223372036854775808\nend", 2, 7, "Integer out of range"},
        BadCase{"object A: TA\n  X = $\nend", 2, 7, "Expected digits after '$'"},
        BadCase{"object A: TA\n  X = 12ab\nend", 2, 9, "Unexpected character 'a' in a number"},
        BadCase{"object A: TA\n  X = #1\nend", 2, 7, "Unexpected character '#'"},
        BadCase{"object A: TA\n  X = -\nend", 2, 7, "Unexpected character '-'"},
        BadCase{"object A: TA\n  X = \x01\nend", 2, 7, "Unexpected character code 1"},
        BadCase{"object A: TA\n  X =\nend", 3, 1, "Expected a value, found 'end'"},
        BadCase{"object A: TA\n  X = a.b\nend", 2, 7, "Expected a value, found 'a.b'"},
        BadCase{"object A: TA\n  X = )\nend", 2, 7, "Expected a value, found ')'"},
        BadCase{"object A: TA\n  X = 'a' +\nend", 3, 1, "Expected a string after '+', found 'end'"},
        BadCase{"object A: TA\n  X = (\n    'a'\n    5\n  )\nend", 4, 5,
                "Expected a string or ')', found the number 5"},
        BadCase{"object A: TA\n  X = ('a'", 2, 11,
                "Expected a string or ')', found the end of the text"},
        BadCase{"object A: TA\n  X = [a b]\nend", 2, 10, "Expected ',' or ']', found 'b'"},
        BadCase{"object A: TA\n  X = [a,]\nend", 2, 10,
                "Expected an identifier in the set, found ']'"},
        BadCase{"object A: TA\n  X = ['a']\nend", 2, 8,
                "Expected an identifier in the set, found a string"},
        // Columns count characters, not bytes: "ção" is three columns.
        BadCase{"object A: TA\n  Caption = 'ção' #\nend", 2, 19, "Unexpected character '#'"},
        BadCase{"object Ação: TA\nend", 1, 9, "Unexpected character 'ç'"},
        BadCase{"object A: TA\n  X = \xFF\nend", 2, 7, "Unexpected character code 255"}));

TEST(FormDefinition, DeepNestingIsAnErrorNotAStackOverflow) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "object A: TA\n";
    try {
        ParseFormDefinition(text, "deep");
        FAIL();
    } catch (const FormDefinitionError& e) {
        EXPECT_EQ(e.What(), "Objects nested too deeply");
        EXPECT_EQ(e.Line(), 65);
        EXPECT_EQ(e.Column(), 1);
    }
    std::string ok;
    for (int i = 0; i < 64; ++i) ok += "object A: TA\n";
    for (int i = 0; i < 64; ++i) ok += "end\n";
    EXPECT_NO_THROW(ParseFormDefinition(ok, "deep"));
}

TEST(FormDefinition, EveryTruncationOfAGoodDefinitionIsAnError) {
    const std::string good =
        "object F: TF\n  A = 'x'\n  B = (\n    'y'\n  )\n  C = [p, q]\n  D = -3\n"
        "  object G: TG\n  end\nend";
    ASSERT_NO_THROW(ParseFormDefinition(good, "t"));
    for (size_t n = 0; n < good.size() - 2; ++n) {
        // Cutting inside the final "end" may leave "en": still an error.
        EXPECT_THROW(ParseFormDefinition(good.substr(0, n), "t"), FormDefinitionError) << n;
    }
}

}  // namespace
}  // namespace ui
