#include "net/host_name.h"

#include <array>
#include <string>

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include <KVLogger>
#include <boost/locale/encoding_utf.hpp>

namespace velmor {

namespace {

// GetHostNameW exists from Windows 8.1 (6.3) on.
bool isWindows81OrNewer() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 3;
    version.wServicePackMajor = 0;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              mask) != FALSE;
}

using GetHostNameWFunction = int(WSAAPI*)(PWSTR name, int capacity);

// Looked up at run time so that the program still starts on systems whose ws2_32.dll
// lacks the wide query.
GetHostNameWFunction wideHostNameQuery() {
    const HMODULE winsock = GetModuleHandleW(L"ws2_32.dll");
    if (winsock == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<GetHostNameWFunction>(
        reinterpret_cast<void*>(GetProcAddress(winsock, "GetHostNameW")));
}

} // namespace

std::string hostName() {
    const GetHostNameWFunction getHostNameW = isWindows81OrNewer() ? wideHostNameQuery() : nullptr;
    if (getHostNameW != nullptr) {
        std::array<wchar_t, 256> wide{};
        if (getHostNameW(wide.data(), static_cast<int>(wide.size())) == 0) {
            wide.back() = L'\0';
            // An empty wide name is returned as it is.
            return boost::locale::conv::utf_to_utf<char>(std::wstring(wide.data()),
                                                         boost::locale::conv::skip);
        }
        logging::LogMessage(logging::error)
            << "Could not determine hostwname. GetHostNameW() returned with error "
            << WSAGetLastError();
    }
    return detail::narrowHostName(
        [](char* buffer, std::size_t capacity) {
            return ::gethostname(buffer, static_cast<int>(capacity));
        },
        [] { return WSAGetLastError(); });
}

} // namespace velmor
