#pragma once
// The main window's toolbar glyphs, drawn by the program so they look the
// same on every desktop.
#include <QIcon>

namespace tw {

enum class Glyph {
    NewProject,
    LoadProject,
    SaveProject,
    SavePicture,
    Print,
    Hand,
    ChangeCell,
    FreeCellPen,
    Resize,
    Stats,
    Overview,
    Help,
    ZoomIn,
    ZoomOut,
};

QIcon toolGlyph(Glyph glyph);

} // namespace tw
