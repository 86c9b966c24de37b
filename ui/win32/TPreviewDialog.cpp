#include "ui/win32/TPreviewDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "framework/win32/ui/CenterOnOwner.h"
#include "resources/resource.h"
#include "ui/PreviewCollector.h"
#include "ui/win32/EditText.h"

TPreviewDialog::TPreviewDialog(TWindow* parent,
                               const PreviewCollector& preview,
                               std::string totals,
                               bool touch,
                               HINSTANCE module)
    : TDialog(parent, IDD_PREVIEW, module ? module : ::GetModuleHandleA(nullptr)),
      preview_(preview),
      totals_(std::move(totals)),
      touch_(touch),
      totalsText_(this, IDC_PREVIEW_TOTALS),
      list_(this, IDC_PREVIEW_LIST),
      changesLabel_(this, IDC_PREVIEW_CHANGES_LABEL),
      changes_(this, IDC_PREVIEW_CHANGES),
      runButton_(this, IDC_PREVIEW_RUN),
      closeButton_(this, IDCANCEL) {}

TPreviewDialog::~TPreviewDialog() = default;

int TPreviewDialog::DialogUnitsX(int units) const {
    RECT r{0, 0, units, 0};
    ::MapDialogRect(hwnd_, &r);
    return ScaledForDpi(r.right);
}

int TPreviewDialog::DialogUnitsY(int units) const {
    RECT r{0, 0, 0, units};
    ::MapDialogRect(hwnd_, &r);
    return ScaledForDpi(r.bottom);
}

void TPreviewDialog::SetupControls() {
    TDialog::SetupControls();
    RECT window;
    ::GetWindowRect(hwnd_, &window);
    minimum_ = {window.right - window.left, window.bottom - window.top};
    CenterOnOwner(hwnd_);  // over the frame, as Help; DS_CENTER would take the screen's middle
    totalsText_.SetText(totals_);
    // The program's icon in the caption; a shared icon, which the system frees.
    if (HANDLE icon = ::LoadImageA(GetModule(), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                   ::GetSystemMetrics(SM_CXSMICON),
                                   ::GetSystemMetrics(SM_CYSMICON), LR_SHARED))
        Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    SetFixedFont();

    RECT list;
    ::GetClientRect(list_.GetHandle(), &list);
    const int width = list.right - list.left - ::GetSystemMetrics(SM_CXVSCROLL);
    if (touch_) {
        list_.AddColumn("Name", width * 2 / 5);
        list_.AddColumn("Folder", width * 3 / 5);
    } else {
        list_.AddColumn("Name", width * 7 / 20);
        list_.AddColumn("Folder", width * 9 / 20);
        list_.AddColumn("Replacements", width / 5, true);
    }
    const std::vector<PreviewFile>& files = preview_.Files();
    list_.SetRows(int(std::min<size_t>(files.size(), INT_MAX)),
                  [&files](int row, int column) -> std::string {
                      const PreviewFile& file = files[size_t(row)];
                      switch (column) {
                          case 0:
                              return file.name;
                          case 1:
                              return file.folder;
                          default:
                              return std::to_string(file.replacements);
                      }
                  });
    if (!files.empty()) {
        list_.Select(0);
        ShowChanges(0);
    }
    Layout();
}

bool TPreviewDialog::EvCommand(int id, unsigned code) {
    if (code != BN_CLICKED)
        return TDialog::EvCommand(id, code);
    switch (id) {
        case IDOK:
            // Enter: there is no default button, and Enter must never start the run.
            ShowChanges(list_.Selected());
            return true;
        case IDC_PREVIEW_RUN:
            CloseWindow(IDC_PREVIEW_RUN);
            return true;
        default:
            return TDialog::EvCommand(id, code);
    }
}

INT_PTR TPreviewDialog::DialogMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_NOTIFY: {
            NMHDR& header = *reinterpret_cast<NMHDR*>(lParam);
            if (list_.Notify(header))
                return TRUE;
            if (header.hwndFrom == list_.GetHandle() && header.code == NM_DBLCLK) {
                const int row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
                if (row >= 0) {
                    list_.Select(row);
                    ShowChanges(row);
                }
                return TRUE;
            }
            return FALSE;
        }
        case WM_SIZE:
            Layout();
            return TRUE;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            if (minimum_.cx > 0)
                limits->ptMinTrackSize = {ScaledForDpi(minimum_.cx), ScaledForDpi(minimum_.cy)};
            return TRUE;
        }
        default:
            return TDialog::DialogMessage(msg, wParam, lParam);
    }
}

void TPreviewDialog::SetFixedFont() {
    // Diffs line up only in a font of one width; the dialog's height, so nothing else moves.
    LOGFONTA font{};
    HFONT dialogFont = reinterpret_cast<HFONT>(Send(WM_GETFONT));
    if (!dialogFont || !::GetObjectA(dialogFont, sizeof font, &font))
        return;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    std::strcpy(font.lfFaceName, "Courier New");
    UniqueFont fixed(::CreateFontIndirectA(&font));
    if (!fixed)
        return;
    changes_.Send(WM_SETFONT, reinterpret_cast<WPARAM>(fixed.get()), TRUE);
    oldFixedFont_ = std::move(fixedFont_);
    fixedFont_ = std::move(fixed);
}

void TPreviewDialog::RescaleForDpi(UINT newDpi) {
    TDialog::RescaleForDpi(newDpi);
    SetFixedFont();
    Layout();
}

void TPreviewDialog::ShowChanges(int row) {
    const std::vector<PreviewFile>& files = preview_.Files();
    if (row < 0 || size_t(row) >= files.size())
        return;
    ::SetWindowTextW(changes_.GetHandle(),
                     EditText(preview_.ChangesText(files[size_t(row)])).c_str());
}

void TPreviewDialog::Layout() {
    if (!hwnd_ || !list_.GetHandle())
        return;
    RECT client;
    ::GetClientRect(hwnd_, &client);
    const int margin = DialogUnitsX(7), top = DialogUnitsY(7);
    const int gapX = DialogUnitsX(4), gapY = DialogUnitsY(4);
    const int buttonW = DialogUnitsX(50), buttonH = DialogUnitsY(14);
    const int totalsH = DialogUnitsY(18), labelH = DialogUnitsY(8);
    const int width = std::max(0, int(client.right) - 2 * margin);
    const int buttonsY = client.bottom - top - buttonH;

    auto place = [](const TWindow& control, int x, int y, int w, int h) {
        ::MoveWindow(control.GetHandle(), x, y, std::max(0, w), std::max(0, h), TRUE);
    };
    place(totalsText_, margin, top, width, totalsH);
    const int listY = top + totalsH + DialogUnitsY(3);
    const int labelBlock = DialogUnitsY(5) + labelH + DialogUnitsY(2);
    // The list and the changes share what is left, as the template shares it.
    const int shared = std::max(0, buttonsY - gapY - listY - labelBlock);
    const int listH = shared * 84 / 154;
    place(list_, margin, listY, width, listH);
    place(changesLabel_, margin, listY + listH + DialogUnitsY(5), width, labelH);
    const int changesY = listY + listH + labelBlock;
    place(changes_, margin, changesY, width, buttonsY - gapY - changesY);
    place(closeButton_, client.right - margin - buttonW, buttonsY, buttonW, buttonH);
    place(runButton_, client.right - margin - 2 * buttonW - gapX, buttonsY, buttonW, buttonH);
}
