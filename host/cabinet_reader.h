// Reads a cabinet held in memory with libmspack, after checks of our own on its header that
// give each common defect its own message. Nothing is written to disk: members are extracted
// into memory through libmspack's system interface.
#ifndef DURVO_HOST_CABINET_READER_H
#define DURVO_HOST_CABINET_READER_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace host {

// A member larger than this is refused before it is extracted: more than any Pocket PC holds,
// and a guard against a small compressed cabinet that unpacks into gigabytes.
constexpr uint32_t kMaxMemberBytes = 64u << 20;
// What the reader unpacks for one cabinet at most, counting for each member extracted its folder's
// data up to the member's end (libmspack unpacks a folder from its start to reach a member). A
// compressed megabyte can stand for gigabytes of folder data; this keeps the time bounded.
constexpr uint64_t kMaxUnpackBytes = 2 * uint64_t{kMaxMemberBytes};

class CabinetReader {
public:
    struct Member {
        std::string name;
        uint32_t size = 0;
    };

    // `bytes` must outlive the reader.
    explicit CabinetReader(std::span<const uint8_t> bytes);
    ~CabinetReader();
    CabinetReader(const CabinetReader &) = delete;
    CabinetReader &operator=(const CabinetReader &) = delete;

    // Checks the header and reads the folder and member lists. False, with *error set, for a
    // cabinet that cannot be read.
    bool open(std::string *error);
    const std::vector<Member> &members() const { return members_; }
    // Extracts member `index` (checksums verified). False, with *error set, when its data is
    // damaged or out of reach.
    bool extract(size_t index, std::vector<uint8_t> *data, std::string *error);

private:
    struct Library;
    std::span<const uint8_t> bytes_;
    std::unique_ptr<Library> library_;
    std::vector<Member> members_;
    uint64_t unpacked_ = 0;   // counted against kMaxUnpackBytes
};

}   // namespace host

#endif
