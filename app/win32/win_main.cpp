// rb-device-finder.exe: the finder's window on Windows.
#include <windows.h>

#include "app/win32/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showCommand) {
    return velmor::win32::runFinder(instance, showCommand);
}
