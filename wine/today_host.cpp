// today-host: a small Today screen for real Win32 (run under Wine here). It loads a Today item
// library the way the Pocket PC shell does, runs it for a while, asks its height again and saves
// a picture of the screen.
//
//   today-host.exe --library PATH --seconds N --picture FILE.png
//
// Exit status: 0 when the item ran, 1 when the library or the item failed, 2 for bad options.
#include <windows.h>

#include <today_host.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
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
    int seconds = 0;
};

struct Screen {
    HWND window = nullptr;
    HWND item = nullptr;
    int colourQueries = 0;
    int watermarks = 0;
    int selections = 0;
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

const char kUsage[] =
    "usage: today-host.exe --library PATH --seconds N --picture FILE.png\n"
    "Loads a Today item library, initialises its item (ordinal 240) in a Today-like window,\n"
    "answers the item's messages for N seconds of real time, sends the height query again\n"
    "and saves the window as a PNG. Exit status: 0 ran, 1 the library or item failed, 2 bad\n"
    "options.\n";

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
    return options;
}

// ---- The screen window: the host's side of the Today item messages ---------------------------

void fillRect(HDC dc, const RECT &r, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

LRESULT CALLBACK screenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case TODAYM_GETCOLOR:
        ++screen.colourQueries;
        return wParam == TODAYCOLOR_TEXT ? kItemText : 0;
    case TODAYM_DRAWWATERMARK: {
        ++screen.watermarks;
        const auto *info = reinterpret_cast<const TODAYDRAWWATERMARKINFO *>(lParam);
        if (info != nullptr) fillRect(info->hdc, info->rc, kWatermark);
        return 0;
    }
    case TODAYM_TOOKSELECTION:
        ++screen.selections;
        return 0;
    case WM_ERASEBKGND: {
        RECT all;
        GetClientRect(hwnd, &all);
        fillRect(reinterpret_cast<HDC>(wParam), all, kWatermark);
        RECT band = {0, 0, all.right, kItemTop};
        fillRect(reinterpret_cast<HDC>(wParam), band, kBand);
        return 1;
    }
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
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

// Copies the window's client area as the screen shows it, and counts the pixels of the item's
// text area that differ from the watermark behind it (the item's text).
bool savePicture(HWND hwnd, const std::wstring &file, int itemHeight, int *textPixels)
{
    *textPixels = 0;
    RECT client;
    GetClientRect(hwnd, &client);
    const int width = client.right, height = client.bottom;
    HDC windowDc = GetDC(hwnd);
    HDC memory = CreateCompatibleDC(windowDc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != 0;
    GdiFlush();
    std::vector<uint8_t> rgb;
    if (copied) {
        const auto *pixels = static_cast<const uint8_t *>(bits);
        for (int i = 0; i < width * height; ++i) {
            rgb.push_back(pixels[4 * i + 2]);
            rgb.push_back(pixels[4 * i + 1]);
            rgb.push_back(pixels[4 * i]);
            const int x = i % width, y = i / width;
            const COLORREF colour = RGB(pixels[4 * i + 2], pixels[4 * i + 1], pixels[4 * i]);
            if (x >= kTextLeft && y >= kItemTop && y < kItemTop + itemHeight && colour != kWatermark)
                ++*textPixels;
        }
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(hwnd, windowDc);
    if (!copied) return false;

    const std::vector<uint8_t> png = encodePng(width, height, rgb);
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

}  // namespace

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
    screen.window = CreateWindowExW(0, kScreenClass, kScreenTitle, WS_POPUP | WS_VISIBLE, 0, 0,
                                    kScreenWidth, kScreenHeight, nullptr, nullptr,
                                    wc.hInstance, nullptr);
    if (screen.window == nullptr) fail(1, "%ls", L"cannot create the screen window", GetLastError());

    TODAYLISTITEM record = {};
    lstrcpynW(record.szName, L"Durvo", MAX_ITEMNAME);
    record.tlit = tlitCustom;
    record.fEnabled = TRUE;
    lstrcpynW(record.szDLLPath, options.library.c_str(), MAX_PATH);
    record.hinstDLL = library;
    screen.item = initialize(&record, screen.window);
    if (screen.item == nullptr) fail(1, "%ls", L"the item refused to start (ordinal 240 gave no window)", 0);
    record.hwndCustom = screen.item;
    queryHeight(record);
    const DWORD firstHeight = record.cyp;
    UpdateWindow(screen.window);

    runFor(options.seconds);

    // The refresh query: the item answers whether its height changed and repaints if so.
    const LRESULT changed = SendMessageW(screen.item, WM_TODAYCUSTOM_QUERYREFRESHCACHE,
                                         reinterpret_cast<WPARAM>(&record), 0);
    InvalidateRect(screen.item, nullptr, TRUE);
    UpdateWindow(screen.item);
    int textPixels = 0;
    const bool saved =
        savePicture(screen.window, options.picture, static_cast<int>(record.cyp), &textPixels);

    DestroyWindow(screen.item);
    DestroyWindow(screen.window);
    const BOOL freed = FreeLibrary(library);
    std::printf("item height %lu, then %lu (refresh answered %ld); %d colour queries, %d watermarks;"
                " library freed: %s\n",
                static_cast<unsigned long>(firstHeight), static_cast<unsigned long>(record.cyp),
                static_cast<long>(changed), screen.colourQueries, screen.watermarks,
                freed ? "yes" : "no");
    if (!saved) fail(1, "cannot save the picture %ls", options.picture.c_str(), GetLastError());
    std::printf("picture: %ls, %d text pixels\n", options.picture.c_str(), textPixels);
    return freed ? 0 : 1;
}
