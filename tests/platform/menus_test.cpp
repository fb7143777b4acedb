// Popup menus through the Win32 API and the user: the items and where the menu window opens,
// the chosen command returned or posted, choices the menu does not offer, notifications to the
// owner, handles counted like GDI objects, and the picture of the open menu.
#include "conformance.h"

#include <gtest/gtest.h>

#if OUR_LAYER_ONLY
#include <unistd.h>

#include "platform/dialog_builder.h"
#endif

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#if OUR_LAYER_ONLY
static bool operator==(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static void PrintTo(const RECT &r, std::ostream *os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

#endif

namespace {

namespace fs = std::filesystem;

struct OwnerSaw {
    UINT message;
    WPARAM wParam;

    bool operator==(const OwnerSaw &) const = default;
};

void PrintTo(const OwnerSaw &s, std::ostream *os)
{
    *os << "{0x" << std::hex << s.message << std::dec << ", " << s.wParam << "}";
}

std::vector<OwnerSaw> ownerSaw;

LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ENTERMENULOOP:
    case WM_INITMENU:
    case WM_INITMENUPOPUP:
    case WM_EXITMENULOOP:
    case WM_COMMAND:
        // The menu handle is noted as 1.
        ownerSaw.push_back({message, message == WM_INITMENU || message == WM_INITMENUPOPUP ? 1 : wParam});
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The WM_COMMAND messages among what the owner saw.
std::vector<OwnerSaw> commandsSaw()
{
    std::vector<OwnerSaw> commands;
    for (const OwnerSaw &s : ownerSaw) {
        if (s.message == WM_COMMAND) commands.push_back(s);
    }
    return commands;
}

struct Entry {
    UINT flags;
    UINT id;
    WString text;
};

const std::vector<Entry> kCommands = {
    {MF_STRING, 1237, TEXT("Write report")},
    {MF_STRING, 1236, TEXT("Reset")},
    {MF_STRING, 1239, TEXT("Settings")},
    {MF_STRING, 1235, TEXT("About")},
    {MF_SEPARATOR, 0, TEXT("")},
    {MF_STRING, 1238, TEXT("Remove")},
};

HMENU commandMenu()
{
    HMENU menu = CreatePopupMenu();
    for (const Entry &e : kCommands) AppendMenuW(menu, e.flags, e.id, e.text.c_str());
    return menu;
}

#if OUR_LAYER_ONLY
// The scripted user, for what only it sees and answers (the items as appended, ids it refuses).
void onMenu(std::function<int(const control::MenuShown &)> answer)
{
    control::ScriptedUser user;
    user.menu = std::move(answer);
    control::setUser(user);
}
#endif

class Menus : public ::testing::Test {
protected:
    void SetUp() override
    {
        conformance::freshStart();
        ownerSaw.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = ownerProc;
        wc.lpszClassName = TEXT("MenuOwner");
        ASSERT_NE(RegisterClassW(&wc), 0);
        owner_ = CreateWindowExW(0, TEXT("MenuOwner"), TEXT("Owner"), WS_POPUP | WS_VISIBLE, 0, 0, 240, 320,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(owner_, nullptr);
        conformance::drain();
        ownerSaw.clear();
    }

    void TearDown() override
    {
        DestroyWindow(owner_);
#if OUR_LAYER_ONLY
        const control::GdiCounts live = control::liveGdiObjects();
        EXPECT_EQ(live.menus, 0);
        EXPECT_EQ(live.fonts, 0);
        EXPECT_EQ(live.deviceContexts, 0);
        EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
#endif
        conformance::freshStart();
    }

    HWND owner_ = nullptr;
};

#if OUR_LAYER_ONLY   // the items as our user is shown them, our metrics and the paint record
TEST_F(Menus, MenuWindowShowsTheItemsAtThePoint)
{
    HMENU menu = commandMenu();
    control::MenuShown shown;
    RECT place{};
    bool visible = false;
    HWND topWindow = nullptr;
    std::vector<std::u16string> drawn;
    onMenu([&](const control::MenuShown &m) {
        shown = m;
        GetWindowRect(m.window, &place);
        visible = IsWindowVisible(m.window);
        EnumWindows(
            [](HWND window, LPARAM top) {
                *reinterpret_cast<HWND *>(top) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&topWindow));
        drawn = control::drawnText(m.window);
        return 1236;
    });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 30, 70, owner_, nullptr), 1236);
    EXPECT_EQ(shown.owner, owner_);
    EXPECT_EQ(shown.point.x, 30);
    EXPECT_EQ(shown.point.y, 70);
    EXPECT_EQ(shown.flags, static_cast<UINT>(TPM_RETURNCMD));
    ASSERT_EQ(shown.items.size(), kCommands.size());
    for (size_t i = 0; i < kCommands.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(shown.items[i].id, kCommands[i].id);
        EXPECT_EQ(shown.items[i].flags, kCommands[i].flags);
        EXPECT_EQ(shown.items[i].text, kCommands[i].text);
    }
    // Top-left at the point; 87 x 104 pixels: a 14-pixel check column, the widest text (59),
    // 12 pixels after it, five rows of 13 + 6, a 7-pixel separator, and a one-pixel border.
    EXPECT_EQ(place, (RECT{30, 70, 30 + 87, 70 + 104}));
    EXPECT_TRUE(visible);
    EXPECT_EQ(topWindow, shown.window);
    EXPECT_EQ(drawn,
              (std::vector<std::u16string>{u"Write report", u"Reset", u"Settings", u"About", u"Remove"}));
    EXPECT_FALSE(IsWindow(shown.window));   // gone before the call returned
    DestroyMenu(menu);
}

#endif

TEST_F(Menus, ChoiceIsReturnedOrPostedAsWindowsDoes)
{
    const struct {
        const char *proves;
        UINT flags;
        const WCHAR *answer;
        BOOL result;
        std::vector<OwnerSaw> posted;
    } cases[] = {
        {"TPM_RETURNCMD returns the id", TPM_RETURNCMD, TEXT("About"), 1235, {}},
        {"the arrow keys pass over a separator", TPM_RETURNCMD, TEXT("Remove"), 1238, {}},
        {"TPM_RETURNCMD returns 0 for a dismissed menu", TPM_RETURNCMD, TEXT(""), 0, {}},
        {"otherwise WM_COMMAND is posted and TRUE returned", 0, TEXT("About"), TRUE, {{WM_COMMAND, 1235}}},
        {"a dismissed menu is still a success", 0, TEXT(""), TRUE, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        HMENU menu = commandMenu();
        const WString answer = c.answer;
        conformance::answerMenus([answer](const conformance::MenuSeen &) { return answer; });
        const BOOL result = TrackPopupMenuEx(menu, c.flags | TPM_NONOTIFY, 10, 10, owner_, nullptr);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(commandsSaw(),
                  std::vector<OwnerSaw>{});   // posted, not sent: it arrives with the next message loop
        conformance::drain();
        EXPECT_EQ(commandsSaw(), c.posted);
        ownerSaw.clear();
        DestroyMenu(menu);
    }
}

// the scripted user's record of what it left unanswered, a submenu's item picked
// by its id, and our metrics
#if OUR_LAYER_ONLY
TEST_F(Menus, ChoicesTheMenuDoesNotOfferAreUnanswered)
{
    const std::string items
        = "popup menu (\"Write report\", \"Reset\", \"Settings\", \"About\", \"Remove\", \"Gone\") "
          "was not answered";
    const struct {
        const char *proves;
        bool withUser;
        int answer;
        std::string prompt;
    } cases[] = {
        {"the user leaves it open", true, -1, items},
        {"an id no item has", true, 4242, items + " (no enabled item has the id 4242)"},
        {"a greyed item", true, 1240, items + " (no enabled item has the id 1240)"},
        {"nobody to answer", false, 0, items + " (no user to answer it)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        HMENU menu = commandMenu();
        AppendMenuW(menu, MF_GRAYED, 1240, u"Gone");
        control::setUser({});
        const int answer = c.answer;
        if (c.withUser) onMenu([answer](const control::MenuShown &) { return answer; });
        EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 10, 10, owner_, nullptr), 0);
        EXPECT_EQ(TrackPopupMenuEx(menu, 0, 10, 10, owner_, nullptr), FALSE);
        EXPECT_EQ(control::takeUnansweredPrompts(), (std::vector<std::string>{c.prompt, c.prompt}));
        control::pumpMessages();
        for (const OwnerSaw &s : ownerSaw) EXPECT_NE(s.message, static_cast<UINT>(WM_COMMAND));
        ownerSaw.clear();
        DestroyMenu(menu);
    }
}

TEST_F(Menus, SubmenuCommandsAndCheckMarks)
{
    HMENU sub = CreatePopupMenu();
    AppendMenuW(sub, MF_CHECKED, 77, u"Deep");
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_CHECKED, 5, u"Ticked");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"More");
    onMenu([](const control::MenuShown &shown) { return 77; });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, owner_, nullptr), 77);
    // A submenu is no command of its own.
    onMenu([sub](const control::MenuShown &) { return static_cast<int>(reinterpret_cast<uintptr_t>(sub)); });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, owner_, nullptr), 0);
    EXPECT_EQ(control::takeUnansweredPrompts().size(), 1u);
    EXPECT_EQ(control::liveGdiObjects().menus, 2);
    EXPECT_TRUE(DestroyMenu(menu));   // takes its submenu along
    EXPECT_EQ(control::liveGdiObjects().menus, 0);
}

TEST_F(Menus, MenuIsKeptOnTheScreen)
{
    const int w = 87, h = 104;
    const struct {
        const char *proves;
        int x, y;
        UINT flags;
        POINT topLeft;
    } cases[] = {
        {"top-left at the point", 100, 50, 0, {100, 50}},
        {"right edge", 230, 50, 0, {240 - w, 50}},
        {"bottom right corner", 230, 300, 0, {240 - w, 320 - h}},
        {"left of the screen", -10, -10, 0, {0, 0}},
        {"right-aligned", 120, 50, TPM_RIGHTALIGN, {120 - w, 50}},
        {"centred and bottom-aligned", 120, 200, TPM_CENTERALIGN | TPM_BOTTOMALIGN, {120 - w / 2, 200 - h}},
        {"vertically centred", 120, 200, TPM_VCENTERALIGN, {120, 200 - h / 2}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        HMENU menu = commandMenu();
        RECT place{};
        onMenu([&](const control::MenuShown &shown) {
            GetWindowRect(shown.window, &place);
            return 0;
        });
        TrackPopupMenuEx(menu, c.flags | TPM_RETURNCMD, c.x, c.y, owner_, nullptr);
        EXPECT_EQ(place, (RECT{c.topLeft.x, c.topLeft.y, c.topLeft.x + w, c.topLeft.y + h}));
        DestroyMenu(menu);
    }
}

#endif

TEST_F(Menus, OwnerIsToldUnlessNoNotify)
{
    HMENU menu = commandMenu();
    conformance::answerMenus([](const conformance::MenuSeen &) {
        ownerSaw.push_back({0, 0});   // the user's turn
        return WString();
    });
    TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, owner_, nullptr);
    EXPECT_EQ(ownerSaw,
              (std::vector<OwnerSaw>{{WM_ENTERMENULOOP, TRUE},
                                     {WM_INITMENU, 1},
                                     {WM_INITMENUPOPUP, 1},
                                     {0, 0},
                                     {WM_EXITMENULOOP, TRUE}}));
    ownerSaw.clear();
    TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, owner_, nullptr);
    ASSERT_FALSE(ownerSaw.empty());
    EXPECT_EQ(ownerSaw.front(), (OwnerSaw{0, 0}));   // nothing before the user's turn
#if OUR_LAYER_ONLY
    // Nor after it: whether WM_EXITMENULOOP still comes is not documented (Wine sends it).
    EXPECT_EQ(ownerSaw, (std::vector<OwnerSaw>{{0, 0}}));
#endif
    DestroyMenu(menu);
}

TEST_F(Menus, HandlesAreCheckedAndCounted)
{
#if OUR_LAYER_ONLY
    EXPECT_EQ(control::liveGdiObjects().menus, 0);
#endif
    HMENU menu = CreatePopupMenu();
    HMENU other = CreateMenu();
    EXPECT_NE(menu, nullptr);
    EXPECT_NE(menu, other);
#if OUR_LAYER_ONLY
    EXPECT_EQ(control::liveGdiObjects().menus, 2);
#endif
    EXPECT_EQ(GetMenuItemCount(menu), 0);
    // An empty menu shows nothing and asks nobody.
    conformance::answerMenus([](const conformance::MenuSeen &) {
        ADD_FAILURE() << "an empty menu was shown";
        return WString();
    });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, owner_, nullptr), FALSE);
    EXPECT_TRUE(AppendMenuW(menu, MF_STRING, 1, nullptr));   // a null string: a separator
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    SetLastError(0);
    EXPECT_EQ(AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), TEXT("Itself")), FALSE);
#if OUR_LAYER_ONLY   // the error code: Windows documents none, Wine sets none
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
#endif
    SetLastError(0);
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, reinterpret_cast<HWND>(0x7777), nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_TRUE(DestroyMenu(other));
#if OUR_LAYER_ONLY
    EXPECT_EQ(control::liveGdiObjects().menus, 0);
#endif
    // A destroyed handle names nothing any more.
    SetLastError(0);
    EXPECT_EQ(DestroyMenu(menu), FALSE);
#if OUR_LAYER_ONLY   // the error code: Windows documents none, Wine sets none
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
#endif
    SetLastError(0);
    EXPECT_EQ(AppendMenuW(menu, MF_STRING, 1, TEXT("x")), FALSE);
#if OUR_LAYER_ONLY   // the error code: Windows documents none, Wine sets none
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
#endif
    SetLastError(0);
    EXPECT_EQ(GetMenuItemCount(menu), -1);
#if OUR_LAYER_ONLY   // the error code: Windows documents none, Wine sets none
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
#endif
    SetLastError(0);
    EXPECT_EQ(TrackPopupMenuEx(menu, 0, 0, 0, owner_, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
}

#if OUR_LAYER_ONLY   // pictures of the control surface
TEST_F(Menus, PicturesShowTheOpenMenu)
{
    const fs::path dir = fs::temp_directory_path() / ("durvo-menus-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_CHECKED, 1, u"Ticked");
    AppendMenuW(menu, MF_STRING, 2, u"Plain");
    RECT place{};
    onMenu([&](const control::MenuShown &shown) {
        GetWindowRect(shown.window, &place);
        EXPECT_TRUE(control::saveWindowPng(shown.window, dir / "menu.png"));
        EXPECT_TRUE(control::saveScreenPng(dir / "screen.png"));
        return 0;
    });
    TrackPopupMenuEx(menu, TPM_RETURNCMD, 50, 60, owner_, nullptr);
    DestroyMenu(menu);
    const dlgtest::Picture picture = dlgtest::readPng(dir / "menu.png");
    const dlgtest::Picture screen = dlgtest::readPng(dir / "screen.png");
    fs::remove_all(dir);
    ASSERT_EQ(picture.width, place.right - place.left);
    ASSERT_EQ(picture.height, place.bottom - place.top);
    EXPECT_TRUE(picture.is(0, 0, GetSysColor(COLOR_WINDOWFRAME)));   // the border
    // The tick in the first row's check column, none in the second's (rows of 19 pixels).
    EXPECT_GT(picture.darkPixels(RECT{1, 1, 15, 20}), 3);
    EXPECT_EQ(picture.darkPixels(RECT{1, 20, 15, 39}), 0);
    // On the screen the menu lies over its owner at its place.
    ASSERT_EQ(screen.width, 240);
    EXPECT_TRUE(screen.is(place.left, place.top, GetSysColor(COLOR_WINDOWFRAME)));
    EXPECT_TRUE(screen.is(place.right - 3, place.top + 3, GetSysColor(COLOR_MENU)));
}

#endif

}   // namespace
