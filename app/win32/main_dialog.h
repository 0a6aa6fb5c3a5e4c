// The main dialog on Windows: its dialog procedure and the entry point's steps, over the
// shell's FinderController.
#pragma once

#include <windows.h>

namespace velmor::win32 {

// The dialog procedure of IDD_MAIN.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The whole program: creates the dialog, starts the console capture, shows the window,
// runs the message loop and gives the exit code (1 when the dialog cannot be created).
int runFinder(HINSTANCE instance, int showCommand);

} // namespace velmor::win32
