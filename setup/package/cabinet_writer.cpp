#include "cabinet_writer.h"

#include "cabinet_format.h"
#include "little_endian.h"

#include <algorithm>

namespace package {

uint32_t cabinetChecksum(std::span<const uint8_t> bytes, uint32_t seed)
{
    size_t words = bytes.size() / 4;
    for (size_t i = 0; i < words; ++i) seed ^= le::get32(bytes, i * 4);
    uint32_t tail = 0;
    for (size_t i = words * 4; i < bytes.size(); ++i) tail = tail << 8 | bytes[i];
    return seed ^ tail;
}

bool fitsOneFolder(uint64_t totalBytes)
{
    return totalBytes <= cab::kMaxFolderBytes;
}

namespace {

bool checkMembers(const std::vector<CabinetMember> &members, uint64_t *total, std::string *error)
{
    if (members.empty() || members.size() > cab::kMaxMembers) {
        *error = "a cabinet holds 1 to " + std::to_string(cab::kMaxMembers) + " members, not "
            + std::to_string(members.size());
        return false;
    }
    *total = 0;
    for (const CabinetMember &m : members) {
        bool plain = std::all_of(m.name.begin(), m.name.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
        if (m.name.empty() || m.name.size() > cab::kMaxNameBytes || !plain) {
            *error = "member name \"" + m.name + "\" is not 1 to 255 printable ASCII characters";
            return false;
        }
        *total += m.data.size();
    }
    if (!fitsOneFolder(*total)) {
        *error = "the members hold " + std::to_string(*total) + " bytes; one cabinet folder holds at most "
            + std::to_string(cab::kMaxFolderBytes);
        return false;
    }
    return true;
}

}   // namespace

bool writeCabinet(const std::vector<CabinetMember> &members, const CabinetOptions &options,
                  std::vector<uint8_t> *cabinet, std::string *error)
{
    uint64_t total = 0;
    if (!checkMembers(members, &total, error)) return false;

    size_t filesOffset = cab::kHeaderSize + cab::kFolderSize;
    size_t dataOffset = filesOffset;
    for (const CabinetMember &m : members) dataOffset += cab::kFileFixedSize + m.name.size() + 1;
    size_t blocks = static_cast<size_t>((total + cab::kMaxBlockBytes - 1) / cab::kMaxBlockBytes);
    // Within the folder limit this stays far below 4 GB, so cbCabinet cannot overflow.
    size_t size = dataOffset + blocks * cab::kDataHeaderSize + static_cast<size_t>(total);

    std::vector<uint8_t> &out = *cabinet;
    out.assign(dataOffset, 0);
    std::copy(std::begin(cab::kSignature), std::end(cab::kSignature), out.begin() + cab::kHeaderSignature);
    le::put32(out, cab::kHeaderCabinetBytes, static_cast<uint32_t>(size));
    le::put32(out, cab::kHeaderFilesOffset, static_cast<uint32_t>(filesOffset));
    out[cab::kHeaderVersionMinor] = cab::kVersionMinor;
    out[cab::kHeaderVersionMajor] = cab::kVersionMajor;
    le::put16(out, cab::kHeaderFolderCount, 1);
    le::put16(out, cab::kHeaderFileCount, static_cast<uint16_t>(members.size()));
    le::put16(out, cab::kHeaderFlags, 0);
    le::put16(out, cab::kHeaderSetId, options.setId);
    le::put16(out, cab::kHeaderCabinetIndex, 0);

    size_t folder = cab::kHeaderSize;
    le::put32(out, folder + cab::kFolderFirstData, static_cast<uint32_t>(dataOffset));
    le::put16(out, folder + cab::kFolderDataCount, static_cast<uint16_t>(blocks));
    le::put16(out, folder + cab::kFolderCompression, cab::kCompressionNone);

    size_t entry = filesOffset;
    uint32_t inFolder = 0;
    for (const CabinetMember &m : members) {
        le::put32(out, entry + cab::kFileBytes, static_cast<uint32_t>(m.data.size()));
        le::put32(out, entry + cab::kFileFolderOffset, inFolder);
        le::put16(out, entry + cab::kFileFolder, 0);
        le::put16(out, entry + cab::kFileDate, options.stamp.date);
        le::put16(out, entry + cab::kFileTime, options.stamp.time);
        le::put16(out, entry + cab::kFileAttributes, cab::kAttributeArchive);
        std::copy(m.name.begin(), m.name.end(), out.begin() + entry + cab::kFileName);
        entry += cab::kFileFixedSize + m.name.size() + 1;   // the NUL is already there
        inFolder += static_cast<uint32_t>(m.data.size());
    }

    // The folder's data is the members back to back, cut into blocks regardless of where one
    // member ends and the next begins.
    out.reserve(size);
    size_t member = 0, used = 0;
    for (size_t b = 0; b < blocks; ++b) {
        size_t header = out.size();
        out.resize(header + cab::kDataHeaderSize);
        size_t start = out.size();
        while (out.size() - start < cab::kMaxBlockBytes && member < members.size()) {
            std::span<const uint8_t> data = members[member].data;
            size_t take = std::min(data.size() - used, cab::kMaxBlockBytes - (out.size() - start));
            out.insert(out.end(), data.begin() + used, data.begin() + used + take);
            used += take;
            if (used == data.size()) {
                ++member;
                used = 0;
            }
        }
        auto bytes = static_cast<uint16_t>(out.size() - start);
        le::put16(out, header + cab::kDataStoredBytes, bytes);
        le::put16(out, header + cab::kDataPlainBytes, bytes);
        // The checksum covers the data, then the two size fields that follow it in the header.
        uint32_t sum = cabinetChecksum(std::span(out).subspan(start), 0);
        sum = cabinetChecksum(std::span(out).subspan(header + cab::kDataStoredBytes, 4), sum);
        le::put32(out, header + cab::kDataChecksum, sum);
    }
    return true;
}

}   // namespace package
