// File calls as a Win32 program sees them on the device: creation dispositions, sharing, error
// codes, counts of bytes (sentinels around every output), handles, folders, the 8-bit calls and
// injected faults.
#include "conformance.h"

#include <gtest/gtest.h>

#if OUR_LAYER_ONLY
#include <sys/stat.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The device's file system is a folder of the host. Our layer maps "\\My Documents\\x" into
// it; on Windows the tests put the folder in front of the path themselves.
fs::path deviceRoot;

WString dev(const WCHAR *path)
{
#if OUR_LAYER_ONLY
    return path;
#else
    return deviceRoot.wstring() + path;
#endif
}

std::string dev8(const char *path)
{
#if OUR_LAYER_ONLY
    return path;
#else
    return deviceRoot.string() + path;
#endif
}

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        conformance::freshStart();
        root_ = fs::temp_directory_path() / ("files_test_" + std::to_string(conformance::processId()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "My Documents");
        deviceRoot = root_;
#if OUR_LAYER_ONLY
        control::setDeviceRoot(root_);
#endif
    }
    void TearDown() override
    {
        conformance::freshStart();
#if OUR_LAYER_ONLY
        control::setDeviceRoot({});
#endif
        fs::remove_all(root_);
    }

    // A host path from a UTF-8 path below the root.
    fs::path host(const std::string &relative) const
    {
        return root_ / fs::path(std::u8string(relative.begin(), relative.end()));
    }
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
        return CreateFileW(path ? dev(path).c_str() : nullptr, access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
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
        DWORD error;                // GetLastError after the call
        const char *contentAfter;   // nullptr: the file does not exist afterwards
    };
    const Case cases[] = {
        {"CREATE_NEW makes a new file", CREATE_NEW, false, true, ERROR_SUCCESS, ""},
        {"CREATE_NEW refuses an existing one", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {"CREATE_ALWAYS makes a new file", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"CREATE_ALWAYS empties an existing one and says so", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS,
         ""},
        {"OPEN_EXISTING opens without changing", OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        {"OPEN_EXISTING of a missing file", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"OPEN_ALWAYS makes a new file", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"OPEN_ALWAYS keeps an existing one and says so", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS,
         "old"},
        {"TRUNCATE_EXISTING empties", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
        {"TRUNCATE_EXISTING of a missing file", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
         nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove(host("My Documents/f.txt"));
        if (c.exists) put("My Documents/f.txt", "old");
        SetLastError(kSentinel);
        HANDLE file = open(TEXT("\\My Documents\\f.txt"), kReadWrite, 0, c.disposition);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(CloseHandle(file), TRUE);
        }
        EXPECT_EQ(fs::exists(host("My Documents/f.txt")), c.contentAfter != nullptr);
        if (c.contentAfter) {
            EXPECT_EQ(content("My Documents/f.txt"), c.contentAfter);
        }
#if OUR_LAYER_ONLY
        EXPECT_EQ(control::openFileHandles(), 0);
#endif
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
        {"a missing folder on the way", TEXT("\\Missing\\f.txt"), GENERIC_WRITE, CREATE_ALWAYS,
         ERROR_PATH_NOT_FOUND},
        {"a missing folder when only opening", TEXT("\\Missing\\f.txt"), GENERIC_READ, OPEN_EXISTING,
         ERROR_PATH_NOT_FOUND},
        {"a file used as a folder", TEXT("\\My Documents\\f.txt\\g.txt"), GENERIC_WRITE, CREATE_ALWAYS,
         ERROR_PATH_NOT_FOUND},
        {"a folder is no file", TEXT("\\My Documents\\Folder"), GENERIC_READ, OPEN_EXISTING,
         ERROR_ACCESS_DENIED},
        {"disposition 0", TEXT("\\My Documents\\f.txt"), GENERIC_WRITE, 0, ERROR_INVALID_PARAMETER},
        {"disposition 6", TEXT("\\My Documents\\f.txt"), GENERIC_WRITE, 6, ERROR_INVALID_PARAMETER},
        // Characters no name may hold, before the path is looked at (the folder is missing).
        {"a quote", TEXT("\\My Documents\\q\"q"), GENERIC_WRITE, CREATE_ALWAYS, ERROR_INVALID_NAME},
        {"wildcards", TEXT("\\My Documents\\a*b?"), GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
        {"redirections", TEXT("\\My Documents\\a<b>c|d"), GENERIC_WRITE, CREATE_NEW, ERROR_INVALID_NAME},
        {"a line feed", TEXT("\\My Documents\\a\nb"), GENERIC_WRITE, CREATE_ALWAYS, ERROR_INVALID_NAME},
        {"a control character", TEXT("\\My Documents\\a\x1f"), GENERIC_WRITE, CREATE_ALWAYS,
         ERROR_INVALID_NAME},
        {"a wildcard in a folder's name", TEXT("\\Miss*ing\\f.txt"), GENERIC_WRITE, CREATE_ALWAYS,
         ERROR_INVALID_NAME},
#if OUR_LAYER_ONLY
        // A host's FIFO or device node is a device name that no device answers, whatever the
        // disposition: never opened, so nothing waits (Wine opens them as files).
        {"a FIFO", TEXT("\\My Documents\\fifo"), GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"a FIFO to be replaced", TEXT("\\My Documents\\fifo"), GENERIC_WRITE, CREATE_ALWAYS,
         ERROR_FILE_NOT_FOUND},
        {"a link to a device", TEXT("\\My Documents\\zero"), GENERIC_READ, OPEN_ALWAYS, ERROR_FILE_NOT_FOUND},
        // The device's root; on Windows the tests' folder is no root.
        {"the root is no file", TEXT("\\"), GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        // Windows leaves a null path undefined.
        {"no path", nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
#endif
    };
    put("My Documents/f.txt", "x");
#if OUR_LAYER_ONLY
    ASSERT_EQ(mkfifo(host("My Documents/fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", host("My Documents/zero"));
#endif
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        SetLastError(kSentinel);
        EXPECT_EQ(open(c.path, c.access, 0, c.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(content("My Documents/f.txt"), "x");
    EXPECT_FALSE(fs::exists(host("Missing")));
#if OUR_LAYER_ONLY
    EXPECT_EQ(control::openFileHandles(), 0);

    // Without a device root there is no file system at all.
    control::setDeviceRoot({});
    EXPECT_EQ(open(TEXT("\\My Documents\\f.txt"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
#endif
}

// "The calling process must open the file with the GENERIC_WRITE bit set": without it the call
// fails and the file keeps its bytes.
TEST_F(Files, TruncateExistingWantsWriteAccess)
{
    put("My Documents/f.txt", "x");
    SetLastError(kSentinel);
    HANDLE file = open(TEXT("\\My Documents\\f.txt"), GENERIC_READ, 0, TRUNCATE_EXISTING);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    EXPECT_EQ(content("My Documents/f.txt"), "x");
}

TEST_F(Files, NamesIgnoreLetterCaseAndNewNamesKeepTheirSpelling)
{
    put("My Documents/Report.txt", "old");
    HANDLE file = open(TEXT("\\MY DOCUMENTS\\report.TXT"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(write(file, "new"));
    CloseHandle(file);
    EXPECT_EQ(content("My Documents/Report.txt"), "new");
#if OUR_LAYER_ONLY
    // The host folder of our layer tells spellings apart; Windows' own disk does not.
    EXPECT_FALSE(fs::exists(host("My Documents/report.TXT")));
#endif

    file = open(TEXT("\\my documents\\Fresh Name.txt"), GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(host("My Documents/Fresh Name.txt")));
    // A name outside ASCII is matched through its UTF-8 form on the host.
    file = open(TEXT("\\My Documents\\\u00c9T\u00c9.txt"), GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    file = open(TEXT("\\My Documents\\\u00e9t\u00e9.TXT"), GENERIC_READ, 0, OPEN_EXISTING);
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
        {"two readers that share reading",
         {GENERIC_READ, FILE_SHARE_READ},
         {GENERIC_READ, FILE_SHARE_READ},
         true},
        {"a writer where the reader shares only reading",
         {GENERIC_READ, FILE_SHARE_READ},
         {GENERIC_WRITE, kShareAll},
         false},
        {"a reader that will not share the open writer's writing",
         {GENERIC_WRITE, kShareAll},
         {GENERIC_READ, FILE_SHARE_READ},
         false},
        {"both read and write, both share both", {kReadWrite, kShareAll}, {kReadWrite, kShareAll}, true},
        {"each allows exactly what the other does",
         {GENERIC_READ, FILE_SHARE_WRITE},
         {GENERIC_WRITE, FILE_SHARE_READ},
         true},
        {"an exclusive open keeps readers out", {GENERIC_WRITE, 0}, {GENERIC_READ, kShareAll}, false},
        {"asking for no data access never conflicts", {GENERIC_WRITE, 0}, {0, 0}, true},
        {"nor does an open handle without data access enforce its share mode",
         {0, 0},
         {kReadWrite, kShareAll},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        put("My Documents/shared.txt", "keep");
        HANDLE first = open(TEXT("\\My Documents\\shared.txt"), c.first.access, c.first.share, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        SetLastError(kSentinel);
        HANDLE second
            = open(TEXT("\\my documents\\SHARED.txt"), c.second.access, c.second.share, OPEN_EXISTING);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens);
        if (second != INVALID_HANDLE_VALUE) {
            CloseHandle(second);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        CloseHandle(first);
        // Once the first is closed, nothing stands in the way.
        second = open(TEXT("\\My Documents\\shared.txt"), c.second.access, c.second.share, OPEN_EXISTING);
        EXPECT_NE(second, INVALID_HANDLE_VALUE);
        CloseHandle(second);
#if OUR_LAYER_ONLY
        EXPECT_EQ(control::openFileHandles(), 0);
#endif
    }
}

TEST_F(Files, ARefusedOpenOrDeleteChangesNothing)
{
    put("My Documents/DurvoLog.txt", "open in Pocket Word");
    // The way a text editor holds a document: reading, and sharing reading only.
    HANDLE editor = open(TEXT("\\My Documents\\DurvoLog.txt"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(editor, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(TEXT("\\My Documents\\DurvoLog.txt"), kReadWrite, kShareAll, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(DeleteFileW(dev(TEXT("\\My Documents\\DurvoLog.txt")).c_str()), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(MoveFileW(dev(TEXT("\\My Documents\\DurvoLog.txt")).c_str(),
                        dev(TEXT("\\My Documents\\x.txt")).c_str()),
              FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(content("My Documents/DurvoLog.txt"), "open in Pocket Word");
    EXPECT_FALSE(fs::exists(host("My Documents/x.txt")));
    CloseHandle(editor);
    EXPECT_EQ(DeleteFileW(dev(TEXT("\\My Documents\\DurvoLog.txt")).c_str()), TRUE);
    EXPECT_FALSE(fs::exists(host("My Documents/DurvoLog.txt")));
}

TEST_F(Files, WriteAndReadCountTheirBytesAndTouchNothingElse)
{
    HANDLE file = open(TEXT("\\My Documents\\data.bin"), kReadWrite, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write(file, std::string("ab\0cd", 5)));
    EXPECT_TRUE(write(file, ""));
    CloseHandle(file);
    EXPECT_EQ(content("My Documents/data.bin"), std::string("ab\0cd", 5));

    // Reading stops at the end of the file and leaves the rest of the buffer alone.
    file = open(TEXT("\\My Documents\\data.bin"), GENERIC_READ, 0, OPEN_EXISTING);
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

    file = open(TEXT("\\My Documents\\data.bin"), GENERIC_WRITE, 0, OPEN_EXISTING);
    got = kSentinel;
    EXPECT_EQ(ReadFile(file, buffer, 1, &got, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(got, 0u);
    CloseHandle(file);
}

TEST_F(Files, HandlesAreCountedAndDeadOnceClosed)
{
    HANDLE a = open(TEXT("\\My Documents\\a.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    HANDLE b = open(TEXT("\\My Documents\\b.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_NE(a, b);
    EXPECT_NE(a, nullptr);
#if OUR_LAYER_ONLY
    EXPECT_EQ(control::openFileHandles(), 2);
#endif
    EXPECT_EQ(CloseHandle(a), TRUE);
#if OUR_LAYER_ONLY
    EXPECT_EQ(control::openFileHandles(), 1);
#endif

    struct Case {
        const char *proves;
        HANDLE handle;
    };
    HANDLE c = open(TEXT("\\My Documents\\c.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(c, INVALID_HANDLE_VALUE);
    const Case cases[] = {
#if OUR_LAYER_ONLY
        // Ours: the next open may reuse a's slot, but a stays dead all the same. Windows hands
        // a closed handle's value out again, and INVALID_HANDLE_VALUE is the current process.
        {"a closed handle", a},
        {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
#endif
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
#if OUR_LAYER_ONLY
    EXPECT_NE(c, a);
    EXPECT_EQ(control::openFileHandles(), 2);
    // A power cycle closes every file.
    control::resetDevice();
    EXPECT_EQ(control::openFileHandles(), 0);
    EXPECT_EQ(CloseHandle(b), FALSE);
#else
    CloseHandle(b);
#endif
    CloseHandle(c);
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
        {"a new folder", [] { return CreateDirectoryW(dev(TEXT("\\Temp")).c_str(), nullptr) != 0; }, TRUE,
         ERROR_SUCCESS},
        {"the same folder again", [] { return CreateDirectoryW(dev(TEXT("\\TEMP")).c_str(), nullptr) != 0; },
         FALSE, ERROR_ALREADY_EXISTS},
        {"below a missing folder",
         [] { return CreateDirectoryW(dev(TEXT("\\No\\Deeper")).c_str(), nullptr) != 0; }, FALSE,
         ERROR_PATH_NOT_FOUND},
        {"over an existing file",
         [] { return CreateDirectoryW(dev(TEXT("\\My Documents\\f.txt")).c_str(), nullptr) != 0; }, FALSE,
         ERROR_ALREADY_EXISTS},
        {"move onto an existing file",
         [] {
             return MoveFileW(dev(TEXT("\\My Documents\\g.txt")).c_str(),
                              dev(TEXT("\\My Documents\\F.txt")).c_str())
                 != 0;
         },
         FALSE, ERROR_ALREADY_EXISTS},
        {"move a missing file",
         [] {
             return MoveFileW(dev(TEXT("\\My Documents\\none.txt")).c_str(),
                              dev(TEXT("\\My Documents\\h.txt")).c_str())
                 != 0;
         },
         FALSE, ERROR_FILE_NOT_FOUND},
        {"move to a name with a wildcard",
         [] {
             return MoveFileW(dev(TEXT("\\My Documents\\g.txt")).c_str(),
                              dev(TEXT("\\My Documents\\g*.txt")).c_str())
                 != 0;
         },
         FALSE, ERROR_INVALID_NAME},
        {"move into a missing folder",
         [] {
             return MoveFileW(dev(TEXT("\\My Documents\\g.txt")).c_str(), dev(TEXT("\\No\\g.txt")).c_str())
                 != 0;
         },
         FALSE, ERROR_PATH_NOT_FOUND},
        {"move a file to another folder",
         [] {
             return MoveFileW(dev(TEXT("\\my documents\\G.TXT")).c_str(), dev(TEXT("\\Temp\\h.txt")).c_str())
                 != 0;
         },
         TRUE, ERROR_SUCCESS},
        {"delete a file", [] { return DeleteFileW(dev(TEXT("\\my documents\\F.TXT")).c_str()) != 0; }, TRUE,
         ERROR_SUCCESS},
        {"delete it again", [] { return DeleteFileW(dev(TEXT("\\My Documents\\f.txt")).c_str()) != 0; },
         FALSE, ERROR_FILE_NOT_FOUND},
        {"delete below a missing folder", [] { return DeleteFileW(dev(TEXT("\\No\\f.txt")).c_str()) != 0; },
         FALSE, ERROR_PATH_NOT_FOUND},
        {"delete a folder", [] { return DeleteFileW(dev(TEXT("\\Temp")).c_str()) != 0; }, FALSE,
         ERROR_ACCESS_DENIED},
    };
    put("My Documents/f.txt", "x");
    put("My Documents/g.txt", "moved");
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
    EXPECT_FALSE(fs::exists(host("My Documents/g.txt")));
    EXPECT_EQ(content("Temp/h.txt"), "moved");
}

TEST_F(Files, EightBitCallsUseTheDesktopCodePage)
{
    // 0xE9 is e with an acute accent in Windows-1252.
    EXPECT_EQ(CreateDirectoryA(dev8("\\Caf\xe9").c_str(), nullptr), TRUE);
    HANDLE file = CreateFileA(dev8("\\CAF\xc9\\Men\xfa.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write(file, "soup"));
    CloseHandle(file);
    EXPECT_EQ(content("Caf\xc3\xa9/Men\xc3\xba.txt"), "soup");
    // The wide call finds what the 8-bit one made, and the other way round.
    file = open(TEXT("\\Caf\u00e9\\Men\u00fa.txt"), GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(
        CreateFileA(dev8("\\Caf\xe9\\Men\xfa.txt").c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(DeleteFileA(dev8("\\caf\xe9\\MEN\xfa.TXT").c_str()), TRUE);
    EXPECT_EQ(DeleteFileA(dev8("\\caf\xe9\\MEN\xfa.TXT").c_str()), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateDirectoryA(dev8("\\caf\xe9").c_str(), nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

// The 8-bit calls take a path of at most MAX_PATH characters; one more is
// ERROR_FILENAME_EXCED_RANGE before the path is looked at. Wildcards in a new folder's name are
// ERROR_INVALID_NAME in both widths.
TEST_F(Files, EightBitPathsAndFolderNamesWindowsRefuses)
{
    auto ofLength = [](size_t length) {
        std::string path = dev8("\\My Documents\\");
        return path + std::string(length - path.size(), 'n');
    };
    for (size_t length : {size_t{MAX_PATH}, size_t{MAX_PATH + 1}}) {
        SCOPED_TRACE(length);
        const std::string path = ofLength(length);
        const bool fits = length <= MAX_PATH;
        const DWORD error = fits ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
        SetLastError(kSentinel);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, fits);
        EXPECT_EQ(GetLastError(), error);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        SetLastError(kSentinel);
        EXPECT_EQ(DeleteFileA(path.c_str()), fits ? TRUE : FALSE);
        if (!fits) {
            EXPECT_EQ(GetLastError(), error);
        }
        SetLastError(kSentinel);
        EXPECT_EQ(CreateDirectoryA(path.c_str(), nullptr), fits ? TRUE : FALSE);
        if (!fits) {
            EXPECT_EQ(GetLastError(), error);
        }
        fs::remove(host("My Documents/" + std::string(path.size() - dev8("\\My Documents\\").size(), 'n')));
    }
    EXPECT_EQ(CreateDirectoryA(dev8("\\My Documents\\a?b").c_str(), nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(CreateDirectoryW(dev(TEXT("\\My Documents\\a*")).c_str(), nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(DeleteFileA(dev8("\\My Documents\\\"x\"").c_str()), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(fs::directory_iterator(host("My Documents")), fs::directory_iterator());
}

#if OUR_LAYER_ONLY
TEST_F(Files, InjectedFaults)
{
    struct Case {
        const char *proves;
        control::Faults faults;
        bool opens;
        BOOL firstWrite;
        BOOL secondWrite;
        DWORD secondWritten;
        const char *contentAfter;
    };
    using control::FaultPoint;
    const Case cases[] = {
        {"no faults", {}, true, TRUE, TRUE, 4, "abcdwxyz"},
        {"the file cannot be created", {.points = {FaultPoint::CreateFile}}, false, FALSE, FALSE, 0, nullptr},
        {"every write fails", {.points = {FaultPoint::WriteFile}}, true, FALSE, FALSE, 0, ""},
        {"the second write fails",
         {.points = {FaultPoint::WriteFile}, .callsBefore = 1},
         true,
         TRUE,
         FALSE,
         0,
         "abcd"},
        {"the second write is short",
         {.points = {FaultPoint::WriteFile}, .callsBefore = 1, .shortWrite = true},
         true,
         TRUE,
         TRUE,
         2,
         "abcdwx"},
        // Counted over every chosen point: the open is call 1, the first write call 2.
        {"only the first write fails",
         {.points = {FaultPoint::CreateFile, FaultPoint::WriteFile}, .callsBefore = 1, .persistent = false},
         true,
         FALSE,
         TRUE,
         4,
         "wxyz"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove(host("My Documents/f.txt"));
        control::setFaults(c.faults);
        HANDLE file = open(TEXT("\\My Documents\\f.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
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
        control::setFaults({});
    }
    // A power cycle clears the faults.
    control::setFaults({.points = control::fileAndRegistryFaultPoints()});
    control::resetDevice();
    control::setDeviceRoot(root_);
    HANDLE file = open(TEXT("\\My Documents\\f.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write(file, "ok"));
    CloseHandle(file);
}

#endif

}   // namespace
