// Writes the malformed resource images that the resource tests load, one file per defect, each
// named after it. Every image starts like a good one (the empty record, then a CEUX resource
// named HI_RES_AWARE) unless the defect is in that start, so a reader that stopped at the defect
// instead of rejecting the image would still find the resource.
//
// usage: bad_res_writer OUTPUT_DIR
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void putWord(Bytes &b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void putDword(Bytes &b, uint32_t v)
{
    putWord(b, static_cast<uint16_t>(v));
    putWord(b, static_cast<uint16_t>(v >> 16));
}

void setDword(Bytes &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void pad(Bytes &b)
{
    while (b.size() % 4) {
        b.push_back(0);
    }
}

void putKey(Bytes &b, const std::string &key)
{
    if (!key.empty() && key[0] == '#') {
        putWord(b, 0xFFFF);
        putWord(b, static_cast<uint16_t>(std::stoi(key.substr(1))));
        return;
    }
    for (char c : key) {
        putWord(b, static_cast<uint8_t>(c));
    }
    putWord(b, 0);
}

// One well-formed record; the offsets of its two size fields are its first 8 bytes.
Bytes record(const std::string &type, const std::string &name, const Bytes &data)
{
    Bytes header;
    putKey(header, type);
    putKey(header, name);
    pad(header);
    putDword(header, 0);       // DataVersion
    putWord(header, 0x1030);   // MemoryFlags
    putWord(header, 0x0409);   // LanguageId
    putDword(header, 0);       // Version
    putDword(header, 0);       // Characteristics
    Bytes r;
    putDword(r, static_cast<uint32_t>(data.size()));
    putDword(r, static_cast<uint32_t>(8 + header.size()));
    r.insert(r.end(), header.begin(), header.end());
    r.insert(r.end(), data.begin(), data.end());
    pad(r);
    return r;
}

Bytes emptyRecord()
{
    return record("#0", "#0", {});
}

Bytes goodStart()
{
    Bytes b = emptyRecord();
    Bytes marker = record("CEUX", "HI_RES_AWARE", {1, 0});
    b.insert(b.end(), marker.begin(), marker.end());
    return b;
}

void append(Bytes &b, const Bytes &more)
{
    b.insert(b.end(), more.begin(), more.end());
}

struct Fixture {
    const char *name;
    Bytes bytes;
};

std::vector<Fixture> fixtures()
{
    std::vector<Fixture> list;

    Bytes truncated = emptyRecord();
    truncated.resize(20);
    list.push_back({"truncated_first_record", truncated});

    list.push_back({"no_empty_first_record", record("CEUX", "HI_RES_AWARE", {1, 0})});

    Bytes headerPastEnd = goodStart();
    Bytes r = record("#10", "#1", {1, 2, 3, 4});
    setDword(r, 4, static_cast<uint32_t>(r.size() + 4));
    append(headerPastEnd, r);
    list.push_back({"header_size_past_end", headerPastEnd});

    Bytes headerTooSmall = goodStart();
    r = record("#10", "#1", {1, 2, 3, 4});
    setDword(r, 4, 16);
    append(headerTooSmall, r);
    list.push_back({"header_size_too_small", headerTooSmall});

    // The name's units run to the end of the header without a terminating zero.
    Bytes unterminated = goodStart();
    r = record("#10", "NAMEX", {});
    for (size_t i = 8 + 4; i + 1 < r.size(); i += 2) {
        r[i] = 'N';
        r[i + 1] = 0;
    }
    append(unterminated, r);
    list.push_back({"unterminated_name", unterminated});

    Bytes dataPastEnd = goodStart();
    r = record("#10", "#1", {1, 2, 3, 4});
    setDword(r, 0, 5);
    append(dataPastEnd, r);
    list.push_back({"data_size_past_end", dataPastEnd});

    // Added to the data's offset, this size wraps a 32-bit sum round to a small number.
    Bytes dataWraps = goodStart();
    r = record("#10", "#1", {1, 2, 3, 4});
    setDword(r, 0, 0xFFFFFFFCu);
    append(dataWraps, r);
    list.push_back({"data_size_wraps", dataWraps});

    Bytes trailing = goodStart();
    append(trailing, Bytes{0x10, 0, 0, 0, 0x20, 0});
    list.push_back({"trailing_partial_record", trailing});

    return list;
}

}   // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    for (const Fixture &f : fixtures()) {
        std::string path = std::string(argv[1]) + "/" + f.name + ".res";
        FILE *out = std::fopen(path.c_str(), "wb");
        if (!out || std::fwrite(f.bytes.data(), 1, f.bytes.size(), out) != f.bytes.size()
            || std::fclose(out) != 0) {
            std::fprintf(stderr, "%s: cannot write\n", path.c_str());
            return 2;
        }
    }
    return 0;
}
