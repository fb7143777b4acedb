#include "runner.h"

#include "stand_ins.h"

#include <control.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <optional>

namespace host {
namespace {

// Runs shorter than this finish before a progress line would be worth reading.
constexpr DWORD kProgressFromMs = 10 * 60 * 1000;
constexpr long long kProgressEveryWallMs = 200;

std::string clockStamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char buf[32];
    snprintf(buf, sizeof buf, "[%02d:%02d:%02d]", now.wHour, now.wMinute, now.wSecond);
    return buf;
}

std::string hoursMinutes(DWORD ms)
{
    DWORD minutes = ms / 60000;
    char buf[32];
    snprintf(buf, sizeof buf, "%uh%02um", minutes / 60, minutes % 60);
    return buf;
}

long long wallMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Runner::Runner(const Script &script, Options options, std::ostream &out, std::ostream &err)
    : script_(script), options_(std::move(options)), out_(out), err_(err)
{
}

Runner::~Runner() = default;

bool Runner::run()
{
    installUser();
    control::takeUnansweredPrompts();   // only what this script's commands leave unanswered counts
    bool ok = true;
    const std::vector<Command> &commands = script_.commands;
    for (size_t i = 0; i < commands.size() && ok; ++i) {
        current_ = &commands[i];
        if (isPromptingCommand(commands[i].kind)) {
            std::vector<const Command *> answers;
            while (i + 1 < commands.size() && isAnswer(commands[i + 1].kind)) answers.push_back(&commands[++i]);
            ok = prompt(*current_, answers);
        } else {
            // Only the commands above prompt; a prompt during any other fails the run all the same.
            ok = execute(*current_) && promptsSettled(*current_);
        }
    }
    current_ = nullptr;
    clearProgress();
    // The device is switched off: the Today screen and the other programs end.
    if (screen_) {
        screen_->stop();
        screen_.reset();
        control::pumpMessages();
    }
    closeAllForeignWindows();
    control::setUser({});
    out_.flush();
    return ok;
}

bool Runner::fail(const Command &command, const std::string &message)
{
    clearProgress();
    err_ << script_.name << ":" << command.line << ": " << message << "\n";
    return false;
}

bool Runner::execute(const Command &c)
{
    switch (c.kind) {
    case CommandKind::Clock:
        control::setLocalTime(c.time);
        return true;
    case CommandKind::TickCount:
        control::setTickCount(c.number);
        return true;
    case CommandKind::Power:
        control::setPowerCallFails(false);
        control::setPowerStatus(c.power[0], c.power[1], c.power[2]);
        return true;
    case CommandKind::PowerFail:
        control::setPowerCallFails(true);
        return true;
    case CommandKind::Boot:
        // A scenario starts on a device with Durvo installed unless it asks for an empty one.
        if (!c.emptyDevice && !hasDurvoItem()) {
            InstallOutcome outcome;
            if (!install(c, options_.builtCabinet, &outcome)) return false;
            err_ << script_.name << ":" << c.line << ": note: no Durvo item on the device; installed "
                 << options_.builtCabinet.string() << ": " << describe(outcome) << "\n";
        }
        return boot(c);
    case CommandKind::Install: {
        InstallOutcome outcome;
        if (!install(c, c.text, &outcome)) return false;
        clearProgress();
        out_ << clockStamp() << " installed " << c.text << ": " << describe(outcome) << "\n";
        out_.flush();
        return true;
    }
    case CommandKind::SoftReset:
        // A soft reset ends every program and restarts the tick count; the registry, the
        // files and the clock survive it.
        screen_->stop();
        screen_.reset();
        control::pumpMessages();
        closeAllForeignWindows();
        control::setTickCount(0);
        return boot(c);
    case CommandKind::Run:
        runFor(c);
        return true;
    case CommandKind::Sleep:
        control::advanceClock(c.number);
        return true;
    case CommandKind::Show:
        show(c);
        return true;
    case CommandKind::Screenshot: {
        screen_->refreshHeader();   // the clock may have moved without a timer (sleep, clock)
        control::pumpMessages();
        std::filesystem::path file = c.text;
        std::error_code ec;
        if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
        if (ec || !control::saveWindowPng(screen_->desktop(), file))
            return fail(c, "cannot write the screenshot " + file.string());
        return true;
    }
    case CommandKind::Window:
        control::addForeignWindow(control::fromUtf8(c.text));
        openWindows_.push_back(control::fromUtf8(c.text));
        return true;
    case CommandKind::Hide:
        control::setForeignWindowVisible(control::fromUtf8(c.text), false);
        return true;
    case CommandKind::Close: {
        std::u16string title = control::fromUtf8(c.text);
        control::closeForeignWindow(title);
        auto it = std::find(openWindows_.begin(), openWindows_.end(), title);
        if (it != openWindows_.end()) openWindows_.erase(it);
        return true;
    }
    case CommandKind::Setting:
        pendingSettings_.emplace_back(c.text, c.number);
        return true;
    case CommandKind::DesktopSync:
        return desktopSync(c);
    case CommandKind::Tap:
    case CommandKind::Action:
    case CommandKind::Settings:
    case CommandKind::Setup:
        return prompt(c, {});
    case CommandKind::Menu:
    case CommandKind::Answer:
    case CommandKind::Options:
    case CommandKind::Licence:
        break;   // answer lines are carried out with the command they follow
    }
    return fail(c, "unhandled command");
}

bool Runner::install(const Command &c, const std::filesystem::path &cabinet, InstallOutcome *outcome)
{
    std::string why;
    if (!installCabinetFile(cabinet, InstallTarget{options_.processor}, outcome, &why))
        return fail(c, "cannot install " + cabinet.string() + ": " + why);
    return true;
}

// ---- Prompts and the scripted user -------------------------------------------------------------

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
    return kind == CommandKind::Menu      ? "a popup menu"
           : kind == CommandKind::Answer  ? "a message box"
           : kind == CommandKind::Licence ? "the licence dialog"
                                          : "an options page";
}

// Whether a box of this type has the button an answer presses.
bool boxHasButton(UINT type, int answer)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
        return answer == IDOK;
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return answer == IDYES || answer == IDNO;
    default:
        return false;
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
    case BS_AUTO3STATE:
        return ControlKind::CheckBox;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        return ControlKind::RadioButton;
    default:
        return ControlKind::PushButton;
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

}  // namespace

void Runner::print(const std::string &line)
{
    clearProgress();
    out_ << line << "\n";
    out_.flush();
}

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
        promptFailed(line, prompt + " was not answered: no answer line for it follows line " + std::to_string(line));
        return nullptr;
    }
    const Command *answer = answers_[nextAnswer_];
    if (answer->kind != kind) {
        promptFailed(answer->line, std::string("this line answers ") + answerKindName(answer->kind) + ", but " +
                                       prompt + " came");
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
        promptFailed(answer->line, "the message box \"" + caption + "\" has no " + answerWord(answer->answer) + " button");
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
        if (!(item.flags & MF_SEPARATOR) && control::toUtf8(item.text) == answer->text) return static_cast<int>(item.id);
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

bool Runner::setControl(HWND dialog, const std::vector<control::ControlShown> &controls, const Command &answer,
                        const ControlSetting &setting)
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
            promptFailed(answer.line, name + " is a radio button: switch on another one of its group instead");
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
            promptFailed(answer.line, name + " has " + std::to_string(found->listItems.size()) + " entries, not " +
                                          std::to_string(setting.index + 1));
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
    bool carriedOut = c.kind == CommandKind::Tap      ? tap(c)
                      : c.kind == CommandKind::Action ? action(c)
                      : c.kind == CommandKind::Setup  ? setupOnDesktop(c)
                                                      : openSettings(c);
    if (screen_) screen_->holdRebuild(false);
    control::pumpMessages();
    reportChanges();
    bool ok = carriedOut && promptsSettled(c);
    if (ok && nextAnswer_ < answers_.size()) {
        ok = fail(*answers_[nextAnswer_], std::string("this line answers ") +
                                              answerKindName(answers_[nextAnswer_]->kind) + ", but none came");
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

bool Runner::tap(const Command &c)
{
    auto items = screen_->items();
    if (items.empty()) return fail(c, "no item on the Today screen to tap");
    HWND window = items.front().window;
    LPARAM point = MAKELPARAM(c.x, c.y);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(window, WM_LBUTTONUP, 0, point);
    control::pumpMessages();
    return true;
}

bool Runner::action(const Command &c)
{
    auto items = screen_->items();
    if (items.empty()) return fail(c, "no item on the Today screen for the action key");
    HWND window = items.front().window;
    screen_->select(window);
    PostMessageW(window, WM_TODAYCUSTOM_ACTION, 0, 0);
    control::pumpMessages();
    return true;
}

// As the Today settings open an item's options: export 241 run over the library's template.
bool Runner::openSettings(const Command &c)
{
    auto items = screen_->items();
    auto item = std::find_if(items.begin(), items.end(), [](const TodayScreen::ItemView &v) { return v.hasOptions; });
    if (item == items.end()) return fail(c, "no item on the Today screen has options");
    FARPROC export241 = GetProcAddressW(item->module, MAKEINTRESOURCEW(ORDINAL_CUSTOM_ITEM_OPTIONS));
    // An export's real type is known only to its caller, as with any GetProcAddress.
    auto procedure = reinterpret_cast<DLGPROC>(reinterpret_cast<void (*)()>(export241));
    HRSRC found = FindResourceW(item->module, MAKEINTRESOURCEW(IDD_TODAY_CUSTOM), RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(item->module, found) : nullptr;
    if (!procedure || !loaded) {
        return fail(c, "the item \"" + control::toUtf8(item->name) + "\" has no options page (export " +
                           std::to_string(ORDINAL_CUSTOM_ITEM_OPTIONS) + " and dialog " +
                           std::to_string(IDD_TODAY_CUSTOM) + ")");
    }
    DialogBoxIndirectParamW(item->module, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)), screen_->desktop(),
                            procedure, 0);
    return true;
}

bool Runner::boot(const Command &c)
{
    // The meter reads its store when its library is loaded and again when its item starts; the
    // settings go in between, so that a first run's fresh store does not overwrite them.
    std::string settingError;
    auto applySettings = [&] {
        for (const auto &[name, value] : pendingSettings_)
            if (!writeStoreNumber(name, value, &settingError)) break;
        pendingSettings_.clear();
    };
    screen_ = std::make_unique<TodayScreen>(options_.look, err_);
    if (!screen_->start(applySettings)) return fail(c, "cannot create the Desktop window");
    if (!settingError.empty()) return fail(c, settingError);
    control::pumpMessages();
    if (screen_->items().empty()) err_ << script_.name << ":" << c.line << ": note: no Today item was started\n";
    reportChanges();
    return true;
}

void Runner::runFor(const Command &c)
{
    DWORD done = 0;
    while (done < c.number) {
        DWORD step = std::min(c.stepMs, c.number - done);
        control::run(step, step);
        done += step;
        reportChanges();
        if (options_.progress && c.number >= kProgressFromMs) progress(c, done);
    }
    clearProgress();
}

void Runner::show(const Command &c)
{
    control::pumpMessages();
    if (!screen_ || screen_->items().empty()) {
        err_ << script_.name << ":" << c.line << ": note: no item on the Today screen to show\n";
        return;
    }
    clearProgress();
    for (const auto &item : screen_->items())
        for (const std::u16string &line : control::drawnText(item.window)) out_ << "item: " << control::toUtf8(line) << "\n";
    out_.flush();
}

void Runner::reportChanges()
{
    if (!screen_) return;
    auto items = screen_->items();
    std::string text;
    for (const auto &item : items) {
        std::string lines;
        for (const std::u16string &line : control::drawnText(item.window)) {
            if (!lines.empty()) lines += " | ";
            lines += control::toUtf8(line);
        }
        if (lines.empty()) continue;
        if (!text.empty()) text += " || ";
        if (items.size() > 1) text += control::toUtf8(item.name) + ": ";
        text += lines;
    }
    if (text.empty() && hadItems_ && items.empty()) text = "(no item on the Today screen)";
    hadItems_ = !items.empty();
    if (text.empty() || text == shownText_) return;
    shownText_ = text;
    clearProgress();
    out_ << clockStamp() << " " << text << "\n";
    out_.flush();
}

void Runner::closeAllForeignWindows()
{
    for (const std::u16string &title : openWindows_) control::closeForeignWindow(title);
    openWindows_.clear();
}

void Runner::progress(const Command &c, DWORD done)
{
    long long now = wallMs();
    if (done < c.number && now - lastProgressMs_ < kProgressEveryWallMs) return;
    lastProgressMs_ = now;
    err_ << "\r" << script_.name << ":" << c.line << ": run " << hoursMinutes(done) << " of "
         << hoursMinutes(c.number) << "\x1b[K";
    err_.flush();
    progressShown_ = true;
}

void Runner::clearProgress()
{
    if (!progressShown_) return;
    err_ << "\r\x1b[K";
    err_.flush();
    progressShown_ = false;
}

// ---- The emulated desktop ------------------------------------------------------------------------

// Back to the device after a desktop step: every save and switch of a registry is checked, and
// a failure ends the run with its reason (a failed switch inside the step too).
bool Runner::leaveDesktop(DesktopSession &desktop, std::string *error)
{
    bool left = desktop.leave(error);
    deviceRegistryLost_ = deviceRegistryLost_ || desktop.deviceRegistryLost();
    if (left && !switchFailure_.empty()) *error = "cannot switch between the desktop and the device: " + switchFailure_;
    bool ok = left && switchFailure_.empty();
    switchFailure_.clear();
    return ok;
}

bool Runner::desktopSync(const Command &c)
{
    std::string error;
    bool placed = false;
    {
        DesktopSession desktop(DesktopFolder(options_.deviceDir), DeviceSide{options_.deviceDir / "fs"}, nullptr);
        if (!desktop.ok(&error)) return fail(c, "cannot start the desktop: " + error);
        std::u16string folder = control::fromUtf8(c.text);
        std::filesystem::path host = control::hostPathOf(folder);
        std::error_code ec;
        std::filesystem::create_directories(host, ec);
        HKEY key = nullptr;
        std::u16string value = folder + u'\0';
        if (ec) {
            error = "cannot create " + c.text + ": " + ec.message();
        } else if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows CE Services", 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS ||
                   RegSetValueExW(key, u"InstalledDir", 0, REG_SZ, reinterpret_cast<const BYTE *>(value.data()),
                                  static_cast<DWORD>(value.size() * sizeof(char16_t))) != ERROR_SUCCESS) {
            error = "cannot write the desktop's registry";
        } else {
            placed = placeStandIn(host / "CEAppMgr.exe", StandIn::ApplicationManager, &error);
        }
        if (key) RegCloseKey(key);
        std::string leaving;
        if (!leaveDesktop(desktop, &leaving)) return fail(c, leaving);
    }
    if (!placed) return fail(c, error);
    print("desktop: the synchronisation software is in " + c.text);
    return true;
}

bool Runner::setupOnDesktop(const Command &c)
{
    std::string error;
    int exitCode = 0;
    {
        // Declared before the session: the launcher refers to it.
        DesktopSession *session = nullptr;
        DesktopSession desktop(DesktopFolder(options_.deviceDir), DeviceSide{options_.deviceDir / "fs"},
                               [&](const control::ProgramStart &start) { return startDesktopProgram(start, *session); });
        session = &desktop;
        if (!desktop.ok(&error)) return fail(c, "cannot start the desktop: " + error);
        onDesktop_ = true;
        exitCode = control::runProgram(options_.setupProgram, "", &error);
        onDesktop_ = false;
        std::string leaving;
        if (!leaveDesktop(desktop, &leaving)) return fail(c, leaving);
    }
    if (exitCode == -1 && !error.empty()) return fail(c, "cannot run " + options_.setupProgram.string() + ": " + error);
    print("setup: DurvoSetup ended with exit code " + std::to_string(exitCode));
    return true;
}

bool Runner::startDesktopProgram(const control::ProgramStart &start, DesktopSession &session)
{
    std::string line = control::toUtf8(start.commandLine);
    if (start.program.empty()) {
        print("exec: " + line + " (no such program)");
        return false;
    }
    print("exec: " + line);
    std::optional<StandIn> standIn = standInOf(start.program);
    if (!standIn) {
        print("exec: " + control::toUtf8(start.program) + " is no program this desktop can run");
        return false;
    }
    if (*standIn == StandIn::ApplicationManager) {
        applicationManager(start, session);
    } else {
        textEditor(start);
    }
    return true;
}

// Reads the description file's cabinets and hands the one for the device's processor to the
// device's installer, as the application manager does once the device is connected.
void Runner::applicationManager(const control::ProgramStart &start, DesktopSession &session)
{
    std::vector<std::u16string> arguments = commandLineArguments(start.commandLine);
    if (arguments.size() < 2) {
        print("CEAppMgr: no description file given");
        return;
    }
    const std::u16string &description = arguments[1];
    std::string shown = control::toUtf8(description);
    std::string text;
    std::vector<std::string> cabinets;
    std::string error;
    if (!control::readRegularFile(control::hostPathOf(description), kMaxDescriptionBytes, &text, &error) ||
        !descriptionCabinets(text, &cabinets, &error)) {
        print("CEAppMgr: cannot use " + shown + ": " + error);
        return;
    }
    std::u16string folder = description.substr(0, description.find_last_of(u'\\') + 1);
    std::u16string chosen;
    for (const std::string &name : cabinets) {
        uint32_t processor = 0;
        std::u16string cabinet = folder + control::fromUtf8(name);
        if (!cabinetProcessor(control::hostPathOf(cabinet), &processor, &error)) {
            print("CEAppMgr: skipped " + control::toUtf8(cabinet) + ": " + error);
            continue;
        }
        if (processor == options_.processor) {
            chosen = cabinet;
            break;
        }
    }
    if (chosen.empty()) {
        print("CEAppMgr: no cabinet of " + shown + " is for this device's processor");
        return;
    }
    std::filesystem::path cabinetFile = control::hostPathOf(chosen);
    InstallOutcome outcome;
    bool installed = false;
    std::string switching;
    if (!session.onDevice([&] { installed = installCabinetFile(cabinetFile, InstallTarget{options_.processor}, &outcome, &error); },
                          &switching)) {
        print("CEAppMgr: cannot switch between the desktop and the device: " + switching);
        switchFailure_ = switching;
        return;
    }
    if (!installed) {
        print("CEAppMgr: the device refused " + control::toUtf8(chosen) + ": " + error);
        return;
    }
    print(clockStamp() + " installed " + control::toUtf8(chosen) + ": " + describe(outcome));
}

// What the editor was asked to open, and whether that file is there.
void Runner::textEditor(const control::ProgramStart &start)
{
    std::vector<std::u16string> arguments = commandLineArguments(start.commandLine);
    if (arguments.size() < 2) {
        print("notepad: a new, empty document");
        return;
    }
    std::string shown = control::toUtf8(arguments[1]);
    std::error_code ec;
    std::filesystem::path file = control::hostPathOf(arguments[1]);
    if (!std::filesystem::is_regular_file(file, ec)) {
        print("notepad: cannot find " + shown);
        return;
    }
    print("notepad: " + shown + " (" + std::to_string(std::filesystem::file_size(file, ec)) + " bytes)");
}

// The setup's licence dialog: each `licence` line presses Install or Cancel; a Cancel's question
// is answered by an `answer` line, and a `licence` line may follow a No.
void Runner::answerLicence(const control::DialogShown &dialog)
{
    print("dialog \"" + control::toUtf8(dialog.title) + "\"");
    while (IsWindow(dialog.dialog) && IsWindowVisible(dialog.dialog)) {
        const Command *answer = takeAnswer(CommandKind::Licence, "the dialog \"" + control::toUtf8(dialog.title) + "\"");
        if (!answer || !takePicture(*answer)) return;
        if (!control::clickControl(dialog.dialog, answer->answer)) {
            promptFailed(answer->line, "the dialog has no button to press");
            return;
        }
        if (!promptFailure_.empty()) return;
    }
}

}  // namespace host
