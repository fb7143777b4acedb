// What the dialog manager makes of a template's controls, seen from the dialog procedure while
// WM_INITDIALOG runs (the dialog ends there, so no user is needed on either platform): the styles
// the controls get and the default button.
#include "conformance.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kStaticAtom = 0x0082;

struct Control {
    DWORD style;
    WORD id;
    WORD classAtom;
};

// A classic DLGTEMPLATE in words: no menu, the default class, no title, no font; each control
// starts on a DWORD boundary, with an empty title and no creation data.
std::vector<WORD> dialogTemplate(const std::vector<Control> &controls)
{
    std::vector<WORD> t;
    auto putDword = [&t](DWORD value) {
        t.push_back(LOWORD(value));
        t.push_back(HIWORD(value));
    };
    putDword(WS_POPUP | DS_MODALFRAME);
    putDword(0);
    t.push_back(static_cast<WORD>(controls.size()));
    t.insert(t.end(), {0, 0, 100, 60});   // x, y, cx, cy
    t.insert(t.end(), {0, 0, 0});         // menu, class, title
    for (const Control &c : controls) {
        if (t.size() % 2 != 0) t.push_back(0);
        putDword(c.style);
        putDword(0);
        t.insert(t.end(), {5, 5, 40, 12, c.id, 0xFFFF, c.classAtom, 0, 0});
    }
    return t;
}

// What the dialog procedure reads, once, in WM_INITDIALOG.
struct Seen {
    std::vector<DWORD> styles;
    std::vector<DWORD> exStyles;
    LRESULT defaultId = -1;
    LRESULT defaultIdAfterSet = -1;
    std::vector<WORD> ids;
};
Seen seen;

INT_PTR CALLBACK readAndEnd(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) return FALSE;
    for (WORD id : seen.ids) {
        HWND control = GetDlgItem(dialog, id);
        seen.styles.push_back(static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)));
        seen.exStyles.push_back(static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE)));
    }
    seen.defaultId = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    SendMessageW(dialog, DM_SETDEFID, 11, 0);
    seen.defaultIdAfterSet = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    EndDialog(dialog, 1);
    return TRUE;
}

Seen run(const std::vector<Control> &controls)
{
    seen = Seen{};
    for (const Control &c : controls) seen.ids.push_back(c.id);
    const std::vector<WORD> t = dialogTemplate(controls);
    EXPECT_EQ(DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                      nullptr, readAndEnd, 0),
              1);
    return seen;
}

class DialogItems : public ::testing::Test {
protected:
    void SetUp() override { conformance::freshStart(); }
    void TearDown() override { conformance::freshStart(); }
};

// A control is a child whatever the template says, and a border becomes a sunken client edge.
TEST_F(DialogItems, ControlsAreChildrenAndABorderIsAClientEdge)
{
    const Seen s
        = run({{WS_POPUP | WS_BORDER | WS_VISIBLE, 7, kStaticAtom}, {WS_POPUP | WS_VISIBLE, 8, kStaticAtom}});
    ASSERT_EQ(s.styles.size(), 2u);
    EXPECT_EQ(s.styles[0], static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(s.exStyles[0], static_cast<DWORD>(WS_EX_NOPARENTNOTIFY | WS_EX_CLIENTEDGE));
    EXPECT_EQ(s.styles[1], static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(s.exStyles[1], static_cast<DWORD>(WS_EX_NOPARENTNOTIFY));
}

// DM_GETDEFID answers the template's default push button until DM_SETDEFID names another.
TEST_F(DialogItems, DefaultButtonComesFromTheTemplateThenFromDmSetdefid)
{
    const Seen s = run({{WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 9, kButtonAtom},
                        {WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 10, kButtonAtom},
                        {WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 11, kButtonAtom}});
    EXPECT_EQ(s.defaultId, MAKELONG(10, DC_HASDEFID));
    EXPECT_EQ(s.defaultIdAfterSet, MAKELONG(11, DC_HASDEFID));
}

}   // namespace
