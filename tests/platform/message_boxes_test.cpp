// Message boxes through MessageBoxW and MessageBoxA and the scripted user: the answers each box
// type allows, what the user is shown, unanswered boxes, and the user's own lifecycle.
#include "conformance.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class MessageBoxes : public ::testing::Test {
protected:
    void SetUp() override { conformance::freshStart(); }
    void TearDown() override
    {
#if OUR_LAYER_ONLY
        EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
#endif
        conformance::freshStart();
    }
};

using conformance::BoxSeen;

void answerWith(int answer, std::vector<BoxSeen> *seen = nullptr)
{
    conformance::answerMessageBoxes(answer, seen);
}

TEST_F(MessageBoxes, AnswersAreTheButtonsOfTheBoxType)
{
    // While the user answers, the box is a window with its buttons (labelled as Windows labels
    // them), so that a picture taken then shows it.
    const struct {
        UINT type;
        int answer;
        int result;   // 0: refused as no button of the box
        const WCHAR *buttons;
    } cases[]
        = { {MB_OK, IDOK, IDOK, TEXT("OK")},
            {MB_OKCANCEL, IDCANCEL, IDCANCEL, TEXT("OK|Cancel")},
            {MB_ABORTRETRYIGNORE, IDIGNORE, IDIGNORE, TEXT("&Abort|&Retry|&Ignore")},
            {MB_YESNOCANCEL, IDCANCEL, IDCANCEL, TEXT("Cancel|&Yes|&No")},
            {MB_YESNO, IDYES, IDYES, TEXT("&Yes|&No")},
            {MB_YESNO, IDNO, IDNO, TEXT("&Yes|&No")},
            {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDNO, IDNO, TEXT("&Yes|&No")},
            {MB_RETRYCANCEL, IDRETRY, IDRETRY, TEXT("Cancel|&Retry")},
            {MB_CANCELTRYCONTINUE, IDCONTINUE, IDCONTINUE, TEXT("Cancel|&Try Again|&Continue")},
#if OUR_LAYER_ONLY
            // The scripted user may name a button the box lacks; a person cannot press one.
            {MB_OK, IDCANCEL, 0, TEXT("OK")},
            {MB_ABORTRETRYIGNORE, IDOK, 0, TEXT("&Abort|&Retry|&Ignore")},
            {MB_YESNO, IDOK, 0, TEXT("&Yes|&No")},
            {MB_YESNO, IDCANCEL, 0, TEXT("&Yes|&No")},
            {MB_CANCELTRYCONTINUE, IDRETRY, 0, TEXT("Cancel|&Try Again|&Continue")},
#endif
          };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", answer " << c.answer);
        std::vector<BoxSeen> seen;
        answerWith(c.answer, &seen);
        EXPECT_EQ(MessageBoxW(nullptr, TEXT("Text"), TEXT("Caption"), c.type), c.result);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].buttons, c.buttons);
#if OUR_LAYER_ONLY
        const std::vector<std::string> prompts = control::takeUnansweredPrompts();
        if (c.result) {
            EXPECT_EQ(prompts, std::vector<std::string>{});
        } else {
            ASSERT_EQ(prompts.size(), 1u);
            EXPECT_EQ(prompts[0].rfind("message box \"Caption\": Text was not answered ("
                                           + std::to_string(c.answer) + " is not a button of an MB_",
                                       0),
                      0u)
                << prompts[0];
        }
#endif
    }
}

TEST_F(MessageBoxes, UserSeesOwnerCaptionTextAndType)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = TEXT("BoxOwner");
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND owner = CreateWindowExW(0, TEXT("BoxOwner"), TEXT(""), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    std::vector<BoxSeen> seen;
    answerWith(IDOK, &seen);
    EXPECT_EQ(MessageBoxW(owner, TEXT("Line one\n\rLine two"), TEXT("Unregistered"), MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Caf\xE9 \x80", "Setup \"done\"", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, nullptr, nullptr, MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].owner, owner);
    EXPECT_EQ(seen[0].caption, TEXT("Unregistered"));
    EXPECT_EQ(seen[0].text, TEXT("Line one\n\rLine two"));
#if OUR_LAYER_ONLY
    EXPECT_EQ(seen[0].type, static_cast<UINT>(MB_OK));
#endif
    // The 8-bit call reads Windows-1252 (0x80 is the euro sign).
    EXPECT_EQ(seen[1].owner, nullptr);
    EXPECT_EQ(seen[1].caption, TEXT("Setup \"done\""));
    EXPECT_EQ(seen[1].text, TEXT("Caf\u00E9 \u20AC"));
#if OUR_LAYER_ONLY
    EXPECT_EQ(seen[1].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
#endif
    // No caption reads "Error", no text is empty, in both widths.
    for (size_t i : {2u, 3u}) {
        EXPECT_EQ(seen[i].caption, TEXT("Error"));
        EXPECT_EQ(seen[i].text, TEXT(""));
    }
    DestroyWindow(owner);
}

#if OUR_LAYER_ONLY
TEST_F(MessageBoxes, UnansweredBoxesReturnZeroAndAreRecorded)
{
    answerWith(0);
    EXPECT_EQ(MessageBoxW(nullptr, TEXT("Do you really want to reset?"), TEXT("Reset"), MB_YESNO), 0);
    control::setUser({});
    EXPECT_EQ(MessageBoxA(nullptr, "Unable to write", "Error", MB_OK), 0);
    EXPECT_EQ(control::takeUnansweredPrompts(),
              (std::vector<std::string>{
                  "message box \"Reset\": Do you really want to reset? was not answered",
                  "message box \"Error\": Unable to write was not answered (no user to answer it)"}));
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});   // taken once
}

#endif

TEST_F(MessageBoxes, BadArgumentsFailBeforeTheUserIsAsked)
{
    std::vector<BoxSeen> seen;
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
        EXPECT_EQ(MessageBoxW(c.owner, TEXT("Text"), TEXT("Caption"), c.type), 0);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_TRUE(seen.empty());
}

#if OUR_LAYER_ONLY
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
    EXPECT_EQ(MessageBoxW(nullptr, TEXT("1"), TEXT("c"), MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, TEXT("2"), TEXT("c"), MB_YESNO), IDNO);
    control::resetDevice();
    EXPECT_EQ(MessageBoxW(nullptr, TEXT("3"), TEXT("c"), MB_YESNO), 0);
    EXPECT_EQ(control::takeUnansweredPrompts(),
              std::vector<std::string>{"message box \"c\": 3 was not answered (no user to answer it)"});
}

#endif

}   // namespace
