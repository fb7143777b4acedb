// today-host: a small Today screen for real Win32 (run under Wine here). It loads a Today item
// library the way the Pocket PC shell does, runs it for a while, asks its height again and saves
// a picture of the screen. With --menu-picture and --options-picture a stand-in user then drives
// the item: a tap opens its popup menu, the user picks "Create Durvo report" and answers the box,
// and the host opens the options page as the Today settings do, where the user changes the lists
// and check boxes and presses OK.
//
//   today-host.exe --library PATH --seconds N --picture FILE.png
//                  [--menu-picture FILE.png --options-picture FILE.png]
//
// Exit status: 0 when the item ran, 1 when the library or the item failed, 2 for bad options.
#include <windows.h>

#include <today_host.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const wchar_t kScreenClass[] = L"DurvoTodayHost";
const wchar_t kScreenTitle[] = L"Today";
const int kScreenWidth = 240;
const int kScreenHeight = 80;
const int kItemTop = 20;   // the date band above the item, as on the device
const COLORREF kWatermark = RGB(214, 226, 247);
const COLORREF kBand = RGB(0, 51, 153);
const COLORREF kItemText = RGB(0, 0, 96);

typedef HWND(WINAPI *InitializeCustomItemProc)(TODAYLISTITEM *, HWND);

struct Options {
    std::wstring library;
    std::wstring picture;
    std::wstring menuPicture;
    std::wstring optionsPicture;
    std::wstring optionsAnswer;
    int seconds = 0;
};

struct Screen {
    HWND window = nullptr;
    HWND item = nullptr;
    int colourQueries = 0;
    int watermarks = 0;
    int selections = 0;
    DWORD started = 0;   // tick count when the item was made
};
Screen screen;

void fail(int status, const char *format, const wchar_t *detail, DWORD error)
{
    std::fprintf(stderr, "today-host: ");
    std::fprintf(stderr, format, detail);
    if (error != 0) std::fprintf(stderr, " (error %lu)", static_cast<unsigned long>(error));
    std::fprintf(stderr, "\n");
    std::exit(status);
}

const char kUsage[]
    = "usage: today-host.exe --library PATH --seconds N --picture FILE.png\n"
      "                      [--menu-picture FILE.png --options-picture FILE.png\n"
      "                       --options-answer \"ID=VALUE ...\"]\n"
      "Loads a Today item library, initialises its item (ordinal 240) in a Today-like window,\n"
      "answers the item's messages for N seconds of real time, sends the height query again\n"
      "and saves the window as a PNG. With the two further pictures a stand-in user then taps the\n"
      "item, picks \"Create Durvo report\" and answers its box, and changes the options page\n"
      "(ordinal 241 over template 500) as the answer says (1002=on, 1003=on for a radio button,\n"
      "1005=2 for a list index, 1009=tap), then presses OK; the open menu and the changed page\n"
      "are saved. Exit status: 0 ran, 1 the library or item failed, 2 bad options.\n";

Options parseOptions(int argc, wchar_t **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) fail(2, "option %ls needs a value", arg.c_str(), 0);
        const wchar_t *value = argv[++i];
        if (arg == L"--library") {
            options.library = value;
        } else if (arg == L"--picture") {
            options.picture = value;
        } else if (arg == L"--menu-picture") {
            options.menuPicture = value;
        } else if (arg == L"--options-picture") {
            options.optionsPicture = value;
        } else if (arg == L"--options-answer") {
            options.optionsAnswer = value;
        } else if (arg == L"--seconds") {
            wchar_t *end = nullptr;
            const long seconds = std::wcstol(value, &end, 10);
            if (*end != 0 || seconds < 0 || seconds > 3600)
                fail(2, "--seconds wants 0 to 3600, not \"%ls\"", value, 0);
            options.seconds = static_cast<int>(seconds);
        } else {
            fail(2, "unknown option %ls (try --help)", arg.c_str(), 0);
        }
    }
    if (options.library.empty() || options.picture.empty())
        fail(2, "%ls", L"--library and --picture are required (try --help)", 0);
    if (options.menuPicture.empty() != options.optionsPicture.empty()
        || options.menuPicture.empty() != options.optionsAnswer.empty())
        fail(2, "%ls", L"--menu-picture, --options-picture and --options-answer go together (try --help)", 0);
    return options;
}

// ---- The screen window: the host's side of the Today item messages ---------------------------

void answerMenu(HMENU menu);
void answerPage(HWND page);
const UINT kMenuOpened = WM_APP + 1;   // wParam: the menu
const UINT kPageOpened = WM_APP + 2;   // wParam: the options page
const UINT_PTR kPageTimer = 1;

void fillRect(HDC dc, const RECT &r, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

LRESULT CALLBACK screenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case TODAYM_GETCOLOR: ++screen.colourQueries; return wParam == TODAYCOLOR_TEXT ? kItemText : 0;
    case TODAYM_DRAWWATERMARK: {
        ++screen.watermarks;
        const auto *info = reinterpret_cast<const TODAYDRAWWATERMARKINFO *>(lParam);
        if (info != nullptr) fillRect(info->hdc, info->rc, kWatermark);
        return 0;
    }
    case TODAYM_TOOKSELECTION: ++screen.selections; return 0;
    case kMenuOpened: answerMenu(reinterpret_cast<HMENU>(wParam)); return 0;
    case kPageOpened: answerPage(reinterpret_cast<HWND>(wParam)); return 0;
    case WM_TIMER:
        if (wParam == kPageTimer) {
            KillTimer(hwnd, kPageTimer);
            answerPage(nullptr);
        }
        return 0;
    case WM_ERASEBKGND: {
        RECT all;
        GetClientRect(hwnd, &all);
        fillRect(reinterpret_cast<HDC>(wParam), all, kWatermark);
        RECT band = {0, 0, all.right, kItemTop};
        fillRect(reinterpret_cast<HDC>(wParam), band, kBand);
        return 1;
    }
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// The height query: the item writes its height into cyp and answers whether it changed.
void queryHeight(TODAYLISTITEM &record)
{
    SendMessageW(screen.item, WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&record), 0);
    SetWindowPos(screen.item, nullptr, 0, kItemTop, kScreenWidth, static_cast<int>(record.cyp),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void runFor(int seconds)
{
    const DWORD start = GetTickCount();
    const DWORD total = static_cast<DWORD>(seconds) * 1000;
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= total) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, total - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// ---- The picture: the window's pixels as an 8-bit RGB PNG --------------------------------------

uint32_t crc32(const uint8_t *data, size_t size, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void chunk(std::vector<uint8_t> &png, const char type[4], const std::vector<uint8_t> &data)
{
    put32(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, crc32(png.data() + start, png.size() - start));
}

// Rows of RGB bytes, each with filter byte 0, in stored (uncompressed) deflate blocks.
std::vector<uint8_t> encodePng(int width, int height, const std::vector<uint8_t> &rgb)
{
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    const size_t kBlock = 65535;   // the largest stored block
    for (size_t at = 0; at < raw.size() || at == 0; at += kBlock) {
        const size_t n = std::min(kBlock, raw.size() - at);
        z.push_back(at + n >= raw.size() ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        if (n == 0) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put32(header, static_cast<uint32_t>(width));
    put32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});   // 8-bit RGB, no interlace
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

// The item's text area: right of the icon's column, within the item's rows.
const int kTextLeft = 30;

// The pixels of a rectangle of a device context as RGB rows.
bool grab(HDC source, const RECT &area, std::vector<uint8_t> *rgb)
{
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, source, area.left, area.top, SRCCOPY) != 0;
    GdiFlush();
    rgb->clear();
    if (copied) {
        const auto *pixels = static_cast<const uint8_t *>(bits);
        for (int i = 0; i < width * height; ++i) {
            rgb->push_back(pixels[4 * i + 2]);
            rgb->push_back(pixels[4 * i + 1]);
            rgb->push_back(pixels[4 * i]);
        }
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return copied;
}

// Written beside the file, then moved over it: no half-written picture is left behind.
bool writePicture(const std::wstring &file, const RECT &area, const std::vector<uint8_t> &rgb)
{
    const std::vector<uint8_t> png = encodePng(area.right - area.left, area.bottom - area.top, rgb);
    const std::wstring temporary = file + L".tmp";
    FILE *out = _wfopen(temporary.c_str(), L"wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), out) == png.size();
    if (std::fclose(out) != 0 || !written) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// The windows, frames included, painted in full and laid one over the other (the last on top)
// where the screen shows them. Each is read from its own surface: the screen's pixels may lag.
bool saveWindows(const std::wstring &file, std::initializer_list<HWND> windows)
{
    RECT area = {};
    for (HWND window : windows) {
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RECT r;
        GetWindowRect(window, &r);
        UnionRect(&area, &area, &r);
    }
    const int width = area.right - area.left;
    std::vector<uint8_t> canvas(static_cast<size_t>(width) * (area.bottom - area.top) * 3, 0);
    for (HWND window : windows) {
        RECT r;
        GetWindowRect(window, &r);
        const RECT own = {0, 0, r.right - r.left, r.bottom - r.top};
        HDC dc = GetWindowDC(window);
        std::vector<uint8_t> rgb;
        const bool copied = grab(dc, own, &rgb);
        ReleaseDC(window, dc);
        if (!copied) return false;
        for (int y = 0; y < own.bottom; ++y) {
            const size_t to = (static_cast<size_t>(r.top - area.top + y) * width + (r.left - area.left)) * 3;
            std::copy_n(rgb.begin() + static_cast<size_t>(y) * own.right * 3, own.right * 3,
                        canvas.begin() + to);
        }
    }
    return writePicture(file, area, canvas);
}

// Saves the window's client area as the screen shows it, and counts the pixels of the item's
// text area that differ from the watermark behind it (the item's text).
bool savePicture(HWND hwnd, const std::wstring &file, int itemHeight, int *textPixels)
{
    *textPixels = 0;
    RECT area;
    GetClientRect(hwnd, &area);
    std::vector<uint8_t> rgb;
    HDC dc = GetDC(hwnd);
    const bool copied = grab(dc, area, &rgb);
    ReleaseDC(hwnd, dc);
    if (!copied) return false;
    const int width = area.right - area.left;
    for (size_t i = 0; i < rgb.size() / 3; ++i) {
        const int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
        const COLORREF colour = RGB(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        if (x >= kTextLeft && y >= kItemTop && y < kItemTop + itemHeight && colour != kWatermark)
            ++*textPixels;
    }
    return writePicture(file, area, rgb);
}

// ---- The stand-in user ---------------------------------------------------------------------------
//
// Hooks see the item's popup menu being filled and each dialog becoming active; the answer is
// posted to the screen window, whose procedure the modal loop of the menu or dialog dispatches,
// so the user acts from inside that loop as a person at the screen would.

const wchar_t kPickedCommand[] = L"Create Durvo report";
const int kBoxTextId = 0xFFFF;          // the static control that holds a message box's text
const int kOptionsPageControl = 1005;   // a list only the options page has

struct User {
    HHOOK dialogs = nullptr;
    HHOOK calls = nullptr;
    std::wstring menuPicture;
    std::wstring pagePicture;
    std::wstring answer;
    int menusShown = 0;
    int pagesShown = 0;
    int pageWaits = 0;
    HWND page = nullptr;   // the page the user waits to see
    bool picked = false;
    bool answered = false;
    std::vector<std::wstring> seen;   // what the user was shown and did, printed at the end
};
User user;

std::wstring windowText(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// One line each: a box's line breaks are shown as the two characters \n.
void note(std::wstring line)
{
    for (size_t at = 0; (at = line.find(L'\n', at)) != std::wstring::npos;) line.replace(at, 1, L"\\n");
    user.seen.push_back(line);
}

LRESULT CALLBACK onDialogActivated(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND dialog = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        GetClassNameW(dialog, className, 16);
        if (std::wstring(className) == L"#32770") {
            if (GetDlgItem(dialog, kOptionsPageControl) != nullptr) {
                if (user.pagesShown++ == 0)
                    PostMessageW(screen.window, kPageOpened, reinterpret_cast<WPARAM>(dialog), 0);
            } else if (GetDlgItem(dialog, kBoxTextId) != nullptr) {
                note(L"box \"" + windowText(dialog) + L"\": " + windowText(GetDlgItem(dialog, kBoxTextId))
                     + L" -> OK");
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
            }
        }
    }
    return CallNextHookEx(user.dialogs, code, wParam, lParam);
}

LRESULT CALLBACK onCall(int code, WPARAM wParam, LPARAM lParam)
{
    const auto *call = reinterpret_cast<const CWPSTRUCT *>(lParam);
    if (code == HC_ACTION && call->message == WM_INITMENUPOPUP && user.menusShown++ == 0)
        PostMessageW(screen.window, kMenuOpened, call->wParam, 0);
    return CallNextHookEx(user.calls, code, wParam, lParam);
}

void pressKey(HWND window, UINT key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// The menu is open: the user looks at it, then moves down to the command and presses Enter.
void answerMenu(HMENU menu)
{
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup == nullptr) {
        note(L"menu: no menu window on the screen; dismissed");
        EndMenu();
        return;
    }
    UpdateWindow(popup);
    if (!saveWindows(user.menuPicture, {screen.window, popup})) note(L"menu: the picture could not be saved");
    std::wstring items;
    int steps = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        const bool separator = (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0;
        items += std::wstring(i == 0 ? L" " : L" | ") + (separator ? L"-" : text);
        if (!user.picked && !separator) ++steps;   // the arrow keys pass over separators
        if (std::wstring(text) == kPickedCommand) user.picked = true;
    }
    note(L"menu:" + items);
    if (!user.picked) {
        note(std::wstring(L"menu: no \"") + kPickedCommand + L"\"; dismissed");
        EndMenu();
        return;
    }
    note(std::wstring(L"menu -> ") + kPickedCommand);
    for (int i = 0; i < steps; ++i) pressKey(popup, VK_DOWN);
    pressKey(popup, VK_RETURN);
}

// One "ID=VALUE" of the answer on the open page: on/off for a box or radio button (a click where
// it differs), a list index (arrow keys in the closed list until it is reached), tap for a button.
bool answerControl(HWND page, const std::wstring &item)
{
    const size_t equals = item.find(L'=');
    if (equals == std::wstring::npos) return false;
    const int id = std::wcstol(item.substr(0, equals).c_str(), nullptr, 10);
    const std::wstring value = item.substr(equals + 1);
    HWND control = GetDlgItem(page, id);
    if (control == nullptr) return false;
    if (value == L"on" || value == L"off") {
        const bool wanted = value == L"on";
        if ((SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) != wanted)
            SendMessageW(control, BM_CLICK, 0, 0);
        return (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) == wanted;
    }
    if (value == L"tap") {
        SendMessageW(control, BM_CLICK, 0, 0);
        return true;
    }
    wchar_t *end = nullptr;
    const long index = std::wcstol(value.c_str(), &end, 10);
    if (*end != 0 || value.empty()) return false;
    SetFocus(control);
    for (int guard = 0; guard < 16; ++guard) {
        const LRESULT now = SendMessageW(control, CB_GETCURSEL, 0, 0);
        if (now == index) return true;
        const UINT key = now == CB_ERR || now < index ? VK_DOWN : VK_UP;
        SendMessageW(control, WM_KEYDOWN, key, 1);
        SendMessageW(control, WM_KEYUP, key, 0xC0000001);
    }
    return false;
}

void answerPage(HWND page)
{
    if (page == nullptr) page = user.page;
    // A dialog box is shown once its queue is empty: the user looks again on a timer, which
    // leaves the queue empty in between, until the page is on the screen.
    if (!IsWindowVisible(page) && user.pageWaits++ < 100) {
        user.page = page;
        SetTimer(screen.window, kPageTimer, 20, nullptr);
        return;
    }
    note(L"options page \"" + windowText(page) + L"\": " + user.answer + L", then OK");
    size_t at = 0;
    while (at < user.answer.size()) {
        size_t next = user.answer.find(L' ', at);
        if (next == std::wstring::npos) next = user.answer.size();
        const std::wstring item = user.answer.substr(at, next - at);
        if (!item.empty() && !answerControl(page, item)) note(L"options page: cannot set " + item);
        at = next + 1;
    }
    UpdateWindow(page);
    if (!saveWindows(user.pagePicture, {page})) note(L"options page: the picture could not be saved");
    user.answered = true;
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// A tap on the item (its menu, the report and its box), then the options page as the Today
// settings open it: export 241 over the library's template 500, owned by the screen.
bool driveItem(HMODULE library, FARPROC options241)
{
    user.dialogs = SetWindowsHookExW(WH_CBT, onDialogActivated, nullptr, GetCurrentThreadId());
    user.calls = SetWindowsHookExW(WH_CALLWNDPROC, onCall, nullptr, GetCurrentThreadId());
    if (user.dialogs == nullptr || user.calls == nullptr) return false;

    SendMessageW(screen.item, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 8));
    SendMessageW(screen.item, WM_LBUTTONUP, 0, MAKELPARAM(20, 8));

    HRSRC found = FindResourceW(library, MAKEINTRESOURCEW(IDD_TODAY_CUSTOM), RT_DIALOG);
    HGLOBAL loaded = found != nullptr ? LoadResource(library, found) : nullptr;
    INT_PTR ended = -1;
    if (loaded != nullptr) {
        // An export's real type is known only to its caller.
        auto procedure = reinterpret_cast<DLGPROC>(reinterpret_cast<void (*)()>(options241));
        ended = DialogBoxIndirectParamW(library, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)),
                                        screen.window, procedure, 0);
    }
    UnhookWindowsHookEx(user.dialogs);
    UnhookWindowsHookEx(user.calls);
    note(L"options page ended with " + std::to_wstring(ended) + L", "
         + std::to_wstring(GetTickCount() - screen.started) + L" ms after the item started");
    for (const std::wstring &line : user.seen) std::printf("user: %ls\n", line.c_str());
    return user.picked && user.answered && ended == IDOK;
}

}   // namespace

int main()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const Options options = parseOptions(argc, argv);

    HMODULE library = LoadLibraryW(options.library.c_str());
    if (library == nullptr) fail(1, "cannot load %ls", options.library.c_str(), GetLastError());
    auto initialize = reinterpret_cast<InitializeCustomItemProc>(reinterpret_cast<void (*)()>(
        GetProcAddress(library, MAKEINTRESOURCEA(ORDINAL_INITIALIZE_CUSTOM_ITEM))));
    FARPROC options241 = GetProcAddress(library, MAKEINTRESOURCEA(ORDINAL_CUSTOM_ITEM_OPTIONS));
    if (initialize == nullptr || options241 == nullptr)
        fail(1, "%ls does not export ordinals 240 and 241", options.library.c_str(), 0);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = screenProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kScreenClass;
    RegisterClassW(&wc);
    screen.window = CreateWindowExW(0, kScreenClass, kScreenTitle, WS_POPUP | WS_VISIBLE, 0, 0, kScreenWidth,
                                    kScreenHeight, nullptr, nullptr, wc.hInstance, nullptr);
    if (screen.window == nullptr) fail(1, "%ls", L"cannot create the screen window", GetLastError());

    TODAYLISTITEM record = {};
    lstrcpynW(record.szName, L"Durvo", MAX_ITEMNAME);
    record.tlit = tlitCustom;
    record.fEnabled = TRUE;
    lstrcpynW(record.szDLLPath, options.library.c_str(), MAX_PATH);
    record.hinstDLL = library;
    screen.started = GetTickCount();
    screen.item = initialize(&record, screen.window);
    if (screen.item == nullptr) fail(1, "%ls", L"the item refused to start (ordinal 240 gave no window)", 0);
    record.hwndCustom = screen.item;
    queryHeight(record);
    const DWORD firstHeight = record.cyp;
    UpdateWindow(screen.window);

    runFor(options.seconds);

    // The refresh query: the item answers whether its height changed and repaints if so.
    const LRESULT changed
        = SendMessageW(screen.item, WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&record), 0);
    InvalidateRect(screen.item, nullptr, TRUE);
    UpdateWindow(screen.item);
    int textPixels = 0;
    const bool saved = savePicture(screen.window, options.picture, static_cast<int>(record.cyp), &textPixels);

    const DWORD refreshedHeight = record.cyp;
    bool driven = true;
    if (!options.menuPicture.empty()) {
        user.menuPicture = options.menuPicture;
        user.pagePicture = options.optionsPicture;
        user.answer = options.optionsAnswer;
        driven = driveItem(library, options241);
        // The page may have changed the view: the host asks for the height again.
        queryHeight(record);
        std::printf("after the options page: item height %lu\n", static_cast<unsigned long>(record.cyp));
    }

    DestroyWindow(screen.item);
    DestroyWindow(screen.window);
    const BOOL freed = FreeLibrary(library);
    std::printf("item height %lu, then %lu (refresh answered %ld); %d colour queries, %d watermarks;"
                " library freed: %s\n",
                static_cast<unsigned long>(firstHeight), static_cast<unsigned long>(refreshedHeight),
                static_cast<long>(changed), screen.colourQueries, screen.watermarks, freed ? "yes" : "no");
    if (!saved) fail(1, "cannot save the picture %ls", options.picture.c_str(), GetLastError());
    std::printf("picture: %ls, %d text pixels\n", options.picture.c_str(), textPixels);
    if (!driven) fail(1, "%ls", L"the stand-in user could not finish the menu, report and options page", 0);
    return freed ? 0 : 1;
}
