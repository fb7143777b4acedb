// A scripted user for the plug-in's tests: answers message boxes and popup menus from queues,
// runs a test's own hands on each dialog, and keeps everything it was shown.
#ifndef DURVO_TESTS_RECORDING_USER_H
#define DURVO_TESTS_RECORDING_USER_H

#include <control.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class RecordingUser {
public:
    // Installs this user on the device; it stays until resetDevice or another setUser.
    void install()
    {
        control::ScriptedUser user;
        user.messageBox = [this](const control::MessageBoxShown &box) {
            boxes.push_back(box);
            if (boxAnswers.empty()) return 0;   // unanswered: the platform records it
            int answer = boxAnswers.front();
            boxAnswers.pop_front();
            return answer;
        };
        user.menu = [this](const control::MenuShown &menu) {
            menus.push_back(menu);
            if (menuAnswers.empty()) return -1;
            int answer = menuAnswers.front();
            menuAnswers.pop_front();
            return answer;
        };
        user.dialog = [this](const control::DialogShown &dialog) {
            dialogs.push_back(dialog);
            if (onDialog) onDialog(dialog);
        };
        control::setUser(std::move(user));
    }

    // A message box as a test expects it.
    struct Box {
        const char *caption;
        std::string text;
        UINT type;
    };

    // The boxes shown were exactly `expected`, in order, each owned by `owner`.
    void expectBoxes(const std::vector<Box> &expected, HWND owner) const
    {
        ASSERT_EQ(boxes.size(), expected.size());
        for (size_t i = 0; i < expected.size(); i++) {
            EXPECT_EQ(control::toUtf8(boxes[i].caption), expected[i].caption) << i;
            EXPECT_EQ(control::toUtf8(boxes[i].text), expected[i].text) << i;
            EXPECT_EQ(boxes[i].type, expected[i].type) << i;
            EXPECT_EQ(boxes[i].owner, owner) << i;
        }
    }

    // The captions of the boxes shown, in order.
    std::vector<std::string> captions() const
    {
        std::vector<std::string> out;
        for (const auto &box : boxes) out.push_back(control::toUtf8(box.caption));
        return out;
    }

    std::deque<int> boxAnswers;    // IDOK, IDYES, IDNO ... in the order asked
    std::deque<int> menuAnswers;   // a command id, or 0 to dismiss
    std::function<void(const control::DialogShown &)> onDialog;

    std::vector<control::MessageBoxShown> boxes;
    std::vector<control::MenuShown> menus;
    std::vector<control::DialogShown> dialogs;
};

// The unregister command's question, as both the menu and the options page ask it.
inline const std::string unregisterQuestion
    = "Do you really want to unregister Durvo plugin ? \n\r"
      "Tap \"YES\" only if you prepare to uninstal this software.\n\r"
      "Please note: uour device may perform soft reset after unregistering.";

#endif
