// The shell's row order against what it copies, under Wine, whose sort tables are the
// system's: a real sorted list box sorts the rows itself, and CompareStringW, its
// comparison, orders every pair of them.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/device_selection.h"
#include "app/wide_text.h"
#include "app/win32/win32_controls.h"

namespace velmor {
namespace {

int sign(std::weak_ordering order) {
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

TEST(ListBoxOrder, ARealSortedListBoxAndItsComparisonOrderRowsAsCompareRowTexts) {
    std::vector<std::u16string> rows{u"RBLK - RB_1 - 10.0.0.2",
                                     u"RBLK - RB1 - 10.0.0.1",
                                     u"rblk - rb1 - 10.0.0.3",
                                     u"RBLK - RB-1 - 10.0.0.4",
                                     u"RBLK - RB 1 - 10.0.0.5",
                                     u"RBLK - RB.1 - 10.0.0.6",
                                     u"RB_1",
                                     u"RBa",
                                     u"RB-1",
                                     u"RB1",
                                     u"rb1",
                                     u"RB-a",
                                     u"R-B",
                                     u"RB.1",
                                     u"RB1-",
                                     u"RB--1"};
    for (char16_t c = 1; c < 0x80; ++c) { // every character between the same neighbours
        rows.push_back(u"RB" + std::u16string(1, c) + u"1");
    }
    const HWND box = CreateWindowExW(0, L"LISTBOX", L"", LBS_SORT | LBS_HASSTRINGS, 0, 0, 200, 200,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(box, nullptr);
    for (const std::u16string& row : rows) {
        const std::wstring text = win32::windowText(row);
        SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::vector<std::u16string> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return compareRowTexts(a, b) < 0; });
    ASSERT_EQ(SendMessageW(box, LB_GETCOUNT, 0, 0), static_cast<LRESULT>(sorted.size()));
    for (std::size_t at = 0; at < sorted.size(); ++at) {
        std::wstring text(static_cast<std::size_t>(SendMessageW(box, LB_GETTEXTLEN, at, 0)), L' ');
        SendMessageW(box, LB_GETTEXT, at, reinterpret_cast<LPARAM>(text.data()));
        const std::u16string listed(text.begin(), text.end());
        // Where the list box puts a row among its equals (the same but for letter case)
        // is its own affair; between the others the order must be ours.
        EXPECT_EQ(sign(compareRowTexts(listed, sorted[at])), 0)
            << "row " << at << ": \"" << narrowText(listed) << "\", we \"" << narrowText(sorted[at])
            << "\"";
    }
    DestroyWindow(box);

    for (const std::u16string& left : rows) {
        for (const std::u16string& right : rows) {
            const std::wstring l = win32::windowText(left);
            const std::wstring r = win32::windowText(right);
            // CSTR_LESS_THAN, CSTR_EQUAL and CSTR_GREATER_THAN are 1, 2 and 3.
            const int system =
                CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, l.c_str(), -1, r.c_str(), -1);
            ASSERT_EQ(sign(compareRowTexts(left, right)), system - CSTR_EQUAL)
                << "\"" << narrowText(left) << "\" against \"" << narrowText(right) << "\"";
        }
    }
}

} // namespace
} // namespace velmor
