#include "script.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <map>

namespace host {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Cuts a '#' comment; a '#' inside a double-quoted title is part of the title.
std::string_view withoutComment(std::string_view line)
{
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == '#' && !quoted) return line.substr(0, i);
    }
    return line;
}

std::vector<std::string_view> words(std::string_view s)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && isBlank(s[i])) ++i;
        size_t start = i;
        while (i < s.size() && !isBlank(s[i])) ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

template <typename T> std::optional<T> parseNumber(std::string_view text)
{
    T value{};
    if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// 0 = Sunday, as SYSTEMTIME counts (Sakamoto's method).
WORD dayOfWeek(int year, int month, int day)
{
    static constexpr std::array<int, 12> offsets{0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return static_cast<WORD>((year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7);
}

// SYSTEMTIME's own range of years.
constexpr int kFirstYear = 1601;
constexpr int kLastYear = 30827;

std::optional<SYSTEMTIME> parseClock(std::string_view date, std::string_view time, std::string *why)
{
    auto field = [](std::string_view s, size_t at, size_t len) {
        return s.size() >= at + len ? parseNumber<int>(s.substr(at, len)) : std::nullopt;
    };
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || time.size() != 8 || time[2] != ':'
        || time[5] != ':') {
        *why = "clock wants YYYY-MM-DD HH:MM:SS";
        return std::nullopt;
    }
    auto year = field(date, 0, 4), month = field(date, 5, 2), day = field(date, 8, 2);
    auto hour = field(time, 0, 2), minute = field(time, 3, 2), second = field(time, 6, 2);
    if (!year || !month || !day || !hour || !minute || !second) {
        *why = "clock wants YYYY-MM-DD HH:MM:SS";
        return std::nullopt;
    }
    if (*year < kFirstYear || *month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month)
        || *hour > 23 || *minute > 59 || *second > 59) {
        *why = "no such date or time: " + std::string(date) + " " + std::string(time);
        return std::nullopt;
    }
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(*year);
    st.wMonth = static_cast<WORD>(*month);
    st.wDay = static_cast<WORD>(*day);
    st.wDayOfWeek = dayOfWeek(*year, *month, *day);
    st.wHour = static_cast<WORD>(*hour);
    st.wMinute = static_cast<WORD>(*minute);
    st.wSecond = static_cast<WORD>(*second);
    static_assert(kLastYear < 65536);
    return st;
}

// A title is the rest of the line, or one double-quoted string (which may hold '#' and
// leading or trailing blanks).
std::optional<std::string> parseTitle(std::string_view rest, std::string *why)
{
    rest = trim(rest);
    if (rest.empty()) {
        *why = "missing window title";
        return std::nullopt;
    }
    if (rest.front() != '"') return std::string(rest);
    size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) {
        *why = "unterminated quoted title";
        return std::nullopt;
    }
    if (!trim(rest.substr(close + 1)).empty()) {
        *why = "text after the quoted title";
        return std::nullopt;
    }
    std::string title(rest.substr(1, close - 1));
    if (title.empty()) {
        *why = "empty window title";
        return std::nullopt;
    }
    return title;
}

bool endsWithPng(std::string_view file)
{
    if (file.size() < 5) return false;
    std::string tail(file.substr(file.size() - 4));
    for (char &c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".png";
}

// An answer line may end in "screenshot FILE.png": the prompt is pictured before it is
// answered. Cuts that ending off `rest` and returns the file, or "" when there is none.
std::optional<std::string> takePicture(std::string_view *rest, std::string *why)
{
    auto w = words(*rest);
    if (w.size() < 2 || w[w.size() - 2] != "screenshot") return std::string();
    if (!endsWithPng(w.back())) {
        *why = "screenshot file must end in .png";
        return std::nullopt;
    }
    *rest = trim(rest->substr(0, static_cast<size_t>(w[w.size() - 2].data() - rest->data())));
    return std::string(w.back());
}

// "1001=on", "1002=off", "1005=2", "1009=tap": a control id of the page and what to do to it.
std::optional<ControlSetting> parseControlSetting(std::string_view word, std::string *why)
{
    size_t eq = word.find('=');
    auto id = eq == std::string_view::npos ? std::nullopt : parseNumber<int>(word.substr(0, eq));
    if (!id || *id > 65535) {
        *why
            = "options wants ID=VALUE (1001=on, 1002=off, 1005=2, 1009=tap), not '" + std::string(word) + "'";
        return std::nullopt;
    }
    std::string_view value = word.substr(eq + 1);
    ControlSetting setting;
    setting.id = *id;
    if (value == "on") {
        setting.kind = ControlSetting::Kind::On;
    } else if (value == "off") {
        setting.kind = ControlSetting::Kind::Off;
    } else if (value == "tap") {
        setting.kind = ControlSetting::Kind::Tap;
    } else if (auto index = parseNumber<int>(value)) {
        setting.kind = ControlSetting::Kind::Index;
        setting.index = *index;
    } else {
        *why = "control " + std::to_string(*id) + " wants on, off, tap or a list index, not '"
            + std::string(value) + "'";
        return std::nullopt;
    }
    return setting;
}

// Parses one non-empty line; returns false with *why set when it is not a command.
bool parseCommand(std::string_view line, Command *cmd, std::string *why)
{
    auto w = words(line);
    std::string_view verb = w[0];
    std::string_view rest = trim(line.substr(line.find(verb) + verb.size()));
    auto wantArgs = [&](size_t n, const char *usage) {
        if (w.size() != n + 1) {
            *why = std::string("usage: ") + usage;
            return false;
        }
        return true;
    };

    if (verb == "clock") {
        if (!wantArgs(2, "clock YYYY-MM-DD HH:MM:SS")) return false;
        auto t = parseClock(w[1], w[2], why);
        if (!t) return false;
        cmd->kind = CommandKind::Clock;
        cmd->time = *t;
        return true;
    }
    if (verb == "tickcount") {
        if (!wantArgs(1, "tickcount N")) return false;
        auto n = parseNumber<DWORD>(w[1]);
        if (!n) {
            *why = "tick count must be a whole number from 0 to 4294967295";
            return false;
        }
        cmd->kind = CommandKind::TickCount;
        cmd->number = *n;
        return true;
    }
    if (verb == "power") {
        if (w.size() == 2 && w[1] == "fail") {
            cmd->kind = CommandKind::PowerFail;
            return true;
        }
        if (!wantArgs(3, "power AC FLAG PERCENT | power fail")) return false;
        for (int i = 0; i < 3; ++i) {
            auto b = parseNumber<unsigned>(w[i + 1]);
            if (!b || *b > 255) {
                *why = "power bytes are decimal numbers from 0 to 255, not '" + std::string(w[i + 1]) + "'";
                return false;
            }
            cmd->power[i] = static_cast<BYTE>(*b);
        }
        cmd->kind = CommandKind::Power;
        return true;
    }
    if (verb == "boot") {
        if (!(w.size() == 1 || (w.size() == 2 && w[1] == "empty"))) {
            *why = "usage: boot [empty]";
            return false;
        }
        cmd->kind = CommandKind::Boot;
        cmd->emptyDevice = w.size() == 2;
        return true;
    }
    if (verb == "softreset" || verb == "show") {
        if (!wantArgs(0, std::string(verb).c_str())) return false;
        cmd->kind = verb == "softreset" ? CommandKind::SoftReset : CommandKind::Show;
        return true;
    }
    if (verb == "install") {
        if (!wantArgs(1, "install FILE.CAB")) return false;
        cmd->kind = CommandKind::Install;
        cmd->text = std::string(w[1]);
        return true;
    }
    if (verb == "run" || verb == "sleep") {
        bool isRun = verb == "run";
        bool hasStep = isRun && w.size() == 4 && w[2] == "every";
        if (!(w.size() == 2 || hasStep)) {
            *why = isRun ? "usage: run DURATION [every MS]" : "usage: sleep DURATION";
            return false;
        }
        auto d = parseDuration(w[1]);
        if (!d || *d == 0) {
            *why = "bad duration '" + std::string(w[1])
                + "' (like 500ms, 7s, 15m, 2h, 1h30m; more than 0, less than 49 days)";
            return false;
        }
        cmd->kind = isRun ? CommandKind::Run : CommandKind::Sleep;
        cmd->number = *d;
        if (hasStep) {
            auto step = parseNumber<DWORD>(w[3]);
            if (!step) step = parseDuration(w[3]);
            if (!step || *step == 0) {
                *why = "bad step '" + std::string(w[3]) + "' (milliseconds, more than 0)";
                return false;
            }
            cmd->stepMs = *step;
        }
        return true;
    }
    if (verb == "screenshot") {
        if (!wantArgs(1, "screenshot FILE.png")) return false;
        if (!endsWithPng(w[1])) {
            *why = "screenshot file must end in .png";
            return false;
        }
        cmd->kind = CommandKind::Screenshot;
        cmd->text = std::string(w[1]);
        return true;
    }
    if (verb == "window" || verb == "hide" || verb == "close") {
        auto title = parseTitle(rest, why);
        if (!title) return false;
        cmd->kind = verb == "window" ? CommandKind::Window
            : verb == "hide"         ? CommandKind::Hide
                                     : CommandKind::Close;
        cmd->text = *title;
        return true;
    }
    if (verb == "setting") {
        if (!wantArgs(2, "setting NAME VALUE")) return false;
        if (!isSettingName(w[1])) {
            *why = "unknown setting '" + std::string(w[1])
                + "' (dvAutoReset, dvAutoSoftReset, dvAutoDCReset, "
                  "dvAutoLog, dvLogProcess, dvBriefInfo, dvPowerMode, dvPPC2002, dvForecast, dvOffLevel, "
                  "dvDurvo, dvLogTimeout)";
            return false;
        }
        auto v = parseNumber<DWORD>(w[2]);
        if (!v) {
            *why = "setting value must be a whole number from 0 to 4294967295";
            return false;
        }
        cmd->kind = CommandKind::Setting;
        cmd->text = std::string(w[1]);
        cmd->number = *v;
        return true;
    }
    if (verb == "tap") {
        if (w.size() != 1 && w.size() != 3) {
            *why = "usage: tap [X Y]";
            return false;
        }
        cmd->kind = CommandKind::Tap;
        if (w.size() == 3) {
            auto x = parseNumber<int>(w[1]), y = parseNumber<int>(w[2]);
            if (!x || !y || *x > 32767 || *y > 32767) {
                *why = "tap wants a client point X Y, each from 0 to 32767";
                return false;
            }
            cmd->x = *x;
            cmd->y = *y;
        }
        return true;
    }
    if (verb == "setup") {
        if (!wantArgs(0, "setup")) return false;
        cmd->kind = CommandKind::Setup;
        return true;
    }
    if (verb == "desktop-sync") {
        // A Windows path of drive C:, blanks allowed: the rest of the line or one quoted string.
        auto path = parseTitle(rest, why);
        if (!path || path->size() < 3 || std::toupper(static_cast<unsigned char>((*path)[0])) != 'C'
            || (*path)[1] != ':' || (*path)[2] != '\\') {
            *why = "usage: desktop-sync PATH (a folder on drive C:, such as C:\\Program Files\\Sync)";
            return false;
        }
        cmd->kind = CommandKind::DesktopSync;
        cmd->text = *path;
        return true;
    }
    if (verb == "action" || verb == "settings") {
        if (!wantArgs(0, std::string(verb).c_str())) return false;
        cmd->kind = verb == "action" ? CommandKind::Action : CommandKind::Settings;
        return true;
    }
    if (verb == "menu" || verb == "answer" || verb == "options" || verb == "licence") {
        auto picture = takePicture(&rest, why);
        if (!picture) return false;
        cmd->picture = *picture;
        if (verb == "menu") {
            cmd->kind = CommandKind::Menu;
            if (rest == "dismiss") {
                cmd->dismiss = true;
                return true;
            }
            auto text = parseTitle(rest, why);
            if (!text) {
                *why = "usage: menu TEXT | menu dismiss [screenshot FILE.png]";
                return false;
            }
            cmd->text = *text;
            return true;
        }
        if (verb == "licence") {
            cmd->kind = CommandKind::Licence;
            if (rest == "install") {
                cmd->answer = IDOK;
            } else if (rest == "cancel") {
                cmd->answer = IDCANCEL;
            } else {
                *why = "usage: licence install|cancel [screenshot FILE.png]";
                return false;
            }
            return true;
        }
        if (verb == "answer") {
            cmd->kind = CommandKind::Answer;
            if (rest == "yes") {
                cmd->answer = IDYES;
            } else if (rest == "no") {
                cmd->answer = IDNO;
            } else if (rest == "ok") {
                cmd->answer = IDOK;
            } else {
                *why = "usage: answer yes|no|ok [screenshot FILE.png]";
                return false;
            }
            return true;
        }
        cmd->kind = CommandKind::Options;
        for (std::string_view word : words(rest)) {
            auto setting = parseControlSetting(word, why);
            if (!setting) return false;
            cmd->controls.push_back(*setting);
        }
        return true;
    }
    *why = "unknown command '" + std::string(verb) + "'";
    return false;
}

// The order-dependent rules: what needs a running Today screen, and which titles are open.
void checkSequence(const Script &script, std::vector<std::string> *errors)
{
    auto fail = [&](const Command &c, const std::string &message) {
        errors->push_back(script.name + ":" + std::to_string(c.line) + ": " + message);
    };
    bool booted = false;
    std::map<std::string, int> openWindows;   // title -> how many are open
    const Command *pendingSetting = nullptr;
    bool answering = false;   // answer lines are allowed: they follow a prompting command
    for (const Command &c : script.commands) {
        if (isAnswer(c.kind)) {
            if (!answering)
                fail(
                    c,
                    "an answer line must follow the command that prompts (tap, action, settings or setup) or "
                    "another answer");
            continue;
        }
        answering = isPromptingCommand(c.kind);
        switch (c.kind) {
        case CommandKind::Boot:
            if (booted) fail(c, "the Today screen is already running (softreset restarts it)");
            booted = true;
            pendingSetting = nullptr;
            break;
        case CommandKind::SoftReset:
            if (!booted) fail(c, "softreset before boot");
            booted = true;
            pendingSetting = nullptr;
            openWindows.clear();   // a reset ends every program
            break;
        case CommandKind::Show:
        case CommandKind::Screenshot:
        case CommandKind::Tap:
        case CommandKind::Action:
        case CommandKind::Settings:
            if (!booted) fail(c, "no Today screen yet: boot first");
            break;
        case CommandKind::Window: ++openWindows[c.text]; break;
        case CommandKind::Hide:
        case CommandKind::Close: {
            auto it = openWindows.find(c.text);
            if (it == openWindows.end()) {
                fail(c, "no open window titled \"" + c.text + "\"");
                break;
            }
            if (c.kind == CommandKind::Close && --it->second == 0) openWindows.erase(it);
            break;
        }
        case CommandKind::Setting: pendingSetting = &c; break;
        default: break;
        }
    }
    if (pendingSetting)
        fail(*pendingSetting, "setting takes effect at the next boot or softreset, and none follows");
}

}   // namespace

bool isPromptingCommand(CommandKind kind)
{
    return kind == CommandKind::Tap || kind == CommandKind::Action || kind == CommandKind::Settings
        || kind == CommandKind::Setup;
}

bool isAnswer(CommandKind kind)
{
    return kind == CommandKind::Menu || kind == CommandKind::Answer || kind == CommandKind::Options
        || kind == CommandKind::Licence;
}

std::optional<DWORD> parseDuration(std::string_view text)
{
    // Units in the order they must appear, with their size in milliseconds.
    static constexpr std::array<std::pair<std::string_view, uint64_t>, 4> units{
        {{"h", 3600000}, {"m", 60000}, {"s", 1000}, {"ms", 1}}};
    if (text.empty()) return std::nullopt;
    uint64_t total = 0;
    size_t nextUnit = 0;
    while (!text.empty()) {
        size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
        if (digits == 0 || digits > 10) return std::nullopt;
        uint64_t amount = *parseNumber<uint64_t>(text.substr(0, digits));
        text.remove_prefix(digits);
        size_t unitLen = 0;
        while (unitLen < text.size() && std::isalpha(static_cast<unsigned char>(text[unitLen]))) ++unitLen;
        std::string_view unit = text.substr(0, unitLen);
        text.remove_prefix(unitLen);
        size_t u = nextUnit;
        while (u < units.size() && units[u].first != unit) ++u;
        if (u == units.size()) return std::nullopt;
        total += amount * units[u].second;
        if (total > UINT32_MAX) return std::nullopt;
        nextUnit = u + 1;
    }
    return static_cast<DWORD>(total);
}

bool isSettingName(std::string_view name)
{
    static constexpr std::array<std::string_view, 12> names{
        "dvDurvo",      "dvLogTimeout", "dvAutoReset", "dvAutoSoftReset", "dvAutoDCReset", "dvAutoLog",
        "dvLogProcess", "dvBriefInfo",  "dvPowerMode", "dvPPC2002",       "dvForecast",    "dvOffLevel"};
    for (auto n : names)
        if (n == name) return true;
    return false;
}

bool parseScript(std::string_view text, std::string_view name, Script *script,
                 std::vector<std::string> *errors)
{
    script->name = std::string(name);
    script->commands.clear();
    size_t before = errors->size();
    int lineNo = 0;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++lineNo;
        line = trim(withoutComment(line));
        if (line.empty()) continue;
        Command cmd;
        cmd.line = lineNo;
        std::string why;
        if (parseCommand(line, &cmd, &why))
            script->commands.push_back(std::move(cmd));
        else
            errors->push_back(script->name + ":" + std::to_string(lineNo) + ": " + why);
    }
    if (errors->size() == before) checkSequence(*script, errors);
    return errors->size() == before;
}

}   // namespace host
