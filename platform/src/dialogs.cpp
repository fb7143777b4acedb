// Modal dialog boxes built from template bytes, the dialog class and its default procedure, the
// dialog helper calls, and the user's side of a dialog (the control surface's clickControl,
// selectListItem and dialogControls).
//
// DialogBox* works as Windows does: it disables the top-level owner, creates the dialog window
// hidden, sends it WM_SETFONT, creates the controls in template order (each gets WM_SETFONT),
// sends WM_INITDIALOG and shows the dialog. Its modal loop is the scripted user: the queue is
// pumped (as the loop would), the user's dialog callback acts on the controls, and the dialog
// ends once EndDialog has been called. A dialog still open when the callback returns was not
// answered: it is destroyed and DialogBox* returns -1.
#include "dialog_template.h"
#include "internal.h"
#include "user.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char16_t *kDialogClass = u"#32770";
// Windows measures the average letter width over this string for the dialog base units.
constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kAlphabetLength = 52;
constexpr int kPointsPerInch = 72;

struct BaseUnits {
    int x = 0;
    int y = 0;
};

struct Dialog {
    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    DLGPROC proc = nullptr;
    HWND owner = nullptr;           // as the caller gave it
    HWND disabledOwner = nullptr;   // the top-level owner this dialog disabled, until it ends
    HFONT font = nullptr;           // made from the template; the dialog deletes it
    BaseUnits units;
    bool ended = false;
    INT_PTR result = 0;
    DWORD shellFlags = 0;
    int defaultId = 0;   // set by DM_SETDEFID; 0: the BS_DEFPUSHBUTTON control's
};

std::map<HWND, std::shared_ptr<Dialog>> &dialogTable()
{
    static std::map<HWND, std::shared_ptr<Dialog>> table;
    return table;
}

std::shared_ptr<Dialog> dialogOf(HWND window)
{
    auto it = dialogTable().find(window);
    return it == dialogTable().end() ? nullptr : it->second;
}

std::u16string lowerClassName(HWND window)
{
    WCHAR name[64] = {};
    GetClassNameW(window, name, 64);
    std::u16string lower(name);
    for (char16_t &c : lower) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return lower;
}

// The base units of a font, from the text-metrics model: the average width of the 52 letters
// rounded as Windows rounds it, and the line height.
BaseUnits measureBaseUnits(HFONT font)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    RECT extent{};
    DrawTextW(dc, kAlphabet, kAlphabetLength, &extent, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    return BaseUnits{(extent.right / 26 + 1) / 2, extent.bottom};
}

HFONT createTemplateFont(const dialogs::DialogTemplate &t)
{
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(t.pointSize, internal::screenDpi(), kPointsPerInch);
    lf.lfWeight = static_cast<LONG>(t.weight);
    lf.lfItalic = t.italic;
    lf.lfCharSet = t.charSet;
    size_t length = std::min<size_t>(t.faceName.size(), LF_FACESIZE - 1);
    std::copy_n(t.faceName.begin(), length, lf.lfFaceName);
    return CreateFontIndirectW(&lf);
}

void enableOwner(Dialog &d)
{
    if (HWND owner = std::exchange(d.disabledOwner, nullptr)) {
        EnableWindow(owner, TRUE);
    }
}

// Frees what the dialog holds; runs once, from WM_NCDESTROY or after DialogBox destroyed it
// (a dialog of its own class may never reach DefDlgProcW).
void releaseDialog(HWND window)
{
    std::shared_ptr<Dialog> d = dialogOf(window);
    if (!d) {
        return;
    }
    dialogTable().erase(window);
    enableOwner(*d);
    if (d->font) {
        DeleteObject(std::exchange(d->font, nullptr));
    }
}

// The owner a modal dialog disables: the caller's window or its top-level ancestor.
HWND topLevelOf(HWND window)
{
    while (window && (GetWindowLongW(window, GWL_STYLE) & (WS_CHILD | WS_POPUP)) == WS_CHILD) {
        HWND parent = GetParent(window);
        if (!parent) {
            break;
        }
        window = parent;
    }
    return window;
}

bool isUsable(HWND control)
{
    return IsWindowVisible(control) && IsWindowEnabled(control);
}

// The first control that takes the keyboard: what WM_INITDIALOG offers as its wParam. Each
// control's own style counts, not whether the (still hidden) dialog shows it.
HWND firstTabStop(HWND dialog)
{
    HWND first = nullptr;
    for (HWND child : internal::childWindows(dialog)) {
        const DWORD style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        if (!(style & WS_VISIBLE) || (style & WS_DISABLED)) {
            continue;
        }
        if (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) {
            return child;
        }
        if (!first) {
            first = child;
        }
    }
    return first;
}

HWND createControl(HWND dialog, HINSTANCE instance, const dialogs::ItemTemplate &item, const BaseUnits &units)
{
    std::u16string className;
    if (item.windowClass.kind == dialogs::NameOrOrdinal::Kind::Ordinal) {
        className = dialogs::predefinedClassName(item.windowClass.ordinal);
        if (className.empty()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
    } else {
        className = item.windowClass.text;
    }
    LPCWSTR title = item.title.kind == dialogs::NameOrOrdinal::Kind::Ordinal
        ? MAKEINTRESOURCEW(item.title.ordinal)
        : item.title.text.c_str();
    const void *data = item.creationData.empty() ? nullptr : item.creationData.data();
    // A control is always a child; a border is drawn as a sunken client edge.
    const DWORD style = (item.style & ~(WS_POPUP | WS_BORDER)) | WS_CHILD;
    const DWORD exStyle
        = item.exStyle | WS_EX_NOPARENTNOTIFY | ((item.style & WS_BORDER) ? WS_EX_CLIENTEDGE : 0);
    return CreateWindowExW(
        exStyle, className.c_str(), title, style, MulDiv(item.x, units.x, 4), MulDiv(item.y, units.y, 8),
        MulDiv(item.cx, units.x, 4), MulDiv(item.cy, units.y, 8), dialog,
        reinterpret_cast<HMENU>(static_cast<uintptr_t>(item.id)), instance, const_cast<void *>(data));
}

// Where the dialog window goes: the template's position is the client area's, in the owner's
// client coordinates unless DS_ABSALIGN; DS_CENTER centres it on the screen; a top-level dialog
// is then moved to lie on the screen.
POINT dialogPosition(const dialogs::DialogTemplate &t, HWND owner, const BaseUnits &units,
                     const RECT &adjusted)
{
    const SIZE size{adjusted.right - adjusted.left, adjusted.bottom - adjusted.top};
    const SIZE screen = internal::screenSize();
    POINT pos{adjusted.left, adjusted.top};
    if (t.style & DS_CENTER) {
        pos = POINT{(screen.cx - size.cx) / 2, (screen.cy - size.cy) / 2};
    } else {
        pos.x += MulDiv(t.x, units.x, 4);
        pos.y += MulDiv(t.y, units.y, 8);
        if (!(t.style & (WS_CHILD | DS_ABSALIGN)) && owner) {
            ClientToScreen(owner, &pos);
        }
    }
    if (!(t.style & WS_CHILD)) {
        pos.x = std::max<LONG>(0, std::min<LONG>(pos.x, screen.cx - size.cx));
        pos.y = std::max<LONG>(0, std::min<LONG>(pos.y, screen.cy - size.cy));
    }
    return pos;
}

// Creates the dialog and its controls and initialises it; null (and nothing left behind) when
// a window cannot be made.
HWND createDialog(HINSTANCE instance, const dialogs::DialogTemplate &t, HWND owner, DLGPROC proc,
                  LPARAM param)
{
    auto d = std::make_shared<Dialog>();
    d->instance = instance;
    d->proc = proc;
    d->owner = owner;
    if (t.hasFont) {
        d->font = createTemplateFont(t);
    }
    d->units = measureBaseUnits(d->font);

    HWND topOwner = topLevelOf(owner);
    if (topOwner && !(t.style & WS_CHILD) && IsWindowEnabled(topOwner)) {
        d->disabledOwner = topOwner;
        EnableWindow(topOwner, FALSE);
    }

    RECT adjusted{0, 0, MulDiv(t.cx, d->units.x, 4), MulDiv(t.cy, d->units.y, 8)};
    AdjustWindowRectEx(&adjusted, t.style, FALSE, t.exStyle);
    const POINT pos = dialogPosition(t, owner, d->units, adjusted);
    std::u16string className = kDialogClass;
    if (t.windowClass.kind == dialogs::NameOrOrdinal::Kind::String) {
        className = t.windowClass.text;
    }
    LPCWSTR classArgument = t.windowClass.kind == dialogs::NameOrOrdinal::Kind::Ordinal
        ? MAKEINTATOM(t.windowClass.ordinal)
        : className.c_str();
    HWND window = CreateWindowExW(t.exStyle, classArgument, t.title.c_str(),
                                  t.style & ~static_cast<DWORD>(WS_VISIBLE), pos.x, pos.y,
                                  adjusted.right - adjusted.left, adjusted.bottom - adjusted.top,
                                  (t.style & WS_CHILD) ? owner : topOwner, nullptr, instance, nullptr);
    if (!window) {
        enableOwner(*d);
        if (d->font) {
            DeleteObject(d->font);
        }
        return nullptr;
    }
    d->window = window;
    dialogTable()[window] = d;

    if (d->font) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(d->font), 0);
    }
    for (const dialogs::ItemTemplate &item : t.items) {
        if (!IsWindow(window)) {
            return nullptr;
        }
        HWND control = createControl(window, instance, item, d->units);
        if (!control) {
            if (t.style & DS_NOFAILCREATE) {
                continue;
            }
            DWORD error = GetLastError();
            DestroyWindow(window);
            releaseDialog(window);
            SetLastError(error);
            return nullptr;
        }
        if (d->font) {
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(d->font), FALSE);
        }
    }
    if (!IsWindow(window)) {
        return nullptr;
    }
    SendMessageW(window, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop(window)), param);
    if (IsWindow(window) && (t.style & WS_VISIBLE) && !d->ended && !IsWindowVisible(window)) {
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
    }
    return IsWindow(window) ? window : nullptr;
}

// The modal loop: the scripted user works the dialog until EndDialog. A dialog that its
// procedure destroyed without EndDialog ends with 0, as Windows' loop ends then.
INT_PTR runModal(HWND window)
{
    std::shared_ptr<Dialog> d = dialogOf(window);
    if (!d) {
        return -1;
    }
    auto destroyedUnended = [&] { return !IsWindow(window) && !d->ended; };
    bool destroyed = false;
    if (!d->ended) {
        // The loop shows the dialog once its queue first runs dry, as Windows does.
        if (!IsWindowVisible(window)) {
            ShowWindow(window, SW_SHOWNORMAL);
        }
        control::pumpMessages();
        const std::u16string title = internal::windowTitle(window);
        const std::string what = "dialog " + user::quoted(title) + " was not answered";
        control::DialogAnswer answer = user::dialogAnswer();
        if (destroyedUnended()) {
            destroyed = true;
        } else if (d->ended) {
            // ended by a message the loop dispatched
        } else if (!answer) {
            internal::recordUnanswered(what + " (no user to answer it)");
        } else {
            control::DialogShown shown;
            shown.dialog = window;
            shown.owner = d->owner;
            shown.title = title;
            shown.shellFlags = d->shellFlags;
            answer(shown);
            if (destroyedUnended()) {
                destroyed = true;
            } else if (!d->ended) {
                internal::recordUnanswered(what + " (still open when the user's callback returned)");
            }
        }
    }
    const INT_PTR result = d->ended ? d->result : destroyed ? 0 : -1;
    enableOwner(*d);
    if (IsWindow(window)) {
        DestroyWindow(window);
    }
    releaseDialog(window);
    return result;
}

INT_PTR dialogBoxFromBytes(HINSTANCE instance, std::span<const BYTE> bytes, HWND owner, DLGPROC proc,
                           LPARAM param)
{
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    std::optional<dialogs::DialogTemplate> t = dialogs::parseDialogTemplate(bytes);
    if (!t) {
        SetLastError(ERROR_INVALID_DATA);
        return -1;
    }
    HWND window = createDialog(instance, *t, owner, proc, param);
    if (!window) {
        return -1;
    }
    return runModal(window);
}

// A template in a module's resources is read no further than its resource's end. One the
// program built in memory has no known size and is trusted, as Windows trusts it.
std::span<const BYTE> templateBytes(const void *templ)
{
    constexpr size_t kUnbounded = static_cast<size_t>(1) << 30;
    DWORD left = 0;
    auto bytes = static_cast<const BYTE *>(templ);
    if (internal::resourceBytesFrom(templ, &left)) {
        return {bytes, left};
    }
    return {bytes, kUnbounded};
}

HBRUSH dialogBackground(HWND window, HDC dc)
{
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(window, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
    return brush ? brush : GetSysColorBrush(COLOR_STATIC);
}

// Messages whose answer is the dialog procedure's own result, not a handled flag.
bool answersDirectly(UINT message)
{
    switch (message) {
    case WM_INITDIALOG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: return true;
    default: return false;
    }
}

LRESULT CALLBACK dialogClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefDlgProcW(window, message, wParam, lParam);
}

}   // namespace

namespace internal {

void registerDialogClass()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = dialogClassProc;
    wc.lpszClassName = kDialogClass;
    RegisterClassW(&wc);
}

void noteShellFlags(HWND dialog, DWORD flags)
{
    if (std::shared_ptr<Dialog> d = dialogOf(dialog)) {
        d->shellFlags = flags;
    }
}

// Records and their fonts go without a word, as the windows did.
void resetDialogs()
{
    dialogTable().clear();
}

}   // namespace internal

// ---- Dialog boxes ----------------------------------------------------------------------------

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    if (!hDialogTemplate) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return dialogBoxFromBytes(hInstance, templateBytes(hDialogTemplate), hWndParent, lpDialogFunc,
                              dwInitParam);
}

INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    HRSRC resource = FindResourceW(hInstance, lpTemplateName, RT_DIALOG);
    if (!resource) {
        return -1;   // FindResourceW has said why
    }
    auto bytes = static_cast<const BYTE *>(LockResource(LoadResource(hInstance, resource)));
    DWORD size = SizeofResource(hInstance, resource);
    if (!bytes) {
        return -1;
    }
    return dialogBoxFromBytes(hInstance, {bytes, size}, hWndParent, lpDialogFunc, dwInitParam);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    if (!lpTemplateName || IS_INTRESOURCE(lpTemplateName)) {
        return DialogBoxParamW(hInstance, reinterpret_cast<LPCWSTR>(lpTemplateName), hWndParent, lpDialogFunc,
                               dwInitParam);
    }
    std::u16string name = internal::ansiToWide(lpTemplateName);
    return DialogBoxParamW(hInstance, name.c_str(), hWndParent, lpDialogFunc, dwInitParam);
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    std::shared_ptr<Dialog> d = dialogOf(hDlg);
    if (!d) {
        SetLastError(IsWindow(hDlg) ? ERROR_WINDOW_NOT_DIALOG : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    d->ended = true;
    d->result = nResult;
    enableOwner(*d);
    // Hidden at once; the modal loop destroys it when it next looks.
    SetWindowPos(hDlg, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    return TRUE;
}

// The dialog procedure sees each message first; what it leaves (FALSE) gets the default.
LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Dialog> d = dialogOf(hDlg);
    INT_PTR result = 0;
    if (d && d->proc) {
        result = d->proc(hDlg, Msg, wParam, lParam);
    }
    if (Msg == WM_NCDESTROY) {
        releaseDialog(hDlg);
        return 0;
    }
    if (result || !IsWindow(hDlg)) {
        return answersDirectly(Msg) ? result : 0;
    }
    switch (Msg) {
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(hDlg, &client);
        HDC dc = reinterpret_cast<HDC>(wParam);
        FillRect(dc, &client, dialogBackground(hDlg, dc));
        return 1;
    }
    case WM_CLOSE:
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
        return 0;
    case WM_GETFONT: return d ? reinterpret_cast<LRESULT>(d->font) : 0;
    case WM_INITDIALOG: return 0;
    case DM_SETDEFID:
        if (d) {
            d->defaultId = static_cast<int>(LOWORD(wParam));
        }
        return TRUE;
    case DM_GETDEFID: {
        int id = d ? d->defaultId : 0;
        for (HWND child : internal::childWindows(hDlg)) {
            if (id != 0) {
                break;
            }
            const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
            if (lowerClassName(child) == u"button" && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                id = GetDlgCtrlID(child);
            }
        }
        return id != 0 ? MAKELONG(id, DC_HASDEFID) : 0;
    }
    default: return DefWindowProcW(hDlg, Msg, wParam, lParam);
    }
}

// ---- Dialog helpers --------------------------------------------------------------------------

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND child : internal::childWindows(hDlg)) {
        if (GetWindowLongW(child, GWL_ID) == nIDDlgItem) {
            return child;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hWnd)
{
    return static_cast<int>(GetWindowLongW(hWnd, GWL_ID));
}

LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SendMessageW(item, Msg, wParam, lParam) : 0;
}

BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString)
{
    return SendDlgItemMessageW(hDlg, nIDDlgItem, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE
                                                                                                    : FALSE;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    if (!lpString) {
        return SetDlgItemTextW(hDlg, nIDDlgItem, nullptr);
    }
    std::u16string text = internal::ansiToWide(lpString);
    return SetDlgItemTextW(hDlg, nIDDlgItem, text.c_str());
}

// The buffer is emptied first, so that a missing control leaves an empty string.
UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax)
{
    if (lpString && cchMax > 0) {
        lpString[0] = 0;
    }
    return static_cast<UINT>(SendDlgItemMessageW(hDlg, nIDDlgItem, WM_GETTEXT,
                                                 static_cast<WPARAM>(std::max(cchMax, 0)),
                                                 reinterpret_cast<LPARAM>(lpString)));
}

// Every control of the dialog whose id lies in the range is checked or cleared; the bounds may
// come in either order.
BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton)
{
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const int first = std::min(nIDFirstButton, nIDLastButton);
    const int last = std::max(nIDFirstButton, nIDLastButton);
    for (HWND child : internal::childWindows(hDlg)) {
        const int id = GetDlgCtrlID(child);
        if (id >= first && id <= last) {
            SendMessageW(child, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    return TRUE;
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck)
{
    HWND button = GetDlgItem(hDlg, nIDButton);
    if (!button) {
        return FALSE;
    }
    SendMessageW(button, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton)
{
    return static_cast<UINT>(SendDlgItemMessageW(hDlg, nIDButton, BM_GETCHECK, 0, 0));
}

BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect)
{
    std::shared_ptr<Dialog> d = dialogOf(hDlg);
    if (!d || !lpRect) {
        SetLastError(d ? ERROR_INVALID_PARAMETER : ERROR_WINDOW_NOT_DIALOG);
        return FALSE;
    }
    lpRect->left = MulDiv(lpRect->left, d->units.x, 4);
    lpRect->right = MulDiv(lpRect->right, d->units.x, 4);
    lpRect->top = MulDiv(lpRect->top, d->units.y, 8);
    lpRect->bottom = MulDiv(lpRect->bottom, d->units.y, 8);
    return TRUE;
}

// The base units of dialogs without a font of their own: those of the system font.
LONG WINAPI GetDialogBaseUnits()
{
    BaseUnits units = measureBaseUnits(nullptr);
    return MAKELONG(units.x, units.y);
}

// ---- The user's side -------------------------------------------------------------------------

namespace {

// Paints what the taps changed, as the modal loop would between two taps.
void settle()
{
    control::pumpMessages();
}

}   // namespace

namespace control {

bool clickControl(HWND dialog, int controlId)
{
    if (!IsWindow(dialog) || !IsWindowVisible(dialog)) {
        return false;
    }
    HWND item = nullptr;
    for (HWND child : internal::childWindows(dialog)) {
        if (GetDlgCtrlID(child) == controlId) {
            item = child;
            break;
        }
    }
    if (!item) {
        // The caption's OK button (SHIDIF_DONEBUTTON) answers to IDOK when no control does.
        if (controlId == IDOK && (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_CAPTIONOKBTN)) {
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            settle();
            return true;
        }
        return false;
    }
    if (!isUsable(item)) {
        return false;
    }
    const std::u16string className = lowerClassName(item);
    const DWORD style = static_cast<DWORD>(GetWindowLongW(item, GWL_STYLE));
    if (className == u"button" && (style & BS_TYPEMASK) == BS_GROUPBOX) {
        return false;   // a tap on a group box reaches nothing
    }
    RECT client;
    GetClientRect(item, &client);
    const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
    SendMessageW(item, WM_LBUTTONDOWN, 0, centre);
    if (IsWindow(item)) {
        SendMessageW(item, WM_LBUTTONUP, 0, centre);
    }
    settle();
    return true;
}

bool selectListItem(HWND dialog, int controlId, int index)
{
    if (!IsWindow(dialog) || !IsWindowVisible(dialog)) {
        return false;
    }
    HWND item = GetDlgItem(dialog, controlId);
    if (!item || !isUsable(item) || lowerClassName(item) != u"combobox") {
        return false;
    }
    const LRESULT count = SendMessageW(item, CB_GETCOUNT, 0, 0);
    if (index < 0 || index >= count) {
        return false;
    }
    SendMessageW(item, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item));
    settle();
    return true;
}

std::vector<ControlShown> dialogControls(HWND dialog)
{
    std::vector<ControlShown> controls;
    for (HWND child : internal::childWindows(dialog)) {
        ControlShown shown;
        shown.id = GetDlgCtrlID(child);
        shown.className = lowerClassName(child);
        shown.text = internal::windowText(child);
        shown.style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        shown.rect = internal::windowRectInParent(child);
        shown.visible = (shown.style & WS_VISIBLE) != 0;
        shown.enabled = IsWindowEnabled(child) != FALSE;
        if (shown.className == u"button") {
            shown.check = static_cast<int>(SendMessageW(child, BM_GETCHECK, 0, 0));
        }
        if (shown.className == u"combobox") {
            const LRESULT count = SendMessageW(child, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                const LRESULT length = SendMessageW(child, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
                std::u16string text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, u'\0');
                SendMessageW(child, CB_GETLBTEXT, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(text.data()));
                text.resize(static_cast<size_t>(std::max<LRESULT>(length, 0)));
                shown.listItems.push_back(std::move(text));
            }
            const LRESULT selection = SendMessageW(child, CB_GETCURSEL, 0, 0);
            shown.selection = selection == CB_ERR ? -1 : static_cast<int>(selection);
        }
        controls.push_back(std::move(shown));
    }
    return controls;
}

}   // namespace control
