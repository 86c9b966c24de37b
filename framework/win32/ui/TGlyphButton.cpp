#include "framework/win32/ui/TGlyphButton.h"

#include <string>

#include "framework/win32/ui/TDialog.h"

namespace {

const COLORREF kSeeThrough = RGB(255, 0, 255);

// Glyphs are drawn for 96 dots per inch; they grow by whole steps so that their pixels stay
// square and sharp.
int GlyphScale() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return dpi >= 168 ? (dpi + 48) / 96 : 1;
}

}  // namespace

TGlyphButton::TGlyphButton(TDialog* parent, int id, int glyphId)
    : TControl(parent, id), glyphId_(glyphId) {}

TGlyphButton::~TGlyphButton() {
    if (images_)
        ::ImageList_Destroy(images_);
}

void TGlyphButton::SetupWindow() {
    HINSTANCE module = GetParentDialog()->GetModule();
    HBITMAP plain = static_cast<HBITMAP>(
        ::LoadImageA(module, MAKEINTRESOURCEA(glyphId_), IMAGE_BITMAP, 0, 0, 0));
    if (!plain)
        ThrowLastError("Cannot load glyph " + std::to_string(glyphId_));
    BITMAP info{};
    ::GetObjectA(plain, sizeof info, &info);
    const int scale = GlyphScale();
    HBITMAP glyph = plain;
    if (scale > 1) {
        glyph = static_cast<HBITMAP>(::CopyImage(plain, IMAGE_BITMAP, info.bmWidth * scale,
                                                 info.bmHeight * scale, LR_COPYDELETEORG));
        if (!glyph)
            glyph = plain;
        else
            ::GetObjectA(glyph, sizeof info, &info);
    }
    // One square image per glyph height; a wider strip would hold further states.
    images_ = ::ImageList_Create(info.bmHeight, info.bmHeight, ILC_COLOR24 | ILC_MASK, 1, 0);
    if (images_)
        ::ImageList_AddMasked(images_, glyph, kSeeThrough);
    ::DeleteObject(glyph);
    if (!images_)
        ThrowLastError("Cannot make the image list of glyph " + std::to_string(glyphId_));
    BUTTON_IMAGELIST layout{};
    layout.himl = images_;
    layout.margin = RECT{2, 0, 0, 0};
    layout.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
    // Without version 6 of the common controls the button keeps its text alone.
    Send(BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&layout));
}
