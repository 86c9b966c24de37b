#ifndef SCRIVOX_STOCK_GLYPHS_H
#define SCRIVOX_STOCK_GLYPHS_H

// The framework's stock button glyphs: 16-colour bitmaps, 16 pixels high, with magenta
// (255, 0, 255) as the see-through colour. Plain defines and an include guard, so that resource
// scripts can include them.
#define IDB_GLYPH_OK 1000
#define IDB_GLYPH_CANCEL 1001
#define IDB_GLYPH_HELP 1003
#define IDB_GLYPH_BROWSE 1011

#endif
