#include "install/db_components_win.h"

#include "tabledb/session.h"
#include "ui/form_loader.h"

namespace pq::install {

TTable::TTable(ui::Component* owner)
    : ui::Component(owner), tabledb::Table(tabledb::DefaultSession(), "") {}

void TTable::Loaded() {
    SetComponentName(ui::Component::Name());
}

void RegisterKinds(ui::KindRegistry& kinds) {
    if (kinds.Find("TTable")) return;
    kinds.Register<TTable>("TTable", ui::CreateComponent<TTable>)
        .String("DatabaseName", &TTable::SetDatabaseName)
        .String("TableName", &TTable::SetTableName)
        .Boolean("ReadOnly", &TTable::SetReadOnly)
        .Event("OnDeleteError", &tabledb::Table::OnDeleteError)
        .Event("OnEditError", &tabledb::Table::OnEditError)
        .Event("OnPostError", &tabledb::Table::OnPostError);
}

}  // namespace pq::install
