// Runs a checked scenario script against the simulated device and the emulated Today screen,
// printing the item's lines whenever they change.
#ifndef DURVO_HOST_RUNNER_H
#define DURVO_HOST_RUNNER_H

#include "desktop.h"
#include "device.h"
#include "device_installer.h"
#include "script.h"
#include "today_screen.h"

#include <cstdint>
#include <control.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace host {

// "[HH:MM:SS]": the device's local time, the prefix of each event printed.
std::string clockStamp();

class Runner {
public:
    struct Options {
        ScreenLook look;
        uint32_t processor = 0;               // the device's, a PROCESSOR_* value
        std::filesystem::path builtCabinet;   // what `boot` installs on a device without Durvo
        std::filesystem::path deviceDir;      // DIR: the device in DIR/fs, the desktop in DIR/desktop
        std::filesystem::path setupProgram;   // what `setup` runs: DurvoSetup built for the platform
        bool progress = false;                // show progress of long runs on `err`
    };
    Runner(const Script &script, Options options, std::ostream &out, std::ostream &err);
    ~Runner();

    // Runs every command; returns false after printing "file:line: message" on `err` when a
    // command could not be carried out. The Today screen is shut down either way.
    bool run();
    // A registry switch failed so that the registry in place is the desktop's: it must not be
    // saved as the device's.
    bool deviceRegistryLost() const { return deviceRegistryLost_; }

private:
    bool leaveDesktop(DesktopSession &desktop, std::string *error);
    bool execute(const Command &command);
    // Carries out a command that prompts the user; `answers` are the answer lines after it.
    bool prompt(const Command &command, std::vector<const Command *> answers);
    bool tap(const Command &command);
    bool action(const Command &command);
    bool openSettings(const Command &command);
    // The emulated desktop: the synchronisation software installed, the setup run, and the
    // programs it starts (application manager and editor stand-ins).
    bool desktopSync(const Command &command);
    bool setupOnDesktop(const Command &command);
    bool startDesktopProgram(const control::ProgramStart &start, DesktopSession &session);
    void applicationManager(const control::ProgramStart &start, DesktopSession &session);
    void textEditor(const control::ProgramStart &start);
    void answerLicence(const control::DialogShown &dialog);
    void installUser();
    int answerMessageBox(const control::MessageBoxShown &box);
    int answerMenu(const control::MenuShown &menu);
    void answerDialog(const control::DialogShown &dialog);
    bool setControl(HWND dialog, const std::vector<control::ControlShown> &controls, const Command &answer,
                    const ControlSetting &setting);
    // The next answer line, when it is of the kind the prompt needs; else records why not.
    const Command *takeAnswer(CommandKind kind, const std::string &prompt);
    bool takePicture(const Command &answer);
    void promptFailed(int line, const std::string &message);
    // Fails with the first prompt that went unanswered during the command, if any.
    bool promptsSettled(const Command &command);
    void print(const std::string &line);
    bool boot(const Command &command);
    bool install(const Command &command, const std::filesystem::path &cabinet, InstallOutcome *outcome);
    void runFor(const Command &command);
    void show(const Command &command);
    void reportChanges();
    void closeAllForeignWindows();
    void progress(const Command &command, DWORD done);
    void clearProgress();
    bool fail(const Command &command, const std::string &message);

    const Script &script_;
    Options options_;
    std::ostream &out_;
    std::ostream &err_;
    std::unique_ptr<TodayScreen> screen_;
    std::vector<std::pair<std::string, DWORD>> pendingSettings_;
    std::vector<std::u16string> openWindows_;   // titles of other programs' windows, oldest first
    std::string shownText_;
    const Command *current_ = nullptr;       // the command being carried out
    std::vector<const Command *> answers_;   // the answer lines of the prompting command
    size_t nextAnswer_ = 0;
    std::string promptFailure_;   // the first "file:line: message" of a prompt
    bool onDesktop_ = false;      // dialogs are the setup's, not the item's
    std::string switchFailure_;   // a registry switch inside a desktop step failed
    bool deviceRegistryLost_ = false;
    bool hadItems_ = false;
    bool progressShown_ = false;
    long long lastProgressMs_ = 0;
};

}   // namespace host

#endif
