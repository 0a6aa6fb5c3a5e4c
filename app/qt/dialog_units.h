// Dialog units to pixels, as Windows converts a dialog template: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of its height.
#pragma once

namespace velmor::qt {

struct DialogBaseUnits {
    int x = 0; // average character width in pixels
    int y = 0; // character height in pixels
};

// Windows' average width: the advance of "A".."Z" and "a".."z" together, halved after
// dividing by 26 and rounding up, which is the width of one letter rounded to nearest.
constexpr DialogBaseUnits dialogBaseUnits(int advanceOf52Letters, int fontHeight) {
    return {(advanceOf52Letters / 26 + 1) / 2, fontHeight};
}

// a * b / c rounded to nearest, halves away from zero, as Windows' MulDiv.
constexpr int mulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

constexpr int horizontalPixels(int dialogUnits, DialogBaseUnits base) {
    return mulDiv(dialogUnits, base.x, 4);
}

constexpr int verticalPixels(int dialogUnits, DialogBaseUnits base) {
    return mulDiv(dialogUnits, base.y, 8);
}

} // namespace velmor::qt
