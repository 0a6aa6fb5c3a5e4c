// The shell's controls over real Win32 controls (under Wine): the sorted list box with
// its item data, and the multi-line edit, whose built-in limit of 32,767 characters
// would otherwise stop the log long before its own cap.
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

// A list box out of room answers LB_ADDSTRING with LB_ERRSPACE; the adapter hands that
// value on, so the pass reports it and retries the row.
WNDPROC listBoxProcedure = nullptr;
LRESULT CALLBACK outOfRoom(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LB_ADDSTRING) {
        return LB_ERRSPACE;
    }
    return CallWindowProcW(listBoxProcedure, window, message, wParam, lParam);
}

TEST(Win32Controls, ListBoxOutOfRoomGivesItsOwnFailure) {
    Control box(L"LISTBOX", LBS_SORT | LBS_HASSTRINGS);
    ASSERT_NE(box.window, nullptr);
    listBoxProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(box.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&outOfRoom)));
    DialogLife life;
    ListBoxControl list(box.window, life);
    EXPECT_EQ(list.addString(u"RBLK - RB1 - 10.0.0.1"), DeviceListControl::listErrorSpace);
    EXPECT_EQ(list.count(), 0);
}

TEST(Win32Controls, LogPaneHoldsMoreThanTheEditDefaultAndEndsEveryLineWhereAsked) {
    Control pane(L"EDIT", ES_MULTILINE | ES_READONLY | ES_WANTRETURN | WS_VSCROLL);
    ASSERT_NE(pane.window, nullptr);
    DialogLife life;
    EditLogControl edit(pane.window, life);
    // The log's cap (1,048,576 characters) must be the pane's only bound.
    EXPECT_GT(static_cast<std::uint64_t>(SendMessageW(pane.window, EM_GETLIMITTEXT, 0, 0)),
              std::uint64_t{ActionLog::capacity + ActionLog::cutLength});
    ActionLog log(edit);
    const std::u16string line(98, u'a');
    for (int i = 0; i < 500; ++i) { // 50,000 characters, beyond the default 32,767
        log.append(line, true);
    }
    log.append(u"last\n", false);
    EXPECT_EQ(edit.textLength(), 50'005u);
    std::wstring all(50'006, L'\0');
    all.resize(static_cast<std::size_t>(GetWindowTextW(pane.window, all.data(), 50'006)));
    EXPECT_EQ(all.substr(49'993), L"aaaaa\r\nlast\n");

    log.clear();
    EXPECT_EQ(edit.textLength(), 0u);
    life.end();
    log.append(u"after the dialog", true);
    EXPECT_EQ(edit.textLength(), 0u); // the failure value: nothing waits for the window
}

} // namespace
} // namespace velmor::win32
