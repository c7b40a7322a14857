#pragma once
// Other applications' accessibility trees, through the AT-SPI client
// library: the top-level element of a process that matches a window, an
// element's children and screen box, and what lies at a screen point.
//
// The library is started on the first search that finds the accessibility
// bus, with a main context of its own: its calls wait for their answers by
// running that context, never the caller's (on the capture application's
// user-interface thread, running the default context would dispatch the
// application's own events in the middle of a search). What the library
// queued meanwhile (the signals that keep its cache right) is taken in at the
// start of each search.
//
// Elements are the library's objects; every one handed out is the caller's
// to release. All calls come from the thread that searches.

#include <cstdint>
#include <string>

#include "window/desktop.h"

struct _AtspiAccessible;

namespace dorvane::atspi {

using Element = _AtspiAccessible;

// Whether the trees can be asked during this search. `rootProperty` is the X
// root window's AT_SPI_BUS value, empty if none.
bool beginSearch(const std::string& rootProperty);

// The top-level element (a frame, dialog or window) of process `pid` whose
// screen box is `box`, or else the one that overlaps `box` the most; null
// when the process has none there.
Element* frameOf(std::uint32_t pid, const Rect& box);

Element* retain(Element* element);
void release(Element* element);

// The element's box on the screen; false when it has none.
bool extents(Element* element, AccLocation& location);

// -1 when the count cannot be read.
int childCount(Element* element);
// Null when there is no such child (any more).
Element* childAt(Element* element, int index);

enum class Hit { Failed, Outside, Self, Child };
// What lies at the screen point: one of the element's children (in
// `child`), the element itself, or nothing of it.
Hit hitTest(Element* element, std::int32_t x, std::int32_t y, Element*& child);

}  // namespace dorvane::atspi
