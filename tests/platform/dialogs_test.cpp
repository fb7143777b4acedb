// Dialog boxes through the Win32 API and the user: reading templates (the parser's own suite,
// fed every defect), creation order, controls placed from dialog units, the modal loop and its
// unanswered end, the dialog helper calls, SHInitDialog, pictures, and templates found by name
// in a library's resources.
#include "conformance.h"

#include <gtest/gtest.h>

#include "platform/dialog_builder.h"

#if OUR_LAYER_ONLY
#include <aygshell.h>
#include <unistd.h>

#include "../../platform/src/dialog_template.h"
#include "platform/testlib/testlib.h"
#endif

#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

static bool operator==(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static void PrintTo(const RECT &r, std::ostream *os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

namespace fs = std::filesystem;
using dlgtest::Dialog;
using dlgtest::Item;

// ---- What the dialog procedure sees and does -------------------------------------------------

// One message seen by the dialog (who 0) or by a recording control (who = its id). detail is
// the focus control's id for WM_INITDIALOG, wParam for WM_SHOWWINDOW and WM_COMMAND, and
// whether a font came for WM_SETFONT.
struct Seen {
    int who;
    UINT message;
    LPARAM detail;

    bool operator==(const Seen &) const = default;
};

void PrintTo(const Seen &s, std::ostream *os)
{
    *os << "{" << s.who << ", 0x" << std::hex << s.message << std::dec << ", " << s.detail << "}";
}

struct Script {
    std::vector<Seen> seen;
    LPARAM initParam = 0;
    // What the dialog procedure does beyond recording; FALSE when unset.
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handler;
};
Script script;

const std::set<UINT> kRecorded = {WM_NCCREATE,   WM_CREATE,  WM_SETFONT, WM_INITDIALOG,
                                  WM_SHOWWINDOW, WM_COMMAND, WM_DESTROY, WM_NCDESTROY};

LPARAM detailOf(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG: return wParam ? GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) : 0;
    case WM_SHOWWINDOW:
    case WM_COMMAND: return static_cast<LPARAM>(wParam);
    case WM_SETFONT: return wParam != 0;
    default: return 0;
    }
}

INT_PTR CALLBACK recordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (kRecorded.count(message)) {
        script.seen.push_back({0, message, detailOf(message, wParam)});
    }
    if (message == WM_INITDIALOG) {
        script.initParam = lParam;
    }
    return script.handler ? script.handler(dialog, message, wParam, lParam) : FALSE;
}

// A control class that records its own messages, for the creation order.
LRESULT CALLBACK recorderControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (kRecorded.count(message)) {
        const auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        const int id = message == WM_NCCREATE || message == WM_CREATE
            ? static_cast<int>(reinterpret_cast<intptr_t>(cs->hMenu))
            : GetDlgCtrlID(window);
        script.seen.push_back({id, message, detailOf(message, wParam)});
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Ends the dialog with `result` when control `id` sends WM_COMMAND.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> endOn(int id, INT_PTR result)
{
    return [id, result](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == id) {
            EndDialog(dialog, result);
            return TRUE;
        }
        return FALSE;
    };
}

void onShown(std::function<void(const conformance::DialogSeen &)> act)
{
    conformance::answerDialogs(std::move(act));
}

#if OUR_LAYER_ONLY
// The scripted user, for what only it sees (the flags SHInitDialog was given).
void onShownToOurUser(std::function<void(const control::DialogShown &)> act)
{
    control::ScriptedUser user;
    user.dialog = std::move(act);
    control::setUser(user);
}
#endif

INT_PTR run(const Dialog &d, HWND owner = nullptr, LPARAM param = 0)
{
    const std::vector<BYTE> bytes = dlgtest::build(d);
    return DialogBoxIndirectParamW(nullptr, dlgtest::asTemplate(bytes), owner, recordingProc, param);
}

// A page with a check box, a radio pair, a list and two push buttons, as a settings page has.
Dialog settingsPage()
{
    Dialog d;
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    d.cx = 136;
    d.cy = 154;
    d.title = u"Settings";
    d.face = u"System";
    d.items = {
        dlgtest::item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 6, 7, 122, 10, 1001,
                      dlgtest::ordinal(dlgtest::kButton), dlgtest::text(u"First option")),
        dlgtest::item(WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 0, 6, 101, 51, 10, 1003,
                      dlgtest::ordinal(dlgtest::kButton), dlgtest::text(u"Brief")),
        dlgtest::item(WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 0, 63, 101, 65, 10, 1004,
                      dlgtest::ordinal(dlgtest::kButton), dlgtest::text(u"Detailed")),
        dlgtest::item(WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 0, 6, 49, 122, 53,
                      1005, dlgtest::ordinal(dlgtest::kComboBox), dlgtest::text(u"")),
        dlgtest::item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 14, 129, 44, 15, 1009,
                      dlgtest::ordinal(dlgtest::kButton), dlgtest::text(u"About")),
        dlgtest::item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 69, 129, 52, 15, 1010,
                      dlgtest::ordinal(dlgtest::kButton), dlgtest::text(u"Remove")),
    };
    return d;
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        conformance::freshStart();
        script = Script{};
    }

    void TearDown() override
    {
#if OUR_LAYER_ONLY
        // Every dialog gives back its font, icons and contexts, and leaves no window behind.
        const control::GdiCounts live = control::liveGdiObjects();
        EXPECT_EQ(live.fonts, 0);
        EXPECT_EQ(live.icons, 0);
        EXPECT_EQ(live.deviceContexts, 0);
        EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
#endif
        conformance::freshStart();
    }
};

// ---- Template parsing ------------------------------------------------------------------------

#if OUR_LAYER_ONLY   // our template reader's own functions

TEST(DialogTemplateParsing, ClassicTemplateGivesEveryField)
{
    Dialog d;
    d.style = WS_POPUP | WS_CAPTION | DS_SETFONT | DS_MODALFRAME;
    d.exStyle = WS_EX_TOPMOST;
    d.x = -3;
    d.y = 4;
    d.cx = 136;
    d.cy = 154;
    d.menu = dlgtest::ordinal(7);
    d.windowClass = dlgtest::text(u"MyDialogClass");
    d.title = u"Options";
    d.pointSize = 9;
    d.face = u"Tahoma";
    d.items = {
        dlgtest::item(WS_CHILD | BS_AUTOCHECKBOX, WS_EX_TOPMOST, 6, 7, 122, 10, 1001, dlgtest::ordinal(0x80),
                      dlgtest::text(u"Check")),
        dlgtest::item(WS_CHILD | SS_ICON, 0, 1, 2, 3, 4, 0xFFFF, dlgtest::ordinal(0x82),
                      dlgtest::ordinal(101), {0xAA, 0xBB, 0xCC}),
        dlgtest::item(WS_CHILD, 0, 0, 0, 5, 5, 3, dlgtest::text(u"Custom"), dlgtest::text(u"")),
    };
    const auto parsed = dialogs::parseDialogTemplate(dlgtest::build(d));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_FALSE(parsed->extended);
    EXPECT_EQ(parsed->style, d.style);
    EXPECT_EQ(parsed->exStyle, d.exStyle);
    EXPECT_EQ(parsed->x, -3);
    EXPECT_EQ(parsed->y, 4);
    EXPECT_EQ(parsed->cx, 136);
    EXPECT_EQ(parsed->cy, 154);
    EXPECT_EQ(parsed->menu.kind, dialogs::NameOrOrdinal::Kind::Ordinal);
    EXPECT_EQ(parsed->menu.ordinal, 7);
    EXPECT_EQ(parsed->windowClass.kind, dialogs::NameOrOrdinal::Kind::String);
    EXPECT_EQ(parsed->windowClass.text, u"MyDialogClass");
    EXPECT_EQ(parsed->title, u"Options");
    EXPECT_TRUE(parsed->hasFont);
    EXPECT_EQ(parsed->pointSize, 9);
    EXPECT_EQ(parsed->weight, 0);
    EXPECT_EQ(parsed->faceName, u"Tahoma");
    ASSERT_EQ(parsed->items.size(), 3u);

    const dialogs::ItemTemplate &check = parsed->items[0];
    EXPECT_EQ(check.style, WS_CHILD | BS_AUTOCHECKBOX);
    EXPECT_EQ(check.exStyle, static_cast<DWORD>(WS_EX_TOPMOST));
    EXPECT_EQ((std::vector<int>{check.x, check.y, check.cx, check.cy}), (std::vector<int>{6, 7, 122, 10}));
    EXPECT_EQ(check.id, 1001u);
    EXPECT_EQ(check.windowClass.ordinal, 0x80);
    EXPECT_EQ(check.title.text, u"Check");
    EXPECT_TRUE(check.creationData.empty());

    const dialogs::ItemTemplate &icon = parsed->items[1];
    EXPECT_EQ(icon.id, 0xFFFFu);   // a WORD in the classic form
    EXPECT_EQ(icon.title.kind, dialogs::NameOrOrdinal::Kind::Ordinal);
    EXPECT_EQ(icon.title.ordinal, 101);
    EXPECT_EQ(icon.creationData, (std::vector<BYTE>{0xAA, 0xBB, 0xCC}));

    const dialogs::ItemTemplate &custom = parsed->items[2];
    EXPECT_EQ(custom.windowClass.kind, dialogs::NameOrOrdinal::Kind::String);
    EXPECT_EQ(custom.windowClass.text, u"Custom");
    EXPECT_EQ(custom.title.kind, dialogs::NameOrOrdinal::Kind::None);
}

TEST(DialogTemplateParsing, ExtendedTemplateGivesEveryField)
{
    Dialog d;
    d.extended = true;
    d.helpId = 77;
    d.style = WS_POPUP | DS_SETFONT;
    d.weight = FW_BOLD;
    d.italic = 1;
    d.charSet = 2;
    d.face = u"MS Shell Dlg";
    Item item;
    item.helpId = 5;
    item.id = 0xFFFFFFFF;   // a DWORD in the extended form
    item.title = dlgtest::text(u"Wide");
    d.items = {item};
    const auto parsed = dialogs::parseDialogTemplate(dlgtest::build(d));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(parsed->extended);
    EXPECT_EQ(parsed->helpId, 77u);
    EXPECT_EQ(parsed->style, d.style);
    EXPECT_EQ(parsed->weight, FW_BOLD);
    EXPECT_EQ(parsed->italic, 1);
    EXPECT_EQ(parsed->charSet, 2);
    EXPECT_EQ(parsed->faceName, u"MS Shell Dlg");
    ASSERT_EQ(parsed->items.size(), 1u);
    EXPECT_EQ(parsed->items[0].helpId, 5u);
    EXPECT_EQ(parsed->items[0].id, 0xFFFFFFFFu);
    EXPECT_EQ(parsed->items[0].title.text, u"Wide");
}

TEST(DialogTemplateParsing, WithoutSetFontThereIsNoFontField)
{
    Dialog d;
    d.style = WS_POPUP;
    d.title = u"No font";
    d.items = {Item{}};
    const auto parsed = dialogs::parseDialogTemplate(dlgtest::build(d));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_FALSE(parsed->hasFont);
    EXPECT_EQ(parsed->faceName, u"");
    EXPECT_EQ(parsed->items.size(), 1u);
}

// Any template cut short, at any byte and so at every field boundary, is refused whole.
TEST(DialogTemplateParsing, EveryTruncationIsRefused)
{
    for (bool extended : {false, true}) {
        SCOPED_TRACE(extended ? "extended" : "classic");
        Dialog d = settingsPage();
        d.extended = extended;
        d.menu = dlgtest::text(u"Menu");
        d.items[1].data = {1, 2, 3, 4, 5};
        const std::vector<BYTE> bytes = dlgtest::build(d);
        ASSERT_TRUE(dialogs::parseDialogTemplate(bytes).has_value());
        for (size_t length = 0; length < bytes.size(); ++length) {
            // Copied, so that a read past the shortened end would be a fault the sanitizers see.
            const std::vector<BYTE> prefix(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
            EXPECT_FALSE(dialogs::parseDialogTemplate(prefix).has_value()) << "cut at byte " << length;
        }
    }
}

TEST(DialogTemplateParsing, DefectsAreRefused)
{
    struct Case {
        const char *proves;
        std::function<void(std::vector<BYTE> &)> spoil;
    };
    const std::vector<Case> cases = {
        {"a count of more items than there are",
         [](std::vector<BYTE> &b) { b[8] = static_cast<BYTE>(b[8] + 1); }},
        {"the last title without its terminator",
         [](std::vector<BYTE> &b) {
             b.resize(b.size() - 4);   // the empty title and the data size go
             b.insert(b.end(), {'x', 0});
         }},
        {"creation data longer than what is left", [](std::vector<BYTE> &b) { b[b.size() - 2] = 9; }},
        {"an item without a class",
         [](std::vector<BYTE> &b) {
             b.resize(b.size() - 8);   // class ordinal, empty title and data size
             b.insert(b.end(), {0, 0, 0, 0, 0, 0});
         }},
    };
    Dialog d;
    d.style = WS_POPUP;
    Item item;
    item.windowClass = dlgtest::ordinal(dlgtest::kStatic);
    d.items = {item};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        std::vector<BYTE> bytes = dlgtest::build(d);
        ASSERT_TRUE(dialogs::parseDialogTemplate(bytes).has_value());
        c.spoil(bytes);
        EXPECT_FALSE(dialogs::parseDialogTemplate(bytes).has_value());
    }
}

TEST(DialogTemplateParsing, PredefinedClassOrdinals)
{
    const struct {
        WORD ordinal;
        std::u16string name;
    } cases[] = {
        {0x0080, u"Button"},    {0x0081, u"Edit"},     {0x0082, u"Static"}, {0x0083, u"ListBox"},
        {0x0084, u"ScrollBar"}, {0x0085, u"ComboBox"}, {0x0000, u"Button"},   // 0 to 5 count as 0x80 to 0x85, as Windows takes them
        {0x0005, u"ComboBox"},  {0x0006, u""},         {0x0086, u""},       {0x007F, u""},
        {0xC000, u""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(dialogs::predefinedClassName(c.ordinal), c.name) << "ordinal " << c.ordinal;
    }
}

#endif

// ---- Creation --------------------------------------------------------------------------------

TEST_F(Dialogs, CreationSendsMessagesInWindowsOrder)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = recorderControlProc;
    wc.lpszClassName = TEXT("Recorder");
    ASSERT_NE(RegisterClassW(&wc), 0);
    Dialog d;
    d.style = WS_POPUP | WS_VISIBLE | DS_SETFONT;
    d.items = {dlgtest::item(WS_CHILD | WS_VISIBLE, 0, 0, 0, 10, 10, 11, dlgtest::text(u"Recorder"),
                             dlgtest::text(u"a")),
               dlgtest::item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 20, 10, 10, 12,
                             dlgtest::text(u"recorder"), dlgtest::text(u"b"))};
    onShown([](const conformance::DialogSeen &shown) {
        script.seen.push_back({-1, 0, 0});   // the user's turn
        EndDialog(shown.dialog, 5);
    });
    EXPECT_EQ(run(d, nullptr, 0x5A5A), 5);
    EXPECT_EQ(script.initParam, 0x5A5A);
    const std::vector<Seen> expected = {
        // The dialog procedure is set once the window exists: it sees no WM_NCCREATE/WM_CREATE.
        {0, WM_SETFONT, 1},
        // A control made visible is shown once made, then gets the dialog's font.
        {11, WM_NCCREATE, 0},
        {11, WM_CREATE, 0},
        {11, WM_SHOWWINDOW, TRUE},
        {11, WM_SETFONT, 1},
        {12, WM_NCCREATE, 0},
        {12, WM_CREATE, 0},
        {12, WM_SHOWWINDOW, TRUE},
        {12, WM_SETFONT, 1},
        {0, WM_INITDIALOG, 12},   // wParam: the first tab stop
        {0, WM_SHOWWINDOW, TRUE},
        {-1, 0, 0},   // EndDialog hides at once, through SetWindowPos: no WM_SHOWWINDOW
        // Every WM_DESTROY comes while the whole tree still exists, then WM_NCDESTROY child first.
        {0, WM_DESTROY, 0},
        {11, WM_DESTROY, 0},
        {12, WM_DESTROY, 0},
        {11, WM_NCDESTROY, 0},
        {12, WM_NCDESTROY, 0},
        {0, WM_NCDESTROY, 0},
    };
    EXPECT_EQ(script.seen, expected);
}

#if OUR_LAYER_ONLY   // our text metrics, frames and screen
TEST_F(Dialogs, ControlsArePlacedFromDialogUnits)
{
    Dialog d = settingsPage();
    std::vector<control::ControlShown> controls;
    RECT mapped{4, 8, 8, 16};
    BOOL mappedOk = FALSE;
    LOGFONTW font{};
    onShown([&](const conformance::DialogSeen &shown) {
        controls = control::dialogControls(shown.dialog);
        mappedOk = MapDialogRect(shown.dialog, &mapped);
        GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(shown.dialog, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EndDialog(shown.dialog, 1);
    });
    ASSERT_EQ(run(d), 1);
    // "System" 8 points at 96 dpi: base units 6 x 13 in the text-metrics model.
    EXPECT_EQ(mappedOk, TRUE);
    EXPECT_EQ(mapped, (RECT{6, 13, 12, 26}));
    EXPECT_EQ(font.lfHeight, -11);
    EXPECT_EQ(std::u16string(font.lfFaceName), u"System");

    struct Expected {
        int id;
        std::u16string className;
        std::u16string text;
        RECT rect;
    };
    const std::vector<Expected> expected = {
        {1001, u"button", u"First option", {9, 11, 192, 27}},
        {1003, u"button", u"Brief", {9, 164, 86, 180}},
        {1004, u"button", u"Detailed", {95, 164, 193, 180}},
        // A drop-down list keeps its field's height: one line (13) and 3 pixels above and below.
        {1005, u"combobox", u"", {9, 80, 192, 99}},
        {1009, u"button", u"About", {21, 210, 87, 234}},
        {1010, u"button", u"Remove", {104, 210, 182, 234}},
    };
    ASSERT_EQ(controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].id);
        EXPECT_EQ(controls[i].id, expected[i].id);
        EXPECT_EQ(controls[i].className, expected[i].className);
        EXPECT_EQ(controls[i].text, expected[i].text);
        EXPECT_EQ(controls[i].style, d.items[i].style);
        EXPECT_EQ(controls[i].rect, expected[i].rect);
        EXPECT_TRUE(controls[i].visible);
    }
}

TEST_F(Dialogs, DialogWindowHasTheTemplateSizeInsideItsFrame)
{
    Dialog d = settingsPage();
    d.x = 10;
    d.y = 12;
    RECT window{}, client{};
    onShown([&](const conformance::DialogSeen &shown) {
        GetWindowRect(shown.dialog, &window);
        GetClientRect(shown.dialog, &client);
        EndDialog(shown.dialog, 1);
    });
    ASSERT_EQ(run(d), 1);
    // 136 x 154 units are 204 x 250 pixels of client area; the frame adds a one-pixel border
    // and the 26-pixel caption. Without an owner the position is on the screen: the client area
    // at (15, 20) puts the window at (14, -7), which is moved down onto the screen.
    EXPECT_EQ(client, (RECT{0, 0, 204, 250}));
    EXPECT_EQ(window, (RECT{14, 0, 14 + 206, 278}));
}

// Base units come from the text-metrics model: the dialog's own font (normal weight) for
// MapDialogRect, the bold system font for GetDialogBaseUnits.
TEST_F(Dialogs, CentredDialogLiesInTheMiddleOfTheScreen)
{
    control::setScreenSize(640, 480);
    Dialog d = settingsPage();
    d.style |= DS_CENTER;
    RECT window{};
    onShown([&](const conformance::DialogSeen &shown) {
        GetWindowRect(shown.dialog, &window);
        EndDialog(shown.dialog, 1);
    });
    ASSERT_EQ(run(d), 1);
    EXPECT_EQ(window, (RECT{(640 - 206) / 2, (480 - 278) / 2, (640 - 206) / 2 + 206, (480 - 278) / 2 + 278}));
}

TEST_F(Dialogs, BaseUnitsFollowTheDpiAndTheFont)
{
    const struct {
        int dpi;
        RECT dialogUnits;   // MapDialogRect of {4, 8, 0, 0}: one base unit each way
        LONG systemUnits;
    } cases[] = {{96, {6, 13, 0, 0}, MAKELONG(6, 13)}, {192, {12, 25, 0, 0}, MAKELONG(13, 25)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dpi);
        control::setDpi(c.dpi);
        EXPECT_EQ(GetDialogBaseUnits(), c.systemUnits);
        RECT units{4, 8, 0, 0};
        onShown([&](const conformance::DialogSeen &shown) {
            MapDialogRect(shown.dialog, &units);
            EndDialog(shown.dialog, 1);
        });
        ASSERT_EQ(run(settingsPage()), 1);
        EXPECT_EQ(units, c.dialogUnits);
    }
}

#endif

// ---- The modal loop --------------------------------------------------------------------------

TEST_F(Dialogs, EndDialogResultIsReturnedAndTheDialogIsGone)
{
    script.handler = endOn(1010, 42);
    HWND dialog = nullptr;
    onShown([&](const conformance::DialogSeen &shown) {
        dialog = shown.dialog;
        EXPECT_TRUE(IsWindowVisible(shown.dialog));
        EXPECT_TRUE(conformance::pressButton(shown.dialog, 1010));
        EXPECT_FALSE(IsWindowVisible(shown.dialog));   // hidden, destroyed once the user is done
        EXPECT_TRUE(IsWindow(shown.dialog));
    });
    EXPECT_EQ(run(settingsPage()), 42);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(Dialogs, EndDialogDuringInitialisationShowsNothing)
{
    script.handler = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) EndDialog(dialog, 9);
        return FALSE;
    };
    int shown = 0;
    onShown([&](const conformance::DialogSeen &) { ++shown; });
    Dialog d = settingsPage();
    d.style |= WS_VISIBLE;
    EXPECT_EQ(run(d), 9);
    EXPECT_EQ(shown, 0);
    for (const Seen &s : script.seen) EXPECT_NE(s.message, static_cast<UINT>(WM_SHOWWINDOW));
}

#if OUR_LAYER_ONLY   // the scripted user's record of what it left unanswered
TEST_F(Dialogs, UnansweredDialogEndsWithMinusOneAndSaysWhich)
{
    const struct {
        const char *proves;
        bool withUser;
        std::string prompt;
    } cases[] = {
        {"the user returned with the dialog open", true,
         "dialog \"Settings\" was not answered (still open when the user's callback returned)"},
        {"nobody to answer", false, "dialog \"Settings\" was not answered (no user to answer it)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setUser({});
        HWND dialog = nullptr;
        if (c.withUser) onShown([&](const conformance::DialogSeen &shown) { dialog = shown.dialog; });
        script.handler = [&](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) dialog = d;
            return FALSE;
        };
        EXPECT_EQ(run(settingsPage()), -1);
        EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{c.prompt});
        EXPECT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindow(dialog));
    }
}

#endif

TEST_F(Dialogs, DialogDestroyedByItsProcedureReturnsZero)
{
    script.handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == 1010) {
            DestroyWindow(dialog);
            return TRUE;
        }
        return FALSE;
    };
    onShown([](const conformance::DialogSeen &shown) { conformance::pressButton(shown.dialog, 1010); });
    EXPECT_EQ(run(settingsPage()), 0);
}

TEST_F(Dialogs, PostedMessagesAreDispatchedBeforeTheUsersTurn)
{
    script.handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 2);
        return FALSE;
    };
    int shown = 0;
    onShown([&](const conformance::DialogSeen &) { ++shown; });
    EXPECT_EQ(run(settingsPage()), 2);
    EXPECT_EQ(shown, 0);
}

LRESULT CALLBACK ownDialogClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) script.seen.push_back({-2, message, 0});
    return DefDlgProcW(window, message, wParam, lParam);
}

// A dialog of its own class: with DefDlgProcW behind it the dialog procedure works as usual;
// with a procedure that never calls it, DialogBox still ends it and frees its font.
TEST_F(Dialogs, TemplateMayNameItsOwnClass)
{
    const struct {
        const WCHAR *className;
        WNDPROC proc;
        bool initialised;
    } cases[] = {{TEXT("OwnDialog"), ownDialogClassProc, true}, {TEXT("BareDialog"), DefWindowProcW, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proc == DefWindowProcW ? "BareDialog" : "OwnDialog");
        script = Script{};
        WNDCLASSW wc{};
        wc.lpfnWndProc = c.proc;
        wc.cbWndExtra = DLGWINDOWEXTRA;   // what a dialog keeps of its own, as Windows asks of a dialog class
        wc.lpszClassName = c.className;
        ASSERT_NE(RegisterClassW(&wc), 0);
        Dialog d = settingsPage();
        d.windowClass = dlgtest::text(std::u16string(c.className, c.className + WString(c.className).size()));
        WCHAR className[32] = {};
        onShown([&](const conformance::DialogSeen &shown) {
            GetClassNameW(shown.dialog, className, 32);
            EndDialog(shown.dialog, 4);
        });
        EXPECT_EQ(run(d), 4);
        EXPECT_EQ(WString(className), c.className);
        bool initialised = false;
        for (const Seen &s : script.seen) initialised = initialised || s.message == WM_INITDIALOG;
        EXPECT_EQ(initialised, c.initialised);
#if OUR_LAYER_ONLY
        EXPECT_EQ(control::liveGdiObjects().fonts, 0);
#endif
    }
}

TEST_F(Dialogs, OwnerIsDisabledWhileTheDialogRuns)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = TEXT("OwnerWindow");
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND top = CreateWindowExW(0, TEXT("OwnerWindow"), TEXT("Top"), WS_POPUP | WS_VISIBLE, 0, 0, 240, 320,
                               nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExW(0, TEXT("OwnerWindow"), TEXT("Item"), WS_CHILD | WS_VISIBLE, 0, 60, 240, 20,
                                 top, nullptr, nullptr, nullptr);
    conformance::DialogSeen seen;
    BOOL topEnabled = TRUE;
    onShown([&](const conformance::DialogSeen &shown) {
        seen = shown;
        topEnabled = IsWindowEnabled(top);
        EndDialog(shown.dialog, 3);
        EXPECT_TRUE(IsWindowEnabled(top));   // EndDialog gives the owner back at once
    });
    EXPECT_EQ(run(settingsPage(), child), 3);
    EXPECT_EQ(topEnabled, FALSE);   // a child's top-level window is the one disabled
    EXPECT_TRUE(IsWindowEnabled(top));
    EXPECT_TRUE(IsWindowEnabled(child));
#if OUR_LAYER_ONLY
    EXPECT_EQ(seen.owner, child);   // our user sees the owner as it was given
#else
    EXPECT_EQ(seen.owner, top);   // a dialog's owner is a top-level window
#endif
    EXPECT_EQ(seen.title, TEXT("Settings"));
    DestroyWindow(top);
}

TEST_F(Dialogs, BadArgumentsFailWithMinusOne)
{
    const std::vector<BYTE> bytes = dlgtest::build(settingsPage());
    const struct {
        const char *proves;
        LPCDLGTEMPLATEW templ;
        HWND owner;
        DWORD error;
    } cases[] = {
        {"no template", nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {"an owner that is no window", dlgtest::asTemplate(bytes), reinterpret_cast<HWND>(0x4321),
         ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        SetLastError(0);
        EXPECT_EQ(DialogBoxIndirectParamW(nullptr, c.templ, c.owner, recordingProc, 0), -1);
        if (c.templ != nullptr
            || OUR_LAYER_ONLY) {   // no template: Windows documents no code, Wine sets none
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_TRUE(script.seen.empty());
    }
}

TEST_F(Dialogs, MessageBoxInsideADialogIsAnsweredToo)
{
    script.handler = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == 1010) {
            if (MessageBoxW(dialog, TEXT("Sure?"), TEXT("Question"), MB_YESNO) == IDYES) EndDialog(dialog, 6);
            return TRUE;
        }
        return FALSE;
    };
    std::vector<conformance::BoxSeen> boxes;
    conformance::answerMessageBoxes(IDYES, &boxes);
    HWND dialogShown = nullptr;
    onShown([&](const conformance::DialogSeen &shown) {
        dialogShown = shown.dialog;
        conformance::pressButton(shown.dialog, 1010);
    });
    EXPECT_EQ(run(settingsPage()), 6);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, dialogShown);
    EXPECT_EQ(boxes[0].text, TEXT("Sure?"));
}

// ---- Helpers ---------------------------------------------------------------------------------

TEST_F(Dialogs, HelpersOnMissingControlsAndNonDialogs)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = TEXT("Plain");
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND plain = CreateWindowExW(0, TEXT("Plain"), TEXT(""), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    HWND gone = reinterpret_cast<HWND>(0x7777);
    onShown([&](const conformance::DialogSeen &shown) {
        SetLastError(0);
        EXPECT_EQ(GetDlgItem(shown.dialog, 4242), nullptr);
#if OUR_LAYER_ONLY   // the error code: Windows documents none, Wine sets none
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
#endif
        EXPECT_EQ(SendDlgItemMessageW(shown.dialog, 4242, BM_GETCHECK, 0, 0), 0);
        EXPECT_EQ(SetDlgItemTextW(shown.dialog, 4242, TEXT("x")), FALSE);
#if OUR_LAYER_ONLY   // Windows does not say; Wine answers TRUE for a control that is not there
        EXPECT_EQ(CheckDlgButton(shown.dialog, 4242, BST_CHECKED), FALSE);
#endif
        EXPECT_EQ(GetDlgCtrlID(GetDlgItem(shown.dialog, 1004)), 1004);
        EndDialog(shown.dialog, 1);
    });
    ASSERT_EQ(run(settingsPage()), 1);

    const struct {
        HWND window;
        DWORD error;
    } nonDialogs[] = {{plain, ERROR_WINDOW_NOT_DIALOG}, {gone, ERROR_INVALID_WINDOW_HANDLE}};
    for (const auto &c : nonDialogs) {
        SetLastError(0);
        EXPECT_EQ(EndDialog(c.window, 1), FALSE);
#if OUR_LAYER_ONLY   // the error code: Windows documents none, Wine sets none
        EXPECT_EQ(GetLastError(), c.error);
#endif
        RECT r{1, 2, 3, 4};
        EXPECT_EQ(MapDialogRect(c.window, &r), FALSE);
        EXPECT_EQ(r, (RECT{1, 2, 3, 4}));
    }
    SetLastError(0);
    EXPECT_EQ(GetDlgItem(gone, 1), nullptr);
#if OUR_LAYER_ONLY   // the error code: Windows documents none, Wine sets none
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
#endif
    DestroyWindow(plain);
}

TEST_F(Dialogs, ItemTextIsSetAndReadWithWin32Truncation)
{
    onShown([](const conformance::DialogSeen &shown) {
        EXPECT_EQ(SetDlgItemTextW(shown.dialog, 1009, TEXT("Hello world")), TRUE);
        WCHAR buffer[8];
        std::fill(std::begin(buffer), std::end(buffer), static_cast<WCHAR>(0xBDBD));
        // Six units: five of text and the terminator; the two after stay untouched.
        EXPECT_EQ(GetDlgItemTextW(shown.dialog, 1009, buffer, 6), 5u);
        EXPECT_EQ(WString(buffer), TEXT("Hello"));
        EXPECT_EQ(buffer[6], 0xBDBD);
        EXPECT_EQ(buffer[7], 0xBDBD);

        std::fill(std::begin(buffer), std::end(buffer), static_cast<WCHAR>(0xBDBD));
        EXPECT_EQ(GetDlgItemTextW(shown.dialog, 4242, buffer, 8), 0u);
        EXPECT_EQ(buffer[0], 0);   // a missing control leaves an empty string
        EXPECT_EQ(buffer[1], 0xBDBD);

        // The 8-bit call reads Windows-1252.
        EXPECT_EQ(SetDlgItemTextA(shown.dialog, 1010, "Caf\xE9"), TRUE);
        WCHAR wide[16] = {};
        GetDlgItemTextW(shown.dialog, 1010, wide, 16);
        EXPECT_EQ(WString(wide), TEXT("Caf\u00E9"));
        EndDialog(shown.dialog, 1);
    });
    ASSERT_EQ(run(settingsPage()), 1);
}

TEST_F(Dialogs, CheckRadioButtonSetsEveryControlInTheRange)
{
    onShown([](const conformance::DialogSeen &shown) {
        HWND d = shown.dialog;
        CheckDlgButton(d, 1001, BST_UNCHECKED);
        const struct {
            const char *proves;
            int first, last, check;
            std::vector<UINT> expected;   // 1001, 1003, 1004
        } cases[]
            = { {"checks one and clears the other", 1003, 1004, 1004, {0, 0, 1}},
#if OUR_LAYER_ONLY   // Windows does not say; Wine takes bounds in the wrong order as an empty range
                {"bounds in either order", 1004, 1003, 1003, {0, 1, 0}},
#endif
                {"a check box inside the range is set too", 1001, 1004, 1001, {1, 0, 0}},
                {"an id outside the range clears them all", 1003, 1004, 1010, {1, 0, 0}},
              };
        for (const auto &c : cases) {
            SCOPED_TRACE(c.proves);
            EXPECT_EQ(CheckRadioButton(d, c.first, c.last, c.check), TRUE);
            EXPECT_EQ((std::vector<UINT>{IsDlgButtonChecked(d, 1001), IsDlgButtonChecked(d, 1003),
                                         IsDlgButtonChecked(d, 1004)}),
                      c.expected);
        }
        EndDialog(d, 1);
    });
    ASSERT_EQ(run(settingsPage()), 1);
    EXPECT_EQ(CheckRadioButton(reinterpret_cast<HWND>(0x7777), 1, 2, 1), FALSE);
}

// the device's screen, the CE shell's dialog helper, pictures of the control
// surface and templates read no further than their resource
#if OUR_LAYER_ONLY
TEST_F(Dialogs, DesktopWindowIsTheScreen)
{
    const struct {
        const char *proves;
        int dpi;
        SIZE set;
        RECT screen;
    } cases[] = {
        {"the Pocket PC screen", 96, {0, 0}, {0, 0, 240, 320}},
        {"at 192 dpi", 192, {0, 0}, {0, 0, 480, 640}},
        {"a desktop's screen", 96, {640, 480}, {0, 0, 640, 480}},
        {"back to the Pocket PC", 96, {0, 0}, {0, 0, 240, 320}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setDpi(c.dpi);
        control::setScreenSize(c.set.cx, c.set.cy);
        HWND desktop = GetDesktopWindow();
        ASSERT_NE(desktop, nullptr);
        EXPECT_EQ(GetDesktopWindow(), desktop);
        RECT r{};
        EXPECT_TRUE(GetWindowRect(desktop, &r));
        EXPECT_EQ(r, c.screen);
        HDC dc = GetDC(nullptr);
        EXPECT_EQ(GetDeviceCaps(dc, HORZRES), c.screen.right);
        EXPECT_EQ(GetDeviceCaps(dc, VERTRES), c.screen.bottom);
        ReleaseDC(nullptr, dc);
        EXPECT_EQ(DestroyWindow(desktop), FALSE);
    }
    int listed = 0;
    EnumWindows(
        [](HWND window, LPARAM count) {
            ++*reinterpret_cast<int *>(count);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&listed));
    EXPECT_EQ(listed, 0);
}

// ---- SHInitDialog ----------------------------------------------------------------------------

TEST_F(Dialogs, ShellInitSizesTheDialogAndAddsTheOkButton)
{
    const struct {
        const char *proves;
        int dpi;
        DWORD flags;
        RECT window;
        bool okButton;
    } cases[] = {
        {"full screen above the menu bar, OK in the caption",
         96,
         SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN,
         {0, 0, 240, 294},
         true},
        {"the same at 192 dpi", 192, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN, {0, 0, 480, 588}, true},
        {"no menu bar", 96, SHIDIF_FULLSCREENNOMENUBAR, {0, 0, 240, 320}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::resetDevice();
        script = Script{};
        control::setDpi(c.dpi);
        const DWORD flags = c.flags;
        script.handler = [flags](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) {
                SHINITDLGINFO info{SHIDIM_FLAGS, dialog, flags};
                EXPECT_EQ(SHInitDialog(&info), TRUE);
                return TRUE;
            }
            if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
                EndDialog(dialog, 11);
                return TRUE;
            }
            return FALSE;
        };
        RECT window{};
        control::DialogShown seen;
        bool clicked = false;
        onShownToOurUser([&](const control::DialogShown &shown) {
            seen = shown;
            GetWindowRect(shown.dialog, &window);
            // The template has no control 1: IDOK is the caption's button, when there is one.
            clicked = conformance::pressButton(shown.dialog, IDOK);
            if (!clicked) EndDialog(shown.dialog, 12);
        });
        EXPECT_EQ(run(settingsPage()), c.okButton ? 11 : 12);
        EXPECT_EQ(window, c.window);
        EXPECT_EQ(seen.shellFlags, c.flags);
        EXPECT_EQ(clicked, c.okButton);
    }
}

TEST_F(Dialogs, ShellInitAddsACaptionForTheOkButton)
{
    script.handler = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SHINITDLGINFO info{SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON};
            SHInitDialog(&info);
        }
        return FALSE;
    };
    DWORD style = 0, exStyle = 0;
    onShown([&](const conformance::DialogSeen &shown) {
        style = static_cast<DWORD>(GetWindowLongW(shown.dialog, GWL_STYLE));
        exStyle = static_cast<DWORD>(GetWindowLongW(shown.dialog, GWL_EXSTYLE));
        EndDialog(shown.dialog, 1);
    });
    Dialog d = settingsPage();
    d.style = WS_POPUP | DS_SETFONT;
    ASSERT_EQ(run(d), 1);
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_EQ(exStyle & WS_EX_CAPTIONOKBTN, static_cast<DWORD>(WS_EX_CAPTIONOKBTN));

    SHINITDLGINFO bad{SHIDIM_FLAGS, reinterpret_cast<HWND>(0x7777), SHIDIF_DONEBUTTON};
    EXPECT_EQ(SHInitDialog(&bad), FALSE);
    EXPECT_EQ(SHInitDialog(nullptr), FALSE);
}

// ---- Pictures --------------------------------------------------------------------------------

class DialogPictures : public Dialogs {
protected:
    void SetUp() override
    {
        Dialogs::SetUp();
        dir_ = fs::temp_directory_path()
            / ("durvo-dialogs-" + std::to_string(::getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        fs::remove_all(dir_);
        Dialogs::TearDown();
    }
    fs::path dir_;
};

TEST_F(DialogPictures, DialogPictureShowsCaptionAndControls)
{
    script.handler = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SHINITDLGINFO info{SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
            SHInitDialog(&info);
            CheckDlgButton(dialog, 1001, BST_CHECKED);
            SendDlgItemMessageW(dialog, 1005, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Every hour"));
            SendDlgItemMessageW(dialog, 1005, CB_SETCURSEL, 0, 0);
        }
        return FALSE;
    };
    dlgtest::Picture checked, unchecked;
    RECT box{};
    std::vector<std::u16string> comboText, buttonText;
    const fs::path file = dir_ / "dialog.png";
    onShown([&](const conformance::DialogSeen &shown) {
        ASSERT_TRUE(control::saveWindowPng(shown.dialog, file));
        checked = dlgtest::readPng(file);
        comboText = control::drawnText(GetDlgItem(shown.dialog, 1005));
        buttonText = control::drawnText(GetDlgItem(shown.dialog, 1009));
        // The check box's square: 13 pixels, at the control's left, centred on its 16 rows, in
        // window coordinates below the 1-pixel border and the 26-pixel caption.
        const RECT control = control::dialogControls(shown.dialog)[0].rect;
        const int top = control.top + (control.bottom - control.top - 13) / 2;
        box = RECT{1 + control.left + 2, 27 + top + 2, 1 + control.left + 11, 27 + top + 11};
        conformance::pressButton(shown.dialog, 1001);
        ASSERT_TRUE(control::saveWindowPng(shown.dialog, file));
        unchecked = dlgtest::readPng(file);
        EndDialog(shown.dialog, 1);
    });
    ASSERT_EQ(run(settingsPage()), 1);
    ASSERT_EQ(checked.width, 240);
    ASSERT_EQ(checked.height, 294);
    // The caption band, in the caption colour, and the dialog's white client area.
    EXPECT_TRUE(checked.is(120, 2, GetSysColor(COLOR_ACTIVECAPTION)));
    EXPECT_TRUE(checked.is(230, 200, GetSysColor(COLOR_STATIC)));
    EXPECT_TRUE(checked.is(0, 100, GetSysColor(COLOR_WINDOWFRAME)));
    // The tick inside the square, gone once the box is clicked.
    EXPECT_GT(checked.darkPixels(box), 5);
    EXPECT_EQ(unchecked.darkPixels(box), 0);
    EXPECT_EQ(comboText, std::vector<std::u16string>{u"Every hour"});
    EXPECT_EQ(buttonText, std::vector<std::u16string>{u"About"});
}

TEST_F(DialogPictures, ScreenPictureStacksWindowsInZOrder)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNSHADOW);
    wc.lpszClassName = u"Backdrop";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND backdrop = CreateWindowExW(0, u"Backdrop", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr,
                                    nullptr, nullptr, nullptr);
    control::pumpMessages();
    const fs::path file = dir_ / "screen.png";
    RECT dialogRect{};
    onShown([&](const conformance::DialogSeen &shown) {
        GetWindowRect(shown.dialog, &dialogRect);
        ASSERT_TRUE(control::saveScreenPng(file));
        EndDialog(shown.dialog, 1);
    });
    Dialog d = settingsPage();
    d.cx = 100;
    d.cy = 60;
    d.items.clear();
    ASSERT_EQ(run(d), 1);
    const dlgtest::Picture screen = dlgtest::readPng(file);
    ASSERT_EQ(screen.width, 240);
    ASSERT_EQ(screen.height, 320);
    EXPECT_TRUE(screen.is(239, 319, GetSysColor(COLOR_BTNSHADOW)));   // the backdrop
    EXPECT_TRUE(screen.is(dialogRect.left + 20, dialogRect.top + 2, GetSysColor(COLOR_ACTIVECAPTION)));
    EXPECT_TRUE(screen.is(dialogRect.left + 20, dialogRect.bottom - 5, GetSysColor(COLOR_STATIC)));
    DestroyWindow(backdrop);
}

// ---- Templates by name -----------------------------------------------------------------------

class NamedDialogs : public Dialogs {
protected:
    void SetUp() override
    {
        Dialogs::SetUp();
        root_ = fs::temp_directory_path()
            / ("durvo-named-dialogs-" + std::to_string(::getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "Windows");
        fs::copy_file(fs::path(TESTLIB_DIR) / "Testlib.dll", root_ / "Windows" / "Testlib.dll");
        control::setDeviceRoot(root_);
        module_ = LoadLibraryW(u"\\Windows\\Testlib.dll");
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override
    {
        Dialogs::TearDown();
        fs::remove_all(root_);
    }
    fs::path root_;
    HMODULE module_ = nullptr;
};

TEST_F(NamedDialogs, TemplatesAreFoundByNameInEitherCaseAndWidth)
{
    for (const char *name : {"TESTDIALOG", "testdialog", "TestDialogEx"}) {
        SCOPED_TRACE(name);
        std::vector<control::ControlShown> controls;
        HICON icon = nullptr;
        int liveIcons = 0;
        LOGFONTW font{};
        onShown([&](const conformance::DialogSeen &shown) {
            controls = control::dialogControls(shown.dialog);
            icon = reinterpret_cast<HICON>(
                SendMessageW(GetDlgItem(shown.dialog, controls[1].id), STM_GETICON, 0, 0));
            liveIcons = control::liveGdiObjects().icons;
            GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(shown.dialog, WM_GETFONT, 0, 0)), sizeof font,
                       &font);
            conformance::pressButton(shown.dialog, IDOK);
        });
        script.handler = endOn(IDOK, 1);
        const std::u16string wide = control::fromUtf8(name);
        const INT_PTR result = std::string(name) == "testdialog"
            ? DialogBoxParamA(module_, name, nullptr, recordingProc, 0)
            : DialogBoxParamW(module_, wide.c_str(), nullptr, recordingProc, 0);
        EXPECT_EQ(result, 1);
        ASSERT_EQ(controls.size(), 6u);
        const std::vector<std::u16string> classes
            = {u"button", u"static", u"static", u"button", u"edit", u"button"};
        for (size_t i = 0; i < classes.size(); ++i) EXPECT_EQ(controls[i].className, classes[i]) << i;
        EXPECT_EQ(controls[2].text, u"Centred title");
        EXPECT_EQ(controls[3].text, u"Frame");
        // The icon static shows the named icon at 32 x 32, whatever size the template gave.
        EXPECT_NE(icon, nullptr);
        EXPECT_EQ(liveIcons, 1);
        EXPECT_EQ(controls[1].rect, (RECT{12, 13, 44, 45}));
        EXPECT_EQ(std::u16string(font.lfFaceName), u"MS Sans Serif");
        EXPECT_EQ(font.lfWeight, std::string(name) == "TestDialogEx" ? FW_BOLD : 0);
    }
}

TEST_F(NamedDialogs, MissingAndBrokenTemplatesFail)
{
    const struct {
        const char16_t *name;
        DWORD error;
    } cases[] = {
        {u"NOSUCHDIALOG", ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"UNKNOWNCLASS", ERROR_CANNOT_FIND_WND_CLASS},
        {u"TRUNCATED", ERROR_INVALID_DATA},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(control::toUtf8(c.name));
        SetLastError(0);
        EXPECT_EQ(DialogBoxParamW(module_, c.name, nullptr, recordingProc, 0), -1);
        EXPECT_EQ(GetLastError(), c.error);
        for (const Seen &s : script.seen) EXPECT_NE(s.message, static_cast<UINT>(WM_INITDIALOG));
    }
    int windows = 0;
    EnumWindows(
        [](HWND, LPARAM count) {
            ++*reinterpret_cast<int *>(count);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    EXPECT_EQ(windows, 0);
}

// A template handed over by pointer is still read no further than its resource's end.
TEST_F(NamedDialogs, IndirectTemplateFromResourcesIsBoundedByTheResource)
{
    HRSRC truncated = FindResourceW(module_, u"TRUNCATED", RT_DIALOG);
    ASSERT_NE(truncated, nullptr);
    const auto *bytes = static_cast<const BYTE *>(LockResource(LoadResource(module_, truncated)));
    const DWORD size = SizeofResource(module_, truncated);
    ASSERT_EQ(size, 52u);
    // The bytes after it would complete it: a reader that ran on would take the next record's
    // size field for the missing WORD and that many bytes after it, and build the dialog.
    const DWORD runOn = 2u + static_cast<DWORD>(bytes[size] | bytes[size + 1] << 8);
    EXPECT_TRUE(dialogs::parseDialogTemplate({bytes, size + runOn}).has_value());
    SetLastError(0);
    EXPECT_EQ(
        DialogBoxIndirectParamW(module_, reinterpret_cast<LPCDLGTEMPLATEW>(bytes), nullptr, recordingProc, 0),
        -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));

    HRSRC whole = FindResourceW(module_, u"TESTDIALOG", RT_DIALOG);
    script.handler = endOn(IDCANCEL, 2);
    onShown([](const conformance::DialogSeen &shown) { conformance::pressButton(shown.dialog, IDCANCEL); });
    EXPECT_EQ(DialogBoxIndirectParamW(
                  module_, static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(module_, whole))), nullptr,
                  recordingProc, 0),
              2);
}

#endif

}   // namespace
