#pragma once
// Where the main window's designed controls sit: for each its parent ("Form1", a panel, or none
// for the window itself) and its rectangle in the parent's client area. The window builds its
// controls from this table; the layout, screenshot and end-to-end tests and the benchmarks read
// it. Plain C++, so that small tools can print it.
#include <span>
#include <string_view>

struct TDesignRect {
    const char* name;
    const char* parent;
    int left;
    int top;
    int width;
    int height;
};

// Every row, the window's own ("Form1") first.
std::span<const TDesignRect> WindowDesign();
// The row of a designed control; std::out_of_range for any other name.
const TDesignRect& DesignOf(std::string_view name);
// The same rectangle in the window's client coordinates, its panel's place added (for the window
// itself, its place on the screen).
TDesignRect DesignInWindow(std::string_view name);
