// The files of the install package: the three texts and a cabinet for each processor the
// library was really built for.
#ifndef DURVO_SETUP_PACKAGE_PACKAGE_H
#define DURVO_SETUP_PACKAGE_PACKAGE_H

#include "package_files.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace package {

// One cabinet of the package: its file, the processor its setup record names, the name of its
// setup-record member and the PE machine type a library for that processor has.
struct CabinetKind {
    PackageFileIndex file;
    uint32_t processor;
    const char *recordMember;
    uint16_t machine;
};
// ARM, MIPS, SH3, and the development device's: the library built for the machine durvo-today
// runs on, which is no PE image (machine 0).
inline constexpr int kCabinetKinds = 4;
extern const CabinetKind cabinetKinds[kCabinetKinds];

// The name of the library member: ".001" ties it to file entry 1 of the setup record.
inline constexpr char kLibraryMember[] = "00Durvo.001";

// The library builds; an empty one means that processor has no build and the package no
// cabinet for it. Only a development package has a development library.
struct Libraries {
    std::span<const uint8_t> arm, mips, sh3, development;
};

// The most library bytes one cabinet carries beside its setup record.
uint64_t maxLibraryBytes();

// The bytes of every package file, in the order of packageFiles; a cabinet without a library is
// left empty, and the description file lists only the cabinets there are. False, with *error
// set, when no library is given, one is not a Windows CE library for its cabinet's processor,
// or one does not fit into a cabinet.
bool buildPackage(const Libraries &libraries, std::vector<std::vector<uint8_t>> *files, std::string *error);

// The cabinet for a processor: its setup record as member 1, the library as member 2.
bool buildCabinet(const CabinetKind &kind, std::span<const uint8_t> library, std::vector<uint8_t> *cabinet,
                  std::string *error);

// True when `library` is a PE image for `machine` (IMAGE_FILE_MACHINE_*); else *error says what
// it is instead.
bool isLibraryFor(std::span<const uint8_t> library, uint16_t machine, std::string *error);

// The description file for a package with the given cabinets: the checked-in text with its
// "CabFiles" line naming only those, in its order, and the development cabinet last.
std::vector<uint8_t> descriptionFileFor(const bool present[packageFileCount]);

// The checked-in text files, as the build embedded them.
std::span<const uint8_t> descriptionFileText();
std::span<const uint8_t> licenceText();
std::span<const uint8_t> readMeText();

}   // namespace package

#endif
