#pragma once
// The main window's design table (Unit1Layout.cpp): for every designed control its name, its
// parent ("Form1" or a panel; none for the window itself), its rectangle in the parent's client
// area, and what the window creates there. The window builds its controls from it; the layout,
// screenshot and end-to-end tests and the benchmarks read the places.
#include <span>
#include <string_view>

class QWidget;
class TForm1;

// Flags of a design row: a bold font, a raised frame (panels are sunken otherwise), a label that
// keeps its designed size whatever its text.
enum TDesignFlag : int { kBold = 1, kRaised = 2, kFixedSize = 4 };

struct TDesignRect {
    const char* name;
    const char* parent;
    int left;
    int top;
    int width;
    int height;
    // Creates the control as the window's member of the same name (none for the window).
    void (*make)(TForm1& form, QWidget* parent, const TDesignRect& row) = nullptr;
    const char* caption = nullptr;
    int flags = 0;
};

// Every row, the window's own ("Form1") first.
std::span<const TDesignRect> WindowDesign();
// The row of a designed control; std::out_of_range for any other name.
const TDesignRect& DesignOf(std::string_view name);
