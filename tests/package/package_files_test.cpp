// The package's files: names and resource names, the description file's text, the licence and
// read-me texts, as checked in and as the build wrote them.
#include "package_test_support.h"

#include <package.h>
#include <package_files.h>

namespace {

fs::path sourceDir()
{
    const char *dir = std::getenv("DURVO_SOURCE_DIR");
    return dir ? fs::path(dir) : fs::path(__FILE__).parent_path().parent_path().parent_path();
}

// The description file's first seven lines; the eighth lists the cabinets.
const std::string kDescriptionHead = "[CEAppManager]\r\n"
                                     "Version = 1.0\r\n"
                                     "Component = Durvo\r\n"
                                     "\r\n"
                                     "[Durvo]\r\n"
                                     "Description = Durvo Today plugin for PocketPC\r\n"
                                     ";Uninstall = Durvo\r\n";

// The shipped package holds the three texts and the one cabinet with a real build, for ARM; the
// development package holds the development device's cabinet too. Each description file lists
// exactly its cabinets, in the checked-in order, the development one last.
TEST(PackageFileNames, EachBuiltPackageHoldsItsCabinetsAndListsExactlyThose)
{
    // The table's names in its order; each resource name follows from its file name, which the
    // compiler checks.
    std::vector<std::string> tableNames;
    for (const PackageFile &file : packageFiles) tableNames.push_back(file.fileName);
    EXPECT_EQ(tableNames,
              (std::vector<std::string>{"Durvo.ini", "License.txt", "ReadMe.txt", "Durvo.arm.CAB",
                                        "Durvo.mips.CAB", "Durvo.sh3.CAB", "Durvo.dev.CAB"}));
    ASSERT_FALSE(buildDir().empty());
    struct Package {
        const char *folder;
        std::vector<std::string> files;
        const char *cabinetList;
    };
    const Package packages[] = {
        {"package", {"Durvo.arm.CAB", "Durvo.ini", "License.txt", "ReadMe.txt"}, "Durvo.ARM.cab,"},
        {"package-dev",
         {"Durvo.arm.CAB", "Durvo.dev.CAB", "Durvo.ini", "License.txt", "ReadMe.txt"},
         "Durvo.ARM.cab,Durvo.dev.CAB,"},
    };
    for (const Package &p : packages) {
        SCOPED_TRACE(p.folder);
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(buildDir() / p.folder))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, p.files);
        EXPECT_EQ(readText(buildDir() / p.folder / "Durvo.ini"),
                  kDescriptionHead + "CabFiles = " + p.cabinetList + "\r\n");
    }
}

// The list keeps the checked-in order and spelling whatever cabinets a package has.
TEST(DescriptionFile, ListsThePackagesCabinetsInTheCheckedInOrder)
{
    struct Case {
        bool arm, mips, sh3, development;
        const char *line;
    };
    const Case cases[] = {
        {true, true, true, false, "CabFiles = Durvo.SH3.cab,Durvo.MIPS.cab,Durvo.ARM.cab,\r\n"},
        {true, false, false, false, "CabFiles = Durvo.ARM.cab,\r\n"},
        {false, true, false, true, "CabFiles = Durvo.MIPS.cab,Durvo.dev.CAB,\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        const bool present[packageFileCount] = {true, true, true, c.arm, c.mips, c.sh3, c.development};
        std::vector<uint8_t> file = package::descriptionFileFor(present);
        std::string text(file.begin(), file.end());
        ASSERT_GE(text.size(), std::string(c.line).size());
        EXPECT_EQ(text.substr(text.rfind("CabFiles")), c.line);
    }
    // All three processors give back the checked-in file.
    const bool all[packageFileCount] = {true, true, true, true, true, true, false};
    std::vector<uint8_t> whole = package::descriptionFileFor(all);
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), package::descriptionFileText().begin(),
                           package::descriptionFileText().end()));
}

TEST(DescriptionFile, EightCrLfLinesOf184Bytes)
{
    const std::string expected
        = kDescriptionHead + "CabFiles = Durvo.SH3.cab,Durvo.MIPS.cab,Durvo.ARM.cab,\r\n";
    std::string text = readText(sourceDir() / "setup" / "package" / "Durvo.ini");
    EXPECT_EQ(text.size(), 184u);
    EXPECT_EQ(text, expected);
}

// 8-bit text: printable ASCII, every line ended by CR LF, no bare CR or LF, the last line ended too.
void expectCrLfText(const std::string &text)
{
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            EXPECT_EQ(text[i + 1], '\n') << "bare CR at byte " << i;
        } else if (c == '\n') {
            EXPECT_EQ(i > 0 ? text[i - 1] : 0, '\r') << "bare LF at byte " << i;
        } else {
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << int(c) << " at " << i;
        }
    }
}

std::vector<std::string> crLfLines(const std::string &text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(PackageTexts, LicenceHasACentredHeadingAndIndentedTerms)
{
    std::string text = readText(sourceDir() / "setup" / "package" / "License.txt");
    expectCrLfText(text);
    std::vector<std::string> lines = crLfLines(text);
    ASSERT_GT(lines.size(), 5u);
    // Centred: the blanks before the heading are half of what a 72-column line leaves.
    const std::string &heading = lines[0];
    size_t indent = heading.find_first_not_of(' ');
    ASSERT_NE(indent, std::string::npos);
    EXPECT_EQ(indent, (72 - (heading.size() - indent)) / 2) << heading;
    // Each term is an indented paragraph, on the topics the licence must cover.
    const char *topics[] = {"protected by copyright",
                            "non-exclusive",
                            "private, non-commercial",
                            "commercial use",
                            "written permission",
                            "without warranty",
                            "liable",
                            "you accept"};
    for (const char *topic : topics) EXPECT_NE(text.find(topic), std::string::npos) << topic;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (!lines[i].empty()) {
            EXPECT_EQ(lines[i].rfind("    ", 0), 0u) << "line " << i + 1 << ": " << lines[i];
        }
    }
    EXPECT_NE(text.find("Norvane"), std::string::npos);
}

TEST(PackageTexts, ReadMeHasTheTitleBlockAndItsSections)
{
    std::string text = readText(sourceDir() / "setup" / "package" / "ReadMe.txt");
    expectCrLfText(text);
    const char *required[] = {"Durvo Meter Plugin for PocketPC",
                              "Version 3.4.3",
                              "Freeware",
                              "Norvane",
                              "Contact:",
                              "\r\nWhat Durvo does\r\n",
                              "\r\nInstallation\r\n",
                              "\r\nRemoval\r\n",
                              "\r\nUse\r\n",
                              "\r\nVersion history\r\n",
                              "Soft-reset",
                              "Unregister plugin"};
    size_t last = 0;
    for (const char *r : required) {
        size_t at = text.find(r);
        EXPECT_NE(at, std::string::npos) << r;
        if (std::string(r).rfind("\r\n", 0) == 0) {   // section titles come in this order
            EXPECT_GT(at, last) << r;
            last = at;
        }
    }
}

TEST(PackageTexts, TheBuiltPackageCarriesTheCheckedInTextsByteForByte)
{
    for (const char *name : {"License.txt", "ReadMe.txt"}) {
        SCOPED_TRACE(name);
        Bytes checkedIn = readBytes(sourceDir() / "setup" / "package" / name);
        ASSERT_FALSE(checkedIn.empty());
        EXPECT_TRUE(readBytes(buildDir() / "package" / name) == checkedIn);
    }
    EXPECT_EQ(package::descriptionFileText().size(), 184u);
}

}   // namespace
