// The table component that windows place in their form definitions: a TTable is a component
// of its window (owned and freed with it) and an engine table of the default session.
// Windows only.
#pragma once

#include "tabledb/table.h"
#include "ui/object.h"

namespace ui {
class KindRegistry;
}

namespace pq::install {

class TTable : public ui::Component, public tabledb::Table {
  public:
    explicit TTable(ui::Component* owner);
    const char* ClassName() const override { return "TTable"; }
    using ui::Component::Name;
    // Messages of the table carry the component's name from its definition.
    void Loaded() override;
};

// Registers TTable (DatabaseName, TableName, OnDeleteError, OnEditError, OnPostError).
void RegisterKinds(ui::KindRegistry& kinds);

}  // namespace pq::install
