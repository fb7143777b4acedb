// The emulated device's cabinet installer: what it makes of a good cabinet, how it honours the
// device, and that every defect of a cabinet or its setup record is refused with its own message
// before anything on the device changes.
#include <gtest/gtest.h>

#include "support/pattern_bytes.h"

#include <control.h>
#include <device_installer.h>

#include <cabinet_writer.h>
#include <package.h>
#include <setup_record.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint32_t kArm = 2577, kMips = 4000, kSh3 = 10003;

void put16(Bytes &b, size_t at, uint16_t v)
{
    b.at(at) = static_cast<uint8_t>(v);
    b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}
void put32(Bytes &b, size_t at, uint32_t v)
{
    put16(b, at, static_cast<uint16_t>(v));
    put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
uint32_t get32(const Bytes &b, size_t at)
{
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | uint32_t{b.at(at + 3)} << 24;
}

Bytes recordBytes(const package::SetupRecord &record)
{
    Bytes bytes;
    std::string error;
    EXPECT_TRUE(package::layOutSetupRecord(record, &bytes, &error)) << error;
    return bytes;
}

Bytes cabinetOf(const Bytes &record, const Bytes &library, const std::string &recordName = "DURVO~1.000",
                const std::string &libraryName = "00Durvo.001")
{
    Bytes cabinet;
    std::string error;
    EXPECT_TRUE(package::writeCabinet({{recordName, record}, {libraryName, library}}, {}, &cabinet, &error))
        << error;
    return cabinet;
}

// Where the good ARM cabinet's structures lie: two members named 11 bytes each.
constexpr size_t kFolder = 36, kRecordEntry = 44, kLibraryEntry = 44 + 28, kData = 44 + 28 + 28;

class DeviceInstaller : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path()
            / ("durvo-installer-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "Windows");
        fs::create_directories(root_ / "My Documents");
        control::setDeviceRoot(root_);
        library_ = patternBytes(5000, 7);
    }
    void TearDown() override
    {
        control::resetDevice();
        fs::remove_all(root_);
    }

    Bytes goodCabinet(uint32_t processor = kArm) const
    {
        return cabinetOf(recordBytes(package::durvoSetupRecord(processor)), library_);
    }

    bool install(const Bytes &cabinet, uint32_t processor, std::string *error,
                 host::InstallOutcome *outcome = nullptr)
    {
        host::InstallOutcome ignored;
        return host::installCabinet(cabinet, host::InstallTarget{processor}, outcome ? outcome : &ignored,
                                    error);
    }

    // Every file below the device root, as "path size", and "path size #hash" with `contents`.
    std::vector<std::string> deviceFiles(bool contents = false) const
    {
        std::vector<std::string> files;
        for (const auto &entry : fs::recursive_directory_iterator(root_)) {
            std::string line = fs::relative(entry.path(), root_).string();
            if (entry.is_regular_file()) {
                line += " " + std::to_string(entry.file_size());
                std::ifstream in(entry.path(), std::ios::binary);
                if (contents)
                    line += " #"
                        + std::to_string(std::hash<std::string>{}({std::istreambuf_iterator<char>(in), {}}));
            }
            files.push_back(line);
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    // A refused cabinet: the message names the defect, and the device is as before.
    void expectRefused(const Bytes &cabinet, uint32_t processor, const std::string &expected)
    {
        std::string registryBefore = control::registryToRegText();
        std::vector<std::string> filesBefore = deviceFiles(true);
        std::string error;
        EXPECT_FALSE(install(cabinet, processor, &error));
        EXPECT_NE(error.find(expected), std::string::npos)
            << "error: " << error << "\nexpected: " << expected;
        EXPECT_EQ(control::registryToRegText(), registryBefore);
        EXPECT_EQ(deviceFiles(true), filesBefore);
    }

    static HKEY itemKey()
    {
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Today\\Items\\Durvo", 0, KEY_READ, &key);
        return key;
    }

    Bytes library_;
    fs::path root_;
};

struct StoredValue {
    DWORD type = 0;
    Bytes data;
};
StoredValue valueOf(HKEY key, const char16_t *name)
{
    StoredValue v;
    BYTE buffer[256];
    DWORD size = sizeof buffer;
    if (RegQueryValueExW(key, name, nullptr, &v.type, buffer, &size) == ERROR_SUCCESS)
        v.data.assign(buffer, buffer + size);
    return v;
}
Bytes dword(uint32_t n)
{
    return {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
            static_cast<uint8_t>(n >> 24)};
}
Bytes wideText(const std::string &s)
{
    Bytes b;
    for (char c : s) {
        b.push_back(static_cast<uint8_t>(c));
        b.push_back(0);
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

TEST_F(DeviceInstaller, CopiesTheLibraryAndCreatesTheItemKeyWithItsSixValues)
{
    host::InstallOutcome outcome;
    std::string error;
    ASSERT_TRUE(install(goodCabinet(), kArm, &error, &outcome)) << error;
    EXPECT_EQ(outcome.appName, "Durvo");
    EXPECT_EQ(outcome.provider, "Norvane");
    EXPECT_EQ(outcome.files, std::vector<std::string>{"\\Windows\\Durvo.DLL"});
    EXPECT_EQ(outcome.keys, std::vector<std::string>{"HKLM\\Software\\Microsoft\\Today\\Items\\Durvo"});
    EXPECT_EQ(outcome.valuesWritten, 6u);
    EXPECT_EQ(outcome.valuesKept, 0u);

    std::ifstream in(root_ / "Windows" / "Durvo.DLL", std::ios::binary);
    EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(in), {}) == library_);
    // Nothing else: no temporary file beside it.
    EXPECT_EQ(deviceFiles(), (std::vector<std::string>{"My Documents", "Windows", "Windows/Durvo.DLL 5000"}));

    HKEY key = itemKey();
    ASSERT_NE(key, nullptr);
    struct Expected {
        const char16_t *name;
        DWORD type;
        Bytes data;
    };
    const Expected expected[] = {
        {u"Flags", REG_DWORD, dword(0)},
        {u"Enabled", REG_DWORD, dword(1)},
        {u"Options", REG_DWORD, dword(1)},
        {u"Type", REG_DWORD, dword(4)},
        {u"DLL", REG_SZ, wideText("\\Windows\\Durvo.DLL")},
        {u"Selectability", REG_DWORD, dword(1)},
    };
    for (const Expected &e : expected) {
        StoredValue v = valueOf(key, e.name);
        EXPECT_EQ(v.type, e.type) << control::toUtf8(e.name);
        EXPECT_EQ(v.data, e.data) << control::toUtf8(e.name);
    }
    RegCloseKey(key);
}

TEST_F(DeviceInstaller, AnExistingDllValueIsKeptAndTheOthersAreWritten)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Today\\Items\\Durvo", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    Bytes other = wideText("\\Storage Card\\Durvo.dll"), zero = dword(0);
    RegSetValueExW(key, u"DLL", 0, REG_SZ, other.data(), static_cast<DWORD>(other.size()));
    RegSetValueExW(key, u"Enabled", 0, REG_DWORD, zero.data(), 4);
    RegCloseKey(key);

    host::InstallOutcome outcome;
    std::string error;
    ASSERT_TRUE(install(goodCabinet(), kArm, &error, &outcome)) << error;
    EXPECT_EQ(outcome.valuesWritten, 5u);
    EXPECT_EQ(outcome.valuesKept, 1u);
    key = itemKey();
    EXPECT_EQ(valueOf(key, u"DLL").data, other);          // no-clobber: kept
    EXPECT_EQ(valueOf(key, u"Enabled").data, dword(1));   // no such flag: overwritten
    RegCloseKey(key);
}

TEST_F(DeviceInstaller, ALibraryOfManyBlocksArrivesWholeAndReplacesAnOlderOne)
{
    std::string error;
    ASSERT_TRUE(install(goodCabinet(), kArm, &error)) << error;
    library_ = patternBytes(300000, 9);   // ten blocks
    Bytes cabinet = goodCabinet();
    EXPECT_EQ(cabinet[40], 10);
    ASSERT_TRUE(install(cabinet, kArm, &error)) << error;
    std::ifstream in(root_ / "Windows" / "Durvo.DLL", std::ios::binary);
    EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(in), {}) == library_);
}

TEST_F(DeviceInstaller, FoldersNamedInTheRecordAreCreated)
{
    package::SetupRecord r = package::durvoSetupRecord(kArm);
    r.strings.push_back({8, "Program Files"});
    r.strings.push_back({9, "Norvane"});
    r.directories.push_back({3, {8, 9}});
    r.files[0].directory = 3;
    std::string error;
    ASSERT_TRUE(install(cabinetOf(recordBytes(r), library_), kArm, &error)) << error;
    EXPECT_TRUE(fs::exists(root_ / "Program Files" / "Norvane" / "Durvo.DLL"));
}

TEST_F(DeviceInstaller, TheDevicesProcessorVersionAndPlatformDecide)
{
    struct Case {
        uint32_t device, cabinet;
        DWORD osMajor, osMinor;
        const char16_t *platform;
        std::string expected;   // empty: installed
        const char *why;
    };
    const Case cases[] = {
        {kArm, kArm, 4, 20, u"PocketPC", "", "ARM cabinet on an ARM device"},
        {kSh3, kSh3, 4, 20, u"PocketPC", "", "SH3 cabinet on an SH3 device"},
        {kArm, kMips, 4, 20, u"PocketPC",
         "the cabinet is for a MIPS R4000 (4000) processor; this device has a StrongARM (2577) processor",
         "MIPS cabinet on an ARM device"},
        {kMips, kSh3, 4, 20, u"PocketPC",
         "the cabinet is for a Hitachi SH3 (10003) processor; this device has a MIPS R4000 (4000) processor",
         "SH3 cabinet on a MIPS device"},
        {kArm, 0, 4, 20, u"PocketPC", "", "a record for any processor"},
        {kArm, kArm, 3, 0, u"PocketPC", "", "the oldest version it allows"},
        {kArm, kArm, 2, 11, u"PocketPC", "the cabinet needs Windows CE 3.0 to 10000.0; this device runs 2.11",
         "older than Windows CE 3.0"},
        {kArm, kArm, 4, 20, u"HPC PRO", "the cabinet is not for HPC PRO devices", "an unsupported platform"},
        {kArm, kArm, 4, 20, u"hpc", "the cabinet is not for hpc devices", "platform names ignore case"},
        {kArm, kArm, 4, 20, u"HPC2000", "", "a platform not on the list"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        control::resetDevice();
        control::setDeviceRoot(root_);
        fs::remove(root_ / "Windows" / "Durvo.DLL");
        control::setOsVersion(c.osMajor, c.osMinor);
        control::setPlatformType(c.platform);
        Bytes cabinet = goodCabinet(c.cabinet);
        if (c.expected.empty()) {
            std::string error;
            EXPECT_TRUE(install(cabinet, c.device, &error)) << error;
            EXPECT_TRUE(fs::exists(root_ / "Windows" / "Durvo.DLL"));
        } else {
            expectRefused(cabinet, c.device, c.expected);
        }
    }
    control::resetDevice();
    control::setDeviceRoot(root_);
    control::setVersionCallFails(true);
    expectRefused(goodCabinet(), kArm, "cannot read the device's Windows CE version");
}

// Defects of the cabinet itself, each named after what is wrong.
TEST_F(DeviceInstaller, BadCabinetsAreRefusedWithTheirOwnMessage)
{
    using Spoil = std::function<void(Bytes &)>;
    struct Case {
        const char *name;
        Spoil spoil;
        std::string expected;
    };
    const Bytes good = goodCabinet();
    const size_t size = good.size();
    auto cut = [](size_t at) { return [at](Bytes &b) { b.resize(at); }; };
    auto rename = [](size_t entry, const char *name) {
        return [entry, name](Bytes &b) { std::memcpy(&b[entry + 16], name, std::strlen(name)); };
    };
    const std::string cutShort
        = "cut short: the header gives " + std::to_string(size) + " bytes, the file ends after ";
    const Case cases[] = {
        {"empty_file", cut(0), "not a cabinet: it does not begin with \"MSCF\""},
        {"bad_signature", [](Bytes &b) { b[0] = 'X'; }, "not a cabinet: it does not begin with \"MSCF\""},
        {"short_header", cut(20), "short header: the file ends at byte 20 of the 36-byte cabinet header"},
        {"truncated_after_header", cut(36), cutShort + "36"},
        {"truncated_after_folder", cut(kRecordEntry), cutShort + "44"},
        {"truncated_in_member_list", cut(kLibraryEntry + 10), cutShort + "82"},
        {"truncated_after_member_list", cut(kData), cutShort + "100"},
        {"truncated_in_block_header", cut(kData + 4), cutShort + "104"},
        {"truncated_in_data", cut(size - 1), cutShort + std::to_string(size - 1)},
        {"truncated_with_matching_length",
         [](Bytes &b) {
             b.resize(kLibraryEntry + 10);
             put32(b, 8, kLibraryEntry + 10);
         },
         "the folder or member list runs past the end of the cabinet"},
        {"trailing_bytes",
         [](Bytes &b) {
             b.insert(b.end(), {1, 2, 3});
         },
         "the header gives " + std::to_string(size) + " bytes, but the file has 3 more after them"},
        {"bad_version", [](Bytes &b) { b[25] = 2; }, "cabinet format version 2.3; the device reads 1.3"},
        {"spanning_set", [](Bytes &b) { b[30] = 2; }, "one part of a set spanning several cabinets"},
        {"no_folder", [](Bytes &b) { put16(b, 26, 0); }, "the cabinet has no folder"},
        {"no_members", [](Bytes &b) { put16(b, 28, 0); }, "the cabinet has no members"},
        {"member_list_outside", [size](Bytes &b) { put32(b, 16, static_cast<uint32_t>(size + 100)); },
         "the member list (offset " + std::to_string(size + 100) + ") lies outside the cabinet's"},
        {"member_in_missing_folder", [](Bytes &b) { put16(b, kLibraryEntry + 8, 3); },
         "the folder or member list is damaged"},
        {"bad_checksum", [](Bytes &b) { b[kData + 8 + 1000] ^= 0x01; },
         "bad checksum: a data block of member DURVO~1.000 is damaged"},
        {"member_out_of_range", [](Bytes &b) { put32(b, kLibraryEntry, get32(b, kLibraryEntry) + 100000); },
         "member 00Durvo.001 (bytes 410 to 105410 of its folder) lies beyond the folder's data (1 block of "
         "at most "
         "32768 bytes)"},
        {"member_past_its_folders_data",
         [](Bytes &b) { put32(b, kLibraryEntry, get32(b, kLibraryEntry) + 100); },
         "member 00Durvo.001: its data lies outside its folder's data blocks"},
        {"member_far_into_its_folder",
         [](Bytes &b) {
             put16(b, kFolder + 4, 5000);              // 5,000 blocks of up to 32 KB
             put32(b, kLibraryEntry + 4, 150000000);   // the library 150 MB into them
         },
         "member 00Durvo.001: reaching it would unpack more than 134217728 bytes of the cabinet's folders"},
        {"folder_data_outside", [size](Bytes &b) { put32(b, kFolder, static_cast<uint32_t>(size - 4)); },
         "member DURVO~1.000: its data runs past the end of the cabinet"},
        {"no_setup_record", rename(kRecordEntry, "DURVO~1.00X"),
         "the cabinet holds no member whose name ends in \".000\" (the setup record)"},
        {"two_setup_records", rename(kLibraryEntry, "00Durvo.000"),
         "two cabinet members end in \".000\" (DURVO~1.000, 00Durvo.000)"},
        {"library_member_missing", rename(kLibraryEntry, "00Durvo.002"),
         "the cabinet holds no member whose name ends in \".001\" (file 1 (Durvo.DLL))"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes cabinet = good;
        c.spoil(cabinet);
        expectRefused(cabinet, kArm, c.expected);
    }
}

// Defects of the setup record, each named after what is wrong: bytes of the laid-out record
// changed, or a record described with something the device must not carry out.
TEST_F(DeviceInstaller, BadSetupRecordsAreRefusedWithTheirOwnMessage)
{
    using Spoil = std::function<void(Bytes &)>;
    struct Case {
        const char *name;
        Spoil spoil;
        std::string expected;
    };
    auto set16 = [](size_t at, uint16_t v) { return [at, v](Bytes &r) { put16(r, at, v); }; };
    auto set32 = [](size_t at, uint32_t v) { return [at, v](Bytes &r) { put32(r, at, v); }; };
    const Case cases[] = {
        {"short_header", [](Bytes &r) { r.resize(50); },
         "short header: 50 bytes, fewer than its 100-byte header"},
        {"bad_signature", [](Bytes &r) { r[3] = 'X'; }, "bad signature: it does not begin with \"MSCE\""},
        {"length_mismatch", set32(8, 411), "its length field gives 411 bytes, but it holds 410"},
        {"bad_format", set32(16, 2), "format 2, not 1"},
        {"app_name_past_end", set16(84, 5000),
         "the application name (offset 5000, 6 bytes) lies outside the header strings (bytes 100 to 410)"},
        {"app_name_in_header", set16(84, 50), "the application name (offset 50, 6 bytes) lies outside"},
        {"app_name_unterminated", set16(86, 5),
         "the application name is not one text closed by a NUL in its 5 bytes"},
        {"app_name_empty", set16(86, 0), "the application name has no bytes, not even its NUL"},
        {"provider_past_end", set16(90, 400), "the provider name (offset 106, 400 bytes) lies outside"},
        {"platform_list_unclosed", set16(94, 12),
         "the list of unsupported platforms is not closed by an empty name"},
        {"string_offset_past_end", set32(60, 500),
         "the string section (offset 500) lies outside the record (bytes 100 to 410)"},
        {"shortcut_offset_past_end", set32(80, 411),
         "the shortcut section (offset 411) lies outside the record"},
        {"value_offset_past_end", set32(76, 400),
         "registry value entry 1 of 6 runs past the end of the record (410 bytes)"},
        {"value_count_past_end", set16(56, 7), "registry value entry 7 of 7 runs past the end of the record"},
        {"string_length_past_end", set16(196, 300), "string entry 7 of 7 runs past the end of the record"},
        {"string_id_zero", set16(127, 0), "a string has id 0"},
        {"duplicate_string_id", set16(137, 1), "two strings have id 1"},
        {"string_unterminated", [](Bytes &r) { r[136] = 'x'; },
         "string 1 is not one text closed by a NUL in its 6 bytes"},
        {"directory_names_missing_string", set16(208, 9),
         "directory 2 names string 9, which the record does not hold"},
        {"directory_path_unclosed", set16(210, 1),
         "directory 2: its path is not a list of string ids closed by 0"},
        {"file_in_missing_directory", set16(214, 5),
         "file 1 (Durvo.DLL) is to go to directory 5, which the record does not hold"},
        {"file_name_past_end", set16(222, 500), "file entry 1 of 1 runs past the end of the record"},
        {"key_with_bad_root", set16(236, 9), "registry key 1 has root 9, which is no registry root (1 to 4)"},
        {"key_count_too_high", set16(54, 3), "two registry keys have id 1"},
        {"value_of_missing_key", set16(256, 2),
         "registry value \"Flags\" belongs to registry key 2, which the record does not hold"},
        {"number_value_wrong_size", set32(351, 0x00010001),
         "registry value \"DLL\": a number needs 4 bytes of data, it has 19"},
        {"unknown_value_type", set32(260, 0x00030001),
         "registry value \"Flags\" has kind 0x00030001, which is no value type this installer knows"},
        {"unsupported_value_flags", set32(351, 0x00000006),
         "registry value \"DLL\" has kind 0x00000006, with flags 0x00000004 that this installer does not "
         "carry out"},
        {"string_value_unterminated", [](Bytes &r) { r[379] = 'x'; },
         "registry value \"DLL\": its text is not closed by a NUL"},
        {"shortcuts_asked", set16(58, 1),
         "the record asks for shortcuts (1), which this installer does not make"},
    };
    const Bytes good = recordBytes(package::durvoSetupRecord(kArm));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes record = good;
        c.spoil(record);
        expectRefused(cabinetOf(record, library_), kArm, "setup record DURVO~1.000: " + c.expected);
    }

    using Change = std::function<void(package::SetupRecord &)>;
    struct Described {
        const char *name;
        Change change;
        std::string expected;
    };
    const Described described[] = {
        {"unknown_folder_macro", [](package::SetupRecord &r) { r.strings[1].text = "%CE9%"; },
         "directory 2 uses the folder macro %CE9%, which this installer does not know"},
        {"folder_name_escapes", [](package::SetupRecord &r) { r.strings[1].text = ".."; },
         "directory 2: \"..\" is no folder name"},
        {"file_name_escapes", [](package::SetupRecord &r) { r.files[0].name = "..\\evil.dll"; },
         "file 1 (..\\evil.dll): \"..\\evil.dll\" is no file name"},
        {"key_name_with_separator", [](package::SetupRecord &r) { r.strings[6].text = "Du\\rvo"; },
         "registry key 1: \"Du\\rvo\" is no key name"},
        // Its registry.reg could not be read back at the next start.
        {"key_name_with_line_feed", [](package::SetupRecord &r) { r.strings[6].text = "Du\nrvo"; },
         "registry key 1: \"Du?rvo\" is no key name"},
        {"value_name_with_control_character", [](package::SetupRecord &r) { r.values[0].name = "Fl\tags"; },
         "registry value \"Fl?ags\": a control character in its name"},
    };
    for (const Described &d : described) {
        SCOPED_TRACE(d.name);
        package::SetupRecord r = package::durvoSetupRecord(kArm);
        d.change(r);
        expectRefused(cabinetOf(recordBytes(r), library_), kArm, d.expected);
    }
}

// Cabinet files from outside: only a regular file of at most 64 MB is read, and nothing at the
// path can hang the installer or fill its memory.
TEST_F(DeviceInstaller, CabinetFilesThatAreNoCabinetFilesSaySo)
{
    const fs::path dir = root_ / "given";
    fs::create_directories(dir / "folder.cab");
    ASSERT_EQ(mkfifo((dir / "fifo.cab").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "zero.cab");
    std::ofstream(dir / "huge.cab").close();
    fs::resize_file(dir / "huge.cab", (64u << 20) + 1);   // sparse: no disk used
    const struct {
        std::string file, expected;
    } cases[] = {
        {"nothing.cab", "No such file or directory"},
        {"folder.cab", "a folder, not a regular file"},
        {"fifo.cab", "a FIFO, not a regular file"},
        {"zero.cab", "a device, not a regular file"},
        {"huge.cab", "larger than 64 MB"},
        {std::string(300, 'n') + ".cab", "File name too long"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        host::InstallOutcome outcome;
        std::string error;
        EXPECT_FALSE(host::installCabinetFile(dir / c.file, {kArm}, &outcome, &error));
        EXPECT_EQ(error, c.expected);
    }
}

// Limits that only writing would meet, and writes that fail: the device keeps every byte it had,
// the older library and the item key's values included.
TEST_F(DeviceInstaller, ACabinetRefusedWhileWritingLeavesTheDeviceAsItWas)
{
    using Change = std::function<void(package::SetupRecord &)>;
    struct Case {
        const char *name;
        Change change;
        control::Faults faults;
        std::string expected;
    };
    const std::string accented(200, '\xE9');   // 200 characters, 400 bytes of UTF-8 on the host
    const Case cases[] = {
        {"key_name_of_256_characters",
         [](package::SetupRecord &r) { r.strings[6].text = std::string(256, 'k'); },
         {},
         "registry key 1: a name of 256 characters; the registry takes at most 255"},
        {"key_path_513_deep",
         [](package::SetupRecord &r) { r.keys[0].path.assign(513, 7); },
         {},
         "registry key 1: its path has 513 levels; the registry holds at most 512"},
        {"file_where_an_earlier_entry_made_a_folder",
         [](package::SetupRecord &r) {
             r.strings.push_back({8, "Sub"});
             r.directories.push_back({3, {1, 8}});
             r.files.insert(r.files.begin(), {2, 3, 1, 0, "x.dll"});
             r.files.push_back({3, 2, 1, 0, "Sub"});
         },
         {},
         "cannot write \\Windows\\Sub: a folder of that name is there"},
        {"host_name_too_long_for_the_file_system",
         [&](package::SetupRecord &r) {
             r.files.push_back({2, 2, 1, 0, accented});
         },
         {},
         "its name is longer than the file system takes (255 bytes)"},
        {"path_of_260_characters",
         [](package::SetupRecord &r) { r.files[0].name = std::string(251, 'a'); },
         {},
         "is longer than the device allows (259 characters)"},
        {"registry_write_fails",
         [](package::SetupRecord &) {},
         {.points = {control::FaultPoint::RegSetValue}},
         "cannot write the value \"Flags\" of HKLM\\Software\\Microsoft\\Today\\Items\\Durvo"},
    };
    std::ofstream(root_ / "Windows" / "Durvo.DLL", std::ios::binary) << "an older library";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Today\\Items\\Durvo", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    Bytes zero = dword(0);
    RegSetValueExW(key, u"Enabled", 0, REG_DWORD, zero.data(), 4);
    RegCloseKey(key);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        package::SetupRecord r = package::durvoSetupRecord(kArm);
        c.change(r);
        Bytes cabinet = cabinetOf(recordBytes(r), library_);
        control::setFaults(c.faults);
        expectRefused(cabinet, kArm, c.expected);
        control::setFaults({});
    }
}

// One member named by many file entries is unpacked once, and what the entries come to together
// is bounded: a small cabinet cannot fill the device, nor keep it busy.
TEST_F(DeviceInstaller, ManyFileEntriesOfOneMember)
{
    package::SetupRecord r = package::durvoSetupRecord(kArm);
    r.strings.push_back({8, "Many"});
    r.directories.push_back({3, {1, 8}});
    auto withEntries = [&](size_t count) {
        package::SetupRecord many = r;
        for (size_t i = 0; i < count; ++i)
            many.files.push_back({static_cast<uint16_t>(2 + i), 3, 1, 0, "f" + std::to_string(i)});
        return cabinetOf(recordBytes(many), library_);
    };
    std::string error;
    ASSERT_TRUE(install(withEntries(1023), kArm, &error)) << error;   // 1,024 files: the most
    EXPECT_EQ(fs::file_size(root_ / "Windows" / "Many" / "f1022"), library_.size());
    expectRefused(withEntries(1024), kArm, "the record lists 1025 files; the device takes at most 1024");
    // 1,001 entries of 70,000 bytes come to 70,070,000 bytes: over 64 MB.
    library_ = patternBytes(70000, 3);
    expectRefused(withEntries(1000), kArm, "the files come to more than 67108864 bytes");
}

}   // namespace
