#pragma once
// Window > Tile and Window > Cascade: the child windows of the main window's
// area are laid out so that each keeps a usable size. When the area cannot
// hold them all at that size, it scrolls; the main window never grows.
#include <QSize>

class QMdiArea;

namespace orvala {

// The least size of a child window whose chart can still be read and
// gated on, with its control panel beside it.
inline constexpr QSize UsableChildSize(560, 380);

// Tiles the shown (not minimised) children in a grid of cells no smaller
// than minimum, row by row in the order they were opened.
void tileChildren(QMdiArea* area, QSize minimum = UsableChildSize);
// Cascades them from the top left, each at least minimum in size.
void cascadeChildren(QMdiArea* area, QSize minimum = UsableChildSize);

}  // namespace orvala
