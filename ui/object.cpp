#include "ui/object.h"

#include <algorithm>

namespace ui {

Component::Component(Component* owner) {
    SetOwner(owner);
}

Component::~Component() {
    DestroyComponents();
    SetOwner(nullptr);
}

void Component::SetOwner(Component* owner) {
    if (owner == owner_) return;
    if (owner_) {
        auto& list = owner_->components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    owner_ = owner;
    if (owner_) owner_->components_.push_back(this);
}

Component* Component::FindComponent(std::string_view name) const {
    for (Component* c : components_)
        if (c->name_ == name) return c;
    return nullptr;
}

void Component::DestroyComponents() {
    // Each destructor removes its component from the list, so take them from the back.
    while (!components_.empty()) delete components_.back();
}

void Component::ThrowMissing(std::string_view name, Component* found) const {
    if (!found)
        throw pq::EInvalidOperation("Component " + std::string(name) + " not found in " + name_);
    throw pq::EInvalidOperation("Component " + std::string(name) + " of " + name_ + " is a " +
                                found->ClassName() + ", not the expected kind");
}

}  // namespace ui
