// durvo-package as a user runs it: help, the package from three given libraries, and every
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

    CommandResult run(const std::string &arguments) { return runCommand("'" + tool_.string() + "' " + arguments, dir_); }

    // Everything in a folder, hidden files included.
    std::vector<std::string> listing(const fs::path &folder) const
    {
        std::vector<std::string> names;
        if (!fs::exists(folder)) return names;
        for (const auto &entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::vector<std::string> packageNames()
    {
        std::vector<std::string> names;
        for (const PackageFile &f : packageFiles) names.push_back(f.fileName);
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path tool_;
};

TEST_F(PackagingTool, HelpSaysWhichLibraryStandsInForTheThreeProcessors)
{
    CommandResult r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: durvo-package [--arm FILE] [--mips FILE] [--sh3 FILE] OUTDIR\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("No Windows CE compiler exists"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find((buildDir() / "plugin" / "Durvo.dll").string()), std::string::npos) << r.out;
}

TEST_F(PackagingTool, EachCabinetCarriesTheLibraryGivenForItsProcessor)
{
    writeBytes(dir_ / "arm.dll", {'A', 'R', 'M', 0, 1});
    writeBytes(dir_ / "mips.dll", {'M', 'I', 'P', 'S', 0, 2, 2});
    writeBytes(dir_ / "sh3.dll", {'S', 'H', '3'});
    CommandResult r = run("--arm arm.dll --mips mips.dll --sh3 sh3.dll out/pkg");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(listing(dir_ / "out" / "pkg"), packageNames());
    const std::pair<const char *, const char *> cabinets[] = {
        {"Durvo.arm.CAB", "arm.dll"}, {"Durvo.mips.CAB", "mips.dll"}, {"Durvo.sh3.CAB", "sh3.dll"}};
    for (const auto &[cabinet, library] : cabinets) {
        SCOPED_TRACE(cabinet);
        CommandResult member = runCommand("cabextract -q -p -F 00Durvo.001 out/pkg/" + std::string(cabinet), dir_);
        ASSERT_EQ(member.status, 0) << member.out;
        Bytes expected = readBytes(dir_ / library);
        EXPECT_EQ(member.out, std::string(expected.begin(), expected.end()));
    }
}

TEST_F(PackagingTool, RefusalsNameTheProblemAndWriteNothing)
{
    writeBytes(dir_ / "lib.dll", {1, 2, 3});
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
         "durvo-package: huge.dll: " + std::to_string(limit + 1) + " bytes; a cabinet carries at most " +
             std::to_string(limit) + " bytes of library beside its setup record\n",
         "over the cabinet limit by one byte"},
        {"--arm lib.dll --mips lib.dll --sh3 lib.dll plain-file/out",
         "durvo-package: plain-file/out: cannot create the folder: ", "OUTDIR below a file"},
        {"--arm lib.dll --mips lib.dll --sh3 lib.dll plain-file",
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
    writeBytes(dir_ / "lib.dll", {1, 2, 3});
    ASSERT_EQ(run("--arm lib.dll --mips lib.dll --sh3 lib.dll out").status, 0);
    Bytes before = readBytes(dir_ / "out" / "Durvo.mips.CAB");
    CommandResult r = run("--arm lib.dll --mips gone.dll --sh3 lib.dll out");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(listing(dir_ / "out"), packageNames());
    EXPECT_TRUE(readBytes(dir_ / "out" / "Durvo.mips.CAB") == before);
}

}  // namespace
