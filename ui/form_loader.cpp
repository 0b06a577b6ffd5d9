#include "ui/form_loader.h"

#include <limits>
#include <set>

namespace ui {

const HandlerEntry* Bindings::FindHandler(std::string_view name) const {
    auto it = handlers_.find(name);
    return it == handlers_.end() ? nullptr : &it->second;
}

void Bindings::AddHandler(std::string name, HandlerEntry e) {
    handlers_.insert_or_assign(std::move(name), std::move(e));
}

void Bindings::AddField(std::string name, std::function<bool(Component*)> assign) {
    fields_.insert_or_assign(std::move(name), FieldEntry{std::move(assign), false});
}

namespace {

[[noreturn]] void WrongType(const PropertyValue& v, const char* expected) {
    throw pq::EConvertError(std::string("Expected ") + expected + ", found " +
                            TypeDescription(v.type));
}

}  // namespace

int ToInt(const PropertyValue& v) {
    if (v.type != PropertyValue::Type::Integer) WrongType(v, "an integer");
    if (v.integer < std::numeric_limits<int>::min() || v.integer > std::numeric_limits<int>::max())
        throw pq::EConvertError("Integer " + std::to_string(v.integer) + " out of range");
    return static_cast<int>(v.integer);
}

bool ToBool(const PropertyValue& v) {
    if (v.type != PropertyValue::Type::Boolean) WrongType(v, "a boolean (True or False)");
    return v.boolean;
}

const std::string& ToText(const PropertyValue& v) {
    if (v.type != PropertyValue::Type::String) WrongType(v, "a string");
    return v.text;
}

const std::string& ToIdentifier(const PropertyValue& v) {
    if (v.type != PropertyValue::Type::Identifier) WrongType(v, "an identifier");
    return v.text;
}

std::vector<std::string> ToStrings(const PropertyValue& v) {
    if (v.type == PropertyValue::Type::StringList) return v.items;
    if (v.type == PropertyValue::Type::String) return {v.text};
    WrongType(v, "a list of strings");
}

Color ToColor(const PropertyValue& v) {
    if (v.type == PropertyValue::Type::Integer) {
        if (v.integer < std::numeric_limits<int32_t>::min() ||
            v.integer > std::numeric_limits<uint32_t>::max())
            throw pq::EConvertError("Colour " + std::to_string(v.integer) + " out of range");
        return static_cast<Color>(static_cast<uint32_t>(v.integer));
    }
    if (v.type == PropertyValue::Type::Identifier) {
        if (auto c = ColorFromName(v.text)) return *c;
        throw pq::EConvertError("Unknown colour " + v.text);
    }
    WrongType(v, "a colour");
}

const KindInfo* KindRegistry::Find(std::string_view name) const {
    auto it = kinds_.find(name);
    return it == kinds_.end() ? nullptr : it->second.get();
}

KindInfo& KindRegistry::Add(std::string name, KindCreator create) {
    if (kinds_.count(name)) throw pq::EInvalidOperation("Kind " + name + " is registered twice");
    auto info = std::make_unique<KindInfo>();
    info->name = name;
    info->create = std::move(create);
    KindInfo& ref = *info;
    kinds_.emplace(std::move(name), std::move(info));
    return ref;
}

KindRegistry& Kinds() {
    static KindRegistry registry;
    return registry;
}

namespace {

class Loader {
  public:
    Loader(Component& form, const KindRegistry& kinds, Bindings& bindings,
           const LoadContext& context)
        : form_(form), kinds_(kinds), bindings_(bindings), context_(context) {}

    void Load(const FormNode& root, std::string_view formClass, std::string_view baseKind) {
        if (root.kind != formClass)
            Fail(root.kindLine, root.kindColumn,
                 "The definition is for " + root.kind + ", not for " + std::string(formClass));
        const KindInfo* base = kinds_.Find(baseKind);
        if (!base)
            Fail(root.kindLine, root.kindColumn,
                 "Unknown kind " + std::string(baseKind) + " for " + root.kind);
        form_.SetName(root.name);
        names_.insert(root.name);
        AssignField(root, form_);
        ApplyProperties(root, *base, form_);
        for (const FormNode& child : root.children) Create(child, form_);
        for (const auto& [name, field] : bindings_.Fields())
            if (!field.assigned)
                Fail(root.line, root.column,
                     "The form class expects a component " + name + " that is not defined");
        for (Component* c : created_) c->Loaded();
        form_.Loaded();
    }

  private:
    [[noreturn]] void Fail(int line, int column, std::string what) {
        throw FormDefinitionError(context_.source, line, column, std::move(what));
    }

    void Create(const FormNode& node, Component& parent) {
        const KindInfo* kind = kinds_.Find(node.kind);
        if (!kind || !kind->create)
            Fail(node.kindLine, node.kindColumn, "Unknown kind " + node.kind);
        if (!names_.insert(node.name).second)
            Fail(node.line, node.column, "A component named " + node.name + " already exists");
        Component* c = nullptr;
        try {
            c = kind->create(form_, parent);
        } catch (const FormDefinitionError&) {
            throw;
        } catch (const std::exception& e) {
            Fail(node.line, node.column, std::string(e.what()));
        }
        if (!c) Fail(node.line, node.column, "Kind " + node.kind + " made no component");
        c->SetName(node.name);
        created_.push_back(c);
        AssignField(node, *c);
        ApplyProperties(node, *kind, *c);
        for (const FormNode& child : node.children) Create(child, *c);
    }

    void AssignField(const FormNode& node, Component& c) {
        auto& fields = bindings_.Fields();
        auto it = fields.find(node.name);
        if (it == fields.end()) return;
        if (!it->second.assign(&c))
            Fail(node.kindLine, node.kindColumn,
                 "The form class expects " + node.name + " of another kind than " + node.kind);
        it->second.assigned = true;
    }

    void ApplyProperties(const FormNode& node, const KindInfo& kind, Component& c) {
        std::set<std::string, std::less<>> seen;
        for (const PropertyNode& p : node.properties) {
            auto it = kind.properties.find(p.name);
            if (it == kind.properties.end())
                Fail(p.line, p.column, "Unknown property " + p.name + " of " + node.kind);
            if (!seen.insert(p.name).second)
                Fail(p.line, p.column, "Property " + p.name + " is given twice");
            try {
                it->second(c, p.value, context_, bindings_);
            } catch (const FormDefinitionError&) {
                throw;
            } catch (const std::exception& e) {
                Fail(p.value.line, p.value.column,
                     "Property " + p.name + " of " + node.kind + ": " + e.what());
            }
        }
    }

    Component& form_;
    const KindRegistry& kinds_;
    Bindings& bindings_;
    const LoadContext& context_;
    std::set<std::string, std::less<>> names_;
    std::vector<Component*> created_;
};

}  // namespace

void LoadForm(const FormNode& root, Component& form, std::string_view formClass,
              std::string_view baseKind, const KindRegistry& kinds, Bindings& bindings,
              const LoadContext& context) {
    Loader(form, kinds, bindings, context).Load(root, formClass, baseKind);
}

}  // namespace ui
