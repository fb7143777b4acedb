#include "package.h"

#include "cabinet_format.h"
#include "cabinet_writer.h"
#include "package_texts.h"
#include "setup_record.h"
#include "setup_record_format.h"

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

}  // namespace

const CabinetKind cabinetKinds[3] = {
    {armCabinetIndex, ce::kProcessorStrongArm, "DURVO~1.000"},
    {mipsCabinetIndex, ce::kProcessorMipsR4000, "DURVO~3.000"},
    {sh3CabinetIndex, ce::kProcessorHitachiSh3, "DURVO~2.000"},
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

bool buildPackage(const Libraries &libraries, std::vector<std::vector<uint8_t>> *files, std::string *error)
{
    files->assign(packageFileCount, {});
    auto text = [&](PackageFileIndex index, std::span<const uint8_t> bytes) {
        (*files)[index].assign(bytes.begin(), bytes.end());
    };
    text(descriptionFileIndex, descriptionFileText());
    text(licenceFileIndex, licenceText());
    text(readMeFileIndex, readMeText());
    const std::span<const uint8_t> builds[3] = {libraries.arm, libraries.mips, libraries.sh3};
    for (int i = 0; i < 3; ++i) {
        const CabinetKind &kind = cabinetKinds[i];
        std::string why;
        if (!buildCabinet(kind, builds[i], &(*files)[kind.file], &why)) {
            *error = std::string(packageFiles[kind.file].fileName) + ": " + why;
            return false;
        }
    }
    return true;
}

std::span<const uint8_t> descriptionFileText() { return {embedded::descriptionFile, embedded::descriptionFileSize}; }
std::span<const uint8_t> licenceText() { return {embedded::licenceFile, embedded::licenceFileSize}; }
std::span<const uint8_t> readMeText() { return {embedded::readMeFile, embedded::readMeFileSize}; }

}  // namespace package
