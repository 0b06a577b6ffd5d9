// The object model of windows, controls and components. Every object has a class name (error
// reports carry it: "TFPrincipal", "TButton", "TApplication"). A component has a name and an
// owner; the owner frees the components it owns, in reverse order of their creation, when it is
// destroyed, and a component that is destroyed first leaves its owner's list.
// Portable: no platform headers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/exception.h"

namespace ui {

class Object {
  public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;
    virtual const char* ClassName() const { return "TObject"; }
};

class Component : public Object {
  public:
    // The new component belongs to `owner` (which may be null: then the caller owns it).
    explicit Component(Component* owner);
    ~Component() override;
    const char* ClassName() const override { return "TComponent"; }

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    Component* Owner() const { return owner_; }
    const std::vector<Component*>& Components() const { return components_; }
    // The owned component of that name, or null.
    Component* FindComponent(std::string_view name) const;
    // Like FindComponent, for a component that must exist and be a T.
    // Throws EInvalidOperation otherwise.
    template <class T>
    T& Get(std::string_view name) const {
        Component* c = FindComponent(name);
        T* t = dynamic_cast<T*>(c);
        if (!t) ThrowMissing(name, c);
        return *t;
    }

    // Called once on every component of a form definition after all of them were created and
    // given their properties (the form last).
    virtual void Loaded() {}

    // Frees every owned component now (reverse creation order).
    void DestroyComponents();

    // Moves this component to another owner (null: the caller owns it).
    void SetOwner(Component* owner);

  private:
    [[noreturn]] void ThrowMissing(std::string_view name, Component* found) const;

    std::string name_;
    Component* owner_ = nullptr;
    std::vector<Component*> components_;
};

}  // namespace ui
