// The options page: its dialog template byte for byte, the round trip of every control, the
// mapped lists, the usage log at OK, the hidden style box, unregistering, and the order in which
// the page works its controls.
#include <aygshell.h>
#include <control.h>
#include <gtest/gtest.h>

#include "item_paint.h"
#include "item_window.h"
#include "module.h"
#include "meter_state.h"
#include "options_page.h"
#include "resource.h"
#include "support/durvo_fixtures.h"
#include "support/recording_user.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// ---- Dialog template 500, read from the built library's resources ---------------------------

// Offsets of the classic DLGTEMPLATE header and of a DLGITEMTEMPLATE, as the SDK lays them out.
constexpr size_t dlgStyle = 0;
constexpr size_t dlgExStyle = 4;
constexpr size_t dlgItemCount = 8;
constexpr size_t dlgX = 10;
constexpr size_t dlgY = 12;
constexpr size_t dlgWidth = 14;
constexpr size_t dlgHeight = 16;
constexpr size_t dlgMenu = 18;   // then the class and the title, each a string or an ordinal
constexpr size_t itemStyle = 0;
constexpr size_t itemExStyle = 4;
constexpr size_t itemX = 8;
constexpr size_t itemY = 10;
constexpr size_t itemWidth = 12;
constexpr size_t itemHeight = 14;
constexpr size_t itemId = 16;
constexpr size_t itemClass = 18;   // then the text and the count of creation bytes

constexpr WORD classAtomButton = 0x0080;
constexpr WORD classAtomComboBox = 0x0085;

// Reads little-endian fields of a template and fails the test, rather than reading past the
// resource, when a length runs out.
class TemplateReader {
public:
    TemplateReader(const BYTE *data, size_t size) : data_(data), size_(size) { }
    bool ok() const { return ok_; }
    size_t at() const { return at_; }
    void seek(size_t at) { at_ = at; }
    WORD word()
    {
        if (at_ + 2 > size_) {
            ok_ = false;
            return 0;
        }
        WORD w = WORD(data_[at_] | data_[at_ + 1] << 8);
        at_ += 2;
        return w;
    }
    DWORD dword()
    {
        DWORD low = word();
        return low | DWORD(word()) << 16;
    }
    std::u16string string()
    {
        std::u16string s;
        for (WORD unit = word(); ok_ && unit != 0; unit = word()) s += char16_t(unit);
        return s;
    }
    // A string, or 0xFFFF and an ordinal: the ordinal, or 0 with the string in *text.
    WORD stringOrOrdinal(std::u16string *text)
    {
        size_t start = at_;
        if (word() == 0xFFFF) return word();
        at_ = start;
        *text = string();
        return 0;
    }
    void alignTo4() { at_ = (at_ + 3) & ~size_t(3); }

private:
    const BYTE *data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

struct TemplateItem {
    DWORD style;
    int id;
    WORD classAtom;
    const char16_t *text;
    short x, y, width, height;
};

// Template order, which is also the tab order.
const TemplateItem expectedItems[] = {
    {0x50010003, 1001, classAtomButton, u"Reset timer on full charge", 6, 7, 122, 10},
    {0x50010003, 1002, classAtomButton, u"Reset timer on soft reset", 6, 17, 122, 10},
    {0x50000009, 1003, classAtomButton, u"Brief view", 6, 101, 51, 10},
    {0x50000009, 1004, classAtomButton, u"Detailed view", 63, 101, 65, 10},
    {0x50210003, 1005, classAtomComboBox, u"", 6, 49, 122, 53},
    {0x50010001, 1009, classAtomButton, u"About", 14, 129, 44, 15},
    {0x50010000, 1010, classAtomButton, u"Unregister", 69, 129, 52, 15},
    {0x50010003, 1012, classAtomButton, u"PocketPC 2002 view style", 6, 112, 120, 10},
    {0x50010003, 1006, classAtomButton, u"Reset while on external power", 6, 27, 122, 10},
    {0x50210003, 1007, classAtomComboBox, u"", 6, 62, 122, 53},
    {0x50010003, 1008, classAtomButton, u"Gather process statistics", 6, 37, 122, 10},
    {0x50210003, 1013, classAtomComboBox, u"", 6, 75, 122, 53},
    {0x50210003, 1014, classAtomComboBox, u"", 6, 88, 122, 53},
};

fs::path buildDir()
{
    const char *dir = std::getenv("DURVO_BUILD_DIR");
    return dir ? fs::path(dir) : fs::path();
}

TEST(OptionsTemplate, CompiledBytesAreTheClassicTemplateOfThePage)
{
    ASSERT_FALSE(buildDir().empty()) << "DURVO_BUILD_DIR is not set";
    control::resetDevice();
    fs::path device = fs::path(::testing::TempDir()) / ("options_template_" + std::to_string(getpid()));
    HMODULE module = loadBuiltDurvo(buildDir(), device);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDD_OPTIONS), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const BYTE *bytes = static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
    ASSERT_NE(bytes, nullptr);
    TemplateReader in(bytes, SizeofResource(module, found));

    in.seek(dlgStyle);
    EXPECT_EQ(in.dword(), 0x80C800C0u);   // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
    in.seek(dlgExStyle);
    EXPECT_EQ(in.dword(), 0u);
    in.seek(dlgItemCount);
    WORD count = in.word();
    ASSERT_EQ(count, 13);
    in.seek(dlgX);
    EXPECT_EQ(in.word(), 0);
    in.seek(dlgY);
    EXPECT_EQ(in.word(), 0);
    in.seek(dlgWidth);
    EXPECT_EQ(in.word(), 136);
    in.seek(dlgHeight);
    EXPECT_EQ(in.word(), 154);
    in.seek(dlgMenu);
    std::u16string menu, windowClass;
    EXPECT_EQ(in.stringOrOrdinal(&menu), 0);
    EXPECT_EQ(menu, u"");   // no menu
    EXPECT_EQ(in.stringOrOrdinal(&windowClass), 0);
    EXPECT_EQ(windowClass, u"");   // the default dialog class
    EXPECT_EQ(in.string(), u"Durvo settings");
    EXPECT_EQ(in.word(), 8);   // points
    EXPECT_EQ(in.string(), u"System");

    for (const TemplateItem &expected : expectedItems) {
        SCOPED_TRACE(testing::Message() << "control " << expected.id);
        in.alignTo4();
        size_t start = in.at();
        in.seek(start + itemStyle);
        EXPECT_EQ(in.dword(), expected.style);
        in.seek(start + itemExStyle);
        EXPECT_EQ(in.dword(), 0u);
        in.seek(start + itemX);
        EXPECT_EQ(short(in.word()), expected.x);
        in.seek(start + itemY);
        EXPECT_EQ(short(in.word()), expected.y);
        in.seek(start + itemWidth);
        EXPECT_EQ(short(in.word()), expected.width);
        in.seek(start + itemHeight);
        EXPECT_EQ(short(in.word()), expected.height);
        in.seek(start + itemId);
        EXPECT_EQ(in.word(), expected.id);
        in.seek(start + itemClass);
        std::u16string className, text;
        EXPECT_EQ(in.stringOrOrdinal(&className), expected.classAtom) << control::toUtf8(className);
        EXPECT_EQ(in.stringOrOrdinal(&text), 0);
        EXPECT_EQ(control::toUtf8(text), control::toUtf8(expected.text));
        EXPECT_EQ(in.word(), 0);   // no creation data
        ASSERT_TRUE(in.ok()) << "the template ends inside control " << expected.id;
    }
    EXPECT_TRUE(in.ok());
    FreeLibrary(module);
    fs::remove_all(device);
}

// ---- The page at work -----------------------------------------------------------------------

// What a control shows: "on"/"off" for buttons, the selected index for lists (-1 for none),
// "hidden" for a control that is not visible.
std::string shows(const std::vector<control::ControlShown> &controls, int id)
{
    for (const control::ControlShown &c : controls) {
        if (c.id != id) continue;
        if (!c.visible) return "hidden";
        if (c.className == u"combobox") return std::to_string(c.selection);
        return c.check == BST_CHECKED ? "on" : "off";
    }
    return "missing";
}

// The page of the plug-in code linked into this test, run over the template of the built
// library as the Today settings run it, owned by a window standing for the Today settings.
class OptionsPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(buildDir().empty()) << "DURVO_BUILD_DIR is not set";
        control::resetDevice();
        classicPlatform();
        broadcastsSeen.clear();
        root_ = fs::path(::testing::TempDir()) / ("options_page_test_" + std::to_string(getpid()));
        fs::remove_all(root_);
        resources_ = loadBuiltDurvo(buildDir(), root_);
        ASSERT_NE(resources_, nullptr);
        HRSRC found = FindResourceW(resources_, MAKEINTRESOURCEW(IDD_OPTIONS), RT_DIALOG);
        template_ = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(resources_, found)));
        ASSERT_NE(template_, nullptr);

        owner_ = openTodayStandIn(TEXT("Settings"));

        meterState = MeterState{};
        setDefaultSettings();
        resetTimers();
        itemWindow = NULL;   // the Today settings run the page without an item window
        user.install();
    }
    void TearDown() override
    {
        if (IsWindow(owner_)) DestroyWindow(owner_);
        if (resources_) FreeLibrary(resources_);
        control::resetDevice();
        control::setDeviceRoot({});
        fs::remove_all(root_);
    }
    // A Pocket PC 2000 of another kind: the platform leaves the look to the user.
    static void classicPlatform()
    {
        control::setOsVersion(3, 0);
        control::setPlatformType(u"Palm-size PC");
    }

    // Runs the page; `hands` act on it once it shows. The controls as first shown are kept.
    INT_PTR runPage(const std::function<void(HWND)> &hands)
    {
        user.onDialog = [&](const control::DialogShown &dialog) {
            shown = control::dialogControls(dialog.dialog);
            hands(dialog.dialog);
        };
        return DialogBoxIndirectParamW(resources_, template_, owner_, CustomItemOptionsDlgProc, 0);
    }
    static void pressOk(HWND dialog) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

    RecordingUser user;
    std::vector<control::ControlShown> shown;
    fs::path root_;
    HMODULE resources_ = nullptr;
    LPCDLGTEMPLATEW template_ = nullptr;
    HWND owner_ = nullptr;
};

TEST_F(OptionsPage, ShowsTheStoredSettingsAndOkKeepsThemMapped)
{
    struct Settings {
        DWORD fullCharge, softReset, externalPower, gather, ppc2002, brief;
        DWORD logSave, sensor, forecast, offLevel;
    };
    struct Case {
        const char *proves;
        Settings stored;
        std::vector<std::string> shows;   // 1001 1002 1006 1008 1012 1003 1004 1005 1007 1013 1014
        Settings afterOk;
    };
    const Case cases[] = {
        {"the defaults",
         {0, 0, 0, 0, 0, 0, 0, 0, 1, 0},
         {"off", "off", "off", "off", "off", "off", "on", "0", "0", "1", "0"},
         {0, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
        {"everything on, the last entries",
         {1, 1, 1, 1, 1, 1, 60, 2, 2, 20},
         {"on", "on", "on", "on", "on", "on", "off", "4", "2", "2", "4"},
         {1, 1, 1, 1, 1, 1, 60, 2, 2, 20}},
        {"the middle entries",
         {0, 1, 0, 1, 0, 0, 10, 1, 0, 10},
         {"off", "on", "off", "on", "off", "off", "on", "2", "1", "0", "2"},
         {0, 1, 0, 1, 0, 0, 10, 1, 0, 10}},
        // A hand-edited store: any non-zero flag shows checked and is stored as 1; values no
        // entry stands for show the first entry and are stored as its value.
        {"values no entry stands for",
         {2, 7, 0xFFFFFFFF, 0, 3, 9, 15, 7, 1, 12},
         {"on", "on", "on", "off", "on", "on", "off", "0", "0", "1", "0"},
         {1, 1, 1, 0, 1, 1, 0, 0, 1, 0}},
        // A mode outside the list leaves it without a selection; OK stores the low 16 bits of
        // the list's answer, CB_ERR.
        {"a forecast mode outside the list",
         {0, 0, 0, 0, 0, 0, 5, 0, 5, 5},
         {"off", "off", "off", "off", "off", "off", "on", "1", "0", "-1", "1"},
         {0, 0, 0, 0, 0, 0, 5, 0, 65535, 5}},
        {"only the low 16 bits of the mode select",
         {0, 0, 0, 0, 0, 0, 30, 0, 0x10002, 15},
         {"off", "off", "off", "off", "off", "off", "on", "3", "0", "2", "3"},
         {0, 0, 0, 0, 0, 0, 30, 0, 2, 15}},
    };
    const int ids[] = {1001, 1002, 1006, 1008, 1012, 1003, 1004, 1005, 1007, 1013, 1014};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        MeterSettings &s = meterState.settings;
        s = {c.stored.fullCharge, c.stored.softReset, c.stored.externalPower, c.stored.logSave,
             c.stored.gather,     c.stored.brief,     c.stored.sensor,        c.stored.ppc2002,
             c.stored.forecast,   c.stored.offLevel};
        EXPECT_EQ(runPage(pressOk), IDOK);
        for (size_t i = 0; i < c.shows.size(); i++)
            EXPECT_EQ(shows(shown, ids[i]), c.shows[i]) << "control " << ids[i];
        const Settings &e = c.afterOk;
        EXPECT_EQ(s.resetOnFullCharge, e.fullCharge);
        EXPECT_EQ(s.resetOnSoftReset, e.softReset);
        EXPECT_EQ(s.resetOnExternalPower, e.externalPower);
        EXPECT_EQ(s.gatherAppStats, e.gather);
        EXPECT_EQ(s.ppc2002Style, e.ppc2002);
        EXPECT_EQ(s.briefView, e.brief);
        EXPECT_EQ(s.logSaveMinutes, e.logSave);
        EXPECT_EQ(s.chargeSensor, e.sensor);
        EXPECT_EQ(s.forecastMode, e.forecast);
        EXPECT_EQ(s.offLevel, e.offLevel);
    }
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
}

TEST_F(OptionsPage, EachControlEditsItsSetting)
{
    struct Case {
        const char *proves;
        std::function<bool(HWND)> act;
        DWORD MeterSettings::*setting;
        DWORD expected;
    };
    const Case cases[] = {
        {"1001", [](HWND d) { return control::clickControl(d, 1001); }, &MeterSettings::resetOnFullCharge, 1},
        {"1002", [](HWND d) { return control::clickControl(d, 1002); }, &MeterSettings::resetOnSoftReset, 1},
        {"1006", [](HWND d) { return control::clickControl(d, 1006); }, &MeterSettings::resetOnExternalPower,
         1},
        {"1008", [](HWND d) { return control::clickControl(d, 1008); }, &MeterSettings::gatherAppStats, 1},
        {"1012", [](HWND d) { return control::clickControl(d, 1012); }, &MeterSettings::ppc2002Style, 1},
        {"1003", [](HWND d) { return control::clickControl(d, 1003); }, &MeterSettings::briefView, 1},
        {"1004 after 1003",
         [](HWND d) { return control::clickControl(d, 1003) && control::clickControl(d, 1004); },
         &MeterSettings::briefView, 0},
        {"1005 every 5 min.", [](HWND d) { return control::selectListItem(d, 1005, 1); },
         &MeterSettings::logSaveMinutes, 5},
        {"1005 every 30 min.", [](HWND d) { return control::selectListItem(d, 1005, 3); },
         &MeterSettings::logSaveMinutes, 30},
        {"1005 hourly", [](HWND d) { return control::selectListItem(d, 1005, 4); },
         &MeterSettings::logSaveMinutes, 60},
        {"1007 three-state", [](HWND d) { return control::selectListItem(d, 1007, 1); },
         &MeterSettings::chargeSensor, 1},
        {"1007 Dell Axim", [](HWND d) { return control::selectListItem(d, 1007, 2); },
         &MeterSettings::chargeSensor, 2},
        {"1013 none", [](HWND d) { return control::selectListItem(d, 1013, 0); },
         &MeterSettings::forecastMode, 0},
        {"1013 remaining", [](HWND d) { return control::selectListItem(d, 1013, 2); },
         &MeterSettings::forecastMode, 2},
        {"1014 5 %", [](HWND d) { return control::selectListItem(d, 1014, 1); }, &MeterSettings::offLevel, 5},
        {"1014 15 %", [](HWND d) { return control::selectListItem(d, 1014, 3); }, &MeterSettings::offLevel,
         15},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        setDefaultSettings();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, storeKey);
        EXPECT_EQ(runPage([&](HWND dialog) {
                      EXPECT_TRUE(c.act(dialog));
                      pressOk(dialog);
                  }),
                  IDOK);
        EXPECT_EQ(meterState.settings.*c.setting, c.expected);
        // OK saved it.
        MeterSettings inMemory = meterState.settings;
        meterState.settings = {};
        loadMeterState();
        EXPECT_EQ(meterState.settings.*c.setting, c.expected);
        EXPECT_EQ(meterState.settings.*c.setting, inMemory.*c.setting);
    }
}

TEST_F(OptionsPage, ListEntriesInTheirOrder)
{
    runPage(pressOk);
    struct Case {
        int id;
        std::vector<std::string> entries;
    } const cases[] = {
        {1005,
         {"Save Log on demand only", "Save Log every 5 min.", "Save Log every 10 min.",
          "Save Log every 30 min.", "Save Log hourly"}},
        {1007, {"Standard Charge Sensor", "Casio-E115 3-state Charge Sensor", "Dell Axim Charge Sensor"}},
        {1013, {"Do not forecast durvo", "Forecast total durvo", "Forecast time reminded"}},
        // The entries are formats: "%%" shows one percent sign.
        {1014,
         {"PDA turns off on drain battery", "PDA turns off on 5% charge", "PDA turns off on 10% charge",
          "PDA turns off on 15% charge", "PDA turns off on 20% charge"}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> entries;
        for (const control::ControlShown &control : shown)
            if (control.id == c.id)
                for (const std::u16string &entry : control.listItems)
                    entries.push_back(control::toUtf8(entry));
        EXPECT_EQ(entries, c.entries) << c.id;
    }
}

TEST_F(OptionsPage, TheUsageLogStaysOnlyWhileGatheringStaysOn)
{
    struct Case {
        const char *proves;
        DWORD gatheringBefore;
        bool toggle;
        DWORD appCountAfter;
    } const cases[] = {
        {"off and left off", 0, false, 0},
        {"switched on from off", 0, true, 0},
        {"switched off", 1, true, 0},
        {"left on", 1, false, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        meterState.settings.gatherAppStats = c.gatheringBefore;
        fillAppRows(3);
        runPage([&](HWND dialog) {
            if (c.toggle) {
                EXPECT_TRUE(control::clickControl(dialog, IDC_GATHER_APP_STATS));
            }
            pressOk(dialog);
        });
        EXPECT_EQ(meterState.appCount, c.appCountAfter);
        EXPECT_EQ(meterState.settings.gatherAppStats, c.gatheringBefore ^ (c.toggle ? 1u : 0u));
        // The rows stay in place, out of use.
        EXPECT_EQ(control::toUtf8(meterState.apps[2].title), "Program 2");
    }
}

TEST_F(OptionsPage, TheStyleBoxIsHiddenWhereThePlatformForcesTheStyle)
{
    struct Case {
        const char *proves;
        DWORD major, minor;
        const char16_t *platform;
        bool click;
        std::string box;
        DWORD styleDuringPage, styleAfter;
    } const cases[] = {
        {"Windows CE 4: forced", 4, 20, u"PocketPC", false, "hidden", 1, 1},
        {"Windows CE 3 on a Pocket PC: forced", 3, 0, u"PocketPC", false, "hidden", 1, 1},
        {"a forced box cannot be tapped", 4, 20, u"PocketPC", true, "hidden", 1, 1},
        {"another platform: the user's choice", 3, 0, u"Palm-size PC", false, "off", 0, 0},
        {"another platform, box ticked", 3, 0, u"Palm-size PC", true, "off", 0, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setOsVersion(c.major, c.minor);
        control::setPlatformType(c.platform);
        meterState.settings.ppc2002Style = 0;
        DWORD during = 0xdeadbeef;
        runPage([&](HWND dialog) {
            during = meterState.settings.ppc2002Style;
            if (c.click) {
                // A hidden control cannot be tapped.
                EXPECT_EQ(control::clickControl(dialog, IDC_PPC2002_STYLE), c.box != "hidden");
            }
            pressOk(dialog);
        });
        EXPECT_EQ(shows(shown, IDC_PPC2002_STYLE), c.box);
        EXPECT_EQ(during, c.styleDuringPage);
        EXPECT_EQ(meterState.settings.ppc2002Style, c.styleAfter);
    }
}

TEST_F(OptionsPage, OkEndsThePageMeasuresAndSaves)
{
    meterState.settings.ppc2002Style = 0;
    meterState.settings.briefView = 0;
    measureLineHeight(NULL);
    int detailedHeight = lineHeight;
    bool openAfterCancel = false;
    INT_PTR result = runPage([&](HWND dialog) {
        EXPECT_TRUE(control::clickControl(dialog, IDC_BRIEF_VIEW));
        // Only OK ends the page; Cancel is not its way out.
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        openAfterCancel = IsWindow(dialog) && IsWindowVisible(dialog);
        pressOk(dialog);
    });
    EXPECT_EQ(result, IDOK);
    // A full-screen page with the Done button in its title bar, the input panel lowered.
    ASSERT_EQ(user.dialogs.size(), 1u);
    EXPECT_EQ(user.dialogs[0].shellFlags,
              DWORD(SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN));
    EXPECT_EQ(user.dialogs[0].owner, owner_);
    EXPECT_TRUE(openAfterCancel);
    EXPECT_EQ(meterState.settings.briefView, 1u);
    EXPECT_LT(lineHeight, detailedHeight);   // one line of text instead of two
    EXPECT_EQ(lineHeight, 18);
    EXPECT_TRUE(keyExists(storeKey));
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
}

TEST_F(OptionsPage, UnregisterAsksAndLeavesThePageOpen)
{
    const std::string &question = unregisterQuestion;
    using Box = RecordingUser::Box;
    struct Case {
        const char *proves;
        bool keyBefore;
        std::deque<int> answers;
        std::vector<Box> boxes;
        bool keyAfter;
        std::vector<WPARAM> broadcasts;
    };
    const Case cases[] = {
        {"No changes nothing", true, {IDNO}, {{"Unregister plugin", question, MB_YESNO}}, true, {}},
        {"a key already gone",
         false,
         {IDYES, IDOK},
         {{"Unregister plugin", question, MB_YESNO}, {"Unregistered", "Error unregistering plugin", MB_OK}},
         false,
         {}},
        {"the key deleted and the Today screen told",
         true,
         {IDYES, IDOK},
         {{"Unregister plugin", question, MB_YESNO},
          {"Unregistered", "Durvo plugin was successfuly unregistered. Now you may uninstal Norvane Durvo.",
           MB_OK}},
         false,
         {TODAY_REFRESH_WININICHANGE}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        if (c.keyBefore) {
            HKEY key = nullptr;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, todayItemKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr);
            RegCloseKey(key);
        } else {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, todayItemKey);
        }
        broadcastsSeen.clear();
        user.boxes.clear();
        user.boxAnswers = c.answers;
        meterState.settings.offLevel = 0;
        bool openAfter = false;
        HWND page = NULL;
        runPage([&](HWND dialog) {
            page = dialog;
            EXPECT_TRUE(control::clickControl(dialog, IDC_UNREGISTER));
            openAfter = IsWindow(dialog) != 0;
            // A later OK still saves the settings.
            EXPECT_TRUE(control::selectListItem(dialog, IDC_OFF_LEVEL, 2));
            pressOk(dialog);
        });
        EXPECT_TRUE(openAfter);
        user.expectBoxes(c.boxes, page);
        EXPECT_EQ(keyExists(todayItemKey), c.keyAfter);
        EXPECT_EQ(broadcastsSeen, c.broadcasts);
        EXPECT_EQ(meterState.settings.offLevel, 10u);
        // Unregistering leaves the meter's own store alone.
        EXPECT_TRUE(keyExists(storeKey));
    }
}

TEST_F(OptionsPage, UnregisterAnswersWhetherTheKeyWasDeleted)
{
    struct Case {
        const char *proves;
        bool keyBefore;
        std::deque<int> answers;
        int result;
    } const cases[] = {
        {"No", true, {IDNO}, 0},
        {"Yes, no key", false, {IDYES, IDOK}, 0},
        {"Yes", true, {IDYES, IDOK}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, todayItemKey);
        if (c.keyBefore) {
            HKEY key = nullptr;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, todayItemKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr);
            RegCloseKey(key);
        }
        user.boxes.clear();
        user.boxAnswers = c.answers;
        EXPECT_EQ(unregisterPlugin(owner_), c.result);
        EXPECT_EQ(user.boxes.at(0).owner, owner_);
    }
}

TEST_F(OptionsPage, AboutShowsTheAboutBoxOwnedByThePage)
{
    user.boxAnswers = {IDOK};
    HWND page = NULL;
    runPage([&](HWND dialog) {
        page = dialog;
        EXPECT_TRUE(control::clickControl(dialog, IDC_ABOUT));
        pressOk(dialog);
    });
    user.expectBoxes(
        {{"About", "Durvo Meter v3.4.3\n(c) 2005 Norvane. Freeware.\nsupport@norvane.example", MB_OK}}, page);
}

// ---- The order in which the page reads and sets its controls ---------------------------------

// One message a control of the page received.
struct ControlCall {
    int id;
    UINT message;
    bool operator==(const ControlCall &other) const { return id == other.id && message == other.message; }
};
std::ostream &operator<<(std::ostream &out, const ControlCall &call)
{
    const char *name = call.message == BM_SETCHECK ? "BM_SETCHECK"
        : call.message == BM_GETCHECK              ? "BM_GETCHECK"
        : call.message == CB_ADDSTRING             ? "CB_ADDSTRING"
        : call.message == CB_SETCURSEL             ? "CB_SETCURSEL"
        : call.message == CB_GETCURSEL             ? "CB_GETCURSEL"
                                                   : "?";
    return out << call.id << " " << name;
}

std::vector<ControlCall> controlCalls;

// Stands for every control of the page and notes what the page asks of it.
LRESULT CALLBACK recordingControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case BM_SETCHECK:
    case BM_GETCHECK:
    case CB_ADDSTRING:
    case CB_SETCURSEL:
    case CB_GETCURSEL: controlCalls.push_back({GetDlgCtrlID(window), message}); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

TEST(OptionsPageOrder, InitialisationAndOkWorkTheControlsInTheirOrder)
{
    control::resetDevice();
    control::setOsVersion(3, 0);   // the style box is the user's choice, so it is read and set
    control::setPlatformType(u"Palm-size PC");
    meterState = MeterState{};
    setDefaultSettings();
    resetTimers();
    itemWindow = NULL;

    WNDCLASSW page = {};
    page.lpfnWndProc = DefWindowProcW;
    page.lpszClassName = TEXT("RecordedPage");
    RegisterClassW(&page);
    WNDCLASSW item = {};
    item.lpfnWndProc = recordingControlProc;
    item.lpszClassName = TEXT("RecordedControl");
    RegisterClassW(&item);
    HWND dialog = CreateWindowExW(0, TEXT("RecordedPage"), TEXT("Durvo settings"), WS_POPUP, 0, 0, 240, 320,
                                  NULL, NULL, NULL, NULL);
    for (const TemplateItem &control : expectedItems) {
        CreateWindowExW(0, TEXT("RecordedControl"), TEXT(""), WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, dialog,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), NULL, NULL);
    }
    auto times = [](int count, ControlCall call) { return std::vector<ControlCall>(count, call); };
    auto join = [](std::initializer_list<std::vector<ControlCall>> parts) {
        std::vector<ControlCall> all;
        for (const auto &part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };

    // Check boxes, the style box, the view, then the lists 1005, 1007, 1013 and 1014, each
    // filled and then given its selection.
    controlCalls.clear();
    EXPECT_EQ(CustomItemOptionsDlgProc(dialog, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(controlCalls,
              join({{{1001, BM_SETCHECK},
                     {1002, BM_SETCHECK},
                     {1006, BM_SETCHECK},
                     {1008, BM_SETCHECK},
                     {1012, BM_SETCHECK},
                     {1003, BM_SETCHECK},
                     {1004, BM_SETCHECK}},
                    times(5, {1005, CB_ADDSTRING}),
                    {{1005, CB_SETCURSEL}},
                    times(3, {1007, CB_ADDSTRING}),
                    {{1007, CB_SETCURSEL}},
                    times(3, {1013, CB_ADDSTRING}),
                    {{1013, CB_SETCURSEL}},
                    times(5, {1014, CB_ADDSTRING}),
                    {{1014, CB_SETCURSEL}}}));

    // OK: the log and sensor lists, the check boxes, the view, the style box, then the
    // forecast and off-level lists.
    controlCalls.clear();
    CustomItemOptionsDlgProc(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(controlCalls,
              (std::vector<ControlCall>{{1005, CB_GETCURSEL},
                                        {1007, CB_GETCURSEL},
                                        {1001, BM_GETCHECK},
                                        {1002, BM_GETCHECK},
                                        {1006, BM_GETCHECK},
                                        {1008, BM_GETCHECK},
                                        {1003, BM_GETCHECK},
                                        {1012, BM_GETCHECK},
                                        {1013, CB_GETCURSEL},
                                        {1014, CB_GETCURSEL}}));
    DestroyWindow(dialog);
    control::resetDevice();
}

}   // namespace
