#include "conformance.h"

#if OUR_LAYER_ONLY
#include <unistd.h>
#endif

namespace conformance {
namespace {

// The labels of a box's buttons (ids IDOK to IDCONTINUE) in the order of their ids, joined by '|'.
WString buttonLabels(HWND box)
{
    WString labels;
    for (int id = IDOK; id <= IDCONTINUE; ++id) {
        HWND button = GetDlgItem(box, id);
        if (!button) continue;
        WCHAR text[64] = {};
        GetWindowTextW(button, text, 64);
        if (!labels.empty()) labels += TEXT("|");
        labels += text;
    }
    return labels;
}

}  // namespace

#if OUR_LAYER_ONLY

void freshStart()
{
    control::resetDevice();
}

int drain()
{
    return control::pumpMessages();
}

void passTime(DWORD ms)
{
    control::advanceClock(ms);
}

unsigned long processId()
{
    return static_cast<unsigned long>(getpid());
}

void answerMessageBoxes(int answer, std::vector<BoxSeen> *seen)
{
    control::ScriptedUser user;
    user.messageBox = [answer, seen](const control::MessageBoxShown &box) {
        if (seen) seen->push_back({box.owner, box.caption, box.text, box.type, buttonLabels(box.window)});
        return answer;
    };
    control::setUser(user);
}

#else

namespace {

// Registry keys the tests make below the roots; each is deleted with everything in it.
const struct {
    HKEY root;
    const WCHAR *path;
} kTestKeys[] = {
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane")},
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\A")},
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Today")},
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Windows CE Services")},
    {HKEY_LOCAL_MACHINE, TEXT("E")},
    {HKEY_CURRENT_USER, TEXT("Temp")},
    {HKEY_CURRENT_USER, TEXT("Names")},
};

// Window classes the tests register, with the instances they register them under.
const WCHAR *const kTestClasses[] = {TEXT("TestWindow"), TEXT("GdiTestWindow"),
                                     TEXT("GdiRecordWindow"), TEXT("Framed"),
                                     TEXT("ControlParent")};
const HINSTANCE kTestInstances[] = {nullptr, reinterpret_cast<HINSTANCE>(0x1000),
                                    reinterpret_cast<HINSTANCE>(0x2000)};

BOOL CALLBACK destroyOne(HWND hwnd, LPARAM)
{
    DestroyWindow(hwnd);
    return TRUE;
}

}  // namespace

namespace {

struct BoxAnswerer {
    HHOOK hook = nullptr;
    int answer = 0;
    std::vector<BoxSeen> *seen = nullptr;
};
BoxAnswerer answerer;

// The id of the static control that holds a message box's text.
const int kBoxTextId = 0xFFFF;

WString textOf(HWND window)
{
    WCHAR text[1024];
    GetWindowTextW(window, text, 1024);
    return text;
}

// A message box is a dialog ("#32770"); when it becomes active, read it and press the button.
LRESULT CALLBACK onBoxActivated(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        WCHAR className[16] = {};
        GetClassNameW(box, className, 16);
        if (WString(className) == TEXT("#32770")) {
            if (answerer.seen) {
                answerer.seen->push_back(
                    {GetWindow(box, GW_OWNER), textOf(box), textOf(GetDlgItem(box, kBoxTextId)), 0, buttonLabels(box)});
            }
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(answerer.answer, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, answerer.answer)));
        }
    }
    return CallNextHookEx(answerer.hook, code, wParam, lParam);
}

}  // namespace

void freshStart()
{
    if (answerer.hook) {
        UnhookWindowsHookEx(answerer.hook);
        answerer = {};
    }
    EnumThreadWindows(GetCurrentThreadId(), destroyOne, 0);
    for (const WCHAR *name : kTestClasses) {
        for (HINSTANCE instance : kTestInstances) UnregisterClassW(name, instance);
        UnregisterClassW(name, GetModuleHandleW(nullptr));
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    for (const auto &key : kTestKeys) RegDeleteTreeW(key.root, key.path);
    SetLastError(0);
}

int drain()
{
    int count = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
        ++count;
    }
    return count;
}

void passTime(DWORD ms)
{
    Sleep(ms);
}

unsigned long processId()
{
    return GetCurrentProcessId();
}


void answerMessageBoxes(int answer, std::vector<BoxSeen> *seen)
{
    answerer.answer = answer;
    answerer.seen = seen;
    if (!answerer.hook)
        answerer.hook = SetWindowsHookExW(WH_CBT, onBoxActivated, nullptr, GetCurrentThreadId());
}

#endif

}  // namespace conformance
