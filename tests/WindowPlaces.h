#pragma once
// Where a designed control of the main window is, in the window's client coordinates: its row
// of the design table with its panel's place added (for the window itself, its place on the
// screen). For the tests that look at and click the real window.
#include <string_view>

#include "WindowDesign.h"

inline TDesignRect DesignInWindow(std::string_view name) {
    TDesignRect r = DesignOf(name);
    for (std::string_view parent = r.parent; !parent.empty() && parent != "Form1";) {
        const TDesignRect& p = DesignOf(parent);
        r.left += p.left;
        r.top += p.top;
        parent = p.parent;
    }
    return r;
}
