#include "app/win32/win32_controls.h"

#include <shellapi.h>

#include <string>

#include "resources/resource_ids.h"

namespace velmor::win32 {

std::wstring windowText(std::u16string_view text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");
    return std::wstring(text.begin(), text.end());
}

LRESULT ListBoxControl::send(UINT message, WPARAM wParam, LPARAM lParam, LRESULT failed) const {
    return dialog.alive() ? SendMessageW(list, message, wParam, lParam) : failed;
}

int ListBoxControl::addString(std::u16string_view text) {
    const std::wstring row = windowText(text);
    const LRESULT index = send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()), LB_ERR);
    // LB_ERR and LB_ERRSPACE (-2) are both failures; the caller reports which.
    return static_cast<int>(index);
}

void ListBoxControl::setItemData(int index, std::int64_t data) {
    send(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data), LB_ERR);
}

std::int64_t ListBoxControl::itemData(int index) {
    return static_cast<std::int64_t>(send(LB_GETITEMDATA, static_cast<WPARAM>(index), 0, LB_ERR));
}

int ListBoxControl::count() {
    return static_cast<int>(send(LB_GETCOUNT, 0, 0, LB_ERR));
}

void ListBoxControl::deleteString(int index) {
    send(LB_DELETESTRING, static_cast<WPARAM>(index), 0, LB_ERR);
}

int ListBoxControl::selectedIndex() {
    return static_cast<int>(send(LB_GETCURSEL, 0, 0, LB_ERR));
}

EditLogControl::EditLogControl(HWND control, const DialogLife& life) : edit(control), dialog(life) {
    // Zero asks for the largest limit a multi-line edit has (0x7FFFFFFE characters); the
    // default of 32,767 would stop the pane long before the log's cap.
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
}

LRESULT EditLogControl::send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return dialog.alive() ? SendMessageW(edit, message, wParam, lParam) : 0;
}

std::uint32_t EditLogControl::textLength() {
    return static_cast<std::uint32_t>(send(WM_GETTEXTLENGTH, 0, 0));
}

void EditLogControl::setSelection(std::int32_t start, std::int32_t end) {
    // Negative positions travel as their two's complement, as the control expects.
    send(EM_SETSEL, static_cast<WPARAM>(static_cast<std::intptr_t>(start)),
         static_cast<LPARAM>(end));
}

void EditLogControl::replaceSelection(std::u16string_view text) {
    const std::wstring wide = windowText(text);
    send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
}

void EditLogControl::setText(std::u16string_view text) {
    const std::wstring wide = windowText(text);
    send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void ShellPageOpener::open(std::u16string_view url) {
    const std::wstring address = windowText(url);
    ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void DialogTimer::start(std::chrono::milliseconds period, std::function<void()> tick) {
    onTick = std::move(tick);
    SetTimer(window, IDT_SEARCH, static_cast<UINT>(period.count()), nullptr);
}

void DialogTimer::stop() {
    // From another thread this fails; the timer then ends with its window.
    KillTimer(window, IDT_SEARCH);
}

void DialogTimer::tick() const {
    if (onTick) {
        onTick();
    }
}

void DialogWindow::showLogColumn(bool shown, int width) {
    for (int id = IDC_LOG_LABEL; id <= IDC_EXIT; ++id) {
        ShowWindow(GetDlgItem(window, id), shown ? SW_SHOW : SW_HIDE);
    }
    RECT frame{};
    GetWindowRect(window, &frame);
    MoveWindow(window, frame.left, frame.top, width, frame.bottom - frame.top, TRUE);
}

void DialogWindow::postCommand(int commandId) {
    PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(commandId), 0);
}

void DialogWindow::destroy() {
    DestroyWindow(window);
}

void DialogWindow::quit(int exitCode) {
    PostQuitMessage(exitCode);
}

} // namespace velmor::win32
