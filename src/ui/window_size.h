#pragma once
// Windows laid out with an outer size: the size of the whole window on the
// desktop, title bar and borders included. Qt's resize() sets the inside
// (client) size, and the window manager's decorations are known only once
// the window is on the screen, so the inside size is corrected then.
#include <QMargins>
#include <QSize>

class QWidget;

namespace tw {

// The inside size that gives outer with the given decorations; never below
// 1 x 1.
QSize clientSizeFor(QSize outer, const QMargins& decorations);

// Gives window the outer size, centred on its screen: now as well as
// possible (the inside size = outer), and again as soon as the decorations
// are known after it is first shown, unless the user has resized it by then.
void applyOuterSize(QWidget& window, QSize outer);

} // namespace tw
