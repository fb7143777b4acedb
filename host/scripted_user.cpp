// The scripted user: the answer lines after a prompting command answer the item's (or the
// setup's) message boxes, menus and dialogs as they appear, and each prompt is printed.
#include "runner.h"

#include <control.h>

#include <algorithm>

namespace host {

namespace {

// Message box texts on one line: CR and LF written as \r and \n.
std::string escaped(std::u16string_view text)
{
    std::string out;
    for (char c : control::toUtf8(text)) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

const char *answerWord(int answer)
{
    return answer == IDYES ? "yes" : answer == IDNO ? "no" : "ok";
}

const char *answerKindName(CommandKind kind)
{
    return kind == CommandKind::Menu   ? "a popup menu"
        : kind == CommandKind::Answer  ? "a message box"
        : kind == CommandKind::Licence ? "the licence dialog"
                                       : "an options page";
}

// Whether a box of this type has the button an answer presses.
bool boxHasButton(UINT type, int answer)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL: return answer == IDOK;
    case MB_YESNO:
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO;
    default: return false;
    }
}

enum class ControlKind { CheckBox, RadioButton, PushButton, List, Other };

ControlKind kindOf(const control::ControlShown &control)
{
    if (control.className == u"combobox") return ControlKind::List;
    if (control.className != u"button") return ControlKind::Other;
    switch (control.style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE: return ControlKind::CheckBox;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: return ControlKind::RadioButton;
    default: return ControlKind::PushButton;
    }
}

// "1001=off 1003=on 1005=2 1012=hidden": what the page shows, in template order.
std::string pageState(const std::vector<control::ControlShown> &controls)
{
    std::string state;
    for (const control::ControlShown &control : controls) {
        ControlKind kind = kindOf(control);
        std::string value;
        if (!control.visible) {
            value = "hidden";
        } else if (kind == ControlKind::CheckBox || kind == ControlKind::RadioButton) {
            value = control.check == BST_CHECKED ? "on" : "off";
        } else if (kind == ControlKind::List) {
            value = control.selection < 0 ? "none" : std::to_string(control.selection);
        } else {
            continue;
        }
        state += (state.empty() ? "" : " ") + std::to_string(control.id) + "=" + value;
    }
    return state;
}

}   // namespace

void Runner::promptFailed(int line, const std::string &message)
{
    if (promptFailure_.empty()) promptFailure_ = script_.name + ":" + std::to_string(line) + ": " + message;
}

void Runner::installUser()
{
    control::ScriptedUser user;
    user.messageBox = [this](const control::MessageBoxShown &box) { return answerMessageBox(box); };
    user.menu = [this](const control::MenuShown &menu) { return answerMenu(menu); };
    user.dialog = [this](const control::DialogShown &dialog) { answerDialog(dialog); };
    control::setUser(std::move(user));
}

const Command *Runner::takeAnswer(CommandKind kind, const std::string &prompt)
{
    int line = current_ ? current_->line : 0;
    if (!promptFailure_.empty()) return nullptr;   // the first failure is the one to report
    if (nextAnswer_ >= answers_.size()) {
        promptFailed(
            line, prompt + " was not answered: no answer line for it follows line " + std::to_string(line));
        return nullptr;
    }
    const Command *answer = answers_[nextAnswer_];
    if (answer->kind != kind) {
        promptFailed(answer->line,
                     std::string("this line answers ") + answerKindName(answer->kind) + ", but " + prompt
                         + " came");
        return nullptr;
    }
    ++nextAnswer_;
    return answer;
}

bool Runner::takePicture(const Command &answer)
{
    if (answer.picture.empty()) return true;
    std::filesystem::path file = answer.picture;
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    if (ec || !control::saveScreenPng(file)) {
        promptFailed(answer.line, "cannot write the screenshot " + file.string());
        return false;
    }
    return true;
}

int Runner::answerMessageBox(const control::MessageBoxShown &box)
{
    std::string caption = control::toUtf8(box.caption);
    print("box \"" + caption + "\": " + escaped(box.text));
    const Command *answer = takeAnswer(CommandKind::Answer, "the message box \"" + caption + "\"");
    if (!answer) return 0;
    if (!boxHasButton(box.type, answer->answer)) {
        promptFailed(answer->line,
                     "the message box \"" + caption + "\" has no " + answerWord(answer->answer) + " button");
        return 0;
    }
    if (!takePicture(*answer)) return 0;
    return answer->answer;
}

int Runner::answerMenu(const control::MenuShown &menu)
{
    std::string items;
    for (const control::MenuItemShown &item : menu.items) {
        if (item.flags & MF_SEPARATOR) continue;
        items += (items.empty() ? "" : " | ") + control::toUtf8(item.text);
    }
    print("menu: " + items);
    const Command *answer = takeAnswer(CommandKind::Menu, "the popup menu");
    if (!answer || !takePicture(*answer)) return -1;
    if (answer->dismiss) return 0;
    for (const control::MenuItemShown &item : menu.items) {
        if (!(item.flags & MF_SEPARATOR) && control::toUtf8(item.text) == answer->text)
            return static_cast<int>(item.id);
    }
    promptFailed(answer->line, "the popup menu has no item \"" + answer->text + "\" (it has: " + items + ")");
    return -1;
}

void Runner::answerDialog(const control::DialogShown &dialog)
{
    if (onDesktop_) {
        answerLicence(dialog);
        return;
    }
    std::string title = control::toUtf8(dialog.title);
    std::vector<control::ControlShown> controls = control::dialogControls(dialog.dialog);
    print("page \"" + title + "\": " + pageState(controls));
    const Command *answer = takeAnswer(CommandKind::Options, "the page \"" + title + "\"");
    if (!answer) return;
    for (const ControlSetting &setting : answer->controls) {
        // A setting may open a prompt of its own (the About button's box): the list is read anew.
        if (!setControl(dialog.dialog, control::dialogControls(dialog.dialog), *answer, setting)) return;
    }
    if (!takePicture(*answer)) return;
    // The OK button in the title bar that SHInitDialog gives a full-screen page.
    SendMessageW(dialog.dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

bool Runner::setControl(HWND dialog, const std::vector<control::ControlShown> &controls,
                        const Command &answer, const ControlSetting &setting)
{
    std::string name = "control " + std::to_string(setting.id);
    auto found = std::find_if(controls.begin(), controls.end(),
                              [&](const control::ControlShown &c) { return c.id == setting.id; });
    if (found == controls.end()) {
        promptFailed(answer.line, "the page has no " + name);
        return false;
    }
    ControlKind kind = kindOf(*found);
    bool done = false;
    switch (setting.kind) {
    case ControlSetting::Kind::On:
    case ControlSetting::Kind::Off: {
        bool on = setting.kind == ControlSetting::Kind::On;
        if (kind == ControlKind::RadioButton && !on) {
            promptFailed(answer.line,
                         name + " is a radio button: switch on another one of its group instead");
            return false;
        }
        if (kind != ControlKind::CheckBox && kind != ControlKind::RadioButton) {
            promptFailed(answer.line, name + " is no check box or radio button");
            return false;
        }
        done = (found->check == BST_CHECKED) == on || control::clickControl(dialog, setting.id);
        break;
    }
    case ControlSetting::Kind::Index:
        if (kind != ControlKind::List) {
            promptFailed(answer.line, name + " is no list");
            return false;
        }
        if (setting.index >= static_cast<int>(found->listItems.size())) {
            promptFailed(answer.line,
                         name + " has " + std::to_string(found->listItems.size()) + " entries, not "
                             + std::to_string(setting.index + 1));
            return false;
        }
        done = control::selectListItem(dialog, setting.id, setting.index);
        break;
    case ControlSetting::Kind::Tap:
        done = kind != ControlKind::List && control::clickControl(dialog, setting.id);
        break;
    }
    if (!done) promptFailed(answer.line, name + " cannot be used: it is hidden, disabled or no button");
    return done;
}

bool Runner::prompt(const Command &c, std::vector<const Command *> answers)
{
    answers_ = std::move(answers);
    nextAnswer_ = 0;
    // The item's menu and page run its own code: a rebuild it asks for waits until they end.
    if (screen_) screen_->holdRebuild(true);
    bool carriedOut = c.kind == CommandKind::Tap ? tap(c)
        : c.kind == CommandKind::Action          ? action(c)
        : c.kind == CommandKind::Setup           ? setupOnDesktop(c)
                                                 : openSettings(c);
    if (screen_) screen_->holdRebuild(false);
    control::pumpMessages();
    reportChanges();
    bool ok = carriedOut && promptsSettled(c);
    if (ok && nextAnswer_ < answers_.size()) {
        ok = fail(*answers_[nextAnswer_],
                  std::string("this line answers ") + answerKindName(answers_[nextAnswer_]->kind)
                      + ", but none came");
    }
    answers_.clear();
    nextAnswer_ = 0;
    return ok;
}

bool Runner::promptsSettled(const Command &c)
{
    std::vector<std::string> unanswered = control::takeUnansweredPrompts();
    if (!promptFailure_.empty()) {
        clearProgress();
        err_ << promptFailure_ << "\n";
        promptFailure_.clear();
        return false;
    }
    if (!unanswered.empty()) return fail(c, unanswered.front());
    return true;
}

}   // namespace host
