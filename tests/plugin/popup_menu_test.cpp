// The popup menu a tap or the action key opens: where it opens, its items, and every command,
// each of which ends with a save and a repaint request.
#include <control.h>
#include <gtest/gtest.h>

#include "item_paint.h"
#include "item_window.h"
#include "meter_state.h"
#include "popup_menu.h"
#include "resource.h"
#include "support/durvo_fixtures.h"
#include "support/recording_user.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

DWORD storedDword(const WCHAR *name)
{
    HKEY key = nullptr;
    DWORD value = 0xdeadbeef, size = sizeof value;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, storeKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

// The item of the plug-in code linked into this test, started by a host window at the top of
// the screen, with the built library's resources (the options page template) as its module.
class PopupMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *build = std::getenv("DURVO_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "DURVO_BUILD_DIR is not set";
        control::resetDevice();
        control::setOsVersion(3, 0);   // the classic look: the style box of the page is shown
        control::setPlatformType(u"Palm-size PC");
        broadcastsSeen.clear();
        root_ = fs::path(::testing::TempDir()) / ("popup_menu_test_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "My Documents");
        resources_ = loadBuiltDurvo(build, root_);
        ASSERT_NE(resources_, nullptr);

        parent_ = openTodayStandIn(TEXT("Today"));

        meterState = MeterState{};
        TODAYLISTITEM record = {};
        record.fEnabled = TRUE;
        record.hinstDLL = resources_;
        window_ = InitializeCustomItem(&record, parent_);
        ASSERT_NE(window_, nullptr);
        MoveWindow(window_, 0, 50, 240, lineHeight + 1, FALSE);
        control::pumpMessages();
        user.install();
    }
    void TearDown() override
    {
        if (IsWindow(window_)) DestroyWindow(window_);
        if (IsWindow(parent_)) DestroyWindow(parent_);
        if (resources_) FreeLibrary(resources_);
        control::resetDevice();
        control::setDeviceRoot({});
        fs::remove_all(root_);
    }

    // A tap at client point (x, y): pressed, released, and the messages carried out.
    void tap(int x, int y)
    {
        PostMessageW(window_, WM_LBUTTONDOWN, 0, MAKELPARAM(x, y));
        PostMessageW(window_, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        control::pumpMessages();
    }
    bool repaintPending()
    {
        RECT update;
        return GetUpdateRect(window_, &update, FALSE) != 0;
    }

    RecordingUser user;
    fs::path root_;
    HMODULE resources_ = nullptr;
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
};

TEST_F(PopupMenu, OpensAtTheTapOrBesideTheCornerWithItsSixItems)
{
    RECT item;
    GetWindowRect(window_, &item);
    struct Case {
        const char *proves;
        bool actionKey;
        int x, y;
        POINT expected;
    } const cases[] = {
        {"a tap: its point", false, 10, 5, {item.left + 10, item.top + 5}},
        {"a tap further in", false, 200, 17, {item.left + 200, item.top + 17}},
        {"the action key: 20 right and 10 below the corner", true, 0, 0, {item.left + 20, item.top + 10}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        user.menus.clear();
        user.menuAnswers = {0};
        if (c.actionKey)
            SendMessageW(window_, WM_TODAYCUSTOM_ACTION, 0, 0);
        else
            tap(c.x, c.y);
        ASSERT_EQ(user.menus.size(), 1u);
        const control::MenuShown &menu = user.menus[0];
        EXPECT_EQ(menu.point.x, c.expected.x);
        EXPECT_EQ(menu.point.y, c.expected.y);
        EXPECT_EQ(menu.flags, UINT(TPM_RETURNCMD));
        EXPECT_EQ(menu.owner, window_);
        struct Item {
            UINT id;
            UINT flags;
            const char *text;
        } const items[] = {
            {1237, MF_STRING, "Create Durvo report"},
            {1236, MF_STRING, "Reset timer"},
            {1239, MF_STRING, "Settings"},
            {1235, MF_STRING, "About"},
            {0, MF_SEPARATOR, ""},
            {1238, MF_STRING, "Unregister plugin"},
        };
        ASSERT_EQ(menu.items.size(), 6u);
        for (size_t i = 0; i < 6; i++) {
            EXPECT_EQ(menu.items[i].id, items[i].id) << i;
            EXPECT_EQ(menu.items[i].flags, items[i].flags) << i;
            EXPECT_EQ(control::toUtf8(menu.items[i].text), items[i].text) << i;
        }
    }
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
}

TEST_F(PopupMenu, EveryCommandThenASaveAndARepaint)
{
    using Box = RecordingUser::Box;
    struct Case {
        const char *proves;
        int command;
        std::deque<int> answers;
        std::vector<Box> boxes;
        DWORD onTimeAfter;
        bool itemKeyAfter;
        bool reportWritten;
        std::vector<WPARAM> broadcasts;
    };
    const Case cases[] = {
        {"dismissed: nothing but the save and the repaint", 0, {}, {}, 123456, true, false, {}},
        {"About",
         IDM_ABOUT,
         {IDOK},
         {{"About", "Durvo Meter v3.4.3\n(c) 2005 Norvane. Freeware.\nsupport@norvane.example", MB_OK}},
         123456,
         true,
         false,
         {}},
        {"Reset timer, No keeps the count",
         IDM_RESET_TIMER,
         {IDNO},
         {{"Reset confirmation", "Do you really want to reset timers ?", MB_YESNO}},
         123456,
         true,
         false,
         {}},
        {"Reset timer, Yes starts a new count",
         IDM_RESET_TIMER,
         {IDYES},
         {{"Reset confirmation", "Do you really want to reset timers ?", MB_YESNO}},
         0,
         true,
         false,
         {}},
        {"Create Durvo report",
         IDM_CREATE_REPORT,
         {IDOK},
         {{"Successful",
           "Durvo report was successfuly saved to \n\\My Documents\\DurvoLog.txt\nUse PocketWord to open "
           "this file.",
           MB_OK}},
         123456,
         true,
         true,
         {}},
        {"Unregister plugin, No",
         IDM_UNREGISTER,
         {IDNO},
         {{"Unregister plugin", unregisterQuestion, MB_YESNO}},
         123456,
         true,
         false,
         {}},
        {"Unregister plugin, Yes",
         IDM_UNREGISTER,
         {IDYES, IDOK},
         {{"Unregister plugin", unregisterQuestion, MB_YESNO},
          {"Unregistered", "Durvo plugin was successfuly unregistered. Now you may uninstal Norvane Durvo.",
           MB_OK}},
         123456,
         false,
         false,
         {TODAY_REFRESH_WININICHANGE}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        HKEY item = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, todayItemKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &item,
                        nullptr);
        RegCloseKey(item);
        fs::remove(root_ / "My Documents" / "DurvoLog.txt");
        broadcastsSeen.clear();
        user.boxes.clear();
        user.menuAnswers = {c.command};
        user.boxAnswers = c.answers;
        meterState.onTimeMs = 123456;
        meterState.logElapsedMs = 5000;
        // The store is gone and nothing waits to be painted: whatever shows up afterwards, the
        // command did.
        control::pumpMessages();
        ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, storeKey), ERROR_SUCCESS);

        int menusBefore = control::liveGdiObjects().menus;
        showPopupMenu(window_, 10, 5);
        EXPECT_EQ(control::liveGdiObjects().menus, menusBefore);   // destroyed again

        user.expectBoxes(c.boxes, window_);
        EXPECT_EQ(meterState.onTimeMs, c.onTimeAfter);
        EXPECT_EQ(keyExists(todayItemKey), c.itemKeyAfter);
        EXPECT_EQ(fs::exists(root_ / "My Documents" / "DurvoLog.txt"), c.reportWritten);
        // A written report and a new count both start the autosave's interval afresh.
        EXPECT_EQ(meterState.logElapsedMs, c.reportWritten || c.onTimeAfter == 0 ? 0u : 5000u);
        EXPECT_EQ(broadcastsSeen, c.broadcasts);
        // Saved and shown at once, whatever happened.
        EXPECT_EQ(storedDword(TEXT("dvDurvo")), c.onTimeAfter);
        EXPECT_EQ(storedDword(TEXT("dvLogTimeout")), meterState.logElapsedMs);
        EXPECT_TRUE(repaintPending());
    }
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
}

TEST_F(PopupMenu, SettingsRunsThePageAndSavesWhenItClosesAndAgainAtTheEnd)
{
    user.menuAnswers = {IDM_SETTINGS};
    bool savedByThePage = false;
    user.onDialog = [&](const control::DialogShown &dialog) {
        EXPECT_EQ(control::toUtf8(dialog.title), "Durvo settings");
        EXPECT_EQ(dialog.owner, window_);
        EXPECT_TRUE(control::clickControl(dialog.dialog, IDC_BRIEF_VIEW));
        EXPECT_TRUE(control::selectListItem(dialog.dialog, IDC_LOG_SAVE, 2));
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, storeKey);
        SendMessageW(dialog.dialog, WM_COMMAND, IDOK, 0);
        savedByThePage = keyExists(storeKey);
        // Gone again: only a save after the page can bring it back.
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, storeKey);
    };
    control::pumpMessages();
    EXPECT_EQ(SendMessageW(window_, WM_LBUTTONUP, 0, MAKELPARAM(10, 5)), 0);
    ASSERT_EQ(user.dialogs.size(), 1u);
    EXPECT_TRUE(savedByThePage);
    EXPECT_EQ(storedDword(TEXT("dvBriefInfo")), 1u);
    EXPECT_EQ(storedDword(TEXT("dvAutoLog")), 10u);
    EXPECT_EQ(meterState.settings.briefView, 1u);
    EXPECT_EQ(meterState.settings.logSaveMinutes, 10u);
    EXPECT_TRUE(repaintPending());
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
}

}   // namespace
