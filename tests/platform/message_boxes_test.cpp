// Message boxes through MessageBoxW and MessageBoxA and the scripted user: the answers each box
// type allows, what the user is shown, unanswered boxes, and the user's own lifecycle.
#include <control.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class MessageBoxes : public ::testing::Test {
protected:
    void SetUp() override { control::resetDevice(); }
    void TearDown() override
    {
        EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
        control::resetDevice();
    }
};

void answerWith(int answer, std::vector<control::MessageBoxShown> *seen = nullptr)
{
    control::ScriptedUser user;
    user.messageBox = [answer, seen](const control::MessageBoxShown &box) {
        if (seen) seen->push_back(box);
        return answer;
    };
    control::setUser(user);
}

TEST_F(MessageBoxes, AnswersAreTheButtonsOfTheBoxType)
{
    const struct {
        UINT type;
        int answer;
        int result;   // 0: refused as no button of the box
    } cases[] = {
        {MB_OK, IDOK, IDOK},
        {MB_OK, IDCANCEL, 0},
        {MB_OKCANCEL, IDCANCEL, IDCANCEL},
        {MB_ABORTRETRYIGNORE, IDIGNORE, IDIGNORE},
        {MB_ABORTRETRYIGNORE, IDOK, 0},
        {MB_YESNOCANCEL, IDCANCEL, IDCANCEL},
        {MB_YESNO, IDYES, IDYES},
        {MB_YESNO, IDNO, IDNO},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDNO, IDNO},
        {MB_YESNO, IDOK, 0},
        {MB_YESNO, IDCANCEL, 0},
        {MB_RETRYCANCEL, IDRETRY, IDRETRY},
        {MB_CANCELTRYCONTINUE, IDCONTINUE, IDCONTINUE},
        {MB_CANCELTRYCONTINUE, IDRETRY, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", answer " << c.answer);
        answerWith(c.answer);
        EXPECT_EQ(MessageBoxW(nullptr, u"Text", u"Caption", c.type), c.result);
        const std::vector<std::string> prompts = control::takeUnansweredPrompts();
        if (c.result) {
            EXPECT_EQ(prompts, std::vector<std::string>{});
        } else {
            ASSERT_EQ(prompts.size(), 1u);
            EXPECT_EQ(prompts[0].rfind("message box \"Caption\": Text was not answered (" +
                                           std::to_string(c.answer) + " is not a button of an MB_",
                                       0),
                      0u)
                << prompts[0];
        }
    }
}

TEST_F(MessageBoxes, UserSeesOwnerCaptionTextAndType)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"BoxOwner";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND owner = CreateWindowExW(0, u"BoxOwner", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    std::vector<control::MessageBoxShown> seen;
    answerWith(IDOK, &seen);
    EXPECT_EQ(MessageBoxW(owner, u"Line one\n\rLine two", u"Unregistered", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Caf\xE9 \x80", "Setup \"done\"", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, nullptr, nullptr, MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].owner, owner);
    EXPECT_EQ(seen[0].caption, u"Unregistered");
    EXPECT_EQ(seen[0].text, u"Line one\n\rLine two");
    EXPECT_EQ(seen[0].type, static_cast<UINT>(MB_OK));
    // The 8-bit call reads Windows-1252 (0x80 is the euro sign).
    EXPECT_EQ(seen[1].owner, nullptr);
    EXPECT_EQ(seen[1].caption, u"Setup \"done\"");
    EXPECT_EQ(seen[1].text, u"Caf\u00E9 \u20AC");
    EXPECT_EQ(seen[1].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    // No caption reads "Error", no text is empty, in both widths.
    for (size_t i : {2u, 3u}) {
        EXPECT_EQ(seen[i].caption, u"Error");
        EXPECT_EQ(seen[i].text, u"");
    }
    DestroyWindow(owner);
}

TEST_F(MessageBoxes, UnansweredBoxesReturnZeroAndAreRecorded)
{
    answerWith(0);
    EXPECT_EQ(MessageBoxW(nullptr, u"Do you really want to reset?", u"Reset", MB_YESNO), 0);
    control::setUser({});
    EXPECT_EQ(MessageBoxA(nullptr, "Unable to write", "Error", MB_OK), 0);
    EXPECT_EQ(control::takeUnansweredPrompts(),
              (std::vector<std::string>{
                  "message box \"Reset\": Do you really want to reset? was not answered",
                  "message box \"Error\": Unable to write was not answered (no user to answer it)"}));
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});   // taken once
}

TEST_F(MessageBoxes, BadArgumentsFailBeforeTheUserIsAsked)
{
    std::vector<control::MessageBoxShown> seen;
    answerWith(IDOK, &seen);
    const struct {
        const char *proves;
        HWND owner;
        UINT type;
        DWORD error;
    } cases[] = {
        {"an owner that is no window", reinterpret_cast<HWND>(0x7777), MB_OK, ERROR_INVALID_WINDOW_HANDLE},
        {"a box type Windows does not know", nullptr, 7, ERROR_INVALID_MSGBOX_STYLE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        SetLastError(0);
        EXPECT_EQ(MessageBoxW(c.owner, u"Text", u"Caption", c.type), 0);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_TRUE(seen.empty());
}

TEST_F(MessageBoxes, UserMayBeReplacedWhileAnsweringAndGoesWithAReset)
{
    control::ScriptedUser second;
    second.messageBox = [](const control::MessageBoxShown &) { return IDNO; };
    control::ScriptedUser first;
    first.messageBox = [second](const control::MessageBoxShown &) {
        control::setUser(second);   // the running answer must survive this
        return IDYES;
    };
    control::setUser(first);
    EXPECT_EQ(MessageBoxW(nullptr, u"1", u"c", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, u"2", u"c", MB_YESNO), IDNO);
    control::resetDevice();
    EXPECT_EQ(MessageBoxW(nullptr, u"3", u"c", MB_YESNO), 0);
    EXPECT_EQ(control::takeUnansweredPrompts(),
              std::vector<std::string>{"message box \"c\": 3 was not answered (no user to answer it)"});
}

}  // namespace
