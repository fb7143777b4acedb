// The commands of a scenario carried out in order against the device and its Today screen; the
// scripted user (scripted_user.cpp) and the emulated desktop (desktop_programs.cpp) are the
// Runner's other two jobs.
#include "runner.h"

#include <control.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace host {
namespace {

// Runs shorter than this finish before a progress line would be worth reading.
constexpr DWORD kProgressFromMs = 10 * 60 * 1000;
constexpr long long kProgressEveryWallMs = 200;

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

}   // namespace

std::string clockStamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char buf[32];
    snprintf(buf, sizeof buf, "[%02d:%02d:%02d]", now.wHour, now.wMinute, now.wSecond);
    return buf;
}

Runner::Runner(const Script &script, Options options, std::ostream &out, std::ostream &err)
    : script_(script), options_(std::move(options)), out_(out), err_(err)
{ }

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
            while (i + 1 < commands.size() && isAnswer(commands[i + 1].kind))
                answers.push_back(&commands[++i]);
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
    case CommandKind::Clock: control::setLocalTime(c.time); return true;
    case CommandKind::TickCount: control::setTickCount(c.number); return true;
    case CommandKind::Power:
        control::setPowerCallFails(false);
        control::setPowerStatus(c.power[0], c.power[1], c.power[2]);
        return true;
    case CommandKind::PowerFail: control::setPowerCallFails(true); return true;
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
    case CommandKind::Run: runFor(c); return true;
    case CommandKind::Sleep: control::advanceClock(c.number); return true;
    case CommandKind::Show: show(c); return true;
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
    case CommandKind::Hide: control::setForeignWindowVisible(control::fromUtf8(c.text), false); return true;
    case CommandKind::Close: {
        std::u16string title = control::fromUtf8(c.text);
        control::closeForeignWindow(title);
        auto it = std::find(openWindows_.begin(), openWindows_.end(), title);
        if (it != openWindows_.end()) openWindows_.erase(it);
        return true;
    }
    case CommandKind::Setting: pendingSettings_.emplace_back(c.text, c.number); return true;
    case CommandKind::DesktopSync: return desktopSync(c);
    case CommandKind::Tap:
    case CommandKind::Action:
    case CommandKind::Settings:
    case CommandKind::Setup: return prompt(c, {});
    case CommandKind::Menu:
    case CommandKind::Answer:
    case CommandKind::Options:
    case CommandKind::Licence: break;   // answer lines are carried out with the command they follow
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
    auto item = std::find_if(items.begin(), items.end(),
                             [](const TodayScreen::ItemView &v) { return v.hasOptions; });
    if (item == items.end()) return fail(c, "no item on the Today screen has options");
    FARPROC export241 = GetProcAddressW(item->module, MAKEINTRESOURCEW(ORDINAL_CUSTOM_ITEM_OPTIONS));
    // An export's real type is known only to its caller, as with any GetProcAddress.
    auto procedure = reinterpret_cast<DLGPROC>(reinterpret_cast<void (*)()>(export241));
    HRSRC found = FindResourceW(item->module, MAKEINTRESOURCEW(IDD_TODAY_CUSTOM), RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(item->module, found) : nullptr;
    if (!procedure || !loaded) {
        return fail(c,
                    "the item \"" + control::toUtf8(item->name) + "\" has no options page (export "
                        + std::to_string(ORDINAL_CUSTOM_ITEM_OPTIONS) + " and dialog "
                        + std::to_string(IDD_TODAY_CUSTOM) + ")");
    }
    DialogBoxIndirectParamW(item->module, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)),
                            screen_->desktop(), procedure, 0);
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
    if (screen_->items().empty())
        err_ << script_.name << ":" << c.line << ": note: no Today item was started\n";
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
        for (const std::u16string &line : control::drawnText(item.window))
            out_ << "item: " << control::toUtf8(line) << "\n";
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

void Runner::print(const std::string &line)
{
    clearProgress();
    out_ << line << "\n";
    out_.flush();
}

}   // namespace host
