// The setup record: what it describes (SetupRecord) and how it is laid out into bytes. The
// device installer reads a record back into the same description.
#ifndef DURVO_SETUP_PACKAGE_SETUP_RECORD_H
#define DURVO_SETUP_PACKAGE_SETUP_RECORD_H

#include <cstdint>
#include <string>
#include <vector>

namespace package {

struct RecordString {
    uint16_t id = 0;
    std::string text;   // 8-bit, without its NUL
};
struct RecordDirectory {
    uint16_t id = 0;
    std::vector<uint16_t> path;   // string ids, joined by "\"; without the closing 0
};
struct RecordFile {
    uint16_t id = 0;
    uint16_t directory = 0;
    uint16_t member = 0;   // the cabinet member whose name ends in ".NNN"
    uint32_t copyFlags = 0;
    std::string name;
};
struct RecordKey {
    uint16_t id = 0;
    uint16_t root = 0;
    std::vector<uint16_t> path;   // string ids; without the closing 0
};
struct RecordValue {
    uint16_t id = 0;
    uint16_t key = 0;
    uint32_t kind = 0;   // add-registry flags
    std::string name;
    std::vector<uint8_t> data;
};

struct SetupRecord {
    uint32_t processor = 0;
    uint32_t minOsMajor = 0, minOsMinor = 0, maxOsMajor = 0, maxOsMinor = 0;
    uint32_t minBuild = 0, maxBuild = 0;
    std::string appName;
    std::string provider;
    std::vector<std::string> unsupportedPlatforms;
    std::vector<RecordString> strings;
    std::vector<RecordDirectory> directories;
    std::vector<RecordFile> files;
    std::vector<RecordKey> keys;
    std::vector<RecordValue> values;
    // No shortcuts: the package makes none.
};

// Lays the record out: header, header strings from offset 100, then the string, directory,
// file, registry key and registry value sections, each entry straight after the previous one,
// and an empty shortcut section at the end. False, with *error set, when a count or a length
// does not fit its field.
bool layOutSetupRecord(const SetupRecord &record, std::vector<uint8_t> *bytes, std::string *error);

// The record of the Durvo package for a processor: the library to \Windows\Durvo.DLL and the
// Today item key with its six values.
SetupRecord durvoSetupRecord(uint32_t processor);

// A number value's data: 4 bytes, little-endian. A string value's data: the 8-bit text and its NUL.
std::vector<uint8_t> numberData(uint32_t value);
std::vector<uint8_t> stringData(const std::string &text);

}   // namespace package

#endif
