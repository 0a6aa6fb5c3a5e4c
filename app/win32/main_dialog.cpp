#include "app/win32/main_dialog.h"

#include <objbase.h>

#include <KVLogger>

#include <array>
#include <functional>
#include <memory>

#include "app/device_search.h"
#include "app/dialog_layout.h"
#include "app/finder_session.h"
#include "app/win32/win32_controls.h"
#include "resources/resource_ids.h"

namespace velmor::win32 {

namespace {

// The process's dialog and what serves it. Made in WM_INITDIALOG and ended by the entry
// point after the message loop.
struct Dialog {
    explicit Dialog(HWND window)
        : handle(window), list(GetDlgItem(window, IDC_DEVICE_LIST), life),
          log(GetDlgItem(window, IDC_LOG), life), timer(window), frame(window),
          session(frame, list, log, opener, timer, search) {}

    FinderController& controller() { return session.controller(); }

    HWND handle;
    DialogLife life;
    ListBoxControl list;
    EditLogControl log;
    ShellPageOpener opener;
    DialogTimer timer;
    DialogWindow frame;
    MulticastDeviceSearch search;
    FinderSession session;
    LogColumnWidths widths;
    HBRUSH whiteBrush = nullptr;
};

HINSTANCE instanceHandle = nullptr;
std::unique_ptr<Dialog> dialog;

constexpr COLORREF white = RGB(255, 255, 255);

LogColumnWidths measureWidths(HWND window) {
    RECT frame{};
    RECT listFrame{};
    RECT logFrame{};
    GetWindowRect(window, &frame);
    GetWindowRect(GetDlgItem(window, IDC_DEVICE_LIST), &listFrame);
    GetWindowRect(GetDlgItem(window, IDC_LOG), &logFrame);
    return measureLogColumnWidths(frame.left, frame.right, listFrame.right, logFrame.right);
}

void initialiseDialog(HWND window) {
    const HICON icon = LoadIconW(instanceHandle, MAKEINTRESOURCEW(IDI_MAIN));
    DefDlgProcW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    dialog = std::make_unique<Dialog>(window);

    const HWND listBox = GetDlgItem(window, IDC_DEVICE_LIST);
    RECT listClient{};
    GetClientRect(listBox, &listClient);
    std::array<int, 2> stops = listTabStops(listClient.right);
    SendMessageW(listBox, LB_SETTABSTOPS, stops.size(), reinterpret_cast<LPARAM>(stops.data()));
    dialog->widths = measureWidths(window);

    const HMENU systemMenu = GetSystemMenu(window, FALSE);
    InsertMenuW(systemMenu, SC_CLOSE, MF_BYCOMMAND | MF_STRING, IDM_SHOW_LOG, L"Show log");
    InsertMenuW(systemMenu, SC_CLOSE, MF_BYCOMMAND | MF_SEPARATOR, 0, nullptr);
}

INT_PTR paintWhite(HDC context) {
    SetBkColor(context, white);
    if (dialog->whiteBrush == nullptr) {
        dialog->whiteBrush = CreateSolidBrush(white);
    }
    return reinterpret_cast<INT_PTR>(dialog->whiteBrush);
}

void destroyed() {
    if (dialog->whiteBrush != nullptr) {
        DeleteObject(dialog->whiteBrush);
        dialog->whiteBrush = nullptr;
    }
    // Threads calling the controls from now on get their failure values at once.
    dialog->life.end();
    // Tells the worker to exit and posts the quit message with exit code 0.
    dialog->controller().destroyed();
}

// Runs `ending` on another thread while this one serves the messages that the worker and
// the capture reader may still be sending to it.
void serveWhile(const std::function<void()>& ending) {
    auto run = [](LPVOID parameter) -> DWORD {
        (*static_cast<const std::function<void()>*>(parameter))();
        return 0;
    };
    const HANDLE ender =
        CreateThread(nullptr, 0, run, const_cast<std::function<void()>*>(&ending), 0, nullptr);
    if (ender == nullptr) {
        return; // the process ends with its threads, as it would without this step
    }
    DWORD woken = 0;
    while ((woken = MsgWaitForMultipleObjects(1, &ender, FALSE, INFINITE, QS_SENDMESSAGE)) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    if (woken != WAIT_OBJECT_0) {
        // The state the ender uses must outlive it, served or not.
        WaitForSingleObject(ender, INFINITE);
    }
    CloseHandle(ender);
}

} // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message != WM_INITDIALOG && (!dialog || dialog->handle != window)) {
        return FALSE; // the messages that come before WM_INITDIALOG
    }
    switch (message) {
    case WM_INITDIALOG:
        initialiseDialog(window);
        return TRUE;
    case WM_COMMAND:
        dialog->controller().command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        // Every tick, whatever the timer, is the "Search RBLKs" command.
        dialog->timer.tick();
        return TRUE;
    case WM_SYSCOMMAND: {
        // The system uses the low four bits of its own commands: a double click on the
        // window's icon closes with 0xF063. Our "Show log" (202) is compared whole.
        const int command =
            (wParam & 0xFFF0) == SC_CLOSE ? systemCommandClose : static_cast<int>(wParam & 0xFFFF);
        return dialog->controller().systemCommand(command) ? TRUE : FALSE;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return paintWhite(reinterpret_cast<HDC>(wParam));
    case WM_DESTROY:
        destroyed();
        return TRUE;
    case WM_SIZE:
    case WM_SIZING:
        return TRUE;
    default:
        return FALSE;
    }
}

int runFinder(HINSTANCE instance, int showCommand) {
    instanceHandle = instance;
    // ShellExecuteW may hand the page to a handler that needs COM on this thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    logging::setLogLevel(logging::warning);
    // WM_INITDIALOG runs inside this call: the controls and the session's parts exist, and
    // the widths are measured, when it returns.
    const HWND window =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (window == nullptr) {
        return 1;
    }
    // The worker, the timer, the first search, then the capture, whose first act writes to
    // the log pane.
    dialog->session.start(dialog->widths);
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    // No IsDialogMessageW: Tab, Enter and Escape do nothing in this dialog.
    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    dialog->session.end(serveWhile);
    return got == -1 ? 1 : static_cast<int>(message.wParam);
}

} // namespace velmor::win32
