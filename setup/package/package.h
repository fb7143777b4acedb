// The six files of the install package, built from the three library builds.
#ifndef DURVO_SETUP_PACKAGE_PACKAGE_H
#define DURVO_SETUP_PACKAGE_PACKAGE_H

#include "package_files.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace package {

// One cabinet of the package: its file, the processor its setup record names and the name of
// its setup-record member.
struct CabinetKind {
    PackageFileIndex file;
    uint32_t processor;
    const char *recordMember;
};
extern const CabinetKind cabinetKinds[3];   // ARM, MIPS, SH3

// The name of the library member: ".001" ties it to file entry 1 of the setup record.
inline constexpr char kLibraryMember[] = "00Durvo.001";

struct Libraries {
    std::span<const uint8_t> arm, mips, sh3;
};

// The most library bytes one cabinet carries beside its setup record.
uint64_t maxLibraryBytes();

// The bytes of every package file, in the order of packageFiles. False, with *error set, when
// a library does not fit into a cabinet.
bool buildPackage(const Libraries &libraries, std::vector<std::vector<uint8_t>> *files, std::string *error);

// The cabinet for one processor: its setup record as member 1, the library as member 2.
bool buildCabinet(const CabinetKind &kind, std::span<const uint8_t> library, std::vector<uint8_t> *cabinet,
                  std::string *error);

// The checked-in text files, as the build embedded them.
std::span<const uint8_t> descriptionFileText();
std::span<const uint8_t> licenceText();
std::span<const uint8_t> readMeText();

}  // namespace package

#endif
