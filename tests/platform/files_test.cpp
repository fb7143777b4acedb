// File calls as a Win32 program sees them on the device: creation dispositions, sharing, error
// codes, counts of bytes (sentinels around every output), handles, folders, the 8-bit calls and
// injected faults.
#include <control.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        root_ = fs::path(::testing::TempDir()) / ("files_test_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "My Documents");
        control::setDeviceRoot(root_);
    }
    void TearDown() override
    {
        control::resetDevice();
        control::setDeviceRoot({});
        fs::remove_all(root_);
    }

    fs::path host(const std::string &relative) const { return root_ / relative; }
    void put(const std::string &relative, const std::string &content) const
    {
        std::ofstream(host(relative), std::ios::binary) << content;
    }
    std::string content(const std::string &relative) const
    {
        std::ifstream in(host(relative), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static HANDLE open(const WCHAR *path, DWORD access, DWORD share, DWORD disposition)
    {
        return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static bool write(HANDLE file, const std::string &bytes)
    {
        DWORD written = kSentinel;
        BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        EXPECT_EQ(written, ok ? bytes.size() : 0u);
        return ok != 0;
    }

    fs::path root_;
};

TEST_F(Files, EachDispositionOverAnExistingAndAMissingFile)
{
    struct Case {
        const char *proves;
        DWORD disposition;
        bool exists;
        bool opens;
        DWORD error;            // GetLastError after the call
        const char *contentAfter;   // nullptr: the file does not exist afterwards
    };
    const Case cases[] = {
        {"CREATE_NEW makes a new file", CREATE_NEW, false, true, ERROR_SUCCESS, ""},
        {"CREATE_NEW refuses an existing one", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {"CREATE_ALWAYS makes a new file", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"CREATE_ALWAYS empties an existing one and says so", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {"OPEN_EXISTING opens without changing", OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        {"OPEN_EXISTING of a missing file", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"OPEN_ALWAYS makes a new file", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"OPEN_ALWAYS keeps an existing one and says so", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        {"TRUNCATE_EXISTING empties", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
        {"TRUNCATE_EXISTING of a missing file", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove(host("My Documents/f.txt"));
        if (c.exists) put("My Documents/f.txt", "old");
        SetLastError(kSentinel);
        HANDLE file = open(u"\\My Documents\\f.txt", kReadWrite, 0, c.disposition);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(CloseHandle(file), TRUE);
        }
        EXPECT_EQ(fs::exists(host("My Documents/f.txt")), c.contentAfter != nullptr);
        if (c.contentAfter) {
            EXPECT_EQ(content("My Documents/f.txt"), c.contentAfter);
        }
        EXPECT_EQ(control::openFileHandles(), 0);
    }
}

TEST_F(Files, BadPathsAndArgumentsAnswerWithWindowsErrorCodes)
{
    fs::create_directories(host("My Documents/Folder"));
    struct Case {
        const char *proves;
        const WCHAR *path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    };
    const Case cases[] = {
        {"a missing folder on the way", u"\\Missing\\f.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"a missing folder when only opening", u"\\Missing\\f.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"a file used as a folder", u"\\My Documents\\f.txt\\g.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"a folder is no file", u"\\My Documents\\Folder", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"the root is no file", u"\\", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"disposition 0", u"\\My Documents\\f.txt", GENERIC_WRITE, 0, ERROR_INVALID_PARAMETER},
        {"disposition 6", u"\\My Documents\\f.txt", GENERIC_WRITE, 6, ERROR_INVALID_PARAMETER},
        {"TRUNCATE_EXISTING without write access", u"\\My Documents\\f.txt", GENERIC_READ, TRUNCATE_EXISTING,
         ERROR_INVALID_PARAMETER},
        {"no path", nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
    };
    put("My Documents/f.txt", "x");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        SetLastError(kSentinel);
        EXPECT_EQ(open(c.path, c.access, 0, c.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(content("My Documents/f.txt"), "x");
    EXPECT_FALSE(fs::exists(host("Missing")));
    EXPECT_EQ(control::openFileHandles(), 0);

    // Without a device root there is no file system at all.
    control::setDeviceRoot({});
    EXPECT_EQ(open(u"\\My Documents\\f.txt", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(Files, NamesIgnoreLetterCaseAndNewNamesKeepTheirSpelling)
{
    put("My Documents/Report.txt", "old");
    HANDLE file = open(u"\\MY DOCUMENTS\\report.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(write(file, "new"));
    CloseHandle(file);
    EXPECT_EQ(content("My Documents/Report.txt"), "new");
    EXPECT_FALSE(fs::exists(host("My Documents/report.TXT")));

    file = open(u"\\my documents\\Fresh Name.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(host("My Documents/Fresh Name.txt")));
    // A name outside ASCII is matched through its UTF-8 form on the host.
    file = open(u"\\My Documents\\\u00c9T\u00c9.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    file = open(u"\\My Documents\\\u00e9t\u00e9.TXT", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(host("My Documents/\xc3\x89T\xc3\x89.txt")));
}

TEST_F(Files, ASecondOpenMustAgreeWithTheFirstsShareMode)
{
    struct Open {
        DWORD access;
        DWORD share;
    };
    struct Case {
        const char *proves;
        Open first;
        Open second;
        bool secondOpens;
    };
    const Case cases[] = {
        {"two readers that share reading", {GENERIC_READ, FILE_SHARE_READ}, {GENERIC_READ, FILE_SHARE_READ}, true},
        {"a writer where the reader shares only reading", {GENERIC_READ, FILE_SHARE_READ},
         {GENERIC_WRITE, kShareAll}, false},
        {"a reader that will not share the open writer's writing", {GENERIC_WRITE, kShareAll},
         {GENERIC_READ, FILE_SHARE_READ}, false},
        {"both read and write, both share both", {kReadWrite, kShareAll}, {kReadWrite, kShareAll}, true},
        {"each allows exactly what the other does", {GENERIC_READ, FILE_SHARE_WRITE},
         {GENERIC_WRITE, FILE_SHARE_READ}, true},
        {"an exclusive open keeps readers out", {GENERIC_WRITE, 0}, {GENERIC_READ, kShareAll}, false},
        {"asking for no data access never conflicts", {GENERIC_WRITE, 0}, {0, 0}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        put("My Documents/shared.txt", "keep");
        HANDLE first = open(u"\\My Documents\\shared.txt", c.first.access, c.first.share, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        SetLastError(kSentinel);
        HANDLE second = open(u"\\my documents\\SHARED.txt", c.second.access, c.second.share, OPEN_EXISTING);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens);
        if (second != INVALID_HANDLE_VALUE) {
            CloseHandle(second);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        CloseHandle(first);
        // Once the first is closed, nothing stands in the way.
        second = open(u"\\My Documents\\shared.txt", c.second.access, c.second.share, OPEN_EXISTING);
        EXPECT_NE(second, INVALID_HANDLE_VALUE);
        CloseHandle(second);
        EXPECT_EQ(control::openFileHandles(), 0);
    }
}

TEST_F(Files, ARefusedOpenOrDeleteChangesNothing)
{
    put("My Documents/DurvoLog.txt", "open in Pocket Word");
    // The way a text editor holds a document: reading, and sharing reading only.
    HANDLE editor = open(u"\\My Documents\\DurvoLog.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(editor, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(u"\\My Documents\\DurvoLog.txt", kReadWrite, kShareAll, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(DeleteFileW(u"\\My Documents\\DurvoLog.txt"), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(content("My Documents/DurvoLog.txt"), "open in Pocket Word");
    CloseHandle(editor);
    EXPECT_EQ(DeleteFileW(u"\\My Documents\\DurvoLog.txt"), TRUE);
    EXPECT_FALSE(fs::exists(host("My Documents/DurvoLog.txt")));
}

TEST_F(Files, WriteAndReadCountTheirBytesAndTouchNothingElse)
{
    HANDLE file = open(u"\\My Documents\\data.bin", kReadWrite, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write(file, std::string("ab\0cd", 5)));
    EXPECT_TRUE(write(file, ""));
    CloseHandle(file);
    EXPECT_EQ(content("My Documents/data.bin"), std::string("ab\0cd", 5));

    // Reading stops at the end of the file and leaves the rest of the buffer alone.
    file = open(u"\\My Documents\\data.bin", GENERIC_READ, 0, OPEN_EXISTING);
    char buffer[9];
    std::memset(buffer, 0xBD, sizeof buffer);
    DWORD got = kSentinel;
    EXPECT_EQ(ReadFile(file, buffer, 8, &got, nullptr), TRUE);
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(std::string(buffer, 5), std::string("ab\0cd", 5));
    for (int i = 5; i < 9; ++i) EXPECT_EQ(static_cast<unsigned char>(buffer[i]), 0xBDu) << i;
    got = kSentinel;
    EXPECT_EQ(ReadFile(file, buffer, 8, &got, nullptr), TRUE);   // at the end: success, nothing read
    EXPECT_EQ(got, 0u);

    // A handle opened for reading cannot write, and the count is cleared all the same.
    DWORD written = kSentinel;
    EXPECT_EQ(WriteFile(file, "x", 1, &written, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    CloseHandle(file);

    file = open(u"\\My Documents\\data.bin", GENERIC_WRITE, 0, OPEN_EXISTING);
    got = kSentinel;
    EXPECT_EQ(ReadFile(file, buffer, 1, &got, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(got, 0u);
    CloseHandle(file);
}

TEST_F(Files, HandlesAreCountedAndDeadOnceClosed)
{
    HANDLE a = open(u"\\My Documents\\a.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    HANDLE b = open(u"\\My Documents\\b.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_NE(a, b);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(control::openFileHandles(), 2);
    EXPECT_EQ(CloseHandle(a), TRUE);
    EXPECT_EQ(control::openFileHandles(), 1);

    struct Case {
        const char *proves;
        HANDLE handle;
    };
    // The next open may reuse a's slot; a stays dead all the same.
    HANDLE c = open(u"\\My Documents\\c.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(c, INVALID_HANDLE_VALUE);
    EXPECT_NE(c, a);
    const Case cases[] = {
        {"a closed handle", a},
        {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
        {"null", nullptr},
        {"a handle never issued", reinterpret_cast<HANDLE>(0x1234)},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.proves);
        DWORD written = kSentinel;
        EXPECT_EQ(WriteFile(k.handle, "x", 1, &written, nullptr), FALSE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(CloseHandle(k.handle), FALSE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_EQ(control::openFileHandles(), 2);
    // A power cycle closes every file.
    control::resetDevice();
    EXPECT_EQ(control::openFileHandles(), 0);
    EXPECT_EQ(CloseHandle(b), FALSE);
}

TEST_F(Files, FoldersAndDeletion)
{
    struct Case {
        const char *proves;
        bool (*call)();
        BOOL result;
        DWORD error;
    };
    const Case cases[] = {
        {"a new folder", [] { return CreateDirectoryW(u"\\Temp", nullptr) != 0; }, TRUE, ERROR_SUCCESS},
        {"the same folder again", [] { return CreateDirectoryW(u"\\TEMP", nullptr) != 0; }, FALSE, ERROR_ALREADY_EXISTS},
        {"below a missing folder", [] { return CreateDirectoryW(u"\\No\\Deeper", nullptr) != 0; }, FALSE,
         ERROR_PATH_NOT_FOUND},
        {"over an existing file", [] { return CreateDirectoryW(u"\\My Documents\\f.txt", nullptr) != 0; }, FALSE,
         ERROR_ALREADY_EXISTS},
        {"delete a file", [] { return DeleteFileW(u"\\my documents\\F.TXT") != 0; }, TRUE, ERROR_SUCCESS},
        {"delete it again", [] { return DeleteFileW(u"\\My Documents\\f.txt") != 0; }, FALSE, ERROR_FILE_NOT_FOUND},
        {"delete below a missing folder", [] { return DeleteFileW(u"\\No\\f.txt") != 0; }, FALSE,
         ERROR_PATH_NOT_FOUND},
        {"delete a folder", [] { return DeleteFileW(u"\\Temp") != 0; }, FALSE, ERROR_ACCESS_DENIED},
    };
    put("My Documents/f.txt", "x");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        SetLastError(kSentinel);
        EXPECT_EQ(c.call(), c.result != 0);
        if (!c.result) {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    EXPECT_TRUE(fs::is_directory(host("Temp")));
    EXPECT_FALSE(fs::exists(host("My Documents/f.txt")));
}

TEST_F(Files, EightBitCallsUseTheDesktopCodePage)
{
    // 0xE9 is e with an acute accent in Windows-1252.
    EXPECT_EQ(CreateDirectoryA("\\Caf\xe9", nullptr), TRUE);
    HANDLE file = CreateFileA("\\CAF\xc9\\Men\xfa.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write(file, "soup"));
    CloseHandle(file);
    EXPECT_EQ(content("Caf\xc3\xa9/Men\xc3\xba.txt"), "soup");
    // The wide call finds what the 8-bit one made, and the other way round.
    file = open(u"\\Caf\u00e9\\Men\u00fa.txt", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(CreateFileA("\\Caf\xe9\\Men\xfa.txt", GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(DeleteFileA("\\caf\xe9\\MEN\xfa.TXT"), TRUE);
    EXPECT_EQ(DeleteFileA("\\caf\xe9\\MEN\xfa.TXT"), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateDirectoryA("\\caf\xe9", nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

TEST_F(Files, InjectedFaults)
{
    struct Case {
        const char *proves;
        control::FileFaults faults;
        bool opens;
        BOOL firstWrite;
        BOOL secondWrite;
        DWORD secondWritten;
        const char *contentAfter;
    };
    using Write = control::FileFaults::Write;
    const Case cases[] = {
        {"no faults", {}, true, TRUE, TRUE, 4, "abcdwxyz"},
        {"the file cannot be created", {true, Write::Works, 0}, false, FALSE, FALSE, 0, nullptr},
        {"every write fails", {false, Write::Fails, 0}, true, FALSE, FALSE, 0, ""},
        {"the second write fails", {false, Write::Fails, 1}, true, TRUE, FALSE, 0, "abcd"},
        {"the second write is short", {false, Write::Short, 1}, true, TRUE, TRUE, 2, "abcdwx"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove(host("My Documents/f.txt"));
        control::setFileFaults(c.faults);
        HANDLE file = open(u"\\My Documents\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
        if (file == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
        DWORD written = kSentinel;
        EXPECT_EQ(WriteFile(file, "abcd", 4, &written, nullptr), c.firstWrite);
        written = kSentinel;
        EXPECT_EQ(WriteFile(file, "wxyz", 4, &written, nullptr), c.secondWrite);
        EXPECT_EQ(written, c.secondWritten);
        if (c.opens && !c.secondWrite) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        }
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        EXPECT_EQ(fs::exists(host("My Documents/f.txt")), c.contentAfter != nullptr);
        if (c.contentAfter) {
            EXPECT_EQ(content("My Documents/f.txt"), c.contentAfter);
        }
        control::setFileFaults({});
    }
    // A power cycle clears the faults.
    control::setFileFaults({true, Write::Fails, 0});
    control::resetDevice();
    control::setDeviceRoot(root_);
    HANDLE file = open(u"\\My Documents\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write(file, "ok"));
    CloseHandle(file);
}

}  // namespace
