// Text without a font rasteriser: the builds that have no GUI framework (the Windows cross build
// of the portable rooms) measure every text as empty and draw no glyphs, so no pixel changes.
#include "Canvas.h"

void TBitmap32::TextExtent(const std::string&, int& width, int& height) const {
    width = 0;
    height = 0;
}

void TBitmap32::RenderText(int, int, const std::string&, int, TColor32) {}
