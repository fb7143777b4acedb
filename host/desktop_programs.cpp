// The emulated desktop: the synchronisation software installed, the setup run on it, and the
// programs the setup starts there (the application manager's and the text editor's stand-ins).
#include "runner.h"

#include "stand_ins.h"

#include <control.h>

#include <optional>

namespace host {

// Back to the device after a desktop step: every save and switch of a registry is checked, and
// a failure ends the run with its reason (a failed switch inside the step too).
bool Runner::leaveDesktop(DesktopSession &desktop, std::string *error)
{
    bool left = desktop.leave(error);
    deviceRegistryLost_ = deviceRegistryLost_ || desktop.deviceRegistryLost();
    if (left && !switchFailure_.empty())
        *error = "cannot switch between the desktop and the device: " + switchFailure_;
    bool ok = left && switchFailure_.empty();
    switchFailure_.clear();
    return ok;
}

bool Runner::desktopSync(const Command &c)
{
    std::string error;
    bool placed = false;
    {
        DesktopSession desktop(DesktopFolder(options_.deviceDir), DeviceSide{options_.deviceDir / "fs"},
                               nullptr);
        if (!desktop.ok(&error)) return fail(c, "cannot start the desktop: " + error);
        std::u16string folder = control::fromUtf8(c.text);
        std::filesystem::path host = control::hostPathOf(folder);
        std::error_code ec;
        std::filesystem::create_directories(host, ec);
        HKEY key = nullptr;
        std::u16string value = folder + u'\0';
        if (ec) {
            error = "cannot create " + c.text + ": " + ec.message();
        } else if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows CE Services", 0,
                                   nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
                       != ERROR_SUCCESS
                   || RegSetValueExW(key, u"InstalledDir", 0, REG_SZ,
                                     reinterpret_cast<const BYTE *>(value.data()),
                                     static_cast<DWORD>(value.size() * sizeof(char16_t)))
                       != ERROR_SUCCESS) {
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
        DesktopSession desktop(
            DesktopFolder(options_.deviceDir), DeviceSide{options_.deviceDir / "fs"},
            [&](const control::ProgramStart &start) { return startDesktopProgram(start, *session); });
        session = &desktop;
        if (!desktop.ok(&error)) return fail(c, "cannot start the desktop: " + error);
        onDesktop_ = true;
        exitCode = control::runProgram(options_.setupProgram, "", &error);
        onDesktop_ = false;
        std::string leaving;
        if (!leaveDesktop(desktop, &leaving)) return fail(c, leaving);
    }
    if (exitCode == -1 && !error.empty())
        return fail(c, "cannot run " + options_.setupProgram.string() + ": " + error);
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
    if (!control::readRegularFile(control::hostPathOf(description), kMaxDescriptionBytes, &text, &error)
        || !descriptionCabinets(text, &cabinets, &error)) {
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
    if (!session.onDevice(
            [&] {
                installed
                    = installCabinetFile(cabinetFile, InstallTarget{options_.processor}, &outcome, &error);
            },
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
        const Command *answer
            = takeAnswer(CommandKind::Licence, "the dialog \"" + control::toUtf8(dialog.title) + "\"");
        if (!answer || !takePicture(*answer)) return;
        if (!control::clickControl(dialog.dialog, answer->answer)) {
            promptFailed(answer->line, "the dialog has no button to press");
            return;
        }
        if (!promptFailure_.empty()) return;
    }
}

}   // namespace host
