#pragma once

#include <QColor>

#include <cstdint>

// The navigation colours are kept as the classic colour references
// ($00BBGGRR: red in the lowest byte). Every colour the frames use is made
// from such a reference by ColorFromRef, so the byte order is handled once.
QColor ColorFromRef(std::uint32_t colorRef);

extern const QColor clButtonNormal;  // top-menu panel, button panel after the mouse leaves
extern const QColor clButtonHover;   // panel under the mouse; dark text of selected/normal items
extern const QColor clMenuSelected;  // top-menu panel when selected
extern const QColor clLMenuNormal;   // left-menu panel when not selected or inactive
extern const QColor clLMenuHover;    // left-menu panel under the mouse
extern const QColor clLMenuHoverBar; // left-menu bottom bar under the mouse
extern const QColor clLMenuBar;      // left-menu bars otherwise
extern const QColor clLMenuSelected; // left-menu panel when selected

// Colours the frame layouts name directly.
extern const QColor clTlacitkoFace;  // command-button panel as laid out
extern const QColor clKeepOnHover;   // a panel in this colour keeps its look under the mouse
extern const QColor clFocusFrame;    // frame colour while focused (top menu) or after focus left (left menu)
extern const QColor clWhite;

// Wanted, unless it is the colour Behind a frame: a panel in the colour of
// what lies behind it would vanish, so it takes a lighter shade (a darker
// one for very light colours) instead.
QColor VisibleOn(const QColor& wanted, const QColor& behind);
