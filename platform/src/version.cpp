// The operating system's identity: version numbers and the platform type string.
#include <windows.h>

#include "control.h"
#include "internal.h"

#include <string>

namespace {

// Windows Mobile 2003 for Pocket PC: Windows CE 4.20, build 1081.
constexpr DWORD kDefaultMajor = 4;
constexpr DWORD kDefaultMinor = 20;
constexpr DWORD kDefaultBuild = 1081;

struct Identity {
    DWORD major = kDefaultMajor;
    DWORD minor = kDefaultMinor;
    DWORD build = kDefaultBuild;
    bool versionCallFails = false;
    std::u16string platformType = u"PocketPC";
    bool platformTypeCallFails = false;
};
Identity identity;

}   // namespace

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation)
{
    if (lpVersionInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (identity.versionCallFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpVersionInformation->dwMajorVersion = identity.major;
    lpVersionInformation->dwMinorVersion = identity.minor;
    lpVersionInformation->dwBuildNumber = identity.build;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_CE;
    lpVersionInformation->szCSDVersion[0] = 0;
    return TRUE;
}

BOOL WINAPI SystemParametersInfoW(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni)
{
    if (uiAction != SPI_GETPLATFORMTYPE || pvParam == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (identity.platformTypeCallFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // uiParam is the buffer size in bytes; the string goes in whole, terminator included, or not at all.
    const size_t bytes = (identity.platformType.size() + 1) * sizeof(WCHAR);
    if (uiParam < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto *out = static_cast<WCHAR *>(pvParam);
    identity.platformType.copy(out, identity.platformType.size());
    out[identity.platformType.size()] = 0;
    return TRUE;
}

namespace internal {
void resetVersion()
{
    identity = Identity{};
}
}   // namespace internal

namespace control {

void setOsVersion(DWORD major, DWORD minor)
{
    identity.major = major;
    identity.minor = minor;
}

void setVersionCallFails(bool fails)
{
    identity.versionCallFails = fails;
}

void setPlatformType(std::u16string_view name)
{
    identity.platformType = name;
}

void setPlatformTypeCallFails(bool fails)
{
    identity.platformTypeCallFails = fails;
}

}   // namespace control
