#pragma once
// The rectangle of the screen under the mouse cursor: the top-level window
// there, or the innermost window or user-interface element there.
//
// The search keeps its working state in process-wide statics: call it from
// one thread at a time (the application's user-interface thread).

#include <QRect>

#include "dorvane/DorvaneExport.h"

#ifdef __cplusplus
extern "C" {
#endif

// Fills *rect with the answer in screen pixels divided by `scale` (each edge
// truncated toward zero), or with an empty QRect() when no window lies under
// the cursor. `deep` false asks for the top-level window's rectangle; true
// narrows it to the innermost child window and accessible element.
//
// Element rectangles from the accessibility tree end on their last pixel and
// window rectangles just past it, so an element of width 40 comes back 39
// wide. Windows of the classes "TXGuiFoundation" and "CabinetWClass" are
// placed by their accessible children; one without located children comes
// back as left and top 1000000 / scale with a negative width and height.
//
// A scale of 0 or one that is not finite, or one that takes an edge beyond
// the 32-bit range, gives the empty QRect(). A null rect is left alone.
// Returns true always.
//
// On Linux it asks the X server named by DISPLAY; without one (a Wayland
// session has no global window list or cursor position) the answer is the
// empty QRect(). There `deep` ends at the innermost child window: the
// accessibility tree is not looked at yet.
DORVANE_API bool getWndByMouse(QRect* rect, double scale, bool deep);

#ifdef __cplusplus
}
#endif
