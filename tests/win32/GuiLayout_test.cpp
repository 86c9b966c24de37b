// The windows' layout as a user sees it: every control shown lies inside its window, none
// covers another, and each one's text fits it, in the main dialog's Find and Touch modes and
// in the preview window, at its first size and resized.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

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

// The dialogs' font, made as the dialog manager makes it from the templates' FONT line.
class DialogFont {
public:
    DialogFont() {
        HDC screen = ::GetDC(nullptr);
        const int height = -::MulDiv(8, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
        ::ReleaseDC(nullptr, screen);
        font_ = ::CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0,
                              0, PROOF_QUALITY, FF_DONTCARE, "MS Sans Serif");
    }
    ~DialogFont() { ::DeleteObject(font_); }
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    // The width and height of one line of `text`, '&' marking a mnemonic as a control shows it.
    SIZE Measure(const std::string& text) const {
        HDC dc = ::CreateCompatibleDC(nullptr);
        HGDIOBJ old = ::SelectObject(dc, font_);
        RECT r{0, 0, 0, 0};
        ::DrawTextA(dc, text.c_str(), int(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
        return {r.right - r.left, r.bottom - r.top};
    }

private:
    HFONT font_;
};

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

void ExpectLaidOut(HWND parent, const std::vector<int>& glyphIds = {}) {
    RECT client;
    ::GetClientRect(parent, &client);
    const std::vector<Shown> shown = ShownChildren(parent);
    ASSERT_FALSE(shown.empty());
    const DialogFont font;
    for (const Shown& s : shown) {
        const std::string name = s.kind + " \"" + s.text + "\"";
        EXPECT_TRUE(Contains(client, s.rect)) << name << " leaves its window";
        const bool textual = (s.kind == "Button" && !IsGroupBox(s)) ||
                             (s.kind == "Static" && (s.style & SS_TYPEMASK) == SS_LEFT);
        if (textual && !s.text.empty() && s.text.find('\n') == std::string::npos) {
            bool glyph = false;
            for (int id : glyphIds)
                glyph = glyph || ::GetDlgCtrlID(s.window) == id;
            const SIZE need = font.Measure(s.text);
            EXPECT_LE(need.cx + Room(s, glyph), s.rect.right - s.rect.left)
                << name << " is cut off";
            EXPECT_LE(need.cy, s.rect.bottom - s.rect.top) << name << " is cut off";
        }
    }
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

const std::vector<int> kGlyphButtons = {IDOK, IDCANCEL, IDC_HELP_BUTTON, IDC_BROWSE};

TEST_F(ScrivoxGui, MainDialogControlsFitWithoutOverlapInBothModes) {
    Scrivox app;
    Start(app);
    for (int id : {IDC_PREVIEW, IDC_UNDO})
        EXPECT_TRUE(app.IsActive(id)) << id;
    ExpectLaidOut(app.Dialog(), kGlyphButtons);
    app.ClickNow(IDC_TOUCH_RADIO);
    ExpectLaidOut(app.Dialog(), kGlyphButtons);
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
    app.SetText(IDC_FOLDER_LIST, files_.Path());
    app.SetText(IDC_FILTER_LIST, "*.txt");
    app.SetText(IDC_FIND_LIST, "one");
    app.SetText(IDC_REPLACE_LIST, "three");
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
