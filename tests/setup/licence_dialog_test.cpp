// The licence dialog: its template byte for byte as laid out, where the dialog procedure puts it
// on screens of several sizes, the texts it sets, and Cancel answered No and Yes.
#include "setup_fixture.h"

#include <resource.h>

namespace setuptest {
namespace {

// ---- The template, read from the program's resource -----------------------------------------

struct Reader {
    const BYTE *p;
    const BYTE *end;

    WORD word()
    {
        EXPECT_LE(p + 2, end);
        WORD w = static_cast<WORD>(p[0] | p[1] << 8);
        p += 2;
        return w;
    }
    DWORD dword()
    {
        DWORD low = word();
        return low | static_cast<DWORD>(word()) << 16;
    }
    std::string text()
    {
        std::string s;
        for (WORD w = word(); w != 0; w = word()) s += static_cast<char>(w);
        return s;
    }
    // A name or an ordinal ("static" for the atom of a predefined class).
    std::string nameOrOrdinal()
    {
        WORD first = static_cast<WORD>(p[0] | p[1] << 8);
        if (first == 0xFFFF) {
            word();
            return "#" + std::to_string(word());
        }
        return text();
    }
    void align(const BYTE *start) { p = start + ((p - start + 3) & ~3); }
};

struct ItemLayout {
    int id;
    std::string windowClass;
    std::string text;
    DWORD style;
    int x, y, cx, cy;

    bool operator==(const ItemLayout &) const = default;
};

void PrintTo(const ItemLayout &i, std::ostream *os)
{
    *os << "{id " << i.id << ", " << i.windowClass << ", \"" << i.text << "\", style 0x" << std::hex
        << i.style << std::dec << ", " << i.x << "," << i.y << " " << i.cx << "x" << i.cy << "}";
}

// A predefined class as its name, whether the template gives it by atom or by name.
std::string className(std::string name)
{
    if (name == "#128") return "button";
    if (name == "#129") return "edit";
    if (name == "#130") return "static";
    for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

TEST(LicenceDialogTemplate, EveryFieldAsLaidOut)
{
    control::resetDevice();
    control::setProgramResources(readBytes(kSetupRes));
    HRSRC resource = FindResourceA(nullptr, "AboutDlg", MAKEINTRESOURCEA(5));
    ASSERT_NE(resource, nullptr);
    auto start = static_cast<const BYTE *>(LockResource(LoadResource(nullptr, resource)));
    Reader r{start, start + SizeofResource(nullptr, resource)};

    EXPECT_EQ(r.dword(), static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SETFONT | DS_ABSALIGN))
        << "pop-up, visible, caption, set-font, absolute alignment; no system menu";
    EXPECT_EQ(r.dword(), 0u);
    WORD count = r.word();
    EXPECT_EQ(count, 8);
    EXPECT_EQ(static_cast<SHORT>(r.word()), 101);
    EXPECT_EQ(static_cast<SHORT>(r.word()), 2);
    EXPECT_EQ(static_cast<SHORT>(r.word()), 247);
    EXPECT_EQ(static_cast<SHORT>(r.word()), 177);
    EXPECT_EQ(r.nameOrOrdinal(), "") << "no menu";
    EXPECT_EQ(r.nameOrOrdinal(), "") << "the standard dialog class";
    EXPECT_EQ(r.text(), "Durvo Meter plugin Setup");
    EXPECT_EQ(r.word(), 8) << "points";
    EXPECT_EQ(r.text(), "MS Sans Serif");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const std::vector<ItemLayout> expected = {
        {IDOK, "button", "Install", child | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 159, 159, 38, 14},
        {-1, "static", "setup_ico", child | SS_ICON, 16, 17, 18, 20},
        {IDC_ABOUT_TEXT, "static", "Durvo Meter plugin for PocketPC", child | SS_CENTER | WS_GROUP, 46, 13,
         183, 27},
        {IDC_OUTER_FRAME, "button", "", child | BS_GROUPBOX, 4, 4, 238, 151},
        {IDC_LICENCE_TEXT, "edit", "",
         child | ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP, 9, 57,
         228, 94},
        {IDCANCEL, "button", "Cancel", child | BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP, 202, 159, 39, 14},
        {IDC_TOP_FRAME, "button", "", child | BS_GROUPBOX, 4, 4, 238, 41},
        {IDC_LICENCE_HEADING, "static", "LICENSE AGREEMENT", child | SS_CENTER | WS_GROUP, 32, 48, 183, 8},
    };
    std::vector<ItemLayout> items;
    for (int i = 0; i < count; ++i) {
        r.align(start);
        ItemLayout item{};
        item.style = r.dword();
        EXPECT_EQ(r.dword(), 0u) << "item " << i << " has no extended style";
        item.x = static_cast<SHORT>(r.word());
        item.y = static_cast<SHORT>(r.word());
        item.cx = static_cast<SHORT>(r.word());
        item.cy = static_cast<SHORT>(r.word());
        item.id = static_cast<SHORT>(r.word());
        item.windowClass = className(r.nameOrOrdinal());
        item.text = r.nameOrOrdinal();
        EXPECT_EQ(r.word(), 0) << "item " << i << " has no creation data";
        items.push_back(item);
    }
    EXPECT_EQ(items, expected);
}

// ---- The dialog as the user sees it -----------------------------------------------------------

using LicenceDialog = SetupTest;

// The licence terms of License.txt as the dialog shows them: without the heading and the
// signature, each paragraph on one line indented by four spaces, after an empty line and
// separated by empty lines.
std::string licenceTermsOfLicenceFile()
{
    std::string text = readText(kPackageDir / "License.txt");
    std::vector<std::string> paragraphs;
    std::string current;
    size_t at = text.find("\r\n") + 2;   // after the heading
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        std::string line = text.substr(at, end - at);
        at = end + 2;
        size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos) {
            if (!current.empty()) paragraphs.push_back(current);
            current.clear();
        } else {
            current += (current.empty() ? "    " : " ") + line.substr(first);
        }
    }
    if (!current.empty()) paragraphs.push_back(current);
    EXPECT_EQ(paragraphs.size(), 6u) << "five paragraphs of terms and the signature";
    paragraphs.pop_back();
    std::string terms;
    for (const std::string &p : paragraphs) terms += "\r\n" + std::string(terms.empty() ? "" : "\r\n") + p;
    return terms;
}

std::string controlText(const std::vector<control::ControlShown> &controls, int id)
{
    for (const auto &c : controls)
        if (c.id == id) return control::toUtf8(c.text);
    ADD_FAILURE() << "no control " << id;
    return "";
}

TEST_F(LicenceDialog, SetsTheAboutTextAndTheLicenceTerms)
{
    std::vector<control::ControlShown> controls;
    HANDLE icon = nullptr;
    onDialog_ = [&](const control::DialogShown &dialog) {
        controls = control::dialogControls(dialog.dialog);
        // A classic template keeps ids as WORDs: the icon's -1 reads back as 0xFFFF.
        icon = reinterpret_cast<HANDLE>(SendMessageW(GetDlgItem(dialog.dialog, 0xFFFF), STM_GETICON, 0, 0));
    };
    runSetup();

    EXPECT_EQ(controlText(controls, IDC_ABOUT_TEXT),
              "Durvo Meter plugin for PocketPC, version 3.4.3\r\n"
              "Freeware. Copyright (c) 2003-2005 Norvane\r\n"
              "Contact: support@norvane.example");
    EXPECT_EQ(controlText(controls, IDC_LICENCE_TEXT), licenceTermsOfLicenceFile());
    EXPECT_EQ(controlText(controls, IDC_LICENCE_HEADING), "LICENSE AGREEMENT");
    EXPECT_NE(icon, nullptr) << "the icon static shows SETUP_ICO";
}

TEST_F(LicenceDialog, CentredOnTheDesktopKeepingItsSize)
{
    struct Case {
        const char *proves;
        int width, height;
    };
    const Case cases[] = {
        {"a desktop", 800, 600},
        {"a larger desktop", 1024, 768},
        {"odd sizes", 801, 601},
        {"a screen smaller than the dialog: negative, rounded toward zero", 240, 320},
        {"smaller and odd", 241, 321},
    };
    SIZE size{};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setScreenSize(c.width, c.height);
        RECT rect{};
        onDialog_ = [&](const control::DialogShown &dialog) { GetWindowRect(dialog.dialog, &rect); };
        licence_ = Licence::CancelThenYes;
        runSetup();

        SIZE now{rect.right - rect.left, rect.bottom - rect.top};
        if (size.cx == 0) size = now;
        EXPECT_EQ(now.cx, size.cx) << "the size does not depend on the screen";
        EXPECT_EQ(now.cy, size.cy);
        ASSERT_GT(now.cx, 300);
        ASSERT_GT(now.cy, 240);
        int spareX = c.width - now.cx;
        int spareY = c.height - now.cy;
        // Half the spare room, its sign kept and any half pixel dropped toward zero.
        int expectX = spareX >= 0 ? spareX / 2 : -((-spareX) / 2);
        int expectY = spareY >= 0 ? spareY / 2 : -((-spareY) / 2);
        EXPECT_EQ(rect.left, expectX);
        EXPECT_EQ(rect.top, expectY);
    }
}

TEST_F(LicenceDialog, CancelAnsweredNoKeepsTheDialogAsItWas)
{
    std::vector<control::ControlShown> before;
    onDialog_ = [&](const control::DialogShown &dialog) { before = control::dialogControls(dialog.dialog); };
    licence_ = Licence::CancelNoThenInstall;

    runSetup();

    EXPECT_TRUE(stillOpenAfterNo_);
    ASSERT_EQ(controlsAfterNo_.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(before[i].id);
        EXPECT_EQ(controlsAfterNo_[i].text, before[i].text);
        EXPECT_EQ(controlsAfterNo_[i].style, before[i].style);
        EXPECT_EQ(controlsAfterNo_[i].enabled, before[i].enabled);
    }
    EXPECT_EQ(events_,
              (std::vector<std::string>{
                  "dialog Durvo Meter plugin Setup",
                  "box Durvo plugin Setup: Do you really want to abort installation?",
                  managerLine(),
                  editorLine(),
                  successLine(),
              }));
}

TEST_F(LicenceDialog, ProcedureAnswersOnlyItsOwnMessages)
{
    struct Case {
        const char *proves;
        UINT message;
        WPARAM wParam;
        INT_PTR handled;
        bool ends;
    };
    const Case cases[] = {
        {"WM_INITDIALOG sets no focus", WM_INITDIALOG, 0, FALSE, false},
        {"another command", WM_COMMAND, MAKEWPARAM(IDC_LICENCE_TEXT, 0x0100), FALSE, false},
        {"another message", WM_TIMER, 1, FALSE, false},
        {"Install, whatever the notification code", WM_COMMAND, MAKEWPARAM(IDOK, 0x0300), TRUE, true},
    };
    std::vector<INT_PTR> answers;
    std::vector<bool> open;
    onDialog_ = [&](const control::DialogShown &dialog) {
        for (const Case &c : cases) {
            answers.push_back(licenceDialogProc(dialog.dialog, c.message, c.wParam, 0));
            open.push_back(IsWindow(dialog.dialog) && IsWindowVisible(dialog.dialog));
        }
    };
    licence_ = Licence::Leave;

    runSetup();

    ASSERT_EQ(answers.size(), std::size(cases));
    EXPECT_EQ(open, (std::vector<bool>{true, true, true, open.back()})) << "open until Install";
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].proves);
        EXPECT_EQ(answers[i], cases[i].handled);
    }
    // The dialog ended with Install only at the last command: the setup went on to succeed.
    EXPECT_EQ(events_.back(), successLine());
}

}   // namespace
}   // namespace setuptest
