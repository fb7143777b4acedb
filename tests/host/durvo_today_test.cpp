// End-to-end runs of the durvo-today binary on scripts written to a temporary folder.
#include "host/soak/soak_script.h"

#include <control.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Standard error without the notes (`boot` installing the built cabinet on a bare device says
// so): what is left are the failures.
std::string withoutNotes(const std::string &err)
{
    std::string kept;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.find(": note: ") == std::string::npos) kept += line + "\n";
    return kept;
}

std::string readFile(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path &file, const std::string &text)
{
    std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Registry names ignore letter case: the package creates "Software", the meter opens "SOFTWARE".
bool sameIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x))
                   == std::tolower(static_cast<unsigned char>(y));
           });
}

// The bytes of one REG_BINARY value of the meter's store in a .reg text.
std::vector<uint8_t> storeValue(const std::string &regText, const std::string &name)
{
    std::string joined;
    bool inStore = false;
    for (std::string line : lines(regText)) {
        if (!line.empty() && line[0] == '[')
            inStore = sameIgnoringCase(line, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane]");
        if (inStore) joined += line + "\n";
    }
    // Continued hex lines end in a backslash.
    std::string flat;
    for (size_t i = 0; i < joined.size(); ++i) {
        if (joined[i] == '\\' && i + 1 < joined.size() && joined[i + 1] == '\n') {
            i += 1;
            while (i + 1 < joined.size() && joined[i + 1] == ' ') ++i;
            continue;
        }
        flat += joined[i];
    }
    std::vector<uint8_t> bytes;
    std::string key = "\"" + name + "\"=hex:";
    size_t at = flat.find(key);
    if (at == std::string::npos) return bytes;
    std::istringstream hex(flat.substr(at + key.size(), flat.find('\n', at) - at - key.size()));
    for (std::string b; std::getline(hex, b, ',');)
        if (!b.empty()) bytes.push_back(static_cast<uint8_t>(std::stoul(b, nullptr, 16)));
    return bytes;
}

uint32_t le32(const std::vector<uint8_t> &b, size_t at)
{
    if (b.size() < at + 4) return 0xdeadbeef;
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

std::string utf16Title(const std::vector<uint8_t> &b, size_t at)
{
    std::string title;
    for (size_t i = at; i + 1 < b.size() && i < at + 96; i += 2) {
        uint16_t unit = b[i] | b[i + 1] << 8;
        if (unit == 0) break;
        title += static_cast<char>(unit);
    }
    return title;
}

class DurvoToday : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *build = std::getenv("DURVO_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "DURVO_BUILD_DIR is not set";
        binary_ = fs::path(build) / "host" / "durvo-today";
        ASSERT_TRUE(fs::exists(binary_)) << binary_;
        armCabinet_ = fs::path(build) / "package" / "Durvo.arm.CAB";
        devCabinet_ = fs::path(build) / "package-dev" / "Durvo.dev.CAB";
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("durvo-today-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // `prefix` goes before the program, like "timeout 60 " for a run that must not hang.
    RunResult run(const std::string &script, const std::string &options = "", const std::string &prefix = "")
    {
        writeFile(dir_ / "s.txt", script);
        std::string command = "cd '" + dir_.string() + "' && " + prefix + "'" + binary_.string()
            + "' --device device " + options + " s.txt >out.txt 2>err.txt";
        int raw = std::system(command.c_str());
        RunResult r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = readFile(dir_ / "out.txt");
        r.err = readFile(dir_ / "err.txt");
        return r;
    }

    std::string registry() const { return control::regFileText(readFile(dir_ / "device" / "registry.reg")); }

    // The lines that `show` printed, in order.
    static std::vector<std::string> shown(const RunResult &r)
    {
        std::vector<std::string> out;
        for (const std::string &line : lines(r.out))
            if (line.rfind("item: ", 0) == 0) out.push_back(line.substr(6));
        return out;
    }

    fs::path binary_;
    fs::path armCabinet_, devCabinet_;   // the shipped ARM cabinet; the development device's
    fs::path dir_;
};

TEST_F(DurvoToday, BadScriptsAreRejectedWholeBeforeAnythingRuns)
{
    struct Case {
        const char *script;
        const char *expectedErr;
    };
    const Case cases[] = {
        // the line number counts comments and blank lines; the good lines before it never run
        {"boot\n# a comment\n\nrun 1m\ntip 10 10\n", "s.txt:5: unknown command 'tip'\n"},
        // a duration needs a unit; a bare number is refused
        {"boot\nrun 90\n",
         "s.txt:2: bad duration '90' (like 500ms, 7s, 15m, 2h, 1h30m; more than 0, less than 49 days)\n"},
        // units must come from hours down, each once
        {"boot\nsleep 30s2m\n",
         "s.txt:2: bad duration '30s2m' (like 500ms, 7s, 15m, 2h, 1h30m; more than 0, less than 49 days)\n"},
        // 2005 is no leap year
        {"clock 2005-02-29 10:00:00\n", "s.txt:1: no such date or time: 2005-02-29 10:00:00\n"},
        // power bytes are bytes
        {"power 0 1 256\n", "s.txt:1: power bytes are decimal numbers from 0 to 255, not '256'\n"},
        // nothing to show before the Today screen runs
        {"show\nboot\n", "s.txt:1: no Today screen yet: boot first\n"},
        // a window must be open before it can be hidden; a soft reset ends every program
        {"window Notes\nboot\nsoftreset\nhide Notes\n", "s.txt:4: no open window titled \"Notes\"\n"},
        // boot knows one word: empty
        {"boot full\n", "s.txt:1: usage: boot [empty]\n"},
        // install needs its cabinet
        {"install\n", "s.txt:1: usage: install FILE.CAB\n"},
        // a setting that no boot follows would silently do nothing
        {"boot\nsetting dvLogProcess 1\n",
         "s.txt:2: setting takes effect at the next boot or softreset, and none follows\n"},
        // every bad line is reported, not just the first
        {"run 1x\npower 1 2\n",
         "s.txt:1: bad duration '1x' (like 500ms, 7s, 15m, 2h, 1h30m; more than 0, less than 49 days)\n"
         "s.txt:2: usage: power AC FLAG PERCENT | power fail\n"},
        {"boot\nboot\n", "s.txt:2: the Today screen is already running (softreset restarts it)\n"},
        // an answer needs a command that prompts right before it
        {"boot\nanswer ok\n",
         "s.txt:2: an answer line must follow the command that prompts (tap, action, settings or setup) or "
         "another answer\n"},
        {"boot\ntap\nmenu About\nrun 1s\nanswer ok\n",
         "s.txt:5: an answer line must follow the command that prompts (tap, action, settings or setup) or "
         "another answer\n"},
        {"tap\nboot\n", "s.txt:1: no Today screen yet: boot first\n"},
        {"boot\ntap 5\n", "s.txt:2: usage: tap [X Y]\n"},
        {"boot\ntap\nanswer maybe\n", "s.txt:3: usage: answer yes|no|ok [screenshot FILE.png]\n"},
        {"boot\nsettings\noptions 1001=maybe\n",
         "s.txt:3: control 1001 wants on, off, tap or a list index, not 'maybe'\n"},
        {"boot\nsettings\noptions on\n",
         "s.txt:3: options wants ID=VALUE (1001=on, 1002=off, 1005=2, 1009=tap), not 'on'\n"},
        {"boot\ntap\nmenu About screenshot menu.jpg\n", "s.txt:3: screenshot file must end in .png\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        fs::remove_all(dir_ / "device");
        RunResult r = run(c.script);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.expectedErr);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(dir_ / "device" / "registry.reg"));
    }
}

TEST_F(DurvoToday, SoftResetCarriesTheOnTimeOfTheLastSave)
{
    RunResult r = run("clock 2005-06-10 08:00:00\n"
                      "power 0 1 100\n"
                      "boot\n"
                      "run 10m\n"
                      "show\n"
                      "softreset\n"
                      "show\n"
                      "run 31s\n"
                      "show\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto s = shown(r);
    ASSERT_EQ(s.size(), 6u) << r.out;
    // 600 ticks counted, but the last save was at the 589th (every 31st tick).
    EXPECT_EQ(s[0], "100%, durvo 0:10");
    EXPECT_EQ(s[2], "Durvo 0:09");   // charge not read yet after the reset
    EXPECT_EQ(s[4], "100%, durvo 0:10");
    EXPECT_EQ(s[1].rfind("Started ", 0), 0u) << s[1];
    // After the reset the 31st tick saves again: 589 s carried + 31 s counted.
    EXPECT_EQ(le32(storeValue(registry(), "dvDurvo"), 0), 620000u);
}

// After any jump of time the item ticks on: the meter's timer fires once at the next chance and
// then every second. Each case runs 10 minutes, jumps, runs 10 minutes.
TEST_F(DurvoToday, TheItemTicksOnAfterAnyJumpOfTime)
{
    struct Case {
        const char *jump;
        const char *expectedLine1;
    };
    const Case cases[] = {
        // 597 h is past 2^31 ms. The overdue tick comes as the run starts and counts nothing
        // (a step over 7 s); 600 ticks follow.
        {"sleep 597h", "100%, durvo 0:20"},
        {"sleep 596h", "100%, durvo 0:20"},
        // one step of the run, then 600 more
        {"run 597h every 597h", "100%, durvo 0:20"},
        // the tick count goes back: the next tick is due a second later, sees the count fall
        // and counts nothing; 599 ticks follow
        {"tickcount 5", "100%, durvo 0:19"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.jump);
        fs::remove_all(dir_ / "device");
        RunResult r = run(std::string("clock 2005-06-10 08:00:00\npower 0 1 100\nboot\nrun 10m\n") + c.jump
                          + "\nrun 10m\nshow\n");
        ASSERT_EQ(r.status, 0) << r.err;
        auto s = shown(r);
        ASSERT_EQ(s.size(), 2u) << r.out;
        EXPECT_EQ(s[0], c.expectedLine1);
    }
}

TEST_F(DurvoToday, ForecastFromAFallingBattery)
{
    // Charge is read every 16th tick: 100 % from tick 1, 99 % from tick 609, 98 % from tick
    // 1201. Falls: 100->99 over 608 s and 99->98 over 592 s, a mean of 600 s per point. At
    // 1320 s the last row has lasted 120 s, so the end is 1320 + 600 * (98 - off) - 120 s.
    struct Case {
        const char *settings;
        const char *expectedLine1;
    };
    const Case cases[] = {
        // total on-time: 1200 + 58800 s = 60000 s
        {"", "98%, durvo 0:22 of 16:40"},
        // remaining: 60000 - 1320 s = 58680 s
        {"setting dvForecast 2\n", "98%, durvo 0:22, 16:18 remains"},
        // off at 10 %: 1200 + 600 * 88 s = 54000 s
        {"setting dvOffLevel 10\n", "98%, durvo 0:22 of 15:00"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        fs::remove_all(dir_ / "device");
        RunResult r = run(std::string("clock 2005-06-10 08:00:00\npower 0 1 100\n") + c.settings
                          + "boot\nrun 10m\npower 0 1 99\nrun 10m\npower 0 1 98\nrun 2m\nshow\n");
        ASSERT_EQ(r.status, 0) << r.err;
        auto s = shown(r);
        ASSERT_EQ(s.size(), 2u) << r.out;
        EXPECT_EQ(s[0], c.expectedLine1);
    }
    // The running output shows the first fall when the charge was read.
    fs::remove_all(dir_ / "device");
    RunResult r = run("clock 2005-06-10 08:00:00\npower 0 1 100\nboot\nrun 10m\npower 0 1 99\nrun 10s\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("[08:10:09] 99%, durvo 0:10 of 16:53 | Started "), std::string::npos) << r.out;
}

TEST_F(DurvoToday, OtherProgramsWindowsAreStoredInTheUsageLog)
{
    RunResult r = run("setting dvLogProcess 1\n"
                      "boot\n"
                      "window Calculator\n"
                      "run 30s\n"
                      "window \"Notes # draft\"\n"
                      "run 20s\n"
                      "close Calculator\n"
                      "run 20s\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string reg = registry();
    // Saved at tick 62, after the samples of ticks 6, 12, ..., 60.
    ASSERT_EQ(le32(storeValue(reg, "logSize"), 0), 2u) << reg;
    std::vector<uint8_t> rows = storeValue(reg, "logData");
    ASSERT_EQ(rows.size(), 2u * 112);
    struct Row {
        const char *title;
        uint32_t usageMs, launchCount, running;
    };
    const Row expected[] = {
        // seen at the samples of 6 to 48 s, gone at 54 and 60 s
        {"Calculator", 48000, 1, 0},
        // first seen at 36 s, counting the whole interval before; seen up to 60 s
        {"Notes # draft", 30000, 1, 1},
    };
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].title);
        EXPECT_EQ(utf16Title(rows, i * 112), expected[i].title);
        EXPECT_EQ(le32(rows, i * 112 + 96), expected[i].usageMs);
        EXPECT_EQ(le32(rows, i * 112 + 100), expected[i].launchCount);
        EXPECT_EQ(le32(rows, i * 112 + 104), expected[i].running);
    }
}

TEST_F(DurvoToday, InstallKeepsAnExistingDllValue)
{
    fs::create_directories(dir_ / "device");
    writeFile(dir_ / "device" / "registry.reg",
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Today\\Items\\Durvo]\n"
              "\"DLL\"=\"\\\\Windows\\\\Elsewhere.dll\"\n");
    RunResult r = run("install " + devCabinet_.string() + "\nboot\nrun 5s\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(lines(r.out).at(0).find("5 values written, 1 kept"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("cannot load \\Windows\\Elsewhere.dll"), std::string::npos) << r.err;
    std::string reg = registry();
    EXPECT_NE(reg.find("\"DLL\"=\"\\\\Windows\\\\Elsewhere.dll\""), std::string::npos) << reg;
    EXPECT_NE(reg.find("\"Type\"=dword:00000004"), std::string::npos) << reg;
}

TEST_F(DurvoToday, ItemKeysChooseWhatTheTodayScreenLoads)
{
    auto item = [](const char *name, int type, int enabled, const char *extra) {
        return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Today\\Items\\") + name + "]\n"
            + "\"Type\"=dword:0000000" + std::to_string(type) + "\n\"Enabled\"=dword:0000000"
            + std::to_string(enabled) + "\n\"DLL\"=\"\\\\Windows\\\\Durvo.DLL\"\n" + extra + "\n";
    };
    fs::create_directories(dir_ / "device");
    writeFile(dir_ / "device" / "registry.reg",
              "Windows Registry Editor Version 5.00\n\n" + item("Durvo", 4, 1, "") +   // no order: goes last
                  item("Aaa", 4, 0, "") +                                              // disabled: not loaded
                  item("Owner", 0, 1, "") +                           // a built-in item, not a library
                  item("Zed", 4, 1, "\"Order\"=dword:00000000\n"));   // ordered first
    RunResult r = run("install " + devCabinet_.string() + "\nboot\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string first = lines(r.out).at(1);   // after the installer's line
    // "Durvo" comes before "Zed" in the registry but after it on the screen.
    EXPECT_EQ(first.rfind("[08:00:00] Zed: Durvo 0:00 | Started ", 0), 0u) << first;
    EXPECT_NE(first.find(" || Durvo: Durvo 0:00 | Started "), std::string::npos) << first;
    EXPECT_EQ(first.find("Aaa"), std::string::npos) << first;
    EXPECT_EQ(r.err, "");
}

TEST_F(DurvoToday, UnreadableRegistryStopsBeforeAnythingRuns)
{
    fs::create_directories(dir_ / "device");
    const std::string broken
        = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane]\n"
          "\"dvDurvo\"=hex:e8,03,zz\n";
    writeFile(dir_ / "device" / "registry.reg", broken);
    RunResult r = run("boot\nrun 1m\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("durvo-today: device/registry.reg: line 4: ", 0), 0u) << r.err;
    // The device is left exactly as it was: nothing installed, the store not replaced.
    EXPECT_EQ(registry(), broken);
    EXPECT_FALSE(fs::exists(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"));
}

// What a hostile or unlucky device folder holds never crashes, hangs or changes the program:
// it stops before anything runs, names the file and says why, and leaves the folder as it was.
TEST_F(DurvoToday, ARegistryFileThatCannotBeHeldIsRefused)
{
    std::string deep = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 20000; ++i) deep += "\\k";
    deep += "]\n";
    struct Case {
        const char *proves;
        std::function<void(const fs::path &)> make;
        std::string expectedErr;
    };
    const Case cases[] = {
        {"keys nested 20,000 deep", [&](const fs::path &file) { writeFile(file, deep); },
         "durvo-today: device/registry.reg: line 3: key path deeper than 512 levels in "
         "\"HKEY_LOCAL_MACHINE\\k\\k\\k\\k\\k\\k\\k\\k\\k\\k\\k...\"\n"},
        {"a link to /dev/zero", [](const fs::path &file) { fs::create_symlink("/dev/zero", file); },
         "durvo-today: cannot read device/registry.reg: a device, not a regular file\n"},
        {"a FIFO that nobody writes to",
         [](const fs::path &file) { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); },
         "durvo-today: cannot read device/registry.reg: a FIFO, not a regular file\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove_all(dir_ / "device");
        fs::create_directories(dir_ / "device");
        c.make(dir_ / "device" / "registry.reg");
        RunResult r = run("boot\nrun 1m\n", "", "timeout 60 ");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.expectedErr);
        EXPECT_FALSE(fs::exists(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"));
    }
}

// Every value of the file comes back with its type and bytes; a string that is not UTF-16 stays
// hex(1):. regedit's own UTF-16 files are read.
TEST_F(DurvoToday, TheRegistryFileKeepsEveryValue)
{
    const std::string kept = "[HKEY_CURRENT_USER\\Odd]\n\"lone surrogate\"=hex(1):41,00,00,d8,00,00\n"
                             "\"pair\"=\"\xF0\x9F\x98\x80\"\n\"short dword\"=hex(4):01,02\n";
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + kept;
    std::string utf16 = "\xFF\xFE";
    for (char16_t unit : std::u16string(text.begin(), text.end())) {   // the ASCII lines
        utf16 += static_cast<char>(unit);
        utf16 += '\0';
    }
    struct Case {
        const char *proves;
        std::string file;
    };
    const Case cases[] = {
        {"UTF-8", text},
        {"UTF-16 with its mark",
         "\xFF\xFE" +
             [&] {
                 std::string bytes;
                 std::u16string wide
                     = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Odd]\r\n"
                       u"\"lone surrogate\"=hex(1):41,00,00,d8,00,00\r\n\"pair\"=\"\U0001F600\"\r\n"
                       u"\"short dword\"=hex(4):01,02\r\n";
                 for (char16_t unit : wide) {
                     bytes += static_cast<char>(unit & 0xFF);
                     bytes += static_cast<char>(unit >> 8);
                 }
                 return bytes;
             }()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove_all(dir_ / "device");
        fs::create_directories(dir_ / "device");
        writeFile(dir_ / "device" / "registry.reg", c.file);
        RunResult r = run("boot\nrun 2s\n");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(registry().find(kept), std::string::npos) << registry();
    }
}

// A save that cannot be done says which file and why, and the exit status tells.
TEST_F(DurvoToday, AFailedSaveNamesTheFileAndWhy)
{
    fs::create_directories(dir_ / "device" / "registry.reg.tmp" / "inside");   // in the way
    RunResult r = run("boot\nrun 2s\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(withoutNotes(r.err), "durvo-today: cannot write device/registry.reg.tmp: Is a directory\n");
    EXPECT_FALSE(fs::exists(dir_ / "device" / "registry.reg"));
}

// At exit the device is switched off: other programs' windows close with it, and whatever is
// left after that is a leak the program reports (nothing, here).
TEST_F(DurvoToday, NothingIsLeftAtExit)
{
    const char *scripts[] = {
        "boot\nwindow Notes\nwindow Notes\nhide Notes\nrun 2s\n",
        "setting dvLogProcess 1\nboot\nwindow Calc\nrun 10s\nsoftreset\nwindow Calc\nrun 5s\n",
        "window Early\nrun 2s\n",   // no Today screen at all
    };
    for (const char *script : scripts) {
        SCOPED_TRACE(script);
        fs::remove_all(dir_ / "device");
        RunResult r = run(script);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(withoutNotes(r.err), "");
    }
}

// Sixty days of use, sleep, charging, soft resets and other programs, from a seeded script: the
// on-time never falls within a count except by the unsaved seconds at a soft reset, every line
// reads as the item writes it, the usage log holds only titles that were shown, the registry
// left behind loads again, and nothing is left at exit.
TEST_F(DurvoToday, SixtyDaysOfUse)
{
    RunResult r = run(soak::generateScript({60, 1}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(withoutNotes(r.err), "");
    for (char c : r.out) {
        if (c != '\n' && (c < ' ' || c > '~')) {
            ADD_FAILURE() << "a byte that is not printable ASCII: " << int(static_cast<unsigned char>(c));
            break;
        }
    }

    static const std::regex changed(R"(^\[\d\d:\d\d:\d\d\] (.*)$)");
    static const std::regex counting(
        R"(^(?:\d{1,3}%, durvo|Durvo) (\d+):(\d\d)(?: of \d+:\d\d|, \d+:\d\d remains)? \| )"
        R"((Started \d{1,2}/\d{1,2}/\d{4}, \d{1,2}:\d\d [AP]M) \((?:\d+d(?: \d+h)?|(?:\d+h )?\d+m) ago\)$)");
    static const std::regex deactivated(R"(^Battery is fully charged \| Timer deactivated$)");
    std::string count;   // the "Started ..." of the count shown last
    long shownMinutes = 0;
    bool softReset = false;   // a show, which the script writes only before a soft reset
    int softResets = 0, counts = 0, garbled = 0, falls = 0;
    for (const std::string &line : lines(r.out)) {
        if (line.rfind("item: ", 0) == 0) {
            softReset = true;
            continue;
        }
        std::smatch parts;
        if (!std::regex_match(line, parts, changed)) {
            if (++garbled <= 5) ADD_FAILURE() << "not a line of the item: " << line;
            continue;
        }
        const std::string text = parts[1];
        if (std::regex_match(text, deactivated)) continue;
        if (!std::regex_match(text, parts, counting)) {
            if (++garbled <= 5) ADD_FAILURE() << "not what the item writes: " << line;
            continue;
        }
        const long minutes = std::stol(parts[1]) * 60 + std::stol(parts[2]);
        if (parts[3] != count) {
            count = parts[3];
            ++counts;
        } else if (minutes < shownMinutes && !(softReset && shownMinutes - minutes <= 1)) {
            // At most 30 unsaved seconds go at a soft reset: one minute on the display.
            if (++falls <= 5) ADD_FAILURE() << "the on-time fell from " << shownMinutes << " min: " << line;
        }
        softResets += softReset ? 1 : 0;
        softReset = false;
        shownMinutes = minutes;
    }
    // The scenario did what it is for.
    EXPECT_GE(softResets, 5);
    EXPECT_GE(counts, 2);

    const std::string reg = registry();
    const std::vector<uint8_t> rows = storeValue(reg, "logData");
    const std::set<std::string> titles(soak::windowTitles().begin(), soak::windowTitles().end());
    EXPECT_GE(rows.size(), 112u);
    for (size_t at = 0; at + 112 <= rows.size(); at += 112) {
        std::u16string title;
        for (size_t i = at; i < at + 96 && (rows[i] | rows[i + 1]) != 0; i += 2)
            title += char16_t(rows[i] | rows[i + 1] << 8);
        EXPECT_EQ(titles.count(control::toUtf8(title)), 1u) << control::toUtf8(title);
    }
    std::string error;
    EXPECT_TRUE(control::registryFromRegText(reg, &error)) << error;
}

TEST_F(DurvoToday, ScreenSizeFollowsTheDpi)
{
    struct Case {
        const char *options;
        uint32_t width, height;
    };
    const Case cases[] = {
        {"", 240, 320},            // the default 96 dpi
        {"--dpi 192", 480, 640},   // a high-resolution device
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options);
        RunResult r = run("boot\nrun 2s\nscreenshot shots/today.png\n", c.options);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string png = readFile(dir_ / "shots" / "today.png");
        ASSERT_GE(png.size(), 24u);
        auto be32 = [&](size_t at) {
            return uint32_t(uint8_t(png[at])) << 24 | uint8_t(png[at + 1]) << 16 | uint8_t(png[at + 2]) << 8
                | uint8_t(png[at + 3]);
        };
        EXPECT_EQ(be32(16), c.width);    // IHDR width
        EXPECT_EQ(be32(20), c.height);   // IHDR height
    }
}

// The installer's own path: an empty device, its cabinet installed, a soft reset.
TEST_F(DurvoToday, TheCabinetInstalledOnAnEmptyDeviceStartsAfterASoftReset)
{
    RunResult r = run("boot empty\ninstall " + devCabinet_.string() + "\nsoftreset\nrun 5s\nshow\n");
    ASSERT_EQ(r.status, 0) << r.err;
    // No item before the reset: the Today screen does not pick up a new key by itself.
    EXPECT_EQ(r.err, "s.txt:1: note: no Today item was started\n");
    std::vector<std::string> out = lines(r.out);
    ASSERT_GE(out.size(), 2u) << r.out;
    EXPECT_EQ(
        out[0],
        "[08:00:00] installed " + devCabinet_.string()
            + ": Durvo (Norvane): \\Windows\\Durvo.DLL; HKLM\\Software\\Microsoft\\Today\\Items\\Durvo; "
              "6 values written");
    EXPECT_EQ(out[1].rfind("[08:00:00] Durvo 0:00 | Started 6/10/2005, 8:00 AM", 0), 0u) << out[1];
    // One item after the reset, with its two lines.
    EXPECT_EQ(shown(r),
              (std::vector<std::string>{"100%, durvo 0:00", "Started 6/10/2005, 8:00 AM (0m ago)"}));
    EXPECT_EQ(readFile(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"),
              readFile(fs::path(std::getenv("DURVO_BUILD_DIR")) / "plugin" / "Durvo.dll"));
    EXPECT_NE(
        registry().find("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Today\\Items\\Durvo]\n"
                        "\"Flags\"=dword:00000000\n\"Enabled\"=dword:00000001\n\"Options\"=dword:00000001\n"
                        "\"Type\"=dword:00000004\n\"DLL\"=\"\\\\Windows\\\\Durvo.DLL\"\n"
                        "\"Selectability\"=dword:00000001\n"),
        std::string::npos)
        << registry();
}

// The development device runs the library built for this machine; the shipped ARM cabinet is
// for another processor, and is refused like any such.
TEST_F(DurvoToday, ACabinetForAnotherProcessorIsRefusedAndChangesNothing)
{
    RunResult r = run("boot empty\ninstall " + armCabinet_.string() + "\nrun 1s\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("s.txt:2: cannot install " + armCabinet_.string()
                   + ": the cabinet is for a StrongARM (2577) processor; this device has a x86-64 (8664) "
                     "processor\n"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"));
    EXPECT_EQ(registry().find("Today"), std::string::npos) << registry();

    // The same cabinet on an ARM device; and the development cabinet is refused there.
    r = run("boot empty\ninstall " + armCabinet_.string() + "\n", "--processor arm");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"),
              readFile(fs::path(std::getenv("DURVO_BUILD_DIR")) / "ce-arm" / "Durvo.dll"));
    fs::remove_all(dir_ / "device");
    r = run("boot empty\ninstall " + devCabinet_.string() + "\n", "--processor arm");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find(
            "the cabinet is for a x86-64 (8664) processor; this device has a StrongARM (2577) processor"),
        std::string::npos)
        << r.err;
}

TEST_F(DurvoToday, BootInstallsTheBuiltCabinetForTheDevicesProcessorOnce)
{
    RunResult r = run("boot\nrun 2s\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind(
                  "s.txt:1: note: no Durvo item on the device; installed " + devCabinet_.string() + ": ", 0),
              0u)
        << r.err;
    EXPECT_NE(r.out.find("100%, durvo 0:00"), std::string::npos) << r.out;
    // The next run finds the item and installs nothing.
    r = run("boot\nrun 2s\n");
    EXPECT_EQ(r.err, "");

    RunResult bad = run("boot\n", "--processor x86");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.rfind("durvo-today: --processor is x86-64, arm, mips or sh3\n", 0), 0u) << bad.err;
}

// ---- The user at the item: menu, boxes and the options page -------------------------------------

TEST_F(DurvoToday, ATapWritesTheReportIntoMyDocuments)
{
    RunResult r = run("clock 2005-06-10 08:00:00\n"
                      "power 0 1 90\n"
                      "boot\n"
                      "run 1m\n"
                      "tap\n"
                      "menu Create Durvo report\n"
                      "answer ok\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("\nmenu: Create Durvo report | Reset timer | Settings | About | Unregister plugin\n"
                   "box \"Successful\": Durvo report was successfuly saved to \\n\\My Documents\\DurvoLog.txt"
                   "\\nUse PocketWord to open this file.\n"),
        std::string::npos)
        << r.out;
    std::string report = readFile(dir_ / "device" / "fs" / "My Documents" / "DurvoLog.txt");
    EXPECT_EQ(report.rfind(
                  "Durvo Meter Plugin v3.4.3\r\n(c) 2005 Norvane. Freeware. support@norvane.example\r\n\r\n"
                  "Report generated: 6/10/2005, 8:01 AM \r\n"
                  "Timer started 6/10/2005, 8:00 AM, 1m ago \r\n"
                  "Current durvo: 0:01 \r\n"
                  "Battery charge level: 90% \r\n",
                  0),
              0u)
        << report;
    // The report clears the autosave's counter, and the menu saved it at once.
    EXPECT_EQ(le32(storeValue(registry(), "dvLogTimeout"), 0), 0u);
}

TEST_F(DurvoToday, SettingsChangedOnThePageOutliveASoftReset)
{
    RunResult r = run("boot\n"
                      "run 5s\n"
                      "settings\n"
                      "options 1003=on 1005=1 1008=on\n"
                      "softreset\n"
                      "run 2s\n"
                      "show\n");
    ASSERT_EQ(r.status, 0) << r.err;
    // The page as it opened: detailed view, report on demand, the forecast of the total; the
    // style box is hidden on a Pocket PC 2002 and later.
    EXPECT_NE(r.out.find("page \"Durvo settings\": 1001=off 1002=off 1003=off 1004=on 1005=0 1012=hidden "
                         "1006=off 1007=0 1008=off 1013=1 1014=0\n"),
              std::string::npos)
        << r.out;
    auto s = shown(r);
    ASSERT_EQ(s.size(), 1u) << r.out;   // the brief view: one line
    EXPECT_EQ(s[0].rfind("Durvo 0:0", 0), 0u) << s[0];
    std::string reg = registry();
    EXPECT_EQ(le32(storeValue(reg, "dvBriefInfo"), 0), 1u);
    EXPECT_EQ(le32(storeValue(reg, "dvAutoLog"), 0), 5u);
    EXPECT_EQ(le32(storeValue(reg, "dvLogProcess"), 0), 1u);
}

TEST_F(DurvoToday, UnregisterTakesTheItemOffTheScreenAndItsKeyOutOfTheRegistry)
{
    RunResult r = run("boot\n"
                      "run 5s\n"
                      "tap 100 8\n"
                      "menu Unregister plugin\n"
                      "answer yes\n"
                      "answer ok\n"
                      "run 3s\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("box \"Unregister plugin\": Do you really want to unregister Durvo plugin ? \\n\\r"
                   "Tap \"YES\" only if you prepare to uninstal this software.\\n\\r"
                   "Please note: uour device may perform soft reset after unregistering.\n"
                   "box \"Unregistered\": Durvo plugin was successfuly unregistered. Now you may uninstal "
                   "Norvane Durvo.\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("(no item on the Today screen)"), std::string::npos) << r.out;
    // Key names keep the letter case of whoever created them first (the installer writes
    // "Software"), so the sections are looked for without regard to case.
    std::string reg = registry();
    std::string lower = reg;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    EXPECT_EQ(lower.find("[hkey_local_machine\\software\\microsoft\\today\\items\\durvo]"), std::string::npos)
        << reg;
    EXPECT_NE(lower.find("[hkey_local_machine\\software\\microsoft\\today\\items]"), std::string::npos)
        << reg;
    // The meter's own store stays.
    EXPECT_NE(lower.find("[hkey_local_machine\\software\\norvane]"), std::string::npos) << reg;
}

TEST_F(DurvoToday, TheActionKeyAndThePagesAboutButton)
{
    RunResult r = run("boot\n"
                      "run 2m\n"
                      "action\n"
                      "menu Reset timer\n"
                      "answer no\n"
                      "settings\n"
                      "options 1009=tap\n"
                      "answer ok\n"
                      "show\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("box \"Reset confirmation\": Do you really want to reset timers ?\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find(
            "box \"About\": Durvo Meter v3.4.3\\n(c) 2005 Norvane. Freeware.\\nsupport@norvane.example\n"),
        std::string::npos)
        << r.out;
    auto s = shown(r);
    ASSERT_FALSE(s.empty()) << r.out;
    EXPECT_NE(s[0].find("durvo 0:02"), std::string::npos) << s[0];   // No kept the count
}

TEST_F(DurvoToday, PicturesOfTheOpenMenuAndPage)
{
    RunResult r = run("boot\n"
                      "tap\n"
                      "menu dismiss screenshot shots/menu.png\n"
                      "settings\n"
                      "options 1001=on screenshot shots/options.png\n");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char *file : {"menu.png", "options.png"}) {
        std::string png = readFile(dir_ / "shots" / file);
        ASSERT_GE(png.size(), 24u) << file;
        EXPECT_EQ(png.substr(1, 3), "PNG") << file;
    }
}

TEST_F(DurvoToday, APromptTheScriptDoesNotAnswerEndsTheRun)
{
    const std::string menu = "Create Durvo report | Reset timer | Settings | About | Unregister plugin";
    struct Case {
        const char *script;
        std::string expectedErr;
    };
    const Case cases[] = {
        {"boot\ntap\n", "s.txt:2: the popup menu was not answered: no answer line for it follows line 2\n"},
        {"boot\ntap\nmenu About\n",
         "s.txt:2: the message box \"About\" was not answered: no answer line for it follows line 2\n"},
        {"boot\ntap\nanswer ok\n", "s.txt:3: this line answers a message box, but the popup menu came\n"},
        {"boot\ntap\nmenu Quit\n", "s.txt:3: the popup menu has no item \"Quit\" (it has: " + menu + ")\n"},
        {"boot\ntap\nmenu dismiss\nanswer ok\n", "s.txt:4: this line answers a message box, but none came\n"},
        {"boot\ntap\nmenu About\nanswer yes\n", "s.txt:4: the message box \"About\" has no yes button\n"},
        {"boot\nsettings\n",
         "s.txt:2: the page \"Durvo settings\" was not answered: no answer line for it follows line 2\n"},
        {"boot\nsettings\noptions 1011=on\n", "s.txt:3: the page has no control 1011\n"},
        {"boot\nsettings\noptions 1005=9\n", "s.txt:3: control 1005 has 5 entries, not 10\n"},
        {"boot\nsettings\noptions 1012=on\n",
         "s.txt:3: control 1012 cannot be used: it is hidden, disabled or no button\n"},
        {"boot\nsettings\noptions 1003=off\n",
         "s.txt:3: control 1003 is a radio button: switch on another one of its group instead\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        fs::remove_all(dir_ / "device");
        RunResult r = run(c.script);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(withoutNotes(r.err), c.expectedErr);
        // The device is saved all the same.
        EXPECT_TRUE(fs::exists(dir_ / "device" / "registry.reg"));
    }
}

}   // namespace

// ---- The emulated desktop: the setup, the application manager, the device ------------------------

const char *const kSyncDir = "C:\\Program Files\\Sync Tools";
const char *const kPackageFolder = "C:\\Program Files\\Sync Tools\\Durvo plugin\\";

TEST_F(DurvoToday, SetupOnTheDesktopInstallsThePackageThatTheTodayScreenShowsAfterASoftReset)
{
    RunResult r = run(std::string("boot empty\n"
                                  "desktop-sync ")
                      + kSyncDir
                      + "\n"
                        "setup\n"
                        "licence install\n"
                        "answer ok\n"
                        "softreset\n"
                        "run 2m\n"
                        "show\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string folder = kPackageFolder;
    std::vector<std::string> expected = {
        std::string("desktop: the synchronisation software is in ") + kSyncDir,
        "dialog \"Durvo Meter plugin Setup\"",
        "exec: \"" + std::string(kSyncDir) + "\\CEAppMgr.exe\" \"" + folder + "Durvo.ini\"",
        "[08:00:00] installed " + folder
            + "Durvo.dev.CAB: Durvo (Norvane): \\Windows\\Durvo.DLL; "
              "HKLM\\Software\\Microsoft\\Today\\Items\\Durvo; 6 values written",
        "exec: notepad.exe \"" + folder + "ReadMe.txt\"",
        "notepad: " + folder + "ReadMe.txt ("
            + std::to_string(
                fs::file_size(fs::path(std::getenv("DURVO_BUILD_DIR")) / "package-dev" / "ReadMe.txt"))
            + " bytes)",
        "box \"Setup successful!\": Please follow ActiveSync software setup procedure.\\r\\n"
        "Also note that you will need to restart your device on\\r\\nActiveSync setup completion",
        "setup: DurvoSetup ended with exit code 0",
    };
    std::vector<std::string> out = lines(r.out);
    ASSERT_GE(out.size(), expected.size()) << r.out;
    EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + expected.size()), expected);
    // After the soft reset the item is there and counts.
    EXPECT_EQ(shown(r),
              (std::vector<std::string>{"100%, durvo 0:02", "Started 6/10/2005, 8:00 AM (2m ago)"}));

    // The development package's files on the desktop's drive C:, byte for byte.
    fs::path package = fs::path(std::getenv("DURVO_BUILD_DIR")) / "package-dev";
    fs::path onDesktop = dir_ / "device" / "desktop" / "c" / "Program Files" / "Sync Tools" / "Durvo plugin";
    for (const char *name : {"Durvo.ini", "License.txt", "ReadMe.txt", "Durvo.arm.CAB", "Durvo.dev.CAB"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(onDesktop / name));
        EXPECT_TRUE(readFile(onDesktop / name) == readFile(package / name));
    }
    // The desktop keeps its own registry; the device's has the item and nothing of the desktop.
    std::string desktopRegistry
        = control::regFileText(readFile(dir_ / "device" / "desktop" / "registry.reg"));
    EXPECT_NE(desktopRegistry.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows CE Services]\n"
                                   "\"InstalledDir\"=\"C:\\\\Program Files\\\\Sync Tools\"\n"),
              std::string::npos)
        << desktopRegistry;
    EXPECT_EQ(registry().find("Windows CE Services"), std::string::npos) << registry();
    EXPECT_EQ(readFile(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"),
              readFile(fs::path(std::getenv("DURVO_BUILD_DIR")) / "plugin" / "Durvo.dll"));
}

TEST_F(DurvoToday, TheApplicationManagerPicksTheCabinetForTheDevicesProcessor)
{
    struct Case {
        const char *option;
        const char *cabinet;   // as the description file spells it
    };
    // The package has no cabinet for MIPS or SH3: no library is built for them.
    const Case cases[]
        = {{"", "Durvo.dev.CAB"}, {"--processor arm", "Durvo.ARM.cab"}, {"--processor mips", nullptr}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.option);
        fs::remove_all(dir_ / "device");
        RunResult r
            = run(std::string("desktop-sync C:\\Sync\nsetup\nlicence install\nanswer ok\n"), c.option);
        ASSERT_EQ(r.status, 0) << r.err;
        if (!c.cabinet) {
            EXPECT_NE(r.out.find("CEAppMgr: no cabinet of C:\\Sync\\Durvo plugin\\Durvo.ini is for this "
                                 "device's processor"),
                      std::string::npos)
                << r.out;
            EXPECT_FALSE(fs::exists(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"));
            continue;
        }
        EXPECT_NE(
            r.out.find(std::string("] installed C:\\Sync\\Durvo plugin\\") + c.cabinet + ": Durvo (Norvane)"),
            std::string::npos)
            << r.out;
        EXPECT_TRUE(fs::exists(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"));
    }
}

TEST_F(DurvoToday, SetupCancelledOrWithoutTheSynchronisationSoftwareWritesNothing)
{
    struct Case {
        const char *proves;
        std::string script;
        std::string box;
    };
    const Case cases[] = {
        {"Cancel, No, Cancel, Yes",
         std::string("desktop-sync ") + kSyncDir
             + "\nsetup\nlicence cancel\nanswer no\nlicence cancel\nanswer yes\nanswer ok\n",
         "box \"Setup not complete\": Setup cancelled by user"},
        {"no synchronisation software", "setup\nlicence install\nanswer ok\n",
         "box \"Setup not complete\": Unable to locate ActiveSync installation.\\r\\nPlease install "
         "ActiveSync and run "
         "this setup again."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove_all(dir_ / "device");
        RunResult r = run(c.script);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.box + "\nsetup: DurvoSetup ended with exit code 0\n"), std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("exec: "), std::string::npos) << r.out;
        EXPECT_FALSE(
            fs::exists(dir_ / "device" / "desktop" / "c" / "Program Files" / "Sync Tools" / "Durvo plugin"));
        EXPECT_FALSE(fs::exists(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"));
    }
}

TEST_F(DurvoToday, ProgramsMissingFromTheDesktopDoNotStart)
{
    // The synchronisation software's folder without its application manager.
    RunResult r = run("desktop-sync C:\\Sync\n");
    ASSERT_EQ(r.status, 0) << r.err;
    fs::remove(dir_ / "device" / "desktop" / "c" / "Sync" / "CEAppMgr.exe");
    fs::remove(dir_ / "device" / "desktop" / "c" / "Windows" / "notepad.exe");
    r = run("setup\nlicence install\nanswer ok\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(
                  "exec: \"C:\\Sync\\CEAppMgr.exe\" \"C:\\Sync\\Durvo plugin\\Durvo.ini\" (no such program)\n"
                  "exec: notepad.exe \"C:\\Sync\\Durvo plugin\\ReadMe.txt\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("box \"Setup successful!\""), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir_ / "device" / "fs" / "Windows" / "Durvo.DLL"));
}

// A desktop registry that cannot be saved is an error with its reason, and the device goes on
// with its own registry (once the step "succeeded" and the device's file was left as it was).
TEST_F(DurvoToday, ADesktopRegistryThatCannotBeSavedIsAnError)
{
    fs::create_directories(dir_ / "device" / "desktop" / "registry.reg.tmp" / "in the way");
    RunResult r = run("setting dvDurvo 7\nboot empty\ndesktop-sync C:\\Sync\n");
    EXPECT_EQ(r.status, 1);
    const std::string tmp = (dir_ / "device" / "desktop" / "registry.reg.tmp").string();
    EXPECT_EQ(withoutNotes(r.err),
              "s.txt:3: cannot save the desktop's registry: cannot write device/desktop/registry.reg.tmp: "
              "Is a directory\n")
        << tmp;
    EXPECT_EQ(r.out.find("desktop: the synchronisation software is in"), std::string::npos) << r.out;
    // The device's own registry is back in place and saved; nothing of the desktop's is in it.
    EXPECT_NE(registry().find("\"dvDurvo\""), std::string::npos) << registry();
    EXPECT_EQ(registry().find("Windows CE Services"), std::string::npos) << registry();
}

TEST_F(DurvoToday, DesktopScriptMistakes)
{
    struct Case {
        const char *script;
        int status;
        const char *expectedErr;
    };
    const Case cases[] = {
        {"licence install\n", 2,
         "s.txt:1: an answer line must follow the command that prompts (tap, action, settings or setup) or "
         "another "
         "answer\n"},
        {"desktop-sync D:\\Sync\n", 2,
         "s.txt:1: usage: desktop-sync PATH (a folder on drive C:, such as C:\\Program Files\\Sync)\n"},
        {"desktop-sync\n", 2,
         "s.txt:1: usage: desktop-sync PATH (a folder on drive C:, such as C:\\Program Files\\Sync)\n"},
        {"setup\nlicence maybe\n", 2, "s.txt:2: usage: licence install|cancel [screenshot FILE.png]\n"},
        {"setup now\n", 2, "s.txt:1: usage: setup\n"},
        {"setup\n", 1,
         "s.txt:1: the dialog \"Durvo Meter plugin Setup\" was not answered: no answer line for it follows "
         "line 1\n"},
        {"setup\nlicence install\n", 1,
         "s.txt:1: the message box \"Setup not complete\" was not answered: no answer line for it follows "
         "line 1\n"},
        {"setup\nanswer ok\n", 1,
         "s.txt:2: this line answers a message box, but the dialog \"Durvo Meter plugin Setup\" came\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        fs::remove_all(dir_ / "device");
        RunResult r = run(c.script);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.expectedErr);
    }
}
