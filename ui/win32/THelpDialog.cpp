#include "ui/win32/THelpDialog.h"

#include "framework/win32/ui/CenterOnOwner.h"
#include "resources/resource.h"

THelpDialog::THelpDialog(TWindow* parent, int templateId, HINSTANCE module)
    : TDialog(parent,
              templateId ? templateId : IDD_HELP,
              module ? module : ::GetModuleHandleA(nullptr)),
      okButton_(this, IDOK, IDB_GLYPH_OK) {}

void THelpDialog::SetupControls() {
    TDialog::SetupControls();
    CenterOnOwner(GetHandle());
}
