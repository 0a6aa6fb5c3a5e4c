// rbfinder-dialog-probe.exe: a test-only Windows program that looks at the running
// finder's dialog from outside, as a user's tools would, and pokes it.
//   rows                 the device list's rows, one per line (LB_GETTEXT)
//   wait-row TEXT SECS   waits until a row reads TEXT; status 1 when it does not in time
//   rect                 the window's rectangle: width height left top
//   list-rect            the same for the device list
//   wait-active          waits until the dialog is the active window
//   wait-menu            waits until a menu is open
//   wait-wider WIDTH     waits until the window is wider than WIDTH pixels
//   exit                 a click on "Exit"
//   log                  the log pane's text
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "resources/resource_ids.h"

namespace {

// Waits until `condition` holds, looking again every 50 ms: the state is another
// process's, and Wine tells another process only of window creation (no show, move,
// activation, menu or list events), so there is no event to wait on. The deadline only
// ends a wait that would otherwise never end; it is not a measure of speed.
template <typename Condition> bool waitFor(Condition condition, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The finder's window, which may still be on its way: the finder starts with the probe.
HWND findDialog() {
    HWND dialog = nullptr;
    waitFor([&dialog] { return (dialog = FindWindowW(nullptr, L"RB Device Finder")) != nullptr; });
    return dialog;
}

void printWide(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    std::printf("%s\n", narrow.c_str());
}

std::wstring rowText(HWND list, int index) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) {
        return L"";
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

bool hasRow(HWND dialog, const std::wstring& wanted) {
    const HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
    const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (rowText(list, i) == wanted) {
            return true;
        }
    }
    return false;
}

std::wstring wide(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: rbfinder-dialog-probe COMMAND [ARGUMENTS]\n");
        return 2;
    }
    const std::string command = argv[1];
    const HWND dialog = findDialog();
    if (dialog == nullptr) {
        std::fprintf(stderr, "rbfinder-dialog-probe: no finder window\n");
        return 1;
    }
    if (command == "rows") {
        const HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
        const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            printWide(rowText(list, i));
        }
    } else if (command == "wait-row" && argc == 4) {
        // Rows come from searches 10 s apart.
        return waitFor([&] { return hasRow(dialog, wide(argv[2])); }, std::atoi(argv[3])) ? 0 : 1;
    } else if (command == "wait-wider" && argc == 3) {
        const long narrower = std::atol(argv[2]);
        return waitFor([dialog, narrower] {
            RECT frame{};
            GetWindowRect(dialog, &frame);
            return frame.right - frame.left > narrower;
        })
                   ? 0
                   : 1;
    } else if (command == "rect" || command == "list-rect") {
        RECT frame{};
        GetWindowRect(command == "rect" ? dialog : GetDlgItem(dialog, IDC_DEVICE_LIST), &frame);
        std::printf("%ld %ld %ld %ld\n", frame.right - frame.left, frame.bottom - frame.top,
                    frame.left, frame.top);
    } else if (command == "wait-active") {
        return waitFor([dialog] { return GetForegroundWindow() == dialog; }) ? 0 : 1;
    } else if (command == "wait-menu") {
        // An open menu is a visible window of the system's menu class.
        return waitFor([] {
            const HWND menu = FindWindowW(L"#32768", nullptr);
            return menu != nullptr && IsWindowVisible(menu) != FALSE;
        })
                   ? 0
                   : 1;
    } else if (command == "exit") {
        PostMessageW(GetDlgItem(dialog, IDC_EXIT), BM_CLICK, 0, 0);
    } else if (command == "log") {
        const HWND log = GetDlgItem(dialog, IDC_LOG);
        const auto length = static_cast<int>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0));
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        SendMessageW(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        printWide(text);
    } else {
        std::fprintf(stderr, "rbfinder-dialog-probe: unknown command %s\n", command.c_str());
        return 2;
    }
    return 0;
}
