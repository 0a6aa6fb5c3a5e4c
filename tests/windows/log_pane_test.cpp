// The shell's controls over real Win32 controls (under Wine): the sorted list box with
// its item data, and the log's cap reached in a multi-line edit, whose built-in limit
// would otherwise stop the text at 32,767 characters.
#include "app/win32/win32_controls.h"

#include <string>

#include <gtest/gtest.h>

#include "app/action_log.h"

namespace velmor::win32 {
namespace {

struct Control {
    HWND window;
    Control(const wchar_t* windowClass, DWORD style)
        : window(CreateWindowExW(0, windowClass, L"", style, 0, 0, 200, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr)) {}
    ~Control() { DestroyWindow(window); }
};

TEST(Win32Controls, ListBoxSortsIgnoringCaseAndKeepsItemDataUntilTheDialogEnds) {
    Control box(L"LISTBOX", LBS_SORT | LBS_HASSTRINGS | LBS_NOTIFY);
    ASSERT_NE(box.window, nullptr);
    DialogLife life;
    ListBoxControl list(box.window, life);
    EXPECT_EQ(list.addString(u"RBLK - RB0102 - 10.0.0.2"), 0);
    EXPECT_EQ(list.addString(u"rblk - RB0101 - 10.0.0.1"), 0);
    EXPECT_EQ(list.addString(u"RBLK - RB0103 - 10.0.0.3"), 2);
    list.setItemData(0, 7);
    list.setItemData(2, -5);
    EXPECT_EQ(list.itemData(0), 7);
    EXPECT_EQ(list.itemData(2), -5);
    EXPECT_EQ(list.itemData(9), DeviceListControl::listError);
    EXPECT_EQ(list.selectedIndex(), DeviceListControl::listError);
    list.deleteString(1);
    EXPECT_EQ(list.count(), 2);

    life.end();
    EXPECT_EQ(list.addString(u"after"), DeviceListControl::listError);
    EXPECT_EQ(list.count(), DeviceListControl::listError);
}

TEST(Win32Controls, LogPaneReachesTheCapAndLosesItsOldestQuarter) {
    Control pane(L"EDIT", ES_MULTILINE | ES_READONLY | ES_WANTRETURN | WS_VSCROLL);
    ASSERT_NE(pane.window, nullptr);
    DialogLife life;
    EditLogControl edit(pane.window, life);
    ActionLog log(edit);

    const std::u16string block(1'048'570, u'a');
    log.append(block, false);
    EXPECT_EQ(edit.textLength(), 1'048'570u);
    log.append(u"bcdefg", false); // exactly the capacity: nothing is cut
    EXPECT_EQ(edit.textLength(), 1'048'576u);
    log.append(u"h", true);
    EXPECT_EQ(edit.textLength(), 1'048'576u - 262'144u + 1u + 2u);
    const int length = static_cast<int>(edit.textLength());
    std::wstring all(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(pane.window, all.data(), length + 1);
    EXPECT_EQ(all.substr(static_cast<std::size_t>(length) - 10, 10), L"abcdefgh\r\n");

    log.clear();
    EXPECT_EQ(edit.textLength(), 0u);
}

} // namespace
} // namespace velmor::win32
