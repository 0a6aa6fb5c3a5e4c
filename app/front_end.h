// What a window front end (Qt on Linux, Win32 on Windows) provides to the shell. Each
// interface mirrors the window-system operations the shell needs and nothing more, so
// the shell's logic runs unchanged against either window and against test fakes.
//
// The worker and capture threads call the list and log controls from their own threads.
// A front end serves such a call on its GUI thread and returns when it is done, serving
// calls in the order they come (as SendMessageW does), and must not hold a lock of its
// own while the GUI thread may wait for it. Once the window is gone, calls return at once
// with the failure values below instead of blocking.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

namespace velmor {

// The sorted device list box.
class DeviceListControl {
public:
    static constexpr int listError = -1;
    // The list could not store the row (LB_ERRSPACE).
    static constexpr int listErrorSpace = -2;

    virtual ~DeviceListControl() = default;
    // Inserts a row at its sorted position (rows sort by their text as a Windows sorted
    // list box sorts them: compareRowTexts() in app/device_selection.h) and returns that
    // position, or a negative failure value: listError, or listErrorSpace when the list
    // has no room for it.
    virtual int addString(std::u16string_view text) = 0;
    // The item data of the row at `index`; setting an index that does not exist does
    // nothing, reading one gives listError.
    virtual void setItemData(int index, std::int64_t data) = 0;
    virtual std::int64_t itemData(int index) = 0;
    // The number of rows, or listError.
    virtual int count() = 0;
    // Deletes the row at `index`; an index that does not exist is ignored.
    virtual void deleteString(int index) = 0;
    // The selected row's index, or listError when none is selected.
    virtual int selectedIndex() = 0;
};

// The read-only multi-line log pane. Positions count 16-bit characters.
class LogControl {
public:
    virtual ~LogControl() = default;
    virtual std::uint32_t textLength() = 0;
    // Selects characters [start, end). A value below 0 or beyond the text stands for the
    // end of the text, as an edit control clamps it.
    virtual void setSelection(std::int32_t start, std::int32_t end) = 0;
    // Replaces the selection with `text` and leaves the caret behind it.
    virtual void replaceSelection(std::u16string_view text) = 0;
    virtual void setText(std::u16string_view text) = 0;
};

// Opens a device's web page in the user's default browser; a failure is silent.
class PageOpener {
public:
    virtual ~PageOpener() = default;
    virtual void open(std::u16string_view url) = 0;
};

// A repeating timer whose ticks the front end delivers on its GUI thread.
class PeriodicTimer {
public:
    virtual ~PeriodicTimer() = default;
    virtual void start(std::chrono::milliseconds period, std::function<void()> onTick) = 0;
    virtual void stop() = 0;
};

// The main window itself.
class FinderWindow {
public:
    virtual ~FinderWindow() = default;
    // Shows or hides the log column (its label, pane and four buttons) and sets the outer
    // width to `width`, keeping the window's position and height.
    virtual void showLogColumn(bool shown, int width) = 0;
    // Queues a command for the GUI thread, to be handed to FinderController::command
    // once the event loop runs.
    virtual void postCommand(int commandId) = 0;
    // Destroys the window; the front end then calls FinderController::destroyed().
    virtual void destroy() = 0;
    // Ends the event loop with `exitCode` as the process's exit status.
    virtual void quit(int exitCode) = 0;
};

} // namespace velmor
