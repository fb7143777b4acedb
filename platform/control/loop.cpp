// The device's message loop as tests and the emulated Today screen drive it, and the windows of
// other programs that the usage log sees. Everything here goes through the public API, so the
// loop behaves as a Win32 message loop would.
#include "control.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A window that never validates its WM_PAINT would keep the loop busy for ever (as on Windows);
// a pump gives up after this many messages and says so.
constexpr int kMaxMessagesPerPump = 100000;

constexpr const WCHAR *kForeignClass = u"DurvoOtherProgram";

// Stands for the instance of "another program": the class must not serve our own modules.
int otherProgram;

HINSTANCE otherProgramInstance()
{
    return reinterpret_cast<HINSTANCE>(&otherProgram);
}

// Creation order, so that "first by that title" means the oldest.
std::vector<HWND> &foreignWindows()
{
    static std::vector<HWND> windows;
    return windows;
}

HWND findForeign(std::u16string_view title)
{
    auto &windows = foreignWindows();
    std::erase_if(windows, [](HWND hwnd) { return !IsWindow(hwnd); });
    for (HWND hwnd : windows) {
        int length = GetWindowTextLengthW(hwnd);
        if (length < 0 || static_cast<size_t>(length) != title.size()) {
            continue;
        }
        std::u16string buffer(static_cast<size_t>(length) + 1, u'\0');
        GetWindowTextW(hwnd, buffer.data(), length + 1);
        buffer.resize(static_cast<size_t>(length));
        if (buffer == title) {
            return hwnd;
        }
    }
    return nullptr;
}

}   // namespace

namespace control {

int pumpMessages()
{
    int count = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        // WM_QUIT is left for the owner's GetMessageW loop.
        if (msg.message == WM_QUIT) {
            break;
        }
        if (count == kMaxMessagesPerPump) {
            std::fprintf(stderr,
                         "pumpMessages: still busy after %d messages (message 0x%04x to a "
                         "window that never validates?)\n",
                         count, msg.message);
            break;
        }
        PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        ++count;
    }
    return count;
}

void run(DWORD milliseconds, DWORD stepMs)
{
    if (stepMs == 0) {
        stepMs = std::max<DWORD>(milliseconds, 1);
    }
    pumpMessages();
    for (DWORD left = milliseconds; left > 0;) {
        DWORD step = std::min(stepMs, left);
        advanceClock(step);
        left -= step;
        pumpMessages();
    }
}

HWND addForeignWindow(std::u16string_view title)
{
    WNDCLASSW wc{};
    if (!GetClassInfoW(otherProgramInstance(), kForeignClass, &wc)) {
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = otherProgramInstance();
        wc.lpszClassName = kForeignClass;
        RegisterClassW(&wc);
    }
    std::u16string text(title);
    // No area: nothing of another program is ever painted or drawn here.
    HWND hwnd = CreateWindowExW(0, kForeignClass, text.c_str(), WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, nullptr,
                                nullptr, otherProgramInstance(), nullptr);
    if (hwnd) {
        foreignWindows().push_back(hwnd);
    }
    return hwnd;
}

bool setForeignWindowVisible(std::u16string_view title, bool visible)
{
    HWND hwnd = findForeign(title);
    if (!hwnd) {
        return false;
    }
    ShowWindow(hwnd, visible ? SW_SHOW : SW_HIDE);
    return true;
}

bool renameForeignWindow(std::u16string_view title, std::u16string_view newTitle)
{
    HWND hwnd = findForeign(title);
    if (!hwnd) {
        return false;
    }
    std::u16string text(newTitle);
    return SetWindowTextW(hwnd, text.c_str()) != FALSE;
}

bool closeForeignWindow(std::u16string_view title)
{
    HWND hwnd = findForeign(title);
    if (!hwnd) {
        return false;
    }
    return DestroyWindow(hwnd) != FALSE;
}

}   // namespace control
