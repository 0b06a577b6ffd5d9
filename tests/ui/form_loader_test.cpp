// The loader with kinds of the test's own: every error names the definition, line and column of
// the part at fault.
#include "ui/form_loader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace ui {
namespace {

using Log = std::vector<std::string>;

// A component that can hold others (like a panel) and one that cannot.
class FakeControl : public Component {
  public:
    FakeControl(Component* owner, Component* parent, Log* log)
        : Component(owner), parent_(parent), log_(log) {}
    const char* ClassName() const override { return "TFake"; }
    void Loaded() override { log_->push_back("Loaded " + Name()); }

    Component* parent_;
    Log* log_;
    int left = 0;
    bool visible = true;
    std::string caption;
    std::vector<std::string> lines;
    Color color = clNone;
    Bitmap picture;
    std::string file;
    size_t fileSize = 0;
    enum class Mode { mOne, mTwo } mode = Mode::mOne;
    std::function<void(Object&)> OnClick;
    std::function<void(Object&, int&)> OnCustom;
};

class FakeLeaf : public FakeControl {
  public:
    using FakeControl::FakeControl;
    const char* ClassName() const override { return "TLeaf"; }
};

class FakeForm : public Component {
  public:
    explicit FakeForm(Log* log) : Component(nullptr), log_(log) {}
    const char* ClassName() const override { return "TFakeForm"; }
    void Loaded() override { log_->push_back("Loaded form"); }

    void Declare(Bindings& b) {
        b.Handler("FormClick", this, &FakeForm::FormClick);
        b.Handler("Custom", this, &FakeForm::Custom);
        b.Handler("WrongType", this, &FakeForm::WrongType);
    }
    void FormClick(Object& sender) { log_->push_back(std::string("click ") + sender.ClassName()); }
    void Custom(Object&, int& value) { value = 42; }
    void WrongType(Object&, bool&) {}

    Log* log_;
    int width = 0;
    std::function<void(Object&)> OnCreate;
};

class FormLoaderTest : public ::testing::Test {
  protected:
    FormLoaderTest() : form(&log) {
        kinds.Register<FakeForm>("TFormBase", nullptr)
            .Integer("Width", [](FakeForm& f, int v) { f.width = v; })
            .Event("OnCreate", &FakeForm::OnCreate);
        auto creator = [this](Component& owner, Component& parent) -> Component* {
            if (dynamic_cast<FakeLeaf*>(&parent))
                throw pq::EConvertError(std::string(parent.ClassName()) + " cannot hold controls");
            return new FakeControl(&owner, &parent, &log);
        };
        kinds.Register<FakeControl>("TFakeBase", nullptr)
            .Integer("Left", [](FakeControl& c, int v) { c.left = v; })
            .Boolean("Visible", [](FakeControl& c, bool v) { c.visible = v; })
            .String("Caption", [](FakeControl& c, std::string v) { c.caption = std::move(v); })
            .Event("OnClick", &FakeControl::OnClick);
        kinds.Register<FakeControl>("TFake", creator)
            .Inherit("TFakeBase")
            .Strings("Lines", [](FakeControl& c, std::vector<std::string> v) { c.lines = v; })
            .ColorValue("Color", [](FakeControl& c, Color v) { c.color = v; })
            .Picture("Picture", [](FakeControl& c, const Bitmap& b) { c.picture = b; })
            .File("Data",
                  [](FakeControl& c, const std::string& name, std::span<const uint8_t> bytes) {
                      c.file = name;
                      c.fileSize = bytes.size();
                  })
            .Enum<FakeControl::Mode>(
                "Mode", {{"mOne", FakeControl::Mode::mOne}, {"mTwo", FakeControl::Mode::mTwo}},
                [](FakeControl& c, FakeControl::Mode m) { c.mode = m; })
            .Accepted("DesignOnly")
            .Event("OnCustom", &FakeControl::OnCustom);
        kinds
            .Register<FakeLeaf>("TLeaf",
                                [this](Component& owner, Component& parent) {
                                    return new FakeLeaf(&owner, &parent, &log);
                                })
            .Inherit("TFakeBase");
        context.source = "Test.form";
        context.loadFile = [this](const std::string& name) {
            auto it = files.find(name);
            if (it == files.end()) throw pq::EFormError("Resource " + name + " not found");
            return it->second;
        };
        form.Declare(bindings);
    }

    void Load(const std::string& text) {
        LoadForm(ParseFormDefinition(text, "Test.form"), form, "TFakeForm", "TFormBase", kinds,
                 bindings, context);
    }

    // Loads and expects an error at that position with that text.
    void ExpectError(const std::string& text, int line, int column, const std::string& what) {
        try {
            Load(text);
            ADD_FAILURE() << "no error for:\n" << text;
        } catch (const FormDefinitionError& e) {
            EXPECT_EQ(e.Line(), line) << text;
            EXPECT_EQ(e.Column(), column) << text;
            EXPECT_EQ(e.What(), what) << text;
            EXPECT_EQ(e.Source(), "Test.form");
        }
    }

    Log log;
    FakeForm form;
    KindRegistry kinds;
    Bindings bindings;
    LoadContext context;
    std::map<std::string, std::vector<uint8_t>> files;
};

TEST_F(FormLoaderTest, CreatesComponentsWithTheirPropertiesFieldsAndHandlers) {
    files["p.bmp"] = Bitmap(2, 3, 24).ToBmp();
    files["d.bin"] = {1, 2, 3};
    FakeControl* panel = nullptr;
    FakeLeaf* leaf = nullptr;
    bindings.Field("Panel", panel);
    bindings.Field("Leaf", leaf);
    Load(R"(object Main: TFakeForm
  Width = 300
  OnCreate = FormClick
  object Panel: TFake
    Left = -15
    Visible = False
    Caption = 'Olá'
    Lines = ('a' '' 'c')
    Color = clBtnFace
    Picture = 'p.bmp'
    Data = 'd.bin'
    Mode = mTwo
    DesignOnly = 7
    OnClick = FormClick
    OnCustom = Custom
    object Leaf: TLeaf
      Caption = 'inside'
    end
  end
  object Other: TFake
    Color = $0000FF
  end
end)");
    EXPECT_EQ(form.Name(), "Main");
    EXPECT_EQ(form.width, 300);
    ASSERT_EQ(form.Components().size(), 3u);  // everything belongs to the form
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(form.FindComponent("Panel"), panel);
    EXPECT_EQ(panel->Owner(), &form);
    EXPECT_EQ(panel->parent_, &form);
    EXPECT_EQ(leaf->parent_, panel);
    EXPECT_EQ(leaf->Owner(), &form);
    EXPECT_EQ(panel->left, -15);
    EXPECT_FALSE(panel->visible);
    EXPECT_EQ(panel->caption, "Olá");
    EXPECT_EQ(panel->lines, (std::vector<std::string>{"a", "", "c"}));
    EXPECT_EQ(panel->color, clBtnFace);
    EXPECT_EQ(panel->picture.Width(), 2);
    EXPECT_EQ(panel->picture.Height(), 3);
    EXPECT_EQ(panel->file, "d.bin");
    EXPECT_EQ(panel->fileSize, 3u);
    EXPECT_EQ(panel->mode, FakeControl::Mode::mTwo);
    EXPECT_EQ(leaf->caption, "inside");
    EXPECT_EQ(form.Get<FakeControl>("Other").color, clRed);

    // Bound handlers reach the form's methods, with the sender the event passes.
    ASSERT_TRUE(panel->OnClick);
    panel->OnClick(*panel);
    ASSERT_TRUE(form.OnCreate);
    form.OnCreate(form);
    int value = 0;
    ASSERT_TRUE(panel->OnCustom);
    panel->OnCustom(*panel, value);
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(form.Get<FakeControl>("Other").OnClick);
    // Loaded runs on every created component in creation order, the form last.
    EXPECT_EQ(log, (Log{"Loaded Panel", "Loaded Leaf", "Loaded Other", "Loaded form", "click TFake",
                        "click TFakeForm"}));
}

TEST_F(FormLoaderTest, UnknownNamesAreErrorsAtTheirPosition) {
    ExpectError("object Main: TFakeForm\n  object B: TNothing\n  end\nend", 2, 13,
                "Unknown kind TNothing");
    ExpectError("object Main: TFakeForm\n  object B: TFakeBase\n  end\nend", 2, 13,
                "Unknown kind TFakeBase");  // a kind that only lends properties
    ExpectError("object Main: TFakeForm\n  object B: TFake\n    Colour = clRed\n  end\nend", 3, 5,
                "Unknown property Colour of TFake");
    ExpectError("object Main: TFakeForm\n  Lines = ('a')\nend", 2, 3,
                "Unknown property Lines of TFakeForm");
    ExpectError("object Main: TFakeForm\n  object B: TFake\n    OnClick = Nowhere\n  end\nend", 3,
                15, "Property OnClick of TFake: Unknown handler Nowhere");
    ExpectError("object Main: TFakeForm\n  object B: TFake\n    OnCustom = FormClick\n  end\nend",
                3, 16,
                "Property OnCustom of TFake: Handler FormClick does not have this event's type");
    ExpectError("object Main: TFakeForm\n  object B: TFake\n    OnCustom = WrongType\n  end\nend",
                3, 16,
                "Property OnCustom of TFake: Handler WrongType does not have this event's type");
    ExpectError("object Main: TFakeForm\n  object B: TFake\n    OnClick = 'FormClick'\n  end\nend",
                3, 15, "Property OnClick of TFake: Expected an identifier, found a string");
}

TEST_F(FormLoaderTest, ValuesOfTheWrongTypeOrRangeAreErrors) {
    auto one = [](const std::string& property) {
        return "object Main: TFakeForm\n  object B: TFake\n    " + property + "\n  end\nend";
    };
    ExpectError(one("Left = 'ten'"), 3, 12,
                "Property Left of TFake: Expected an integer, found a string");
    ExpectError(one("Left = 2147483648"), 3, 12,
                "Property Left of TFake: Integer 2147483648 out of range");
    ExpectError(one("Visible = 1"), 3, 15,
                "Property Visible of TFake: Expected a boolean (True or False), found an integer");
    ExpectError(one("Caption = Hello"), 3, 15,
                "Property Caption of TFake: Expected a string, found an identifier");
    ExpectError(one("Lines = [a]"), 3, 13,
                "Property Lines of TFake: Expected a list of strings, found a set");
    ExpectError(one("Color = clPink"), 3, 13, "Property Color of TFake: Unknown colour clPink");
    ExpectError(one("Color = 'red'"), 3, 13,
                "Property Color of TFake: Expected a colour, found a string");
    ExpectError(one("Mode = mThree"), 3, 12,
                "Property Mode of TFake: Invalid value mThree (expected mOne, mTwo)");
    ExpectError(one("Picture = 'missing.bmp'"), 3, 15,
                "Property Picture of TFake: Resource missing.bmp not found");
    files["bad.bmp"] = {'B', 'M', 0, 0};
    ExpectError(one("Picture = 'bad.bmp'"), 3, 15,
                "Property Picture of TFake: Bitmap image is not valid");
    ExpectError(one("Left = 1\n    Left = 2"), 4, 5, "Property Left is given twice");
}

TEST_F(FormLoaderTest, StructureErrors) {
    ExpectError("object Main: TOtherForm\nend", 1, 14,
                "The definition is for TOtherForm, not for TFakeForm");
    ExpectError("object Main: TFakeForm\n  object B: TFake\n  end\n  object B: TLeaf\n  end\nend",
                4, 3, "A component named B already exists");
    ExpectError("object Main: TFakeForm\n  object Main: TFake\n  end\nend", 2, 3,
                "A component named Main already exists");
    ExpectError(
        "object Main: TFakeForm\n  object L: TLeaf\n    object Inner: TFake\n    end\n  end\nend",
        3, 5, "TLeaf cannot hold controls");
}

TEST_F(FormLoaderTest, FieldsMustExistAndBeOfTheirKind) {
    FakeLeaf* leaf = nullptr;
    bindings.Field("Thing", leaf);
    ExpectError("object Main: TFakeForm\n  object Thing: TFake\n  end\nend", 2, 17,
                "The form class expects Thing of another kind than TFake");
    Bindings fresh;
    form.Declare(fresh);
    bindings = std::move(fresh);
    FakeControl* missing = nullptr;
    bindings.Field("Missing", missing);
    ExpectError("object Main: TFakeForm\nend", 1, 1,
                "The form class expects a component Missing that is not defined");
}

TEST(KindRegistry, RejectsATwiceRegisteredKindAndAnUnknownBase) {
    KindRegistry kinds;
    kinds.Register<Component>("TThing", nullptr);
    EXPECT_THROW(kinds.Register<Component>("TThing", nullptr), pq::EInvalidOperation);
    EXPECT_THROW(kinds.Register<Component>("TOther", nullptr).Inherit("TMissing"),
                 pq::EInvalidOperation);
    EXPECT_TRUE(kinds.Contains("TThing"));
    EXPECT_FALSE(kinds.Contains("tthing"));
}

TEST(Component, OwnerFreesItsComponentsAndAFreedComponentLeavesItsOwner) {
    struct Counted : Component {
        Counted(Component* owner, std::vector<std::string>* log, std::string n)
            : Component(owner), log_(log) {
            SetName(std::move(n));
        }
        ~Counted() override { log_->push_back(Name()); }
        std::vector<std::string>* log_;
    };
    std::vector<std::string> log;
    {
        Component owner(nullptr);
        new Counted(&owner, &log, "a");
        auto* b = new Counted(&owner, &log, "b");
        new Counted(&owner, &log, "c");
        delete b;
        EXPECT_EQ(owner.Components().size(), 2u);
        EXPECT_EQ(owner.FindComponent("b"), nullptr);
        EXPECT_THROW(owner.Get<Counted>("b"), pq::EInvalidOperation);
        EXPECT_EQ(&owner.Get<Counted>("c"), owner.FindComponent("c"));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"b", "c", "a"}));  // reverse creation order
}

}  // namespace
}  // namespace ui
