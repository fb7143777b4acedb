// MessageBoxW and MessageBoxA: the box is shown to the scripted user, whose answer must be one
// of the box's buttons. An unanswered box returns 0 (the failure value) at once and is recorded.
#include "internal.h"
#include "user.h"

#include <string>

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
    case MB_CANCELTRYCONTINUE:
        return answer == IDCANCEL || answer == IDTRYAGAIN || answer == IDCONTINUE;
    default: return false;
    }
}

const char *typeName(UINT type)
{
    static const char *const names[] = {"MB_OK",    "MB_OKCANCEL",      "MB_ABORTRETRYIGNORE",
                                        "MB_YESNOCANCEL", "MB_YESNO", "MB_RETRYCANCEL",
                                        "MB_CANCELTRYCONTINUE"};
    return names[type & MB_TYPEMASK];
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
    const std::string what = "message box " + user::quoted(shown.caption) + ": " +
                             control::toUtf8(shown.text) + " was not answered";
    control::MessageBoxAnswer answer = user::messageBoxAnswer();
    if (!answer) {
        internal::recordUnanswered(what + " (no user to answer it)");
        return 0;
    }
    const int result = answer(shown);
    if (result == 0) {
        internal::recordUnanswered(what);
        return 0;
    }
    if (!offersButton(type, result)) {
        internal::recordUnanswered(what + " (" + std::to_string(result) + " is not a button of an " +
                                   typeName(type) + " box)");
        return 0;
    }
    return result;
}

}  // namespace

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
