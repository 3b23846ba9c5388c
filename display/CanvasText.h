#pragma once
// The GUI framework's side of the canvas text: which real face stands for a bitmap's font.
#include <QFont>

#include "Canvas.h"

// "Liberation Sans" when installed, otherwise "DejaVu Sans", at the font's pixel height,
// rasterised without antialiasing so that glyph bodies get full coverage.
QFont CanvasQFont(const TFont& font);
