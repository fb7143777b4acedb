// The Today item window as the host sees it: its answers to the host's messages, what it
// sends the host, the timer, and the library's entry points loaded by ordinal.
#include <control.h>
#include <gtest/gtest.h>

#include "item_paint.h"
#include "item_window.h"
#include "meter_state.h"
#include "module.h"
#include "support/durvo_fixtures.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const COLORREF hostTextColor = RGB(10, 20, 30);

// What the host window received, in order.
struct HostMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    TODAYDRAWWATERMARKINFO watermark;   // copied for TODAYM_DRAWWATERMARK
};
std::vector<HostMessage> hostMessages;

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= TODAYM_GETCOLOR && message <= TODAYM_TOOKSELECTION) {
        HostMessage seen = {message, wParam, lParam, {}};
        if (message == TODAYM_DRAWWATERMARK) seen.watermark = *(const TODAYDRAWWATERMARKINFO *)lParam;
        hostMessages.push_back(seen);
        return message == TODAYM_GETCOLOR ? hostTextColor : 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::vector<UINT> hostMessageNumbers()
{
    std::vector<UINT> numbers;
    for (const HostMessage &m : hostMessages) numbers.push_back(m.message);
    return numbers;
}

HWND createHost()
{
    WNDCLASSW host = {};
    host.lpfnWndProc = hostProc;
    host.lpszClassName = TEXT("TodayTestHost");
    RegisterClassW(&host);
    return CreateWindowExW(0, TEXT("TodayTestHost"), TEXT("Today"), WS_VISIBLE, 0, 0, 240, 320, NULL, NULL,
                           NULL, NULL);
}

bool repaintPending(HWND window)
{
    RECT update;
    return GetUpdateRect(window, &update, FALSE) != 0;
}

// The item of the plug-in code linked into this test, started as the host starts it.
class ItemWindowProcedure : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        control::setOsVersion(3, 0);   // classic look unless a test says otherwise
        control::setPlatformType(u"Palm-size PC");
        hostMessages.clear();
        meterState = MeterState{};
        parent = createHost();
        ASSERT_NE(parent, nullptr);
        startItem();
    }
    void TearDown() override
    {
        if (IsWindow(window)) DestroyWindow(window);
    }
    void startItem()
    {
        TODAYLISTITEM item = {};
        item.fEnabled = TRUE;
        window = InitializeCustomItem(&item, parent);
        ASSERT_NE(window, nullptr);
        MoveWindow(window, 0, 0, 240, lineHeight + 1, FALSE);
        control::pumpMessages();
        hostMessages.clear();
    }
    HWND parent = nullptr;
    HWND window = nullptr;
};

TEST_F(ItemWindowProcedure, RefreshQueryReportsLineHeightPlusOne)
{
    meterState.settings.briefView = 1;
    measureLineHeight(window);
    ASSERT_EQ(lineHeight, 18);
    TODAYLISTITEM item = {};
    struct {
        const char *proves;
        DWORD cyp;
        LRESULT result;
        DWORD cypAfter;
        bool repaint;
    } const cases[] = {
        {"a new item takes the height", 0, 1, 19, true},
        {"the same height again: nothing to do", 19, 0, 19, false},
        {"a stale height is overwritten", 500, 1, 19, true},
        {"one pixel short is stale too", 18, 1, 19, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::pumpMessages();
        item.cyp = c.cyp;
        EXPECT_EQ(SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, (WPARAM)&item, 0), c.result);
        EXPECT_EQ(item.cyp, c.cypAfter);
        EXPECT_EQ(repaintPending(window), c.repaint);
    }
    EXPECT_EQ(SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, 0), 0);

    // A switch to the detailed view shows at the next query, after the metric message.
    meterState.settings.briefView = 0;
    SendMessageW(window, RegisterWindowMessageW(TEXT("SH_UIMETRIC_CHANGE")), 0, 0);
    EXPECT_EQ(SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, (WPARAM)&item, 0), 1);
    EXPECT_EQ(item.cyp, DWORD(lineHeight + 1));
    EXPECT_GT(lineHeight, 18);
}

TEST_F(ItemWindowProcedure, HostMessagesAnswers)
{
    struct {
        const char *proves;
        UINT message;
        LRESULT result;
    } const cases[] = {
        {"selection received", WM_TODAYCUSTOM_RECEIVEDSELECTION, 1},
        {"selection lost", WM_TODAYCUSTOM_LOSTSELECTION, 1},
        {"navigation is left to the host", WM_TODAYCUSTOM_USERNAVIGATION, 0},
        {"clear-cache goes to the default procedure", WM_TODAYCUSTOM_CLEARCACHE, 0},
        {"the action key opens the menu and answers FALSE", WM_TODAYCUSTOM_ACTION, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(SendMessageW(window, c.message, 0, 0), c.result);
    }
    EXPECT_EQ(hostMessageNumbers(), std::vector<UINT>{});
}

TEST_F(ItemWindowProcedure, OnlyTimer1234Ticks)
{
    DWORD start = meterState.onTimeMs;
    control::advanceClock(1000);
    EXPECT_EQ(SendMessageW(window, WM_TIMER, 1235, 0), 0);
    EXPECT_EQ(meterState.onTimeMs, start);
    EXPECT_EQ(SendMessageW(window, WM_TIMER, 1234, 0), 0);
    EXPECT_EQ(meterState.onTimeMs, start + 1000);

    // The window's own timer runs once a second until the window goes.
    control::run(3000);
    EXPECT_EQ(meterState.onTimeMs, start + 4000);
    DestroyWindow(window);
    EXPECT_EQ(itemWindow, nullptr);
    EXPECT_EQ(requestRepaint(), 0);
    control::run(3000);
    EXPECT_EQ(meterState.onTimeMs, start + 4000);
}

TEST_F(ItemWindowProcedure, EraseFollowsTheStyle)
{
    WNDCLASSW registered = {};
    ASSERT_NE(GetClassInfoW(moduleInstance, TEXT("DURVOR"), &registered), 0);
    EXPECT_NE(registered.hbrBackground, nullptr);   // classic look: a window-colour brush
    EXPECT_EQ(registered.style, UINT(CS_HREDRAW | CS_VREDRAW));

    HDC dc = GetDC(window);
    RECT client;
    GetClientRect(window, &client);

    // Classic look: the class brush erases; the host is not asked.
    SendMessageW(window, WM_ERASEBKGND, (WPARAM)dc, 0);
    EXPECT_EQ(hostMessageNumbers(), std::vector<UINT>{});

    // Switched to the 2002 look (as the options page does): the host's watermark at once.
    meterState.settings.ppc2002Style = 1;
    EXPECT_EQ(SendMessageW(window, WM_ERASEBKGND, (WPARAM)dc, 0), 1);
    ASSERT_EQ(hostMessageNumbers(), std::vector<UINT>{TODAYM_DRAWWATERMARK});
    const HostMessage &m = hostMessages[0];
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(m.watermark.hdc, dc);
    EXPECT_EQ(m.watermark.hwnd, window);
    EXPECT_EQ(m.watermark.rc.left, client.left);
    EXPECT_EQ(m.watermark.rc.top, client.top);
    EXPECT_EQ(m.watermark.rc.right, client.right);
    EXPECT_EQ(m.watermark.rc.bottom, client.bottom);
    ReleaseDC(window, dc);

    // The class keeps its brush until the host initialises the item again.
    ASSERT_NE(GetClassInfoW(moduleInstance, TEXT("DURVOR"), &registered), 0);
    EXPECT_NE(registered.hbrBackground, nullptr);
}

TEST_F(ItemWindowProcedure, TwoThousandTwoLookRegistersNoBrush)
{
    DestroyWindow(window);
    control::setOsVersion(4, 20);   // the platform check forces the 2002 look on every load
    startItem();
    WNDCLASSW registered = {};
    ASSERT_NE(GetClassInfoW(moduleInstance, TEXT("DURVOR"), &registered), 0);
    EXPECT_EQ(registered.hbrBackground, nullptr);
    // The paint asks the host for its text colour in this look.
    InvalidateRect(window, NULL, TRUE);
    control::pumpMessages();
    std::vector<UINT> expected = {TODAYM_DRAWWATERMARK, TODAYM_GETCOLOR};
    EXPECT_EQ(hostMessageNumbers(), expected);
}

TEST_F(ItemWindowProcedure, TapTakesSelectionOnPress)
{
    LRESULT down = SendMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(30, 12));
    EXPECT_EQ(down, 0);
    EXPECT_EQ(hostMessageNumbers(), std::vector<UINT>{});   // posted, not sent
    control::pumpMessages();
    ASSERT_EQ(hostMessageNumbers(), std::vector<UINT>{TODAYM_TOOKSELECTION});
    EXPECT_EQ(hostMessages[0].wParam, (WPARAM)window);
    EXPECT_EQ(hostMessages[0].lParam, (LPARAM)window);

    hostMessages.clear();
    EXPECT_EQ(SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(30, 12)), 0);
    control::pumpMessages();
    EXPECT_EQ(hostMessageNumbers(), std::vector<UINT>{});
}

TEST_F(ItemWindowProcedure, ReregisteringKeepsOneBrush)
{
    int before = control::liveGdiObjects().brushes;
    // While the window lives the class cannot be replaced: the new brushes must not pile up.
    for (int i = 0; i < 3; i++) registerItemClass();
    EXPECT_EQ(control::liveGdiObjects().brushes, before);
    // Without windows each registration replaces the class, which takes its brush along.
    DestroyWindow(window);
    for (int i = 0; i < 3; i++) registerItemClass();
    EXPECT_EQ(control::liveGdiObjects().brushes, before);
}

TEST_F(ItemWindowProcedure, DisabledItemGetsNothing)
{
    TODAYLISTITEM item = {};
    item.fEnabled = 0;
    itemWindow = window;
    EXPECT_EQ(InitializeCustomItem(&item, parent), nullptr);
    EXPECT_EQ(itemWindow, window);
    EXPECT_EQ(InitializeCustomItem(nullptr, parent), nullptr);
}

// ---- The built library, loaded as the Today screen loads it ---------------------------------

typedef HWND (*InitializeFunction)(TODAYLISTITEM *item, HWND parent);
typedef INT_PTR (*OptionsFunction)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

template <typename F> F ordinal(HMODULE module, WORD number)
{
    return (F)(void (*)())GetProcAddressW(module, MAKEINTRESOURCEW(number));
}

bool storeExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class Entry : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *build = std::getenv("DURVO_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "DURVO_BUILD_DIR is not set";
        control::resetDevice();
        hostMessages.clear();
        root = std::filesystem::temp_directory_path()
            / ("durvo-entry-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root);
        parent = createHost();
        module = loadBuiltDurvo(build, root);
        ASSERT_NE(module, nullptr);
        initialize = ordinal<InitializeFunction>(module, 240);
        ASSERT_NE(initialize, nullptr);
    }
    void TearDown() override
    {
        for (HWND w : windows)
            if (IsWindow(w)) DestroyWindow(w);
        if (module != nullptr) FreeLibrary(module);
        std::filesystem::remove_all(root);
    }
    HWND startItem(TODAYLISTITEM *item)
    {
        HWND w = initialize(item, parent);
        windows.push_back(w);
        return w;
    }
    std::filesystem::path root;
    HWND parent = nullptr;
    HMODULE module = nullptr;
    InitializeFunction initialize = nullptr;
    std::vector<HWND> windows;
};

TEST_F(Entry, AttachRegistersAndLoads)
{
    WNDCLASSW registered = {};
    EXPECT_NE(GetClassInfoW(module, TEXT("DURVOR"), &registered), 0);
    EXPECT_TRUE(storeExists()) << "a first load writes a complete store";
    EXPECT_EQ(GetProcAddressW(module, TEXT("InitializeCustomItem")), nullptr)
        << "exports are by ordinal only";
    OptionsFunction options = ordinal<OptionsFunction>(module, 241);
    ASSERT_NE(options, nullptr);
}

TEST_F(Entry, DisabledItemLoadsNothing)
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"));
    TODAYLISTITEM item = {};
    item.fEnabled = 0;
    item.hinstDLL = module;
    EXPECT_EQ(startItem(&item), nullptr);
    EXPECT_FALSE(storeExists()) << "no load, so no first-run save either";
}

TEST_F(Entry, ItemWindowAndItsHeight)
{
    control::setShellUiMetrics(true, 13);
    TODAYLISTITEM item = {};
    item.fEnabled = TRUE;
    item.hinstDLL = module;
    HWND first = startItem(&item);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetParent(first), parent);
    EXPECT_EQ(DWORD(GetWindowLongW(first, GWL_STYLE)), DWORD(WS_CHILD | WS_VISIBLE));
    WCHAR text[16] = {};
    GetWindowTextW(first, text, 16);
    EXPECT_EQ(std::u16string(text), u"Durvo");

    // The default device is a Pocket PC 2002 at 96 dpi in the detailed view: two lines of the
    // shell's 13-pixel font, 16 pixels apart.
    EXPECT_EQ(SendMessageW(first, WM_TODAYCUSTOM_QUERYREFRESHCACHE, (WPARAM)&item, 0), 1);
    EXPECT_EQ(item.cyp, 33u);

    // The host rebuilds its items: a second window from a second initialisation.
    HWND second = startItem(&item);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(SendMessageW(second, WM_TODAYCUSTOM_QUERYREFRESHCACHE, (WPARAM)&item, 0), 0);

    // At 192 dpi the shell reports a bigger font; the metric message remeasures.
    control::setDpi(192);
    control::setShellUiMetrics(true, 26);
    SendMessageW(second, RegisterWindowMessageW(TEXT("SH_UIMETRIC_CHANGE")), 0, 0);
    EXPECT_EQ(SendMessageW(second, WM_TODAYCUSTOM_QUERYREFRESHCACHE, (WPARAM)&item, 0), 1);
    EXPECT_EQ(item.cyp, 63u);
}

TEST_F(Entry, DetachUnregistersTheClass)
{
    TODAYLISTITEM item = {};
    item.fEnabled = TRUE;
    item.hinstDLL = module;
    startItem(&item);
    DestroyWindow(windows[0]);
    int brushesBefore = control::liveGdiObjects().brushes;
    FreeLibrary(module);
    WNDCLASSW registered = {};
    EXPECT_EQ(GetClassInfoW(module, TEXT("DURVOR"), &registered), 0);
    EXPECT_LE(control::liveGdiObjects().brushes, brushesBefore);
    module = nullptr;
}

// The resources the library carries: the high-resolution marker and the two icon groups.
TEST_F(Entry, Resources)
{
    HRSRC marker = FindResourceW(module, TEXT("HI_RES_AWARE"), TEXT("CEUX"));
    ASSERT_NE(marker, nullptr);
    ASSERT_EQ(SizeofResource(module, marker), 2u);
    const BYTE *value = (const BYTE *)LockResource(LoadResource(module, marker));
    EXPECT_EQ(value[0] | value[1] << 8, 1);

    struct Image {
        int width;
        int height;
        int bitCount;
    };
    struct {
        WORD group;
        std::vector<Image> images;
    } const groups[] = {
        {101, {{32, 32, 4}, {16, 16, 4}}},   // 16 colours each
        {105, {{32, 32, 4}, {16, 16, 8}}},   // the small one in 256 colours
    };
    for (const auto &g : groups) {
        SCOPED_TRACE(g.group);
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(g.group), RT_GROUP_ICON);
        ASSERT_NE(found, nullptr);
        const BYTE *dir = (const BYTE *)LockResource(LoadResource(module, found));
        int count = dir[4] | dir[5] << 8;
        ASSERT_EQ(count, int(g.images.size()));
        ASSERT_EQ(SizeofResource(module, found), DWORD(6 + 14 * count));
        for (int i = 0; i < count; i++) {
            // GRPICONDIRENTRY: width, height, colours, reserved, planes, bit count, size, id.
            const BYTE *entry = dir + 6 + 14 * i;
            WORD id = WORD(entry[12] | entry[13] << 8);
            HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
            ASSERT_NE(image, nullptr);
            const BYTE *header = (const BYTE *)LockResource(LoadResource(module, image));
            // BITMAPINFOHEADER: the height counts the colour rows and the mask rows.
            auto le32 = [](const BYTE *p) { return int(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24); };
            EXPECT_EQ(entry[0], g.images[i].width);
            EXPECT_EQ(le32(header + 4), g.images[i].width);
            EXPECT_EQ(le32(header + 8), 2 * g.images[i].height);
            EXPECT_EQ(header[14] | header[15] << 8, g.images[i].bitCount);
        }
    }
}

}   // namespace
