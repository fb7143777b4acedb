// What the setup starts on the emulated desktop, as stand-ins: the synchronisation software's
// application manager ("CEAppMgr.exe"), which reads the package's description file and picks the
// cabinet for the device's processor, and the text editor ("notepad.exe"). The files on the
// desktop's drive only mark where the programs are; their work is done by durvo-today.
#ifndef DURVO_HOST_STAND_INS_H
#define DURVO_HOST_STAND_INS_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

enum class StandIn { ApplicationManager, TextEditor };

// Writes the marker file of a stand-in (beside it first, then renamed over it).
bool placeStandIn(const std::filesystem::path &file, StandIn which, std::string *error);
// The stand-in that a program file is, by its name ("C:\...\CEAppMgr.exe"), in any letter case.
std::optional<StandIn> standInOf(std::u16string_view programPath);

// A command line split as Windows programs split theirs: blanks separate, double quotes group
// (and are dropped). The program itself comes first.
std::vector<std::u16string> commandLineArguments(std::u16string_view commandLine);

// A description file is a few lines of text; anything larger is not one.
constexpr size_t kMaxDescriptionBytes = 1u << 20;

// The cabinets an application-manager description file lists: "CabFiles" of the section that
// "Component" of [CEAppManager] names, split at commas, blanks trimmed, empty names dropped.
// Section and key names ignore letter case; ';' starts a comment line.
bool descriptionCabinets(std::string_view ini, std::vector<std::string> *cabinets, std::string *error);

// The processor that the setup record (the ".000" member) of a cabinet file names.
bool cabinetProcessor(const std::filesystem::path &file, uint32_t *processor, std::string *error);

}   // namespace host

#endif
