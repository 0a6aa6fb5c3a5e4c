// The main window's measurements, taken once when it is created.
#pragma once

#include <array>

namespace velmor {

struct LogColumnWidths {
    int compact = 0;  // outer width with the log column hidden: the window as created
    int expanded = 0; // wider by the distance between the list's and the log pane's right edges
};

// From screen rectangles: the window's left and right edges, and the right edges of the
// device list and of the log pane.
constexpr LogColumnWidths measureLogColumnWidths(int windowLeft, int windowRight, int listRight,
                                                 int logRight) {
    const int compact = windowRight - windowLeft;
    return {compact, compact + logRight - listRight};
}

// The list's two tab stops from the right edge of its client rectangle.
constexpr std::array<int, 2> listTabStops(int listClientRight) {
    const int first = listClientRight / 8;
    return {first, 3 * first};
}

} // namespace velmor
