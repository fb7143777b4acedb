#include "stand_ins.h"

#include "cabinet_reader.h"
#include "device_installer.h"
#include "setup_record_reader.h"

#include <control.h>
#include <setup_record.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace host {
namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The value of `key` in section `section` of an .ini text, if there is one.
std::optional<std::string> iniValue(std::string_view ini, std::string_view section, std::string_view key)
{
    std::string current;
    while (!ini.empty()) {
        size_t end = ini.find('\n');
        std::string_view line = trim(ini.substr(0, end));
        ini.remove_prefix(end == std::string_view::npos ? ini.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            current = lower(trim(line.substr(1, line.size() - 2)));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || current != lower(section)) continue;
        if (lower(trim(line.substr(0, eq))) == lower(key)) return std::string(trim(line.substr(eq + 1)));
    }
    return std::nullopt;
}

}   // namespace

bool placeStandIn(const fs::path &file, StandIn which, std::string *error)
{
    const char *text = which == StandIn::ApplicationManager
        ? "durvo-today stand-in: the application manager of the synchronisation software\r\n"
        : "durvo-today stand-in: the text editor\r\n";
    fs::path temporary = file;
    temporary += ".new";
    std::error_code ec;
    {
        std::ofstream out(temporary, std::ios::binary);
        out << text;
        if (!out.flush()) {
            *error = "cannot write " + temporary.string();
            return false;
        }
    }
    fs::rename(temporary, file, ec);
    if (ec) {
        *error = "cannot write " + file.string() + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

std::optional<StandIn> standInOf(std::u16string_view programPath)
{
    size_t slash = programPath.find_last_of(u"\\/");
    std::string name
        = lower(control::toUtf8(programPath.substr(slash == std::u16string_view::npos ? 0 : slash + 1)));
    if (name == "ceappmgr.exe") return StandIn::ApplicationManager;
    if (name == "notepad.exe") return StandIn::TextEditor;
    return std::nullopt;
}

std::vector<std::u16string> commandLineArguments(std::u16string_view commandLine)
{
    std::vector<std::u16string> arguments;
    std::u16string current;
    bool inArgument = false;
    bool quoted = false;
    for (char16_t c : commandLine) {
        if (c == u'"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == u' ' || c == u'\t') && !quoted) {
            if (inArgument) arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(current);
    return arguments;
}

bool descriptionCabinets(std::string_view ini, std::vector<std::string> *cabinets, std::string *error)
{
    std::optional<std::string> component = iniValue(ini, "CEAppManager", "Component");
    if (!component || component->empty()) {
        *error = "no \"Component\" in its [CEAppManager] section";
        return false;
    }
    std::optional<std::string> list = iniValue(ini, *component, "CabFiles");
    if (!list) {
        *error = "no \"CabFiles\" in its [" + *component + "] section";
        return false;
    }
    cabinets->clear();
    std::string_view rest = *list;
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view name = trim(rest.substr(0, comma));
        if (!name.empty()) cabinets->emplace_back(name);
        rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    }
    if (cabinets->empty()) {
        *error = "\"CabFiles\" lists no cabinet";
        return false;
    }
    return true;
}

bool cabinetProcessor(const fs::path &file, uint32_t *processor, std::string *error)
{
    std::string text;
    if (!control::readRegularFile(file, kMaxCabinetFileBytes, &text, error)) return false;
    CabinetReader reader(std::span(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
    if (!reader.open(error)) return false;
    package::SetupRecord parsed;
    if (!readCabinetSetupRecord(reader, &parsed, error)) return false;
    *processor = parsed.processor;
    return true;
}

}   // namespace host
