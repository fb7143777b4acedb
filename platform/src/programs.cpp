// Starting other programs (WinExec) and the COM initialisation a desktop program makes.
//
// WinExec finds the program file as CreateProcess does: a quoted program name ends at its
// closing quote; an unquoted command line is tried at each blank in turn, so that
// `C:\Program Files\x.exe a` tries "C:\Program.exe" before "C:\Program Files\x.exe"; a name
// without ".ext" gets ".exe", and a bare name is looked for in the program search folders. What
// runs the program is the control surface's launcher: there are no processes here.
#include <windows.h>

#include "control.h"
#include "internal.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// WinExec's answers: above 31 when the program started, an error code otherwise.
constexpr UINT kStarted = 33;
constexpr UINT kBadFormat = 11;   // ERROR_BAD_FORMAT: the file is not a program that can run

struct Programs {
    control::ProgramLauncher launcher;
    std::vector<std::u16string> searchFolders;
    int comInitializations = 0;
};

Programs &programs()
{
    static Programs p;
    return p;
}

bool isSeparator(WCHAR c)
{
    return c == u'\\' || c == u'/';
}

// The Windows path with ".exe" added when the file name has no extension.
std::u16string withProgramExtension(std::u16string_view path)
{
    size_t nameStart = path.find_last_of(u"\\/");
    nameStart = nameStart == std::u16string_view::npos ? 0 : nameStart + 1;
    std::u16string result(path);
    if (path.find(u'.', nameStart) == std::u16string_view::npos) result += u".exe";
    return result;
}

// The program file a candidate names, as a Windows path and a host file; empty when none.
std::pair<std::u16string, std::filesystem::path> findProgram(std::u16string_view candidate)
{
    std::u16string name = withProgramExtension(candidate);
    std::vector<std::u16string> tries;
    bool bare = true;
    for (WCHAR c : name) bare = bare && !isSeparator(c) && c != u':';
    if (bare) {
        for (const auto &folder : programs().searchFolders) {
            std::u16string path = folder;
            if (!path.empty() && !isSeparator(path.back())) path += u'\\';
            tries.push_back(path + name);
        }
    } else {
        tries.push_back(name);
    }
    for (const auto &path : tries) {
        std::filesystem::path host = control::hostPathOf(path);
        std::error_code error;
        if (!host.empty() && std::filesystem::is_regular_file(host, error)) return {path, host};
    }
    return {};
}

}   // namespace

namespace internal {
void resetPrograms()
{
    programs() = Programs{};
}
}   // namespace internal

namespace control {

void setProgramLauncher(ProgramLauncher launcher)
{
    programs().launcher = std::move(launcher);
}

void setProgramSearchPath(std::vector<std::u16string> folders)
{
    programs().searchFolders = std::move(folders);
}

int comInitializations()
{
    return programs().comInitializations;
}

}   // namespace control

UINT WINAPI WinExec(LPCSTR lpCmdLine, UINT uCmdShow)
{
    if (!lpCmdLine) return ERROR_INVALID_PARAMETER;
    control::ProgramStart start;
    start.commandLine = internal::ansiToWide(lpCmdLine);
    start.showCommand = uCmdShow;
    std::u16string_view line = start.commandLine;
    while (!line.empty() && (line.front() == u' ' || line.front() == u'\t')) line.remove_prefix(1);

    if (!line.empty() && line.front() == u'"') {
        size_t close = line.find(u'"', 1);
        std::u16string_view quoted = line.substr(1, close == line.npos ? line.npos : close - 1);
        std::tie(start.program, start.hostFile) = findProgram(quoted);
    } else {
        // Each blank may end the program's name; the shortest name that exists wins.
        for (size_t end = 0; end <= line.size() && start.program.empty(); ++end) {
            if (end < line.size() && line[end] != u' ' && line[end] != u'\t') continue;
            if (end > 0) std::tie(start.program, start.hostFile) = findProgram(line.substr(0, end));
        }
    }

    // A copy: the program may install another launcher while it runs.
    control::ProgramLauncher launcher = programs().launcher;
    bool found = !start.program.empty();
    bool ran = launcher ? launcher(start) : false;
    if (!found) return ERROR_FILE_NOT_FOUND;
    return ran ? kStarted : kBadFormat;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved)
{
    if (pvReserved) return E_INVALIDARG;
    // The first call on the thread initialises; later ones only count, as on Windows.
    return programs().comInitializations++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize()
{
    if (programs().comInitializations > 0) --programs().comInitializations;
}
