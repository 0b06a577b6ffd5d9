// Turning a form definition into objects. The table of kinds (KindRegistry) says, for every kind
// name that a definition may use, how to create such a component and which properties it
// accepts, each with a typed setter. A form class gives its table of handlers and fields
// (Bindings): events are bound by handler name, and a field receives the component of its name.
// Anything a definition names that the tables do not know is a FormDefinitionError naming the
// definition, line and column; nothing is ignored.
//
// Registering a kind (each module does it in a function of its own that the program calls):
//
//   void RegisterMyKinds(ui::KindRegistry& kinds) {
//       kinds.Register<TMyControl>("TMyControl", ui::CreateControl<TMyControl>)
//           .Inherit("TGraphicControl")                 // Left, Top, ..., OnClick, OnMouseDown
//           .Picture("Glyph", &TMyControl::SetGlyph)    // void SetGlyph(const ui::Bitmap&)
//           .Boolean("AutoSize", &TMyControl::SetAutoSize)
//           .String("WaveSoundClick", &TMyControl::SetWaveSoundClick)
//           .Event("OnChange", &TMyControl::OnChange);  // a std::function<...> member
//   }
//
// Any event type works: the member's std::function signature must equal the handler method's.
// Portable: no platform headers.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <typeindex>
#include <utility>
#include <vector>

#include "ui/bitmap.h"
#include "ui/color.h"
#include "ui/form_definition.h"
#include "ui/object.h"

namespace ui {

// What loading needs from its surroundings.
struct LoadContext {
    std::string source;  // the definition's name, for messages
    // The bytes of a file that a definition names (a picture, an icon). Throws when missing.
    std::function<std::vector<uint8_t>(const std::string& fileName)> loadFile;
};

// A handler of a form class: the signature it was declared with and a maker of the bound
// std::function.
struct HandlerEntry {
    std::type_index signature{typeid(void)};
    std::string signatureName;       // for messages
    std::function<std::any()> make;  // returns std::function<Sig>
};

// A form class's handlers and fields, by name.
class Bindings {
  public:
    // Handler("BtnSimClick", this, &TFContratoLicensa::BtnSimClick)
    template <class Obj, class R, class... A>
    void Handler(std::string name, Obj* obj, R (Obj::*method)(A...)) {
        HandlerEntry e;
        e.signature = typeid(std::function<R(A...)>);
        e.signatureName = typeid(R(A...)).name();
        e.make = [obj, method]() -> std::any {
            return std::function<R(A...)>(
                [obj, method](A... args) -> R { return (obj->*method)(std::forward<A>(args)...); });
        };
        AddHandler(std::move(name), std::move(e));
    }
    // Field("BtnSim", BtnSim): after loading, BtnSim points at the component named "BtnSim",
    // which must exist and be a T.
    template <class T>
    void Field(std::string name, T*& field) {
        AddField(std::move(name), [&field](Component* c) {
            T* t = dynamic_cast<T*>(c);
            if (t) field = t;
            return t != nullptr;
        });
    }

    const HandlerEntry* FindHandler(std::string_view name) const;

    // For the loader.
    struct FieldEntry {
        std::function<bool(Component*)> assign;
        bool assigned = false;
    };
    std::map<std::string, FieldEntry, std::less<>>& Fields() { return fields_; }

  private:
    void AddHandler(std::string name, HandlerEntry e);
    void AddField(std::string name, std::function<bool(Component*)> assign);

    std::map<std::string, HandlerEntry, std::less<>> handlers_;
    std::map<std::string, FieldEntry, std::less<>> fields_;
};

// One property's setter: converts the value (throws pq::Exception with a short reason on a wrong
// type or value; the loader adds the position).
using PropertySetter = std::function<void(Component& target, const PropertyValue& value,
                                          const LoadContext& context, const Bindings& bindings)>;

// Creates a component of a kind: owned by `owner` (the form), placed in `parent` (the component
// of the enclosing object: the form or a container control). Throws pq::Exception when the kind
// cannot live in that parent.
using KindCreator = std::function<Component*(Component& owner, Component& parent)>;

struct KindInfo {
    std::string name;
    KindCreator create;  // empty for a kind that only lends properties (TForm, TGraphicControl)
    std::map<std::string, PropertySetter, std::less<>> properties;
};

// Conversions used by the typed setters; each throws pq::EConvertError with the reason.
int ToInt(const PropertyValue& v);
bool ToBool(const PropertyValue& v);
const std::string& ToText(const PropertyValue& v);
const std::string& ToIdentifier(const PropertyValue& v);
std::vector<std::string> ToStrings(const PropertyValue& v);
Color ToColor(const PropertyValue& v);

template <class T>
class KindBuilder;

class KindRegistry {
  public:
    // REQUIRES: no kind of that name is registered yet (else EInvalidOperation).
    template <class T>
    KindBuilder<T> Register(std::string name, KindCreator create);
    const KindInfo* Find(std::string_view name) const;
    bool Contains(std::string_view name) const { return Find(name) != nullptr; }

    KindInfo& Add(std::string name, KindCreator create);

  private:
    std::map<std::string, std::unique_ptr<KindInfo>, std::less<>> kinds_;
};

// The registry the program's forms load from.
KindRegistry& Kinds();

template <class T>
class KindBuilder {
  public:
    KindBuilder(KindRegistry& registry, KindInfo& info) : registry_(registry), info_(info) {}

    // Takes over every property of an already registered kind (T must derive from its class).
    KindBuilder& Inherit(std::string_view base) {
        const KindInfo* b = registry_.Find(base);
        if (!b) throw pq::EInvalidOperation("Kind " + std::string(base) + " is not registered");
        for (const auto& [n, s] : b->properties) info_.properties.insert_or_assign(n, s);
        return *this;
    }
    template <class F>
    KindBuilder& Integer(std::string name, F setter) {
        return Add(std::move(name),
                   [setter](T& t, const PropertyValue& v, const LoadContext&, const Bindings&) {
                       std::invoke(setter, t, ToInt(v));
                   });
    }
    template <class F>
    KindBuilder& Boolean(std::string name, F setter) {
        return Add(std::move(name),
                   [setter](T& t, const PropertyValue& v, const LoadContext&, const Bindings&) {
                       std::invoke(setter, t, ToBool(v));
                   });
    }
    template <class F>
    KindBuilder& String(std::string name, F setter) {
        return Add(std::move(name),
                   [setter](T& t, const PropertyValue& v, const LoadContext&, const Bindings&) {
                       std::invoke(setter, t, std::string(ToText(v)));
                   });
    }
    template <class F>
    KindBuilder& Strings(std::string name, F setter) {
        return Add(std::move(name),
                   [setter](T& t, const PropertyValue& v, const LoadContext&, const Bindings&) {
                       std::invoke(setter, t, ToStrings(v));
                   });
    }
    template <class F>
    KindBuilder& ColorValue(std::string name, F setter) {
        return Add(std::move(name),
                   [setter](T& t, const PropertyValue& v, const LoadContext&, const Bindings&) {
                       std::invoke(setter, t, ToColor(v));
                   });
    }
    // An identifier from a fixed list: Enum("BorderStyle", {{"bsNone", bsNone}, ...}, setter).
    template <class E, class F>
    KindBuilder& Enum(std::string name, std::vector<std::pair<std::string, E>> values, F setter) {
        return Add(std::move(name), [values, setter](T& t, const PropertyValue& v,
                                                     const LoadContext&, const Bindings&) {
            const std::string& id = ToIdentifier(v);
            for (const auto& [n, e] : values)
                if (n == id) return std::invoke(setter, t, e);
            throw pq::EConvertError(EnumError(id, values));
        });
    }
    // A file name whose bytes are handed over: setter(t, fileName, bytes).
    template <class F>
    KindBuilder& File(std::string name, F setter) {
        return Add(std::move(name),
                   [setter](T& t, const PropertyValue& v, const LoadContext& c, const Bindings&) {
                       const std::string& file = ToText(v);
                       std::vector<uint8_t> bytes = c.loadFile(file);
                       std::invoke(setter, t, file, std::span<const uint8_t>(bytes));
                   });
    }
    // A bitmap file ('x.bmp'), decoded: setter(t, const Bitmap&). An empty string is no image.
    template <class F>
    KindBuilder& Picture(std::string name, F setter) {
        return Add(std::move(name),
                   [setter](T& t, const PropertyValue& v, const LoadContext& c, const Bindings&) {
                       const std::string& file = ToText(v);
                       if (file.empty()) return std::invoke(setter, t, Bitmap());
                       std::vector<uint8_t> bytes = c.loadFile(file);
                       std::invoke(setter, t, Bitmap::FromBmp(bytes));
                   });
    }
    // A property read and dropped: design-time values such as PixelsPerInch or TextHeight.
    KindBuilder& Accepted(std::string name) {
        return Add(std::move(name),
                   [](T&, const PropertyValue&, const LoadContext&, const Bindings&) {});
    }
    // An event: the handler of that name is bound to `member` (a std::function<Sig> of C).
    template <class C, class Sig>
    KindBuilder& Event(std::string name, std::function<Sig> C::*member) {
        return Add(std::move(name), [member](T& t, const PropertyValue& v, const LoadContext&,
                                             const Bindings& b) {
            const std::string& handler = ToIdentifier(v);
            const HandlerEntry* e = b.FindHandler(handler);
            if (!e) throw pq::EConvertError("Unknown handler " + handler);
            if (e->signature != std::type_index(typeid(std::function<Sig>)))
                throw pq::EConvertError("Handler " + handler + " does not have this event's type");
            t.*member = std::any_cast<std::function<Sig>>(e->make());
        });
    }
    // Any other setter: raw(t, value, context, bindings).
    template <class F>
    KindBuilder& Raw(std::string name, F setter) {
        return Add(std::move(name), std::move(setter));
    }

  private:
    template <class F>
    KindBuilder& Add(std::string name, F f) {
        info_.properties.insert_or_assign(
            std::move(name),
            [f](Component& c, const PropertyValue& v, const LoadContext& ctx, const Bindings& b) {
                T* t = dynamic_cast<T*>(&c);
                if (!t) throw pq::EConvertError("Property does not apply to this component");
                f(*t, v, ctx, b);
            });
        return *this;
    }
    template <class E>
    static std::string EnumError(const std::string& id,
                                 const std::vector<std::pair<std::string, E>>& values) {
        std::string s = "Invalid value " + id + " (expected";
        for (size_t i = 0; i < values.size(); ++i) s += (i ? ", " : " ") + values[i].first;
        return s + ")";
    }

    KindRegistry& registry_;
    KindInfo& info_;
};

template <class T>
KindBuilder<T> KindRegistry::Register(std::string name, KindCreator create) {
    return KindBuilder<T>(*this, Add(std::move(name), std::move(create)));
}

// A creator for a plain component: new T(&owner).
template <class T>
Component* CreateComponent(Component& owner, Component&) {
    return new T(&owner);
}

// Loads `root` into `form`: checks that the root's kind is `formClass`, names the form, applies
// the root's properties through the kind `baseKind` (for instance "TForm"), creates every nested
// object through its kind, assigns the declared fields, and calls Loaded on every created
// component and then on the form. Every error is a FormDefinitionError with the position of the
// part of the definition at fault.
void LoadForm(const FormNode& root, Component& form, std::string_view formClass,
              std::string_view baseKind, const KindRegistry& kinds, Bindings& bindings,
              const LoadContext& context);

}  // namespace ui
