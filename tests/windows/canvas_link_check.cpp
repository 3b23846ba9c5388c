// The canvas core built for Windows links on its own: it draws, blends and measures text without
// the GUI framework.
#include "Canvas.h"

int main() {
    TBitmap32 bitmap;
    bitmap.SetSize(8, 8);
    bitmap.Line(0, 0, 7, 7, Color32(255, 0, 0), true);
    int width = -1;
    int height = -1;
    bitmap.TextExtent("MV62", width, height);
    bitmap.RenderText(0, 0, "MV62", 0, Color32(0, 0, 0));
    return width == 0 && height == 0 ? 0 : 1;
}
