// durvo-package as a user runs it: help, the package from the libraries given, and every
// refusal leaving no package file behind.
#include "package_test_support.h"

#include <package.h>

namespace {

class PackagingTool : public ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        tool_ = buildDir() / "setup" / "package" / "durvo-package";
        ASSERT_TRUE(fs::exists(tool_)) << tool_;
    }

    CommandResult run(const std::string &arguments)
    {
        return runCommand("'" + tool_.string() + "' " + arguments, dir_);
    }

    // Everything in a folder, hidden files included.
    std::vector<std::string> listing(const fs::path &folder) const
    {
        std::vector<std::string> names;
        if (!fs::exists(folder)) return names;
        for (const auto &entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The texts and the named cabinets, sorted as a listing is.
    static std::vector<std::string> packageNames(std::vector<std::string> cabinets)
    {
        for (const char *text : {"Durvo.ini", "License.txt", "ReadMe.txt"}) cabinets.push_back(text);
        std::sort(cabinets.begin(), cabinets.end());
        return cabinets;
    }

    // The smallest file that says it is a PE image for `machine`: "MZ", the pointer at 0x3C to
    // "PE\0\0" and the machine field; then a tag that tells the libraries apart.
    void writePe(const char *name, uint16_t machine, uint8_t tag)
    {
        Bytes bytes(0x40 + 6 + 1, 0);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[0x3C] = 0x40;
        bytes[0x40] = 'P';
        bytes[0x41] = 'E';
        bytes[0x44] = static_cast<uint8_t>(machine);
        bytes[0x45] = static_cast<uint8_t>(machine >> 8);
        bytes.back() = tag;
        writeBytes(dir_ / name, bytes);
    }
    void writeThreeLibraries()
    {
        writePe("arm.dll", 0x01C0, 1);
        writePe("mips.dll", 0x0166, 2);
        writePe("sh3.dll", 0x01A2, 3);
    }

    fs::path tool_;
};

TEST_F(PackagingTool, HelpNamesTheArmLibraryAndWhyMipsAndSh3HaveNone)
{
    CommandResult r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out.rfind(
            "usage: durvo-package [--arm FILE] [--mips FILE] [--sh3 FILE] [--development FILE] OUTDIR\n", 0),
        0u)
        << r.out;
    EXPECT_NE(r.out.find("No MIPS or SH3 build of the library is made here"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find((buildDir() / "ce-arm" / "Durvo.dll").string()), std::string::npos) << r.out;
}

TEST_F(PackagingTool, EachCabinetCarriesTheLibraryGivenForItsProcessor)
{
    writeThreeLibraries();
    writeBytes(dir_ / "native.so", {0x7F, 'E', 'L', 'F', 9});
    CommandResult r = run("--arm arm.dll --mips mips.dll --sh3 sh3.dll --development native.so out/pkg");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(listing(dir_ / "out" / "pkg"),
              packageNames({"Durvo.arm.CAB", "Durvo.mips.CAB", "Durvo.sh3.CAB", "Durvo.dev.CAB"}));
    const std::pair<const char *, const char *> cabinets[] = {{"Durvo.arm.CAB", "arm.dll"},
                                                              {"Durvo.mips.CAB", "mips.dll"},
                                                              {"Durvo.sh3.CAB", "sh3.dll"},
                                                              {"Durvo.dev.CAB", "native.so"}};
    for (const auto &[cabinet, library] : cabinets) {
        SCOPED_TRACE(cabinet);
        CommandResult member
            = runCommand("cabextract -q -p -F 00Durvo.001 out/pkg/" + std::string(cabinet), dir_);
        ASSERT_EQ(member.status, 0) << member.out;
        Bytes expected = readBytes(dir_ / library);
        EXPECT_EQ(member.out, std::string(expected.begin(), expected.end()));
    }

    // A package with fewer processors takes away the cabinets of the others.
    ASSERT_EQ(run("--arm arm.dll out/pkg").status, 0);
    EXPECT_EQ(listing(dir_ / "out" / "pkg"), packageNames({"Durvo.arm.CAB"}));
}

TEST_F(PackagingTool, RefusalsNameTheProblemAndWriteNothing)
{
    writeThreeLibraries();
    writeBytes(dir_ / "lib.dll", {1, 2, 3});
    writeBytes(dir_ / "native.so", {0x7F, 'E', 'L', 'F', 1, 1, 1});
    fs::create_directories(dir_ / "folder.dll");
    writeBytes(dir_ / "plain-file", {0});
    // Larger than a cabinet carries beside the record; sparse, so it costs no disk.
    const uint64_t limit = uint64_t{65535} * 32768 - 410;
    EXPECT_EQ(package::maxLibraryBytes(), limit);
    {
        std::ofstream(dir_ / "huge.dll").put(0);
        fs::resize_file(dir_ / "huge.dll", limit + 1);
    }
    struct Case {
        std::string arguments;
        std::string expected;   // on stderr
        const char *why;
    };
    const Case cases[] = {
        {"--arm missing.dll out", "durvo-package: missing.dll: no such library\n", "missing library"},
        {"--mips folder.dll out", "durvo-package: folder.dll: not a library file\n", "a folder, not a file"},
        {"--sh3 huge.dll out",
         "durvo-package: huge.dll: " + std::to_string(limit + 1) + " bytes; a cabinet carries at most "
             + std::to_string(limit) + " bytes of library beside its setup record\n",
         "over the cabinet limit by one byte"},
        {"--arm native.so out", "durvo-package: Durvo.arm.CAB: an ELF file, not a Windows CE library\n",
         "a Linux library in the ARM cabinet"},
        {"--arm lib.dll out", "durvo-package: Durvo.arm.CAB: not a PE image (no MZ header)\n",
         "not a PE image"},
        {"--arm arm.dll --mips arm.dll out",
         "durvo-package: Durvo.mips.CAB: a PE image for machine 0x01C0, not 0x0166\n",
         "an ARM library as MIPS"},
        {"--arm arm.dll --sh3 mips.dll out",
         "durvo-package: Durvo.sh3.CAB: a PE image for machine 0x0166, not 0x01A2\n",
         "a MIPS library as SH3"},
        {"--arm arm.dll --mips mips.dll --sh3 sh3.dll plain-file/out",
         "durvo-package: plain-file/out: cannot create the folder: ", "OUTDIR below a file"},
        {"--arm arm.dll --mips mips.dll --sh3 sh3.dll plain-file",
         "durvo-package: plain-file: cannot create the folder: ", "OUTDIR is a file"},
        {"--arm lib.dll", "durvo-package: no OUTDIR given\nusage: ", "no OUTDIR"},
        {"--arm", "durvo-package: --arm needs a library file\n", "option without its file"},
        {"--x86 lib.dll out", "durvo-package: unknown option --x86\n", "unknown option"},
        {"out other", "durvo-package: only one OUTDIR\n", "two folders"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        CommandResult r = run(c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out.rfind(c.expected, 0), 0u) << r.out;
        EXPECT_EQ(listing(dir_ / "out"), std::vector<std::string>{});
    }
    EXPECT_EQ(readBytes(dir_ / "plain-file"), Bytes{0});
}

TEST_F(PackagingTool, AFailedRunLeavesThePreviousPackageWhole)
{
    writeThreeLibraries();
    ASSERT_EQ(run("--arm arm.dll --mips mips.dll --sh3 sh3.dll out").status, 0);
    Bytes before = readBytes(dir_ / "out" / "Durvo.mips.CAB");
    CommandResult r = run("--arm arm.dll --mips gone.dll --sh3 sh3.dll out");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(listing(dir_ / "out"), packageNames({"Durvo.arm.CAB", "Durvo.mips.CAB", "Durvo.sh3.CAB"}));
    EXPECT_TRUE(readBytes(dir_ / "out" / "Durvo.mips.CAB") == before);
}

}   // namespace
