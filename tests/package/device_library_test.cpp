// The Windows CE ARM Durvo.dll the package ships, read back byte by byte with a PE reader of the
// tests' own: what a Pocket PC's loader looks at (headers, exports, imports, relocations,
// resources) and no instruction a StrongARM lacks.
#include "package_test_support.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

// The PE32 fields the checks read, at their published offsets.
constexpr size_t kNewHeaderPointerAt = 0x3C;
constexpr size_t kFileHeaderSize = 20;

struct Section {
    std::string name;
    uint32_t rva, virtualSize, rawOffset, rawSize, flags;
};

struct PeImage {
    Bytes bytes;
    size_t fileHeaderAt = 0;   // just past "PE\0\0"
    size_t optionalAt = 0;
    std::vector<Section> sections;

    explicit PeImage(const fs::path &file) : bytes(readBytes(file))
    {
        if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return;
        size_t peAt = u32At(bytes, kNewHeaderPointerAt);
        if (u32At(bytes, peAt) != 0x4550) return;   // "PE\0\0"
        fileHeaderAt = peAt + 4;
        optionalAt = fileHeaderAt + kFileHeaderSize;
        size_t sectionAt = optionalAt + u16At(bytes, fileHeaderAt + 16);
        for (int i = 0; i < u16At(bytes, fileHeaderAt + 2); ++i, sectionAt += 40) {
            std::string name(bytes.begin() + sectionAt, bytes.begin() + sectionAt + 8);
            name.resize(name.find('\0') == std::string::npos ? 8 : name.find('\0'));
            sections.push_back({name, u32At(bytes, sectionAt + 12), u32At(bytes, sectionAt + 8),
                                u32At(bytes, sectionAt + 20), u32At(bytes, sectionAt + 16),
                                u32At(bytes, sectionAt + 36)});
        }
    }
    bool valid() const { return fileHeaderAt != 0; }
    uint16_t machine() const { return u16At(bytes, fileHeaderAt); }
    uint32_t imageBase() const { return u32At(bytes, optionalAt + 28); }
    // Data directory `index`: its RVA and size.
    std::pair<uint32_t, uint32_t> directory(int index) const
    {
        size_t at = optionalAt + 96 + 8 * index;
        return {u32At(bytes, at), u32At(bytes, at + 4)};
    }
    // The file offset of an RVA inside a section's raw data.
    size_t offsetOf(uint32_t rva) const
    {
        for (const Section &s : sections)
            if (rva >= s.rva && rva < s.rva + s.rawSize) return s.rawOffset + (rva - s.rva);
        throw std::out_of_range("RVA " + std::to_string(rva) + " lies in no section's data");
    }
    uint32_t u32(uint32_t rva) const { return u32At(bytes, offsetOf(rva)); }
    uint16_t u16(uint32_t rva) const { return u16At(bytes, offsetOf(rva)); }
    std::string text(uint32_t rva) const { return reinterpret_cast<const char *>(&bytes[offsetOf(rva)]); }

    // The RVAs of the 32-bit words the base relocations fix up (type 3, HIGHLOW); *others counts
    // entries of any type but padding (0).
    std::set<uint32_t> highLowRelocations(int *others) const
    {
        std::set<uint32_t> rvas;
        auto [at, size] = directory(5);
        for (uint32_t block = at; block < at + size;) {
            uint32_t page = u32(block), blockSize = u32(block + 4);
            for (uint32_t entry = block + 8; entry < block + blockSize; entry += 2) {
                uint16_t e = u16(entry);
                if (e >> 12 == 3)
                    rvas.insert(page + (e & 0xFFF));
                else if (e >> 12 != 0)
                    ++*others;
            }
            block += blockSize;
        }
        return rvas;
    }
};

fs::path library()
{
    return buildDir() / "ce-arm" / "Durvo.dll";
}

std::set<std::string> exportList(const char *name)
{
    std::ifstream in(fs::path(DURVO_TESTS_DIR) / "package" / "ce" / name);
    std::set<std::string> names;
    for (std::string line; std::getline(in, line);) names.insert(line.substr(0, line.find(' ')));
    return names;
}

TEST(DeviceLibrary, IsAWindowsCeGuiDllForArmAtItsImageBase)
{
    PeImage pe(library());
    ASSERT_TRUE(pe.valid()) << library();
    EXPECT_EQ(pe.machine(), 0x01C0) << "IMAGE_FILE_MACHINE_ARM";
    EXPECT_NE(u16At(pe.bytes, pe.fileHeaderAt + 18) & 0x2000, 0) << "IMAGE_FILE_DLL";
    EXPECT_EQ(u16At(pe.bytes, pe.optionalAt), 0x10B) << "PE32";
    EXPECT_EQ(u16At(pe.bytes, pe.optionalAt + 68), 9) << "IMAGE_SUBSYSTEM_WINDOWS_CE_GUI";
    EXPECT_EQ(u16At(pe.bytes, pe.optionalAt + 48), 4);
    EXPECT_EQ(u16At(pe.bytes, pe.optionalAt + 50), 20) << "subsystem version 4.20";
    EXPECT_EQ(pe.imageBase(), 0x10000000u);
    EXPECT_EQ(u16At(pe.bytes, pe.optionalAt + 70), 0)
        << "no DYNAMIC_BASE or NX_COMPAT flags, which CE 4.20 predates";
    EXPECT_EQ(pe.directory(3).second, 0u) << "no exception directory is claimed";

    // Code is read and execute only, data is never executable, read-only data is never written.
    constexpr uint32_t kCode = 0x20, kExecute = 0x20000000, kRead = 0x40000000, kWrite = 0x80000000;
    std::map<std::string, uint32_t> flags;
    for (const Section &s : pe.sections) {
        SCOPED_TRACE(s.name);
        flags[s.name] = s.flags;
        EXPECT_FALSE((s.flags & kExecute) && (s.flags & kWrite)) << "writable code";
        EXPECT_NE(s.flags & kRead, 0u);
    }
    EXPECT_EQ(flags[".text"] & (kCode | kExecute | kWrite), kCode | kExecute);
    EXPECT_EQ(flags[".rdata"] & (kExecute | kWrite), 0u);
    EXPECT_EQ(flags[".data"] & (kExecute | kWrite), kWrite);
}

TEST(DeviceLibrary, ExportsOrdinals240And241WithNoNames)
{
    PeImage pe(library());
    ASSERT_TRUE(pe.valid());
    uint32_t dir = pe.directory(0).first;
    ASSERT_NE(dir, 0u);
    EXPECT_EQ(pe.u32(dir + 16), 240u) << "ordinal base";
    ASSERT_EQ(pe.u32(dir + 20), 2u) << "functions";
    EXPECT_EQ(pe.u32(dir + 24), 0u) << "no name table";
    const Section &text = pe.sections.at(0);
    for (uint32_t i = 0; i < 2; ++i) {
        uint32_t rva = pe.u32(pe.u32(dir + 28) + 4 * i);
        EXPECT_TRUE(rva >= text.rva && rva < text.rva + text.virtualSize)
            << "ordinal " << 240 + i << " lies in code";
    }
}

TEST(DeviceLibrary, ImportsOnlyWhatCoredllAndAygshellExport)
{
    PeImage pe(library());
    ASSERT_TRUE(pe.valid());
    const std::map<std::string, std::set<std::string>> offered
        = {{"COREDLL.dll", exportList("coredll-exports.txt")},
           {"AYGSHELL.dll", exportList("aygshell-exports.txt")}};
    ASSERT_GT(offered.at("COREDLL.dll").size(), 1000u);
    std::map<std::string, int> counts;
    for (uint32_t d = pe.directory(1).first; pe.u32(d + 12) != 0; d += 20) {
        std::string dll = pe.text(pe.u32(d + 12));
        SCOPED_TRACE(dll);
        ASSERT_EQ(offered.count(dll), 1u) << "an import from a library the device may not have";
        for (uint32_t thunk = pe.u32(d); pe.u32(thunk) != 0; thunk += 4) {
            uint32_t entry = pe.u32(thunk);
            ASSERT_EQ(entry & 0x80000000u, 0u) << "imported by ordinal";
            std::string name = pe.text(entry + 2);
            EXPECT_EQ(offered.at(dll).count(name), 1u) << name << " is no export of " << dll;
            ++counts[dll];
        }
    }
    EXPECT_EQ(counts["AYGSHELL.dll"], 1) << "SHInitDialog; SHGetUIMetrics is looked up at run time";
    EXPECT_GT(counts["COREDLL.dll"], 50);
    std::cout << "imports: " << counts["COREDLL.dll"] << " from COREDLL.dll, " << counts["AYGSHELL.dll"]
              << " from AYGSHELL.dll\n";
}

// The same objects linked at 0x20000000 differ from the library only where a base relocation
// points, and there by exactly the difference of the bases: so every absolute address has its
// relocation, and a loader that maps the library elsewhere fixes them all.
TEST(DeviceLibrary, BaseRelocationsCoverEveryAbsoluteAddress)
{
    PeImage at1(library());
    PeImage at2(buildDir() / "ce-arm" / "Durvo-at-0x20000000.dll");
    ASSERT_TRUE(at1.valid() && at2.valid());
    ASSERT_EQ(at2.imageBase() - at1.imageBase(), 0x10000000u);
    int others1 = 0, others2 = 0;
    std::set<uint32_t> relocated = at1.highLowRelocations(&others1);
    EXPECT_EQ(relocated, at2.highLowRelocations(&others2));
    EXPECT_EQ(others1, 0) << "only HIGHLOW relocations";
    EXPECT_GT(relocated.size(), 100u);
    ASSERT_EQ(at1.sections.size(), at2.sections.size());
    size_t differing = 0;
    for (size_t i = 0; i < at1.sections.size(); ++i) {
        const Section &s = at1.sections[i];
        SCOPED_TRACE(s.name);
        ASSERT_EQ(s.rva, at2.sections[i].rva);
        ASSERT_EQ(s.rawSize, at2.sections[i].rawSize);
        for (uint32_t rva = s.rva; rva < s.rva + s.rawSize; ++rva) {
            uint32_t word = rva & ~3u;
            if (relocated.count(word)) {
                if (rva == word) {
                    EXPECT_EQ(at2.u32(word) - at1.u32(word), 0x10000000u) << "at RVA " << word;
                }
                continue;
            }
            if (at1.bytes[at1.offsetOf(rva)] != at2.bytes[at2.offsetOf(rva)]) {
                ++differing;
                ADD_FAILURE() << "RVA " << rva << " changes with the image base but has no relocation";
            }
        }
    }
    EXPECT_EQ(differing, 0u);
}

// The resource directory: type, then name, then language.
TEST(DeviceLibrary, ResourcesHoldThePageTheIconsAndTheHighResolutionMarker)
{
    PeImage pe(library());
    ASSERT_TRUE(pe.valid());
    const uint32_t root = pe.directory(2).first;
    ASSERT_NE(root, 0u);
    // The entries of one directory level as "id" or "NAME" strings, with their targets.
    auto entries = [&](uint32_t dir) {
        std::map<std::string, uint32_t> found;
        int count = pe.u16(dir + 12) + pe.u16(dir + 14);
        for (int i = 0; i < count; ++i) {
            uint32_t name = pe.u32(dir + 16 + 8 * i), target = pe.u32(dir + 20 + 8 * i);
            std::string key;
            if (name & 0x80000000u) {
                uint32_t at = root + (name & 0x7FFFFFFFu);
                for (int c = 0; c < pe.u16(at); ++c) key += static_cast<char>(pe.u16(at + 2 + 2 * c));
            } else {
                key = std::to_string(name);
            }
            found[key] = root + (target & 0x7FFFFFFFu);
        }
        return found;
    };
    const auto types = entries(root);
    const std::pair<const char *, std::vector<std::string>> expected[]
        = {{"5", {"500"}}, {"14", {"101", "105"}}, {"CEUX", {"HI_RES_AWARE"}}};
    for (const auto &[type, names] : expected) {
        SCOPED_TRACE(type);
        ASSERT_EQ(types.count(type), 1u);
        std::vector<std::string> got;
        for (const auto &[name, target] : entries(types.at(type))) got.push_back(name);
        EXPECT_EQ(got, names);
    }
    // The marker is the 16-bit value 1.
    uint32_t language = entries(entries(types.at("CEUX")).at("HI_RES_AWARE")).begin()->second;
    EXPECT_EQ(pe.u32(language + 4), 2u) << "size";
    EXPECT_EQ(pe.u16(pe.u32(language)), 1);
}

// The assembler refuses what ARMv4 lacks; this reads the linked code once more. Literal pools
// and jump tables are data: the words that pc-relative loads read, and every word a base
// relocation points at (an address), are skipped.
TEST(DeviceLibrary, NoInstructionBeyondArmv4)
{
    fs::path listing = fs::temp_directory_path() / ("durvo-arm-" + std::to_string(getpid()) + ".txt");
    CommandResult r = runCommand("'" DURVO_CE_OBJDUMP "' -d --section=.text '" + library().string() + "' > '"
                                     + listing.string() + "'",
                                 fs::temp_directory_path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::ifstream in(listing);
    std::vector<std::pair<std::string, std::string>> instructions;   // address, mnemonic and operands
    std::set<std::string> literals;
    for (std::string line; std::getline(in, line);) {
        // "10001080:\te59f1024 \tldr\tr1, [pc, #36]\t@ 100010ac <symbol+0xac>"
        size_t colon = line.find(":\t");
        if (colon == std::string::npos) continue;
        std::string address = line.substr(line.find_first_not_of(' '), colon - line.find_first_not_of(' '));
        size_t tab = line.find('\t', colon + 2);
        if (tab == std::string::npos) continue;
        std::string code = line.substr(tab + 1);
        instructions.push_back({address, code});
        size_t pool = code.find("[pc");
        size_t at = code.find("@ ", pool == std::string::npos ? code.size() : pool);
        if (at != std::string::npos) literals.insert(code.substr(at + 2, code.find(' ', at + 2) - (at + 2)));
    }
    fs::remove(listing);
    ASSERT_GT(instructions.size(), 1000u);
    PeImage pe(library());
    int others = 0;
    for (uint32_t rva : pe.highLowRelocations(&others)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%x", pe.imageBase() + rva);
        literals.insert(hex);
    }
    // ARMv4T and later: interworking branches, count leading zeros, doubleword transfers, the
    // DSP and media extensions, exclusives, preload, wide immediates. No ARMv4 mnemonic begins
    // with one of these, condition suffixes included.
    const char *const beyond[]
        = {"bx",    "blx",   "clz",   "ldrd",  "strd",  "pld",   "qadd",   "qsub",   "qdadd", "qdsub",
           "smlab", "smlat", "smlaw", "smulb", "smult", "smulw", "smlalb", "smlalt", "ldrex", "strex",
           "rev",   "sxt",   "uxt",   "movw",  "movt",  "bkpt",  "mcrr",   "mrrc"};
    int checked = 0;
    for (const auto &[address, code] : instructions) {
        if (literals.count(address)) continue;
        std::string mnemonic = code.substr(0, code.find_first_of("\t "));
        for (const char *b : beyond) EXPECT_NE(mnemonic.rfind(b, 0), 0u) << address << ": " << code;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

}   // namespace

namespace {

// The filter between clang's ELF assembly and the CE assembler, on the constructs it must turn
// or refuse. Each row: input, and the lines the output must hold or the error it must give.
TEST(CeAssemblyFilter, TurnsElfSectionsIntoPeOnesAndRefusesWhatNeedsARuntime)
{
    struct Case {
        const char *proves;
        const char *input;
        std::vector<std::string> expected;   // lines of the output, in order, or the error
        bool refused;
    };
    const Case cases[] = {
        {"read-only data becomes .rdata; ELF bookkeeping goes",
         "\t.section\t.rodata.str2.2,\"aMS\",%progbits,2\n\t.type\tx,%object\nx:\n\t.short\t65\n\t.size\tx, "
         "2\n",
         {"\t.section\t.rdata,\"dr\"", "x:", "\t.short\t65"},
         false},
        {"a COMDAT group is a .linkonce section, its weak symbol global",
         "\t.section\t.text._Z1fv,\"axG\",%progbits,_Z1fv,comdat\n\t.weak\t_Z1fv\n_Z1fv:\n\tmov\tpc, lr\n",
         {"\t.section\t.text$_Z1fv,\"xr\"", "\t.linkonce\tdiscard", "\t.globl\t_Z1fv", "_Z1fv:"},
         false},
        {"a local common symbol is a .bss definition; the section goes on",
         "\t.text\n\t.local\tc\n\t.comm\tc,8,4\n\tmov\tpc, lr\n",
         {"\t.bss", "\t.balign\t4", "c:", "\t.space\t8", "\t.text", "\tmov\tpc, lr"},
         false},
        {".cpu goes, so the assembler's -march decides",
         "\t.cpu\tarm926ej-s\n\tmov\tr0, r1\n",
         {"\tmov\tr0, r1"},
         false},
        {"static constructors",
         "\t.text\n\t.section\t.init_array,\"aw\",%init_array\n\t.long\tf\n",
         {"in.s:2: section .init_array: static constructors and thread-local storage need a C runtime"},
         true},
        {"thread-local storage", "\t.section\t.tbss,\"awT\",%nobits\n", {"in.s:1: section .tbss:"}, true},
    };
    fs::path dir = fs::temp_directory_path() / ("durvo-filter-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        std::ofstream(dir / "in.s") << c.input;
        fs::remove(dir / "out.s");
        CommandResult r = runCommand(
            "'" + (buildDir() / "platform" / "ce_arm" / "ce-asm-filter").string() + "' in.s out.s", dir);
        if (c.refused) {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out.rfind(c.expected[0], 0), 0u) << r.out;
            EXPECT_FALSE(fs::exists(dir / "out.s")) << "nothing half-written";
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.out;
        std::string out = readText(dir / "out.s");
        size_t at = 0;
        for (const std::string &line : c.expected) {
            size_t found = out.find(line + "\n", at);
            EXPECT_NE(found, std::string::npos) << "'" << line << "' in order in:\n" << out;
            at = found == std::string::npos ? at : found + line.size();
        }
        for (const char *gone : {".type", ".size", ".cpu", ".weak", ".local", ".comm"})
            EXPECT_EQ(out.find(gone), std::string::npos) << out;
    }
    fs::remove_all(dir);
}

}   // namespace
