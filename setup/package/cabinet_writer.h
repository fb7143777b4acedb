// Writes a cabinet of one uncompressed folder: the shape of the install package's cabinets.
#ifndef DURVO_SETUP_PACKAGE_CABINET_WRITER_H
#define DURVO_SETUP_PACKAGE_CABINET_WRITER_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace package {

struct CabinetMember {
    std::string name;   // ASCII, no NUL, 1 to 255 bytes
    std::span<const uint8_t> data;
};

// An MS-DOS date and time, as CFFILE stores them.
struct DosTimestamp {
    uint16_t date = 0;
    uint16_t time = 0;
};
// Years 1980 to 2107; seconds are kept to two.
constexpr DosTimestamp dosTimestamp(int year, int month, int day, int hour, int minute, int second)
{
    return {static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day),
            static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2)};
}

struct CabinetOptions {
    uint16_t setId = 0;
    DosTimestamp stamp;   // of every member
};

// The CFDATA checksum: the 32-bit little-endian words of `bytes` XORed into `seed`; the one to
// three bytes left over form one more word with the first of them highest.
uint32_t cabinetChecksum(std::span<const uint8_t> bytes, uint32_t seed);

// Whether members of these sizes fit into the one folder of a cabinet.
bool fitsOneFolder(uint64_t totalBytes);

// Lays the members one after another into the folder, in blocks of at most 32768 bytes, each
// with its checksum; every member carries the archive attribute. False, with *error set, when
// a name or the sizes break the format's limits.
bool writeCabinet(const std::vector<CabinetMember> &members, const CabinetOptions &options,
                  std::vector<uint8_t> *cabinet, std::string *error);

}   // namespace package

#endif
