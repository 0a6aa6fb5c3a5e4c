// The shell's controls over the dialog's Win32 controls. Every call is a SendMessageW,
// which the dialog's thread serves in order, also for calls from the worker and capture
// threads; once the dialog is being destroyed the calls fail at once.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "app/front_end.h"

namespace velmor::win32 {

// Whether the dialog still serves its controls' messages. Cleared on WM_DESTROY, before
// the controls go, so that no thread waits for a window that is leaving.
class DialogLife {
public:
    bool alive() const { return isAlive.load(); }
    void end() { isAlive.store(false); }

private:
    std::atomic<bool> isAlive{true};
};

// The sorted list box IDC_DEVICE_LIST.
class ListBoxControl : public DeviceListControl {
public:
    ListBoxControl(HWND listBox, const DialogLife& life) : list(listBox), dialog(life) {}
    int addString(std::u16string_view text) override;
    void setItemData(int index, std::int64_t data) override;
    std::int64_t itemData(int index) override;
    int count() override;
    void deleteString(int index) override;
    int selectedIndex() override;

private:
    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam, LRESULT failed) const;
    HWND list;
    const DialogLife& dialog;
};

// The read-only multi-line edit IDC_LOG. Its text limit is raised on creation so that the
// action log's cap, not the control, bounds the pane.
class EditLogControl : public LogControl {
public:
    EditLogControl(HWND edit, const DialogLife& life);
    std::uint32_t textLength() override;
    void setSelection(std::int32_t start, std::int32_t end) override;
    void replaceSelection(std::u16string_view text) override;
    void setText(std::u16string_view text) override;

private:
    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) const;
    HWND edit;
    const DialogLife& dialog;
};

// The shell's "open" verb on the page's address: the user's default browser.
class ShellPageOpener : public PageOpener {
public:
    void open(std::u16string_view url) override;
};

// The dialog's window timer IDT_SEARCH; its WM_TIMER messages come to tick().
class DialogTimer : public PeriodicTimer {
public:
    explicit DialogTimer(HWND dialog) : window(dialog) {}
    void start(std::chrono::milliseconds period, std::function<void()> onTick) override;
    void stop() override;
    void tick() const;

private:
    HWND window;
    std::function<void()> onTick;
};

// The dialog window: the log column shown or hidden, commands, destruction, the quit.
class DialogWindow : public FinderWindow {
public:
    explicit DialogWindow(HWND dialog) : window(dialog) {}
    void showLogColumn(bool shown, int width) override;
    void postCommand(int commandId) override;
    void destroy() override;
    void quit(int exitCode) override;

private:
    HWND window;
};

// The wide text as the NUL-terminated UTF-16 string the window functions take.
std::wstring windowText(std::u16string_view text);

} // namespace velmor::win32
