#include "ui/win32/THelpDialog.h"

#include "resources/resource.h"

THelpDialog::THelpDialog(TWindow* parent, int templateId, HINSTANCE module)
    : TDialog(parent,
              templateId ? templateId : IDD_HELP,
              module ? module : ::GetModuleHandleA(nullptr)),
      okButton_(this, IDOK, IDB_GLYPH_OK) {}
