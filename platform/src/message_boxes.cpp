// MessageBoxW and MessageBoxA: the box is shown to the scripted user, whose answer must be one
// of the box's buttons. An unanswered box returns 0 (the failure value) at once and is recorded.
// While the user answers, the box is on the screen, so a picture taken then shows it.
#include "internal.h"
#include "user.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The buttons each MB_TYPEMASK value shows, as Win32 defines them.
bool offersButton(UINT type, int answer)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK: return answer == IDOK;
    case MB_OKCANCEL: return answer == IDOK || answer == IDCANCEL;
    case MB_ABORTRETRYIGNORE: return answer == IDABORT || answer == IDRETRY || answer == IDIGNORE;
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL: return answer == IDRETRY || answer == IDCANCEL;
    case MB_CANCELTRYCONTINUE: return answer == IDCANCEL || answer == IDTRYAGAIN || answer == IDCONTINUE;
    default: return false;
    }
}

const char *typeName(UINT type)
{
    static const char *const names[] = {"MB_OK",    "MB_OKCANCEL",    "MB_ABORTRETRYIGNORE", "MB_YESNOCANCEL",
                                        "MB_YESNO", "MB_RETRYCANCEL", "MB_CANCELTRYCONTINUE"};
    return names[type & MB_TYPEMASK];
}

// The buttons of each MB_TYPEMASK value, left to right, as Windows lays them out.
std::vector<int> buttonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE: return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default: return {IDOK};
    }
}

// Windows' labels, mnemonics marked with '&'.
const char16_t *buttonLabel(int id)
{
    switch (id) {
    case IDOK: return u"OK";
    case IDCANCEL: return u"Cancel";
    case IDABORT: return u"&Abort";
    case IDRETRY: return u"&Retry";
    case IDIGNORE: return u"&Ignore";
    case IDYES: return u"&Yes";
    case IDNO: return u"&No";
    case IDTRYAGAIN: return u"&Try Again";
    default: return u"&Continue";
    }
}

// The id of the static that holds the text, as in Windows' boxes.
constexpr int kTextId = 0xFFFF;

// The box as a window while the user answers: a top-level dialog window (class "#32770", as on
// Windows) centred on the screen, with the caption, the text wrapped to the box's width and a
// centred row of buttons, the one MB_DEFBUTTONn names drawn as the default.
HWND openBoxWindow(const control::MessageBoxShown &shown)
{
    const int margin = internal::scaleToDpi(8), gap = internal::scaleToDpi(6);
    const int buttonWidth = internal::scaleToDpi(64), buttonHeight = internal::scaleToDpi(21);
    const SIZE screen = internal::screenSize();
    const int width = std::max(std::min<int>(screen.cx - 2 * margin, internal::scaleToDpi(320)), 4 * margin);

    RECT text{0, 0, width - 2 * margin, 0};
    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DrawTextW(dc, shown.text.c_str(), -1, &text, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);

    const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER;
    RECT frame{0, 0, width, margin + text.bottom + margin + buttonHeight + margin};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST);
    const int outerWidth = frame.right - frame.left, outerHeight = frame.bottom - frame.top;
    HWND box = CreateWindowExW(WS_EX_TOPMOST, u"#32770", shown.caption.c_str(), style,
                               std::max<int>(0, (screen.cx - outerWidth) / 2),
                               std::max<int>(0, (screen.cy - outerHeight) / 2), outerWidth, outerHeight,
                               shown.owner, nullptr, nullptr, nullptr);
    if (!box) return nullptr;
    std::vector<HWND> parts;   // painted at once: no message loop runs while the user answers
    parts.push_back(
        CreateWindowExW(0, u"Static", shown.text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                        margin, margin, width - 2 * margin, text.bottom, box,
                        reinterpret_cast<HMENU>(static_cast<intptr_t>(kTextId)), nullptr, nullptr));
    const std::vector<int> buttons = buttonsOf(shown.type);
    const size_t defaultButton = std::min<size_t>((shown.type & MB_DEFMASK) >> 8, buttons.size() - 1);
    const int rowWidth = static_cast<int>(buttons.size()) * (buttonWidth + gap) - gap;
    int x = (width - rowWidth) / 2;
    for (size_t i = 0; i < buttons.size(); ++i, x += buttonWidth + gap) {
        parts.push_back(
            CreateWindowExW(0, u"Button", buttonLabel(buttons[i]),
                            WS_CHILD | WS_VISIBLE | (i == defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                            x, margin + text.bottom + margin, buttonWidth, buttonHeight, box,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(buttons[i])), nullptr, nullptr));
    }
    ShowWindow(box, SW_SHOW);
    UpdateWindow(box);
    for (HWND part : parts)
        if (part) UpdateWindow(part);
    return box;
}

int showMessageBox(HWND owner, std::u16string text, std::u16string caption, UINT type)
{
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if ((type & MB_TYPEMASK) > MB_CANCELTRYCONTINUE) {
        SetLastError(ERROR_INVALID_MSGBOX_STYLE);
        return 0;
    }
    control::MessageBoxShown shown;
    shown.owner = owner;
    shown.caption = std::move(caption);
    shown.text = std::move(text);
    shown.type = type;
    const std::string what = "message box " + user::quoted(shown.caption) + ": " + control::toUtf8(shown.text)
        + " was not answered";
    control::MessageBoxAnswer answer = user::messageBoxAnswer();
    if (!answer) {
        internal::recordUnanswered(what + " (no user to answer it)");
        return 0;
    }
    shown.window = openBoxWindow(shown);
    const int result = answer(shown);
    if (shown.window && IsWindow(shown.window)) DestroyWindow(shown.window);
    if (result == 0) {
        internal::recordUnanswered(what);
        return 0;
    }
    if (!offersButton(type, result)) {
        internal::recordUnanswered(what + " (" + std::to_string(result) + " is not a button of an "
                                   + typeName(type) + " box)");
        return 0;
    }
    return result;
}

}   // namespace

// A null caption reads "Error", as on Windows.
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType)
{
    return showMessageBox(hWnd, lpText ? lpText : u"", lpCaption ? lpCaption : u"Error", uType);
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    return showMessageBox(hWnd, lpText ? internal::ansiToWide(lpText) : u"",
                          lpCaption ? internal::ansiToWide(lpCaption) : u"Error", uType);
}
