#include "package.h"

#include "cabinet_format.h"
#include "cabinet_writer.h"
#include "little_endian.h"
#include "package_texts.h"
#include "setup_record.h"
#include "setup_record_format.h"

#include <cctype>

namespace package {
namespace {

// Member time stamps and set identifiers are free; fixed ones make the package the same bytes
// on every build of the same libraries. The set identifier only ties together the cabinets of
// a spanning set, which these are not.
constexpr DosTimestamp kMemberStamp = dosTimestamp(2005, 6, 13, 12, 0, 0);
constexpr uint16_t kSetId = 0;

std::vector<uint8_t> recordBytes(uint32_t processor)
{
    std::vector<uint8_t> bytes;
    std::string ignored;
    // The package's own record always fits its fields.
    layOutSetupRecord(durvoSetupRecord(processor), &bytes, &ignored);
    return bytes;
}

}   // namespace

// The PE machine types (IMAGE_FILE_MACHINE_*) of libraries for the three processors.
constexpr uint16_t kMachineArm = 0x01C0;
constexpr uint16_t kMachineMipsR4000 = 0x0166;
constexpr uint16_t kMachineSh3 = 0x01A2;

const CabinetKind cabinetKinds[kCabinetKinds] = {
    {armCabinetIndex, ce::kProcessorStrongArm, "DURVO~1.000", kMachineArm},
    {mipsCabinetIndex, ce::kProcessorMipsR4000, "DURVO~3.000", kMachineMipsR4000},
    {sh3CabinetIndex, ce::kProcessorHitachiSh3, "DURVO~2.000", kMachineSh3},
    {developmentCabinetIndex, ce::kProcessorAmdX8664, "DURVO~4.000", 0},
};

uint64_t maxLibraryBytes()
{
    return cab::kMaxFolderBytes - recordBytes(ce::kProcessorStrongArm).size();
}

bool buildCabinet(const CabinetKind &kind, std::span<const uint8_t> library, std::vector<uint8_t> *cabinet,
                  std::string *error)
{
    std::vector<uint8_t> record = recordBytes(kind.processor);
    std::vector<CabinetMember> members = {{kind.recordMember, record}, {kLibraryMember, library}};
    return writeCabinet(members, {kSetId, kMemberStamp}, cabinet, error);
}

bool isLibraryFor(std::span<const uint8_t> library, uint16_t machine, std::string *error)
{
    // The DOS header's "MZ" and its pointer to "PE\0\0", then the file header's machine.
    constexpr size_t kNewHeaderPointerAt = 0x3C;
    constexpr size_t kMachineAfterSignature = 4;
    auto hex = [](uint16_t value) {
        static const char digits[] = "0123456789ABCDEF";
        std::string text = "0x";
        for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
        return text;
    };
    if (library.size() >= 4 && library[0] == 0x7F && library[1] == 'E' && library[2] == 'L'
        && library[3] == 'F') {
        *error = "an ELF file, not a Windows CE library";
        return false;
    }
    if (library.size() < kNewHeaderPointerAt + 4 || library[0] != 'M' || library[1] != 'Z') {
        *error = "not a PE image (no MZ header)";
        return false;
    }
    const uint32_t peAt = le::get32(library, kNewHeaderPointerAt);
    if (peAt > library.size() || library.size() - peAt < kMachineAfterSignature + 2 || library[peAt] != 'P'
        || library[peAt + 1] != 'E' || library[peAt + 2] != 0 || library[peAt + 3] != 0) {
        *error = "not a PE image (no PE signature)";
        return false;
    }
    const uint16_t found = le::get16(library, peAt + kMachineAfterSignature);
    if (found != machine) {
        *error = "a PE image for machine " + hex(found) + ", not " + hex(machine);
        return false;
    }
    return true;
}

std::vector<uint8_t> descriptionFileFor(const bool present[packageFileCount])
{
    // The checked-in line names all three cabinets, each followed by ","; keep those present.
    static const std::string kListKey = "CabFiles = ";
    const std::span<const uint8_t> text = descriptionFileText();
    std::string file(text.begin(), text.end());
    const size_t lineAt = file.find(kListKey);
    const size_t listAt = lineAt + kListKey.size();
    const size_t lineEnd = file.find("\r\n", listAt);
    std::string kept;
    for (size_t at = listAt; at < lineEnd;) {
        size_t comma = file.find(',', at);
        std::string name = file.substr(at, comma - at);
        for (const CabinetKind &kind : cabinetKinds) {
            std::string fileName = packageFiles[kind.file].fileName;
            bool same = fileName.size() == name.size();
            for (size_t i = 0; same && i < name.size(); ++i)
                same = std::tolower(static_cast<unsigned char>(name[i]))
                    == std::tolower(static_cast<unsigned char>(fileName[i]));
            if (same && present[kind.file]) kept += name + ",";
        }
        at = comma + 1;
    }
    if (present[developmentCabinetIndex])
        kept += std::string(packageFiles[developmentCabinetIndex].fileName) + ",";
    file.replace(listAt, lineEnd - listAt, kept);
    return std::vector<uint8_t>(file.begin(), file.end());
}

bool buildPackage(const Libraries &libraries, std::vector<std::vector<uint8_t>> *files, std::string *error)
{
    files->assign(packageFileCount, {});
    auto text = [&](PackageFileIndex index, std::span<const uint8_t> bytes) {
        (*files)[index].assign(bytes.begin(), bytes.end());
    };
    text(licenceFileIndex, licenceText());
    text(readMeFileIndex, readMeText());
    const std::span<const uint8_t> builds[kCabinetKinds]
        = {libraries.arm, libraries.mips, libraries.sh3, libraries.development};
    bool present[packageFileCount] = {true, true, true};
    for (int i = 0; i < kCabinetKinds; ++i) {
        const CabinetKind &kind = cabinetKinds[i];
        if (builds[i].empty()) continue;
        std::string why;
        if ((kind.machine != 0 && !isLibraryFor(builds[i], kind.machine, &why))
            || !buildCabinet(kind, builds[i], &(*files)[kind.file], &why)) {
            *error = std::string(packageFiles[kind.file].fileName) + ": " + why;
            return false;
        }
        present[kind.file] = true;
    }
    if (!present[armCabinetIndex] && !present[mipsCabinetIndex] && !present[sh3CabinetIndex]
        && !present[developmentCabinetIndex]) {
        *error = "no library given: a package needs a cabinet for at least one processor";
        return false;
    }
    (*files)[descriptionFileIndex] = descriptionFileFor(present);
    return true;
}

std::span<const uint8_t> descriptionFileText()
{
    return {embedded::descriptionFile, embedded::descriptionFileSize};
}
std::span<const uint8_t> licenceText()
{
    return {embedded::licenceFile, embedded::licenceFileSize};
}
std::span<const uint8_t> readMeText()
{
    return {embedded::readMeFile, embedded::readMeFileSize};
}

}   // namespace package
