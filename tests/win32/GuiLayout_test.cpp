// The windows' layout as a user sees it: every control shown lies inside its window, none
// covers another, and each one's text fits it, in the templates' font and in the dialog font
// of Windows 10 and 11, in the main dialog's Find and Touch modes, in Help and in the preview
// window, at its first size, resized, and on a monitor of twice the DPI.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "resources/resource.h"
#include "tests/win32/GuiFixture.h"

namespace {

struct Shown {
    HWND window;
    std::string kind, text;
    LONG style;
    RECT rect;  // in the parent's client area
};

std::vector<Shown> ShownChildren(HWND parent) {
    std::vector<Shown> shown;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child))
            continue;
        Shown s{child, ClassName(child), WindowText(child), ::GetWindowLongA(child, GWL_STYLE), {}};
        ::GetWindowRect(child, &s.rect);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&s.rect), 2);
        shown.push_back(s);
    }
    return shown;
}

bool IsGroupBox(const Shown& s) {
    return s.kind == "Button" && (s.style & BS_TYPEMASK) == BS_GROUPBOX;
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// A dialog font as the dialog manager makes it from a template's FONT line, at `dpi`.
class DialogFont {
public:
    DialogFont(const char* face, int points, int dpi) {
        font_ = ::CreateFontA(-::MulDiv(points, dpi, 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_DONTCARE, face);
        HDC dc = ::CreateCompatibleDC(nullptr);
        HGDIOBJ old = ::SelectObject(dc, font_);
        char got[LF_FACESIZE] = {};
        ::GetTextFaceA(dc, LF_FACESIZE, got);
        face_ = got;
        // The dialog units' base, as the dialog manager takes it: the mean width of the Latin
        // letters, rounded, and the font's height.
        const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE size{};
        ::GetTextExtentPoint32A(dc, letters, 52, &size);
        TEXTMETRICA metrics{};
        ::GetTextMetricsA(dc, &metrics);
        base_ = {(size.cx / 26 + 1) / 2, metrics.tmHeight};
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
    }
    ~DialogFont() { ::DeleteObject(font_); }
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    // The face the system gave, which may be a stand-in for the one asked for.
    const std::string& Face() const { return face_; }
    // Pixels for 4 horizontal and 8 vertical dialog units.
    SIZE Base() const { return base_; }

    // The size `text` takes, '&' marking a mnemonic as a control shows it unless `flags` has
    // DT_NOPREFIX; a text of several lines is broken to `width` as a static control breaks it.
    SIZE Measure(const std::string& text, UINT flags = 0, LONG width = 0) const {
        HDC dc = ::CreateCompatibleDC(nullptr);
        HGDIOBJ old = ::SelectObject(dc, font_);
        RECT r{0, 0, width, 0};
        ::DrawTextA(dc, text.c_str(), int(text.size()), &r,
                    DT_CALCRECT | DT_EXPANDTABS | flags | (width ? DT_WORDBREAK : DT_SINGLELINE));
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
        return {r.right - r.left, r.bottom - r.top};
    }

private:
    HFONT font_;
    std::string face_;
    SIZE base_;
};

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

// What a control needs besides its text: a button's frame, a check box's box, a glyph.
int Room(const Shown& s, bool glyph) {
    if (s.kind != "Button")
        return 0;
    const LONG type = s.style & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON ||
        type == BS_RADIOBUTTON)
        return ::GetSystemMetrics(SM_CXMENUCHECK) + 4;
    return 8 + (glyph ? 16 + 2 : 0);
}

// Each text of `parent`'s static, check box, radio button and button controls fits it, in
// `font`, the controls' sizes being what the template's dialog units give in that font: the
// units of `drawn`, the font the window is drawn in, are taken for those of `font`.
void ExpectTextsFit(HWND parent,
                    const std::vector<int>& glyphIds,
                    const DialogFont& drawn,
                    const DialogFont& font) {
    const SIZE from = drawn.Base(), to = font.Base();
    for (const Shown& s : ShownChildren(parent)) {
        const LONG staticType = s.style & SS_TYPEMASK;
        const bool textual =
            (s.kind == "Button" && !IsGroupBox(s)) ||
            (s.kind == "Static" &&
             (staticType == SS_LEFT || staticType == SS_CENTER || staticType == SS_RIGHT));
        if (!textual || s.text.empty())
            continue;
        const std::string name = s.kind + " \"" + s.text + "\" in " + font.Face();
        const LONG width = ::MulDiv(s.rect.right - s.rect.left, to.cx, from.cx);
        const LONG height = ::MulDiv(s.rect.bottom - s.rect.top, to.cy, from.cy);
        const UINT flags = s.kind == "Static" && (s.style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
        if (s.kind == "Static" && s.text.find('\n') != std::string::npos) {
            EXPECT_LE(font.Measure(s.text, flags, width).cy, height) << name << " is cut off";
            continue;
        }
        bool glyph = false;
        for (int id : glyphIds)
            glyph = glyph || ::GetDlgCtrlID(s.window) == id;
        const SIZE need = font.Measure(s.text, flags);
        // A path that does not fit is shortened in its middle on purpose.
        if (!(s.style & SS_PATHELLIPSIS) || s.text.find('\\') == std::string::npos) {
            EXPECT_LE(need.cx + Room(s, glyph), width) << name << " is cut off";
        }
        EXPECT_LE(need.cy, height) << name << " is cut off";
    }
}

// The templates' font, as this machine draws it; `scale` times the screen's DPI.
std::unique_ptr<DialogFont> TemplateFont(int scale = 1) {
    return std::make_unique<DialogFont>("MS Sans Serif", 8, ScreenDpi() * scale);
}

void ExpectLaidOut(HWND parent, const std::vector<int>& glyphIds = {}, int dpiScale = 1) {
    RECT client;
    ::GetClientRect(parent, &client);
    const std::vector<Shown> shown = ShownChildren(parent);
    ASSERT_FALSE(shown.empty());
    for (const Shown& s : shown) {
        EXPECT_TRUE(Contains(client, s.rect))
            << s.kind << " \"" << s.text << "\" leaves its window";
    }
    const std::unique_ptr<DialogFont> drawn = TemplateFont(dpiScale);
    ExpectTextsFit(parent, glyphIds, *drawn, *drawn);
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j) {
            const Shown& a = shown[i];
            const Shown& b = shown[j];
            // A group box frames the controls inside it.
            if ((IsGroupBox(a) && Contains(a.rect, b.rect)) ||
                (IsGroupBox(b) && Contains(b.rect, a.rect)))
                continue;
            RECT both;
            EXPECT_FALSE(::IntersectRect(&both, &a.rect, &b.rect))
                << a.kind << " \"" << a.text << "\" and " << b.kind << " \"" << b.text
                << "\" overlap";
        }
    }
}

// The dialog font of Windows 10 and 11, or a stand-in of the same metrics; null when neither
// is installed.
std::unique_ptr<DialogFont> SystemDialogFont() {
    for (const char* face : {"Segoe UI", "Selawik"}) {
        auto font = std::make_unique<DialogFont>(face, 9, ScreenDpi());
        if (font->Face() == face)
            return font;
    }
    return nullptr;
}

const std::vector<int> kGlyphButtons = {IDOK, IDCANCEL, IDC_HELP_BUTTON, IDC_BROWSE};

void FillFind(const Scrivox& app, const std::string& folder) {
    app.SetText(IDC_FOLDER_LIST, folder);
    app.SetText(IDC_FILTER_LIST, "*.txt");
    app.SetText(IDC_FIND_LIST, "one");
    app.SetText(IDC_REPLACE_LIST, "three");
}

// Each dialog as a user meets it, `check` run on each: the main dialog in Find and Touch mode
// with a run's last progress in its status line, Help, and the preview window.
void ForEachDialog(Scrivox& app,
                   const std::string& folder,
                   const std::function<void(HWND, const std::vector<int>&)>& check) {
    app.SetText(IDC_STATUS, "99999 files looked at, 99999 changed.");
    check(app.Dialog(), kGlyphButtons);
    app.ClickNow(IDC_TOUCH_RADIO);
    check(app.Dialog(), kGlyphButtons);
    app.ClickNow(IDC_FIND_RADIO);

    app.Click(IDC_HELP_BUTTON);
    HWND help = app.WaitForDialog("Help");
    ASSERT_NE(help, nullptr);
    check(help, {IDOK});
    ::PostMessageA(help, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntilGone(help));

    FillFind(app, folder);
    app.Click(IDC_PREVIEW);
    HWND preview = app.WaitForDialog("Preview");
    ASSERT_NE(preview, nullptr);
    check(preview, {});
    ::PostMessageA(preview, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntilGone(preview));
}

TEST_F(ScrivoxGui, EveryDialogFitsInTheTemplatesFont) {
    files_.Write("a.txt", "one two");
    Scrivox app;
    Start(app);
    ForEachDialog(app, files_.Path(), [](HWND dialog, const std::vector<int>& glyphs) {
        ExpectLaidOut(dialog, glyphs);
    });
    Quit(app);
}

// The dialog units of Windows 10 and 11's dialog font give every control its size; each text
// must fit in that font too.
TEST_F(ScrivoxGui, EveryTextFitsInTheSystemDialogFont) {
    const std::unique_ptr<DialogFont> segoe = SystemDialogFont();
    if (!segoe)
        GTEST_SKIP() << "Segoe UI is not installed, nor Selawik, its stand-in of the same "
                        "metrics: the texts are measured in the templates' font only";
    files_.Write("a.txt", "one two");
    Scrivox app;
    Start(app);
    const std::unique_ptr<DialogFont> drawn = TemplateFont();
    ForEachDialog(app, files_.Path(), [&](HWND dialog, const std::vector<int>& glyphs) {
        ExpectTextsFit(dialog, glyphs, *drawn, *segoe);
    });
    Quit(app);
}

TEST_F(ScrivoxGui, StatusLineSpansTheDialogUnderTheButtons) {
    Scrivox app;
    Start(app);
    RECT status, doButton, dialog;
    ::GetWindowRect(app.Item(IDC_STATUS), &status);
    ::GetWindowRect(app.Item(IDOK), &doButton);
    ::GetWindowRect(app.Dialog(), &dialog);
    EXPECT_TRUE(app.IsShown(IDC_STATUS));
    EXPECT_GT(status.top, doButton.bottom);
    EXPECT_EQ(status.left, doButton.left);
    EXPECT_NEAR(dialog.right - status.right, status.left - dialog.left, 1);
    EXPECT_EQ(app.Text(IDC_STATUS), "");
    Quit(app);
}

// Moved to a monitor of twice the DPI: every control twice as large, the texts in a font twice
// as large still whole, the frame where the system put it and around its dialog.
TEST_F(ScrivoxGui, DoubleDpiDoublesTheDialog) {
    if (ScreenDpi() != 96)
        GTEST_SKIP() << "the screen is not at 96 dpi, from which 192 doubles";
    Scrivox app;
    Start(app);
    const std::vector<Shown> before = ShownChildren(app.Dialog());
    RECT frame;
    ::GetWindowRect(app.Frame(), &frame);
    const RECT suggested{frame.left + 10, frame.top + 10,
                         frame.left + 10 + 2 * (frame.right - frame.left),
                         frame.top + 10 + 2 * (frame.bottom - frame.top)};
    app.SendDpiChanged(app.Frame(), 192, suggested);
    const std::vector<Shown> after = ShownChildren(app.Dialog());
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        const RECT& a = before[i].rect;
        const RECT& b = after[i].rect;
        const std::string name = before[i].kind + " \"" + before[i].text + "\"";
        EXPECT_NEAR(b.left, 2 * a.left, 2) << name;
        EXPECT_NEAR(b.top, 2 * a.top, 2) << name;
        EXPECT_NEAR(b.right - b.left, 2 * (a.right - a.left), 2) << name;
        // A combo box's closed height is its font's, not its own.
        if (before[i].kind != "ComboBox") {
            EXPECT_NEAR(b.bottom - b.top, 2 * (a.bottom - a.top), 2) << name;
        }
    }
    ExpectLaidOut(app.Dialog(), kGlyphButtons, 2);
    RECT moved, client, dialog;
    ::GetWindowRect(app.Frame(), &moved);
    EXPECT_EQ(moved.left, suggested.left);
    EXPECT_EQ(moved.top, suggested.top);
    ::GetClientRect(app.Frame(), &client);
    ::GetWindowRect(app.Dialog(), &dialog);
    EXPECT_EQ(client.right, dialog.right - dialog.left);
    EXPECT_EQ(client.bottom, dialog.bottom - dialog.top);
    Quit(app);
}

TEST_F(ScrivoxGui, ButtonRowFollowsTheTabOrder) {
    Scrivox app;
    Start(app);
    for (int id : {IDC_PREVIEW, IDC_UNDO})
        EXPECT_TRUE(app.IsActive(id)) << id;
    // The buttons' row, left to right in the tab order: Do!, Preview..., Undo last run, Quit,
    // Help.
    HWND focus = app.Item(IDOK);
    for (int id : {IDC_PREVIEW, IDC_UNDO, IDCANCEL, IDC_HELP_BUTTON}) {
        HWND next = ::GetNextDlgTabItem(app.Dialog(), focus, FALSE);
        EXPECT_EQ(next, app.Item(id)) << id;
        RECT left, right;
        ::GetWindowRect(focus, &left);
        ::GetWindowRect(app.Item(id), &right);
        EXPECT_LT(left.right, right.left) << id;
        EXPECT_EQ(left.top, right.top) << id;
        focus = next;
    }
    Quit(app);
}

TEST_F(ScrivoxGui, PreviewWindowFitsAndFollowsItsSize) {
    files_.Write("a.txt", "one two");
    Scrivox app;
    Start(app);
    FillFind(app, files_.Path());
    app.Click(IDC_PREVIEW);
    HWND preview = app.WaitForDialog("Preview");
    ASSERT_NE(preview, nullptr);
    ExpectLaidOut(preview);
    RECT first, list, changes, client, close;
    ::GetWindowRect(preview, &first);
    // The Close button's distance from the bottom right corner.
    auto corner = [&] {
        ::GetClientRect(preview, &client);
        ::GetWindowRect(::GetDlgItem(preview, IDCANCEL), &close);
        ::MapWindowPoints(nullptr, preview, reinterpret_cast<POINT*>(&close), 2);
        return std::make_pair(client.right - close.right, client.bottom - close.bottom);
    };
    const auto firstCorner = corner();
    ::GetWindowRect(::GetDlgItem(preview, IDC_PREVIEW_LIST), &list);
    ::GetWindowRect(::GetDlgItem(preview, IDC_PREVIEW_CHANGES), &changes);

    // Larger: the list and the changes take the room, the buttons stay in the corner.
    ::SetWindowPos(preview, nullptr, 0, 0, first.right - first.left + 200,
                   first.bottom - first.top + 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ExpectLaidOut(preview);
    RECT grownList, grownChanges;
    ::GetWindowRect(::GetDlgItem(preview, IDC_PREVIEW_LIST), &grownList);
    ::GetWindowRect(::GetDlgItem(preview, IDC_PREVIEW_CHANGES), &grownChanges);
    EXPECT_EQ(grownList.right - grownList.left, list.right - list.left + 200);
    EXPECT_EQ(grownChanges.right - grownChanges.left, changes.right - changes.left + 200);
    EXPECT_GT(grownList.bottom - grownList.top, list.bottom - list.top);
    EXPECT_GT(grownChanges.bottom - grownChanges.top, changes.bottom - changes.top);
    EXPECT_EQ(corner(), firstCorner);

    // Dragged smaller than it opened, it keeps its first size.
    ::SetWindowPos(preview, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT shrunk;
    ::GetWindowRect(preview, &shrunk);
    EXPECT_GE(shrunk.right - shrunk.left, first.right - first.left);
    EXPECT_GE(shrunk.bottom - shrunk.top, first.bottom - first.top);
    ExpectLaidOut(preview);

    ::PostMessageA(preview, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntilGone(preview));
    Quit(app);
}

}  // namespace
