#include "conformance.h"

#include <algorithm>

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

}   // namespace

#if OUR_LAYER_ONLY

namespace {

// What the test asked of the user so far; each answer call adds its part.
control::ScriptedUser user;

}   // namespace

void freshStart()
{
    user = {};
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
    user.messageBox = [answer, seen](const control::MessageBoxShown &box) {
        if (seen) seen->push_back({box.owner, box.caption, box.text, box.type, buttonLabels(box.window)});
        return answer;
    };
    control::setUser(user);
}

void answerDialogs(std::function<void(const DialogSeen &)> act)
{
    user.dialog = [act](const control::DialogShown &shown) { act({shown.dialog, shown.owner, shown.title}); };
    control::setUser(user);
}

bool pressButton(HWND dialog, int id)
{
    return control::clickControl(dialog, id);
}

void answerMenus(std::function<WString(const MenuSeen &)> choose)
{
    user.menu = [choose](const control::MenuShown &shown) -> int {
        const WString text = choose({shown.owner, shown.window});
        if (text.empty()) return 0;
        for (const control::MenuItemShown &item : shown.items) {
            if (!(item.flags & MF_SEPARATOR) && item.text == text) return static_cast<int>(item.id);
        }
        return -1;   // no such item: the menu stays unanswered
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
const WCHAR *const kTestClasses[]
    = {TEXT("TestWindow"),    TEXT("GdiTestWindow"), TEXT("GdiRecordWindow"), TEXT("Framed"),
       TEXT("ControlParent"), TEXT("Recorder"),      TEXT("OwnDialog"),       TEXT("BareDialog"),
       TEXT("OwnerWindow"),   TEXT("Plain"),         TEXT("MenuOwner")};
const HINSTANCE kTestInstances[]
    = {nullptr, reinterpret_cast<HINSTANCE>(0x1000), reinterpret_cast<HINSTANCE>(0x2000)};

BOOL CALLBACK destroyOne(HWND hwnd, LPARAM)
{
    DestroyWindow(hwnd);
    return TRUE;
}

}   // namespace

namespace {

// The stand-in user: a hook on sent messages notes each dialog as WM_INITDIALOG reaches it; a CBT
// hook sees message boxes and dialogs activated and menu windows made. A dialog's or a menu's
// turn is a thread message posted then, so it comes from inside the modal loop, after what was
// already waiting, and a hook on the messages that loop takes acts on it.
struct StandIn {
    HHOOK cbt = nullptr;
    HHOOK messages = nullptr;
    HHOOK sent = nullptr;
    std::vector<HWND> dialogs;   // every window WM_INITDIALOG reached
    bool answeringBoxes = false;
    int boxAnswer = 0;
    std::vector<BoxSeen> *boxesSeen = nullptr;
    std::function<void(const DialogSeen &)> dialogAct;
    std::function<WString(const MenuSeen &)> menuChoice;
    std::vector<HWND> dialogsTurned;   // each dialog gets one turn
    WPARAM lastTicket = 0;
    WPARAM pendingTicket = 0;
    HWND pendingWindow = nullptr;
    bool pendingMenu = false;
};
StandIn standIn;

const UINT kTurn = WM_APP + 0x3F0;

// The id of the static control that holds a message box's text.
const int kBoxTextId = 0xFFFF;

WString textOf(HWND window)
{
    WCHAR text[1024];
    GetWindowTextW(window, text, 1024);
    return text;
}

WString classOf(HWND window)
{
    WCHAR name[32] = {};
    GetClassNameW(window, name, 32);
    return name;
}

bool holds(const std::vector<HWND> &windows, HWND window)
{
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

// A message box is a dialog with its text in a static control of id 0xFFFF.
bool isMessageBox(HWND window)
{
    return classOf(window) == TEXT("#32770") && GetDlgItem(window, kBoxTextId) != nullptr;
}

// One turn is pending at a time: the tests open no second dialog or menu before the first's turn.
void postTurn(HWND window, bool menu)
{
    standIn.pendingTicket = ++standIn.lastTicket;
    standIn.pendingWindow = window;
    standIn.pendingMenu = menu;
    PostThreadMessageW(GetCurrentThreadId(), kTurn, standIn.pendingTicket, 0);
}

void pressKey(HWND window, UINT key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// The arrow keys pass over separators; from no selection the first press selects the first item.
void answerMenu(HWND window)
{
    const WString choice = standIn.menuChoice({GetWindow(window, GW_OWNER), window});
    const HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
    int steps = 0;
    bool found = false;
    for (int i = 0; !choice.empty() && !found && i < GetMenuItemCount(menu); ++i) {
        if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) continue;
        WCHAR text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        ++steps;
        found = choice == text;
    }
    if (!found) {
        pressKey(window, VK_ESCAPE);
        return;
    }
    for (int i = 0; i < steps; ++i) pressKey(window, VK_DOWN);
    pressKey(window, VK_RETURN);
}

LRESULT CALLBACK onTaken(int code, WPARAM removed, LPARAM lParam)
{
    const MSG *msg = reinterpret_cast<const MSG *>(lParam);
    if (code == HC_ACTION && msg->hwnd == nullptr && msg->message == kTurn
        && msg->wParam == standIn.pendingTicket) {
        standIn.pendingTicket = 0;
        HWND window = standIn.pendingWindow;
        if (standIn.pendingMenu) {
            if (standIn.menuChoice && IsWindow(window)) answerMenu(window);
        } else if (standIn.dialogAct && IsWindow(window) && IsWindowVisible(window)) {
            standIn.dialogAct({window, GetWindow(window, GW_OWNER), textOf(window)});
        }
    }
    return CallNextHookEx(standIn.messages, code, removed, lParam);
}

LRESULT CALLBACK onSent(int code, WPARAM wParam, LPARAM lParam)
{
    const auto *call = reinterpret_cast<const CWPSTRUCT *>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && !holds(standIn.dialogs, call->hwnd))
        standIn.dialogs.push_back(call->hwnd);
    return CallNextHookEx(standIn.sent, code, wParam, lParam);
}

LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    const bool activated = code == HCBT_ACTIVATE;
    if (activated && holds(standIn.dialogs, window) && !isMessageBox(window)) {
        if (standIn.dialogAct && !holds(standIn.dialogsTurned, window)) {
            standIn.dialogsTurned.push_back(window);
            postTurn(window, false);
        }
    } else if (activated && standIn.answeringBoxes && isMessageBox(window)) {
        // A message box: read it and press the button.
        if (standIn.boxesSeen) {
            standIn.boxesSeen->push_back({GetWindow(window, GW_OWNER), textOf(window),
                                          textOf(GetDlgItem(window, kBoxTextId)), 0, buttonLabels(window)});
        }
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(standIn.boxAnswer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, standIn.boxAnswer)));
    } else if (code == HCBT_CREATEWND && standIn.menuChoice && classOf(window) == TEXT("#32768")) {
        postTurn(window, true);
    }
    return CallNextHookEx(standIn.cbt, code, wParam, lParam);
}

void startStandIn()
{
    if (!standIn.cbt) standIn.cbt = SetWindowsHookExW(WH_CBT, onCbt, nullptr, GetCurrentThreadId());
    if (!standIn.messages)
        standIn.messages = SetWindowsHookExW(WH_GETMESSAGE, onTaken, nullptr, GetCurrentThreadId());
    if (!standIn.sent)
        standIn.sent = SetWindowsHookExW(WH_CALLWNDPROC, onSent, nullptr, GetCurrentThreadId());
}

}   // namespace

void freshStart()
{
    if (standIn.cbt) UnhookWindowsHookEx(standIn.cbt);
    if (standIn.messages) UnhookWindowsHookEx(standIn.messages);
    if (standIn.sent) UnhookWindowsHookEx(standIn.sent);
    standIn = {};
    EnumThreadWindows(GetCurrentThreadId(), destroyOne, 0);
    for (const WCHAR *name : kTestClasses) {
        for (HINSTANCE instance : kTestInstances) UnregisterClassW(name, instance);
        UnregisterClassW(name, GetModuleHandleW(nullptr));
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) { }
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
    standIn.answeringBoxes = true;
    standIn.boxAnswer = answer;
    standIn.boxesSeen = seen;
    startStandIn();
}

void answerDialogs(std::function<void(const DialogSeen &)> act)
{
    standIn.dialogAct = std::move(act);
    startStandIn();
}

bool pressButton(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return false;
    SendMessageW(control, BM_CLICK, 0, 0);
    return true;
}

void answerMenus(std::function<WString(const MenuSeen &)> choose)
{
    standIn.menuChoice = std::move(choose);
    startStandIn();
}

#endif

}   // namespace conformance
