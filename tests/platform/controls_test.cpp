// The predefined controls through their Win32 messages: button check states and clicks, radio
// groups, combo box lists and their error answers, static and edit text, what each paints, and
// the scripted user's taps on them.
#include "conformance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace {

// The WM_COMMAND notifications the parent received: control id and notification code.
struct Notification {
    int id;
    int code;

    bool operator==(const Notification &) const = default;
};

void PrintTo(const Notification &n, std::ostream *os)
{
    *os << "{" << n.id << ", " << n.code << "}";
}

std::vector<Notification> notifications;

LRESULT CALLBACK parentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        notifications.push_back({LOWORD(wParam), HIWORD(wParam)});
        EXPECT_EQ(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        conformance::freshStart();
        notifications.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = parentProc;
        wc.lpszClassName = TEXT("ControlParent");
        ASSERT_NE(RegisterClassW(&wc), 0);
        parent_ = CreateWindowExW(0, TEXT("ControlParent"), TEXT("Parent"), WS_POPUP | WS_VISIBLE, 0, 0, 240,
                                  320, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent_, nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(parent_);
#if OUR_LAYER_ONLY
        const control::GdiCounts live = control::liveGdiObjects();
        EXPECT_EQ(live.fonts, 0);
        EXPECT_EQ(live.icons, 0);
        EXPECT_EQ(live.deviceContexts, 0);
#endif
        conformance::freshStart();
    }

    HWND make(const WCHAR *className, DWORD style, int id, const WCHAR *text = TEXT(""),
              RECT at = RECT{10, 10, 130, 30})
    {
        HWND window = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, at.left, at.top,
                                      at.right - at.left, at.bottom - at.top, parent_,
                                      reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
        EXPECT_NE(window, nullptr);
        return window;
    }

    HWND parent_ = nullptr;
};

LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return SendMessageW(window, message, wParam, lParam);
}

LPARAM text(const WCHAR *s)
{
    return reinterpret_cast<LPARAM>(s);
}

// ---- Buttons ---------------------------------------------------------------------------------

TEST_F(Controls, ClassNamesIgnoreCase)
{
    for (const WCHAR *name :
         {TEXT("BUTTON"), TEXT("button"), TEXT("Static"), TEXT("edit"), TEXT("ComboBox")}) {
        HWND window = make(name, 0, 1);
        ASSERT_NE(window, nullptr);
        DestroyWindow(window);
    }
}

TEST_F(Controls, SetCheckKeepsWhatEachButtonTypeCanShow)
{
    const struct {
        const char *proves;
        DWORD type;
        WPARAM set;
        LRESULT got;
    } cases[] = {
        {"a push button keeps no check", BS_PUSHBUTTON, BST_CHECKED, BST_UNCHECKED},
        {"nor does a group box", BS_GROUPBOX, BST_CHECKED, BST_UNCHECKED},
        {"a check box checks", BS_CHECKBOX, BST_CHECKED, BST_CHECKED},
        {"a check box clears", BS_AUTOCHECKBOX, BST_UNCHECKED, BST_UNCHECKED},
        {"a two-state box takes indeterminate as checked", BS_AUTOCHECKBOX, BST_INDETERMINATE, BST_CHECKED},
        {"anything larger is the largest it keeps", BS_CHECKBOX, 0xBD, BST_CHECKED},
        {"a three-state box keeps indeterminate", BS_3STATE, BST_INDETERMINATE, BST_INDETERMINATE},
        {"and clamps above it", BS_AUTO3STATE, 0xBD, BST_INDETERMINATE},
        {"a radio button checks", BS_AUTORADIOBUTTON, BST_CHECKED, BST_CHECKED},
        {"a radio button has no third state", BS_RADIOBUTTON, BST_INDETERMINATE, BST_CHECKED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        HWND button = make(TEXT("BUTTON"), c.type, 1);
        EXPECT_EQ(send(button, BM_GETCHECK), BST_UNCHECKED);
        EXPECT_EQ(send(button, BM_SETCHECK, c.set), 0);
        EXPECT_EQ(send(button, BM_GETCHECK), c.got);
        DestroyWindow(button);
    }
    EXPECT_TRUE(notifications.empty());   // setting a check tells nobody
}

TEST_F(Controls, RadioButtonIsATabStopOnlyWhileChecked)
{
    HWND radio = make(TEXT("BUTTON"), BS_AUTORADIOBUTTON | WS_TABSTOP, 1);
    send(radio, BM_SETCHECK, BST_UNCHECKED);
    EXPECT_EQ(GetWindowLongW(radio, GWL_STYLE) & WS_TABSTOP, 0);
    send(radio, BM_SETCHECK, BST_CHECKED);
    EXPECT_EQ(GetWindowLongW(radio, GWL_STYLE) & WS_TABSTOP, WS_TABSTOP);
}

TEST_F(Controls, ClicksToggleAutomaticButtonsAndNotify)
{
    const struct {
        const char *proves;
        DWORD type;
        std::vector<LRESULT> afterEachClick;
    } cases[] = {
        {"an automatic check box toggles", BS_AUTOCHECKBOX, {1, 0, 1}},
        {"a plain check box is left to its owner", BS_CHECKBOX, {0, 0, 0}},
        {"an automatic three-state box cycles", BS_AUTO3STATE, {1, 2, 0}},
        {"a push button only notifies", BS_PUSHBUTTON, {0, 0, 0}},
        {"an automatic radio button checks itself", BS_AUTORADIOBUTTON, {1, 1, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        notifications.clear();
        HWND button = make(TEXT("BUTTON"), c.type, 7);
        std::vector<LRESULT> states;
        for (size_t i = 0; i < c.afterEachClick.size(); ++i) {
            send(button, BM_CLICK);
            states.push_back(send(button, BM_GETCHECK));
        }
        EXPECT_EQ(states, c.afterEachClick);
        EXPECT_EQ(notifications, std::vector<Notification>(3, Notification{7, BN_CLICKED}));
        DestroyWindow(button);
    }
}

// A release outside the button is no click.
TEST_F(Controls, ButtonUpOutsideIsNoClick)
{
    HWND box = make(TEXT("BUTTON"), BS_AUTOCHECKBOX, 3, TEXT(""), RECT{10, 10, 60, 30});
    send(box, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    send(box, WM_LBUTTONUP, 0, MAKELPARAM(200, 5));
    EXPECT_EQ(send(box, BM_GETCHECK), BST_UNCHECKED);
    send(box, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));   // no press before it
    EXPECT_EQ(send(box, BM_GETCHECK), BST_UNCHECKED);
    EXPECT_TRUE(notifications.empty());
}

TEST_F(Controls, AutoRadioClearsTheOthersOfItsGroupOnly)
{
    // Group one: 1 (starts it), 2, a check box 3, a plain radio 4, a hidden radio 5.
    // Group two: 6 (starts it), 7.
    HWND r1 = make(TEXT("BUTTON"), BS_AUTORADIOBUTTON | WS_GROUP, 1);
    HWND r2 = make(TEXT("BUTTON"), BS_AUTORADIOBUTTON, 2);
    HWND c3 = make(TEXT("BUTTON"), BS_AUTOCHECKBOX, 3);
    HWND r4 = make(TEXT("BUTTON"), BS_RADIOBUTTON, 4);
    HWND r5 = make(TEXT("BUTTON"), BS_AUTORADIOBUTTON, 5);
    HWND r6 = make(TEXT("BUTTON"), BS_AUTORADIOBUTTON | WS_GROUP, 6);
    HWND r7 = make(TEXT("BUTTON"), BS_AUTORADIOBUTTON, 7);
    const std::vector<HWND> all = {r1, r2, c3, r4, r5, r6, r7};
    for (HWND w : all) send(w, BM_SETCHECK, BST_CHECKED);
    ShowWindow(r5, SW_HIDE);
    auto checks = [&] {
        std::vector<LRESULT> states;
        for (HWND w : all) states.push_back(send(w, BM_GETCHECK));
        return states;
    };
    send(r2, BM_CLICK);
    // The check box is no radio button; the hidden one is skipped, as GetNextDlgGroupItem skips
    // it; the second group is another group.
    EXPECT_EQ(checks(), (std::vector<LRESULT>{0, 1, 1, 0, 1, 1, 1}));
    send(r7, BM_CLICK);
    EXPECT_EQ(checks(), (std::vector<LRESULT>{0, 1, 1, 0, 1, 0, 1}));
    EXPECT_EQ(notifications, (std::vector<Notification>{{2, BN_CLICKED}, {7, BN_CLICKED}}));
}

// ---- Combo boxes -----------------------------------------------------------------------------

TEST_F(Controls, ComboBoxListAndSelection)
{
    HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST, 5);
    EXPECT_EQ(send(combo, CB_GETCOUNT), 0);
    EXPECT_EQ(send(combo, CB_GETCURSEL), CB_ERR);   // nothing selected yet
    EXPECT_EQ(send(combo, CB_ADDSTRING, 0, text(TEXT("zero"))), 0);
    EXPECT_EQ(send(combo, CB_ADDSTRING, 0, text(TEXT("one"))), 1);
    EXPECT_EQ(send(combo, CB_ADDSTRING, 0, text(TEXT("two"))), 2);
    EXPECT_EQ(send(combo, CB_GETCOUNT), 3);

    const struct {
        const char *proves;
        WPARAM set;
        LRESULT answer;
        LRESULT selected;
    } cases[] = {
        {"a valid index is selected", 2, 2, 2},
        {"the first item", 0, 0, 0},
        {"-1 clears the selection", static_cast<WPARAM>(-1), CB_ERR, CB_ERR},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(send(combo, CB_SETCURSEL, c.set), c.answer);
        EXPECT_EQ(send(combo, CB_GETCURSEL), c.selected);
    }
    EXPECT_TRUE(notifications.empty());   // a program's selection tells nobody

    // The user's arrow keys move the selection one item at a time and tell the parent of each
    // choice and change.
    const struct {
        WPARAM key;
        LRESULT selected;
    } keys[] = {{VK_DOWN, 0}, {VK_DOWN, 1}, {VK_UP, 0}};
    for (const auto &k : keys) {
        SCOPED_TRACE(k.key == VK_DOWN ? "down" : "up");
        notifications.clear();
        send(combo, WM_KEYDOWN, k.key);
        EXPECT_EQ(send(combo, CB_GETCURSEL), k.selected);
        EXPECT_EQ(notifications, (std::vector<Notification>{{5, CBN_SELENDOK}, {5, CBN_SELCHANGE}}));
    }
}

// An index past the end is refused and, as documented, clears the selection.
TEST_F(Controls, ComboBoxSelectionPastTheEndIsCleared)
{
    HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST, 5);
    for (const WCHAR *s : {TEXT("zero"), TEXT("one"), TEXT("two")}) send(combo, CB_ADDSTRING, 0, text(s));
    for (WPARAM past : {WPARAM{3}, WPARAM{0xBDBD}}) {
        SCOPED_TRACE(past);
        send(combo, CB_SETCURSEL, 1);
        EXPECT_EQ(send(combo, CB_SETCURSEL, past), CB_ERR);
        EXPECT_EQ(send(combo, CB_GETCURSEL), CB_ERR);
    }
}

TEST_F(Controls, ComboBoxItemTextAndItsErrors)
{
    HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST, 5);
    send(combo, CB_ADDSTRING, 0, text(TEXT("Hello")));
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), static_cast<WCHAR>(0xBDBD));
    EXPECT_EQ(send(combo, CB_GETLBTEXTLEN, 0), 5);
    EXPECT_EQ(send(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 5);
    EXPECT_EQ(WString(buffer), TEXT("Hello"));
    EXPECT_EQ(buffer[6], 0xBDBD);   // the text and its terminator, nothing more

    std::fill(std::begin(buffer), std::end(buffer), static_cast<WCHAR>(0xBDBD));
    EXPECT_EQ(send(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buffer)), CB_ERR);
    EXPECT_EQ(buffer[0], 0xBDBD);
    EXPECT_EQ(send(combo, CB_GETLBTEXTLEN, 1), CB_ERR);
    EXPECT_EQ(send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(-1)), CB_ERR);
    EXPECT_EQ(send(combo, CB_DELETESTRING, 4), CB_ERR);
    EXPECT_EQ(send(combo, CB_INSERTSTRING, 3, text(TEXT("x"))), CB_ERR);
#if OUR_LAYER_ONLY
    // Ours refuses a null string; Windows leaves it undefined (Wine adds an empty item).
    EXPECT_EQ(send(combo, CB_ADDSTRING, 0, 0), CB_ERR);
#endif
    EXPECT_EQ(send(combo, CB_GETITEMDATA, 2), CB_ERR);
    EXPECT_NE(send(combo, CB_SETITEMDATA, 0, 0x1234), CB_ERR);
    EXPECT_EQ(send(combo, CB_GETITEMDATA, 0), 0x1234);
    EXPECT_EQ(send(combo, CB_GETCOUNT), 1);
}

TEST_F(Controls, ComboBoxSelectionFollowsInsertsAndDeletes)
{
    HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST, 5);
    for (const WCHAR *s : {TEXT("a"), TEXT("b"), TEXT("c")}) send(combo, CB_ADDSTRING, 0, text(s));
    send(combo, CB_SETCURSEL, 1);
    EXPECT_EQ(send(combo, CB_INSERTSTRING, 0, text(TEXT("first"))), 0);
    EXPECT_EQ(send(combo, CB_GETCURSEL), 2);   // still "b"
    EXPECT_EQ(send(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), text(TEXT("last"))), 4);
    EXPECT_EQ(send(combo, CB_DELETESTRING, 0), 4);
    EXPECT_EQ(send(combo, CB_GETCURSEL), 1);
    WCHAR shown[8] = {};
    EXPECT_EQ(GetWindowTextW(combo, shown, 8), 1);   // the field shows the selection
    EXPECT_EQ(WString(shown), TEXT("b"));
    EXPECT_EQ(send(combo, CB_DELETESTRING, 1), 3);   // the selected one
    EXPECT_EQ(send(combo, CB_GETCURSEL), CB_ERR);
    EXPECT_EQ(GetWindowTextLengthW(combo), 0);
}

TEST_F(Controls, ResetContentEmptiesTheListAndAnswersCbOkay)
{
    HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST, 5);
    for (const WCHAR *s : {TEXT("a"), TEXT("b")}) send(combo, CB_ADDSTRING, 0, text(s));
    send(combo, CB_SETCURSEL, 1);
    EXPECT_EQ(send(combo, CB_RESETCONTENT), CB_OKAY);
    EXPECT_EQ(send(combo, CB_GETCOUNT), 0);
    EXPECT_EQ(send(combo, CB_GETCURSEL), CB_ERR);
}

TEST_F(Controls, SortedComboBoxAndExactSearch)
{
    HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST | CBS_SORT, 5);
    EXPECT_EQ(send(combo, CB_ADDSTRING, 0, text(TEXT("pear"))), 0);
    EXPECT_EQ(send(combo, CB_ADDSTRING, 0, text(TEXT("Apple"))), 0);
    EXPECT_EQ(send(combo, CB_ADDSTRING, 0, text(TEXT("fig"))), 1);
    EXPECT_EQ(send(combo, CB_ADDSTRING, 0, text(TEXT("zucchini"))), 3);
    const struct {
        WPARAM start;
        const WCHAR *find;
        LRESULT found;
    } cases[] = {
        {static_cast<WPARAM>(-1), TEXT("FIG"), 1},   // case does not matter
        {1, TEXT("fig"), 1},                         // the search wraps round to the start
        {static_cast<WPARAM>(-1), TEXT("fi"), CB_ERR},
        {static_cast<WPARAM>(-1), TEXT("apple"), 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(send(combo, CB_FINDSTRINGEXACT, cases[i].start, text(cases[i].find)), cases[i].found)
            << "case " << i;
    }
}

#if OUR_LAYER_ONLY
// A drop-down list is as tall as its field, whatever height it was made with. (The field's
// height is the device's stock font; desktop Windows has its own.)
TEST_F(Controls, DropDownListIsAsTallAsItsField)
{
    for (int dpi : {96, 192}) {
        control::setDpi(dpi);
        HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST, 5, TEXT(""), RECT{10, 10, 130, 200});
        RECT r{};
        GetClientRect(combo, &r);
        // The stock font's line (13 pixels at 96 dpi, 25 at 192) and 3 pixels above and below.
        EXPECT_EQ(r.bottom, dpi == 96 ? 19 : 37) << dpi << " dpi";
        EXPECT_EQ(r.right, 120);
        DestroyWindow(combo);
    }
}
#endif

// ---- Static and edit controls ----------------------------------------------------------------

TEST_F(Controls, StaticAndEditTextIsKeptAsSet)
{
    HWND label = make(TEXT("STATIC"), SS_CENTER, 1, TEXT("Title"));
    HWND edit = make(TEXT("EDIT"), ES_MULTILINE | ES_READONLY | WS_VSCROLL, 2);
    const WString terms = TEXT("\r\nFirst paragraph.\r\n\r\nSecond.");
    EXPECT_EQ(SetWindowTextW(edit, terms.c_str()), TRUE);
    WCHAR buffer[64] = {};
    EXPECT_EQ(GetWindowTextW(edit, buffer, 64), static_cast<int>(terms.size()));
    EXPECT_EQ(WString(buffer), terms);
    GetWindowTextW(label, buffer, 64);
    EXPECT_EQ(WString(buffer), TEXT("Title"));
    EXPECT_EQ(send(edit, EM_SETREADONLY, FALSE), TRUE);
    EXPECT_EQ(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY, 0);
    EXPECT_EQ(send(edit, EM_SETREADONLY, TRUE), TRUE);
    EXPECT_EQ(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY, ES_READONLY);
}

TEST_F(Controls, MultiLineEditCountsItsWrappedLines)
{
    HWND edit = make(TEXT("EDIT"), ES_MULTILINE | ES_READONLY, 2, TEXT(""), RECT{0, 0, 100, 60});
    const struct {
        const WCHAR *text;
        LRESULT lines;
    } cases[]
        = { {TEXT(""), 1},
            {TEXT("short"), 1},
            {TEXT("one\r\ntwo\r\nthree"), 3},
#if OUR_LAYER_ONLY
            // Where the words wrap rests on the text metrics model.
            {TEXT("a line of words that is far too long for one hundred pixels"), 4},
#endif
          };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SetWindowTextW(edit, cases[i].text);
        EXPECT_EQ(send(edit, EM_GETLINECOUNT), cases[i].lines) << "case " << i;
    }
    HWND single = make(TEXT("EDIT"), 0, 3, TEXT("one\r\ntwo"));
    EXPECT_EQ(send(single, EM_GETLINECOUNT), 1);
}

TEST_F(Controls, IconStaticWithoutItsIconShowsNothing)
{
    HWND icon = make(TEXT("STATIC"), SS_ICON, 1, TEXT("NoSuchIcon"));
    EXPECT_EQ(send(icon, STM_GETICON), 0);
#if OUR_LAYER_ONLY
    EXPECT_EQ(control::liveGdiObjects().icons, 0);
#endif
}

#if OUR_LAYER_ONLY
// ---- What the controls paint -----------------------------------------------------------------

TEST_F(Controls, EachControlDrawsItsText)
{
    HWND push = make(TEXT("BUTTON"), BS_DEFPUSHBUTTON, 1, TEXT("&Install"), RECT{0, 0, 80, 24});
    HWND check = make(TEXT("BUTTON"), BS_AUTOCHECKBOX, 2, TEXT("Keep going"), RECT{0, 30, 200, 46});
    HWND group = make(TEXT("BUTTON"), BS_GROUPBOX, 3, TEXT("Frame"), RECT{0, 50, 200, 150});
    HWND label
        = make(TEXT("STATIC"), SS_LEFT, 4, TEXT("Words that wrap in a narrow label"), RECT{0, 160, 80, 220});
    HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST, 5, TEXT(""), RECT{0, 230, 200, 300});
    send(combo, CB_ADDSTRING, 0, text(TEXT("Chosen item")));
    send(combo, CB_SETCURSEL, 0);
    control::pumpMessages();
    using Lines = std::vector<WString>;
    EXPECT_EQ(control::drawnText(push), Lines{TEXT("&Install")});
    EXPECT_EQ(control::drawnText(check), Lines{TEXT("Keep going")});
    EXPECT_EQ(control::drawnText(group), Lines{TEXT("Frame")});
    EXPECT_EQ(control::drawnText(label),
              (Lines{TEXT("Words that"), TEXT("wrap in a"), TEXT("narrow label")}));
    EXPECT_EQ(control::drawnText(combo), Lines{TEXT("Chosen item")});
    // Centred in the push button, after the box in the check box.
    const control::DrawnItem pushText = control::paintRecord(push).back();
    EXPECT_EQ(pushText.format & (DT_CENTER | DT_VCENTER | DT_SINGLELINE),
              static_cast<UINT>(DT_CENTER | DT_VCENTER | DT_SINGLELINE));
    const std::vector<control::DrawnItem> checkRecord = control::paintRecord(check);
    const auto checkText
        = std::find_if(checkRecord.begin(), checkRecord.end(), [](const control::DrawnItem &i) {
              return i.kind == control::DrawnItem::Kind::Text && !i.lines.empty();
          });
    ASSERT_NE(checkText, checkRecord.end());
    EXPECT_EQ(checkText->rect.left, 13 + 3);   // the 13-pixel box and half a digit
}

TEST_F(Controls, DisabledControlsDrawGreyText)
{
    HWND push = make(TEXT("BUTTON"), BS_PUSHBUTTON, 1, TEXT("Off"), RECT{0, 0, 80, 24});
    EnableWindow(push, FALSE);
    control::pumpMessages();
    const std::vector<control::DrawnItem> record = control::paintRecord(push);
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.back().textColor, GetSysColor(COLOR_GRAYTEXT));
}

// ---- The user's taps -------------------------------------------------------------------------

TEST_F(Controls, TapsReachOnlyVisibleEnabledControls)
{
    make(TEXT("BUTTON"), BS_AUTOCHECKBOX, 1, TEXT("shown"));
    HWND hidden = make(TEXT("BUTTON"), BS_AUTOCHECKBOX, 2, TEXT("hidden"));
    HWND disabled = make(TEXT("BUTTON"), BS_AUTOCHECKBOX, 3, TEXT("disabled"));
    make(TEXT("BUTTON"), BS_GROUPBOX, 4, TEXT("group"));
    HWND combo = make(TEXT("COMBOBOX"), CBS_DROPDOWNLIST, 5);
    send(combo, CB_ADDSTRING, 0, text(TEXT("only")));
    ShowWindow(hidden, SW_HIDE);
    EnableWindow(disabled, FALSE);
    const struct {
        const char *proves;
        int id;
        bool tapped;
    } clicks[] = {
        {"a visible, enabled box", 1, true},    {"a hidden one", 2, false},     {"a disabled one", 3, false},
        {"a group box takes no tap", 4, false}, {"no such control", 99, false},
    };
    for (const auto &c : clicks) {
        EXPECT_EQ(control::clickControl(parent_, c.id), c.tapped) << c.proves;
    }
    EXPECT_EQ(notifications, (std::vector<Notification>{{1, BN_CLICKED}}));
    notifications.clear();

    const struct {
        const char *proves;
        int id;
        int index;
        bool selected;
    } selections[] = {
        {"an item of the list", 5, 0, true},
        {"past the end", 5, 1, false},
        {"before the start", 5, -1, false},
        {"not a combo box", 1, 0, false},
    };
    for (const auto &c : selections) {
        EXPECT_EQ(control::selectListItem(parent_, c.id, c.index), c.selected) << c.proves;
    }
    EXPECT_EQ(notifications, (std::vector<Notification>{{5, CBN_SELCHANGE}}));
    EXPECT_EQ(send(combo, CB_GETCURSEL), 0);
    ShowWindow(parent_, SW_HIDE);
    EXPECT_FALSE(control::clickControl(parent_, 1));   // nothing of a hidden window is tapped
}
#endif

}   // namespace
