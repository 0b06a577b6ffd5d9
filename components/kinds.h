// The form-definition kinds of the component library: TZRMultiButton, TVyxBmp and TZRDrives,
// each with its published properties. The program calls RegisterKinds(ui::Kinds()) once the
// application (and with it the standard kinds these inherit from) exists; a second call does
// nothing. Windows builds only. Portable header.
#pragma once

namespace ui {
class KindRegistry;
}

namespace components {

void RegisterKinds(ui::KindRegistry& kinds);

}  // namespace components
