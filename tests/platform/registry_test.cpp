// Registry calls as a Win32 program sees them: error codes, buffer behaviour (sentinel bytes
// around every output), names without regard to case, faults, and the .reg text form.
#include "conformance.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#if OUR_LAYER_ONLY
// Counts heap allocations made anywhere in the process while a test asks for it; the
// platform library's own allocations come here too. (GCC cannot see that new and delete below
// are a matching pair once it inlines them.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<bool> countingAllocations{false};
std::atomic<int> allocationCount{0};
}   // namespace

void *operator new(std::size_t size)
{
    if (countingAllocations) ++allocationCount;
    if (void *p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
#endif

namespace {

constexpr BYTE kSentinel = 0xBD;

class Registry : public ::testing::Test {
protected:
    void SetUp() override { conformance::freshStart(); }
    void TearDown() override { conformance::freshStart(); }

    static HKEY create(HKEY root, const WCHAR *path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static void setBinary(HKEY key, const WCHAR *name, const std::vector<BYTE> &data)
    {
        EXPECT_EQ(RegSetValueExW(key, name, 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }
    static std::string readAll(const std::filesystem::path &file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

// ---- Keys ----------------------------------------------------------------------------------------

TEST_F(Registry, CreateAndOpenAnswerWithWindowsErrorCodes)
{
    HKEY software = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE"));
    struct Case {
        const char *proves;
        bool create;
        HKEY parent;
        const WCHAR *path;
        LONG expected;
        DWORD disposition;   // for successful creates
    };
    const Case cases[] = {
        {"a new key is created", true, HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"), ERROR_SUCCESS,
         REG_CREATED_NEW_KEY},
        {"creating it again opens it", true, HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"), ERROR_SUCCESS,
         REG_OPENED_EXISTING_KEY},
        {"letter case does not matter", true, software, TEXT("nORVANE"), ERROR_SUCCESS,
         REG_OPENED_EXISTING_KEY},
        {"several missing levels are created at once", true, software, TEXT("A\\B\\C"), ERROR_SUCCESS,
         REG_CREATED_NEW_KEY},
        {"trailing backslashes are allowed", true, software, TEXT("A\\B\\\\"), ERROR_SUCCESS,
         REG_OPENED_EXISTING_KEY},
        {"a leading backslash is a bad path", true, software, TEXT("\\X"), ERROR_BAD_PATHNAME, 0},
        {"open finds an existing key", false, HKEY_LOCAL_MACHINE, TEXT("software\\norvane"), ERROR_SUCCESS,
         0},
        {"open of a missing key", false, HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Missing"), ERROR_FILE_NOT_FOUND,
         0},
        {"open below a missing key", false, software, TEXT("Missing\\Deeper"), ERROR_FILE_NOT_FOUND, 0},
        {"a handle that was never issued", false, reinterpret_cast<HKEY>(0x1234560), TEXT("x"),
         ERROR_INVALID_HANDLE, 0},
        {"a null parent", true, nullptr, TEXT("x"), ERROR_INVALID_HANDLE, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        HKEY key = reinterpret_cast<HKEY>(0xdeadbeef);
        DWORD disposition = 0xdeadbeef;
        LONG result = c.create
            ? RegCreateKeyExW(c.parent, c.path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition)
            : RegOpenKeyExW(c.parent, c.path, 0, KEY_READ, &key);
        EXPECT_EQ(result, c.expected);
        if (result == ERROR_SUCCESS) {
            if (c.create) {
                EXPECT_EQ(disposition, c.disposition);
            }
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        } else if (!c.create) {
            EXPECT_EQ(key, nullptr);   // a failed open clears the result
        }
    }
#if OUR_LAYER_ONLY
    // Ours answers a missing result pointer with an error; Windows leaves the call undefined.
    EXPECT_EQ(RegCreateKeyExW(software, TEXT("Y"), 0, nullptr, 0, 0, nullptr, nullptr, nullptr),
              ERROR_BADKEY);
    EXPECT_EQ(RegOpenKeyExW(software, TEXT("A"), 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
#endif
    RegCloseKey(software);
}

TEST_F(Registry, AnEmptyPathComponentIsABadPath)
{
    HKEY software = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE"));
    HKEY key = reinterpret_cast<HKEY>(0xdeadbeef);
    EXPECT_EQ(
        RegCreateKeyExW(software, TEXT("X\\\\Y"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_BAD_PATHNAME);
    // A bad path created nothing on its way.
    EXPECT_EQ(RegOpenKeyExW(software, TEXT("X"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    RegCloseKey(software);
}

TEST_F(Registry, HandlesStopWorkingWhenClosedOrTheirKeyIsDeleted)
{
    HKEY key = create(HKEY_CURRENT_USER, TEXT("Temp"));
    HKEY second;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Temp"), 0, KEY_READ, &second), ERROR_SUCCESS);
    EXPECT_NE(key, second);
    EXPECT_EQ(RegCloseKey(second), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(second), ERROR_INVALID_HANDLE);
    HKEY third;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Temp"), 0, KEY_READ, &third), ERROR_SUCCESS);
#if OUR_LAYER_ONLY
    // Ours: the slot is reused by the next open, but the old handle value stays dead. Windows
    // may hand the same value out again.
    EXPECT_NE(third, second);
    EXPECT_EQ(RegQueryValueExW(second, TEXT("v"), nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
#endif

    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, TEXT("Temp")), ERROR_SUCCESS);
    BYTE data = 1;
    EXPECT_EQ(RegSetValueExW(key, TEXT("v"), 0, REG_BINARY, &data, 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExW(third, TEXT("v"), nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(third), ERROR_SUCCESS);
    // Predefined roots can be "closed" and still work.
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    HKEY root;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT(""), 0, KEY_READ, &root), ERROR_SUCCESS);
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
}

TEST_F(Registry, DeleteKeyRefusesKeysWithSubkeysAsNtDoes)
{
    RegCloseKey(create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Today\\Items\\Durvo")));
    struct Case {
        const char *proves;
        const WCHAR *path;
        LONG expected;
    };
    const Case cases[] = {
        {"a key with subkeys stays", TEXT("SOFTWARE\\Microsoft\\Today"), ERROR_ACCESS_DENIED},
        {"a missing key", TEXT("SOFTWARE\\Microsoft\\Today\\Items\\Other"), ERROR_FILE_NOT_FOUND},
        {"a leaf goes, named in another case", TEXT("software\\MICROSOFT\\today\\items\\durvo"),
         ERROR_SUCCESS},
        {"and is gone afterwards", TEXT("SOFTWARE\\Microsoft\\Today\\Items\\Durvo"), ERROR_FILE_NOT_FOUND},
        {"its parent is now a leaf", TEXT("SOFTWARE\\Microsoft\\Today\\Items"), ERROR_SUCCESS},
        {"a null name is refused", nullptr, ERROR_INVALID_PARAMETER},
        {"a root cannot be deleted", TEXT(""), ERROR_ACCESS_DENIED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, c.path), c.expected);
    }
}

// ---- Values --------------------------------------------------------------------------------------

TEST_F(Registry, QueryValueFillsBuffersLikeWindows)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"));
    setBinary(key, TEXT("four"), {1, 2, 3, 4});
    setBinary(key, TEXT("empty"), {});
    // Stored without a terminator: the unit after the 6 bytes is 'd', so NT's habit of counting
    // a terminator the caller left out does not apply.
    const WCHAR text[] = TEXT("abcd");
    ASSERT_EQ(RegSetValueExW(key, TEXT("unterminated"), 0, REG_SZ, reinterpret_cast<const BYTE *>(text), 6),
              ERROR_SUCCESS);

    struct Case {
        const char *proves;
        const WCHAR *name;
        bool passBuffer;
        DWORD capacity;
        LONG expected;
        DWORD expectedSize;
        DWORD expectedType;
        std::vector<BYTE> written;   // the bytes the buffer must hold afterwards
    };
    const Case cases[] = {
        {"exact size fits, byte after untouched",
         TEXT("four"),
         true,
         4,
         ERROR_SUCCESS,
         4,
         REG_BINARY,
         {1, 2, 3, 4}},
        {"a larger buffer gets the data and the real size",
         TEXT("four"),
         true,
         8,
         ERROR_SUCCESS,
         4,
         REG_BINARY,
         {1, 2, 3, 4}},
        {"one byte short: more data, size needed, buffer untouched",
         TEXT("four"),
         true,
         3,
         ERROR_MORE_DATA,
         4,
         REG_BINARY,
         {}},
        {"no buffer: just the size", TEXT("four"), false, 0, ERROR_SUCCESS, 4, REG_BINARY, {}},
        {"a 0-byte value into a 0-byte buffer", TEXT("empty"), true, 0, ERROR_SUCCESS, 0, REG_BINARY, {}},
        {"a 0-byte value leaves a larger buffer alone",
         TEXT("empty"),
         true,
         4,
         ERROR_SUCCESS,
         0,
         REG_BINARY,
         {}},
        {"names ignore case", TEXT("FOUR"), true, 4, ERROR_SUCCESS, 4, REG_BINARY, {1, 2, 3, 4}},
        {"a missing value", TEXT("five"), true, 4, ERROR_FILE_NOT_FOUND, 4, 0xdeadbeef, {}},
        {"a missing value asked only for its size: 0",
         TEXT("five"),
         false,
         4,
         ERROR_FILE_NOT_FOUND,
         0,
         0xdeadbeef,
         {}},
        {"a string gets a terminator when there is room",
         TEXT("unterminated"),
         true,
         8,
         ERROR_SUCCESS,
         6,
         REG_SZ,
         {'a', 0, 'b', 0, 'c', 0, 0, 0}},
        {"but not without room",
         TEXT("unterminated"),
         true,
         7,
         ERROR_SUCCESS,
         6,
         REG_SZ,
         {'a', 0, 'b', 0, 'c', 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        BYTE buffer[16];
        std::memset(buffer, kSentinel, sizeof buffer);
        DWORD size = c.capacity;
        DWORD type = 0xdeadbeef;
        EXPECT_EQ(RegQueryValueExW(key, c.name, nullptr, &type, c.passBuffer ? buffer : nullptr, &size),
                  c.expected);
        EXPECT_EQ(size, c.expectedSize);
        EXPECT_EQ(type, c.expectedType);
        for (size_t i = 0; i < sizeof buffer; ++i) {
            const BYTE expected = i < c.written.size() ? c.written[i] : kSentinel;
            EXPECT_EQ(buffer[i], expected) << "byte " << i;
        }
    }
    DWORD size = 4;
    BYTE buffer[4];
    EXPECT_EQ(RegQueryValueExW(key, TEXT("four"), nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(nullptr, TEXT("four"), nullptr, nullptr, buffer, &size), ERROR_INVALID_HANDLE);
    RegCloseKey(key);
}

// What RegSetValueEx stores of the caller's bytes: the terminator a string's size left out is
// counted, and a pointer into the never-mapped lowest 64 KiB is an access fault, not a crash.
TEST_F(Registry, SetValueCountsALeftOutTerminatorAndRefusesBadPointers)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"));
    static const WCHAR wide[] = TEXT("Durvo");   // 5 units and the terminator
    static const char narrow[] = "Durvo";
    const auto *wideBytes = reinterpret_cast<const BYTE *>(wide);
    const auto *narrowBytes = reinterpret_cast<const BYTE *>(narrow);
    const auto *bad = reinterpret_cast<const BYTE *>(static_cast<uintptr_t>(1));
    struct Case {
        const char *proves;
        bool eightBit;
        DWORD type;
        const BYTE *data;
        DWORD size;
        LONG expected;
        DWORD storedSize;   // bytes as the wide side reads them back
    };
    const Case cases[] = {
        {"a wide string one unit short gets its terminator", false, REG_SZ, wideBytes, 10, ERROR_SUCCESS, 12},
        {"so does an expandable one", false, REG_EXPAND_SZ, wideBytes, 10, ERROR_SUCCESS, 12},
        {"a terminated string is kept as it is", false, REG_SZ, wideBytes, 12, ERROR_SUCCESS, 12},
        {"a size cut inside the text stays cut", false, REG_SZ, wideBytes, 8, ERROR_SUCCESS, 8},
        {"binary data is never lengthened", false, REG_BINARY, wideBytes, 10, ERROR_SUCCESS, 10},
        {"an 8-bit string one byte short gets its terminator", true, REG_SZ, narrowBytes, 5, ERROR_SUCCESS,
         12},
        {"a bad pointer to a string", false, REG_SZ, bad, 1, ERROR_NOACCESS, 0},
        {"a bad pointer to a number", false, REG_DWORD, bad, 1, ERROR_NOACCESS, 0},
        {"no data but a size", false, REG_DWORD, nullptr, 4, ERROR_NOACCESS, 0},
        {"no data and no size", false, REG_SZ, nullptr, 0, ERROR_SUCCESS, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        RegDeleteValueW(key, TEXT("v"));
        const LONG status = c.eightBit ? RegSetValueExA(key, "v", 0, c.type, c.data, c.size)
                                       : RegSetValueExW(key, TEXT("v"), 0, c.type, c.data, c.size);
        EXPECT_EQ(status, c.expected);
        DWORD size = 0xdeadbeef;
        const LONG query = RegQueryValueExW(key, TEXT("v"), nullptr, nullptr, nullptr, &size);
        EXPECT_EQ(query, c.expected == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(size, c.storedSize);
    }
    RegCloseKey(key);
}

TEST_F(Registry, ValueNamesIgnoreCaseBeyondAscii)
{
    HKEY key = create(HKEY_CURRENT_USER, TEXT("Names"));
    struct Case {
        const char *proves;
        const WCHAR *written;
        const WCHAR *looked_up;
    };
    const Case cases[] = {
        {"ASCII", TEXT("dvAutoDCReset"), TEXT("DVAUTODCRESET")},
        {"Latin-1 letters", TEXT("Größe"), TEXT("gRÖße")},
        {"Latin Extended-A", TEXT("Łódź"), TEXT("łÓDŹ")},
        {"Greek", TEXT("Μέτρο"), TEXT("μέΤΡΟ")},
        {"Cyrillic", TEXT("Батарея"), TEXT("бАТАРЕЯ")},
        {"full-width Latin", TEXT("\uFF21\uFF22"), TEXT("\uFF41\uFF42")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        BYTE data = 7;
        ASSERT_EQ(RegSetValueExW(key, c.written, 0, REG_BINARY, &data, 1), ERROR_SUCCESS);
        BYTE read = 0;
        DWORD size = 1;
        EXPECT_EQ(RegQueryValueExW(key, c.looked_up, nullptr, nullptr, &read, &size), ERROR_SUCCESS);
        EXPECT_EQ(read, 7);
        // Setting through the other spelling rewrites the same value, it does not add one.
        ASSERT_EQ(RegSetValueExW(key, c.looked_up, 0, REG_BINARY, &data, 1), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteValueW(key, c.written), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteValueW(key, c.looked_up), ERROR_FILE_NOT_FOUND);
    }
    // Different letters stay different values.
    BYTE one = 1;
    BYTE two = 2;
    RegSetValueExW(key, TEXT("a"), 0, REG_BINARY, &one, 1);
    RegSetValueExW(key, TEXT("b"), 0, REG_BINARY, &two, 1);
    BYTE read = 0;
    DWORD size = 1;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("A"), nullptr, nullptr, &read, &size), ERROR_SUCCESS);
    EXPECT_EQ(read, 1);
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationOrderAndBufferSizes)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, TEXT("E"));
    for (const WCHAR *name : {TEXT("beta"), TEXT("Alpha"), TEXT("gamma"), TEXT("ALPHA2")})
        RegCloseKey(create(key, name));
    setBinary(key, TEXT("zeta"), {1});
    setBinary(key, TEXT("alpha"), {2, 2});

    // Subkeys come sorted without regard to case; values in the order they were made.
    const WString expectedKeys[] = {TEXT("Alpha"), TEXT("ALPHA2"), TEXT("beta"), TEXT("gamma")};
    for (DWORD i = 0; i < 4; ++i) {
        WCHAR name[16];
        DWORD cch = 16;
        ASSERT_EQ(RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(WString(name), expectedKeys[i]);
        EXPECT_EQ(cch, expectedKeys[i].size());
    }
    WCHAR name[16];
    DWORD cch = 16;
    EXPECT_EQ(RegEnumKeyExW(key, 4, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    // "ALPHA2" needs 7 units with its terminator: 6 is too few and changes nothing.
    std::memset(name, kSentinel, sizeof name);
    cch = 6;
    EXPECT_EQ(RegEnumKeyExW(key, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(cch, 6u);
    EXPECT_EQ(name[0], 0xBDBD);
    cch = 7;
    EXPECT_EQ(RegEnumKeyExW(key, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(name[7], 0xBDBD);

    struct ValueCase {
        const char *proves;
        DWORD index;
        DWORD nameCapacity;
        DWORD dataCapacity;
        LONG expected;
        const WCHAR *expectedName;
        DWORD expectedSize;
    };
#if OUR_LAYER_ONLY
    // Ours lists values in the order they were made; Windows promises no order.
    const DWORD zeta = 0, alpha = 1;
#else
    WCHAR first[16];
    DWORD firstCch = 16;
    ASSERT_EQ(RegEnumValueW(key, 0, first, &firstCch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    const DWORD zeta = WString(first) == TEXT("zeta") ? 0 : 1, alpha = 1 - zeta;
#endif
    const ValueCase cases[] = {
        {"one value", zeta, 16, 16, ERROR_SUCCESS, TEXT("zeta"), 1},
        {"the other", alpha, 16, 16, ERROR_SUCCESS, TEXT("alpha"), 2},
        {"name buffer too small", alpha, 5, 16, ERROR_MORE_DATA, nullptr, 2},
        {"data buffer too small", alpha, 16, 1, ERROR_MORE_DATA, TEXT("alpha"), 2},
        {"past the end", 2, 16, 16, ERROR_NO_MORE_ITEMS, nullptr, 16},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        WCHAR valueName[16];
        std::memset(valueName, kSentinel, sizeof valueName);
        BYTE data[16];
        DWORD nameCch = c.nameCapacity;
        DWORD size = c.dataCapacity;
        EXPECT_EQ(RegEnumValueW(key, c.index, valueName, &nameCch, nullptr, nullptr, data, &size),
                  c.expected);
        if (c.expectedName != nullptr) {
            EXPECT_EQ(WString(valueName), c.expectedName);
        } else {
            EXPECT_EQ(valueName[0], 0xBDBD);
        }
        EXPECT_EQ(size, c.expectedSize);
    }
    RegCloseKey(key);
}

TEST_F(Registry, EightBitCallsConvertNamesAndStrings)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows CE Services", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const char path[] = "C:\\Programme\\Gr\xf6\xdf"
                        "e \x80";   // 1252: ö ß and the euro sign
    ASSERT_EQ(
        RegSetValueExA(key, "InstalledDir", 0, REG_SZ, reinterpret_cast<const BYTE *>(path), sizeof path),
        ERROR_SUCCESS);

    // The wide side sees UTF-16 of the same text, terminator included.
    WCHAR wide[32];
    DWORD size = sizeof wide;
    ASSERT_EQ(
        RegQueryValueExW(key, TEXT("installeddir"), nullptr, nullptr, reinterpret_cast<BYTE *>(wide), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(WString(wide), TEXT("C:\\Programme\\Größe €"));
    EXPECT_EQ(size, sizeof(TEXT("C:\\Programme\\Größe €")));

    // And the 8-bit side gets its bytes back, with the same buffer rules.
    char narrow[32];
    std::memset(narrow, kSentinel, sizeof narrow);
    size = 5;
    EXPECT_EQ(
        RegQueryValueExA(key, "INSTALLEDDIR", nullptr, nullptr, reinterpret_cast<BYTE *>(narrow), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof path);
    EXPECT_EQ(static_cast<BYTE>(narrow[0]), kSentinel);
    ASSERT_EQ(
        RegQueryValueExA(key, "INSTALLEDDIR", nullptr, nullptr, reinterpret_cast<BYTE *>(narrow), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::string(narrow), path);
    EXPECT_EQ(static_cast<BYTE>(narrow[sizeof path]), kSentinel);

    // A unit 1252 has no byte for comes back as its look-alike where Windows has one, else "?".
    const WCHAR fitted[] = TEXT("Sync \x03A9 \x4E2D \xFF01");
    ASSERT_EQ(
        RegSetValueExW(key, TEXT("Fitted"), 0, REG_SZ, reinterpret_cast<const BYTE *>(fitted), sizeof fitted),
        ERROR_SUCCESS);
    size = sizeof narrow;
    ASSERT_EQ(RegQueryValueExA(key, "Fitted", nullptr, nullptr, reinterpret_cast<BYTE *>(narrow), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(narrow), "Sync O ? !");

    // Binary data passes through untouched.
    const BYTE blob[] = {0xff, 0x00, 0x80};
    ASSERT_EQ(RegSetValueExA(key, "blob", 0, REG_BINARY, blob, 3), ERROR_SUCCESS);
    BYTE back[3];
    size = 3;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("blob"), nullptr, nullptr, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(back, blob, 3), 0);
    RegCloseKey(key);
}

// A key name holds at most 255 characters, and a long name after good ones adds none of them.
// The 512 levels below a root are our layer's limit too, but Windows creates at most 32 levels in
// one call, so only our layer is asked for the deep paths in one go.
TEST_F(Registry, CreateKeyRefusesNamesAndDepthsWindowsRefuses)
{
    WString deep = TEXT("Temp");
    for (int i = 1; i < 512; ++i) deep += TEXT("\\d");   // 512 levels
    const WString longName(256, TEXT('n'));
    struct Case {
        const char *proves;
        WString path;
        LONG expected;
    };
    const Case cases[]
        = { {"255 characters", TEXT("Temp\\") + WString(255, TEXT('n')), ERROR_SUCCESS},
            {"256 characters", TEXT("Temp\\") + longName, ERROR_INVALID_PARAMETER},
            {"a long name after good ones adds none of them", TEXT("Temp\\new\\") + longName,
             ERROR_INVALID_PARAMETER},
#if OUR_LAYER_ONLY
            {"512 levels", deep, ERROR_SUCCESS},
            {"513 levels", deep + TEXT("\\x"), ERROR_INVALID_PARAMETER},
            {"below an existing 512-level key", deep + TEXT("\\y\\z"), ERROR_INVALID_PARAMETER},
#endif
          };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        HKEY key = reinterpret_cast<HKEY>(0xdeadbeef);
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, c.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  c.expected);
        if (c.expected == ERROR_SUCCESS) RegCloseKey(key);
    }
    HKEY key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Temp\\new"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
#if OUR_LAYER_ONLY
    // Relative depth counts from the root, not from the handle.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, deep.substr(0, deep.size() - 2).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    HKEY below = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, TEXT("e"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &below, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(below);
    EXPECT_EQ(RegCreateKeyExW(key, TEXT("e\\f"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &below, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
#endif
}

#if OUR_LAYER_ONLY
TEST_F(Registry, InjectedFaults)
{
    HKEY existing = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"));
    struct Case {
        const char *proves;
        control::Faults faults;
        LONG create;
        LONG open;
        LONG set;
    };
    const Case cases[] = {
        {"no faults", {}, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
        {"create fails, even for an existing key",
         {.points = {control::FaultPoint::RegCreateKey}},
         ERROR_ACCESS_DENIED,
         ERROR_SUCCESS,
         ERROR_SUCCESS},
        {"open fails",
         {.points = {control::FaultPoint::RegOpenKey}},
         ERROR_SUCCESS,
         ERROR_ACCESS_DENIED,
         ERROR_SUCCESS},
        {"value writes fail",
         {.points = {control::FaultPoint::RegSetValue}},
         ERROR_SUCCESS,
         ERROR_SUCCESS,
         ERROR_WRITE_FAULT},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setFaults(c.faults);
        HKEY key = reinterpret_cast<HKEY>(0xdeadbeef);
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"), 0, nullptr, 0, 0, nullptr,
                                  &key, nullptr),
                  c.create);
        if (c.create == ERROR_SUCCESS) {
            RegCloseKey(key);
        } else {
            EXPECT_EQ(key, nullptr);
        }
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"), 0, 0, &key), c.open);
        if (c.open == ERROR_SUCCESS) RegCloseKey(key);
        const BYTE data[4] = {9, 9, 9, 9};
        EXPECT_EQ(RegSetValueExW(existing, TEXT("dvDurvo"), 0, REG_BINARY, data, 4), c.set);
    }
    // A failed write left the earlier value alone.
    control::setFaults({});
    setBinary(existing, TEXT("dvDurvo"), {1, 2, 3, 4});
    control::setFaults({.points = {control::FaultPoint::RegSetValue}});
    const BYTE other[4] = {5, 5, 5, 5};
    RegSetValueExW(existing, TEXT("dvDurvo"), 0, REG_BINARY, other, 4);
    BYTE read[4];
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExW(existing, TEXT("dvDurvo"), nullptr, nullptr, read, &size), ERROR_SUCCESS);
    EXPECT_EQ(read[0], 1);
    RegCloseKey(existing);
}

// The plug-in's save every 31st second: open the existing key, rewrite its values at the same
// sizes, read them back, close. None of it may touch the heap.
TEST_F(Registry, RewritingExistingValuesAllocatesNothing)
{
    const WCHAR *names[]
        = {TEXT("dvStarted"),       TEXT("dvDurvo"),       TEXT("dvLogTimeout"), TEXT("dvAutoReset"),
           TEXT("dvAutoSoftReset"), TEXT("dvAutoDCReset"), TEXT("dvAutoLog"),    TEXT("dvLogProcess"),
           TEXT("dvBriefInfo"),     TEXT("dvPowerMode"),   TEXT("dvPPC2002"),    TEXT("dvForecast"),
           TEXT("dvOffLevel"),      TEXT("logSize"),       TEXT("logData"),      TEXT("chSize"),
           TEXT("chData")};
    BYTE data[300] = {};
    auto tick = [&](BYTE fill) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        std::memset(data, fill, sizeof data);
        for (const WCHAR *name : names) RegSetValueExW(key, name, 0, REG_BINARY, data, sizeof data);
        for (const WCHAR *name : names) {
            DWORD size = sizeof data;
            RegQueryValueExW(key, name, nullptr, nullptr, data, &size);
        }
        RegCloseKey(key);
        SYSTEMTIME now;
        GetLocalTime(&now);
        SYSTEM_POWER_STATUS_EX2 power;
        GetSystemPowerStatusEx2(&power, sizeof power, FALSE);
        return GetTickCount();
    };
    tick(1);   // the first save creates the key and its values
    allocationCount = 0;
    countingAllocations = true;
    tick(2);
    countingAllocations = false;
    EXPECT_EQ(allocationCount.load(), 0);
}

// ---- .reg text -----------------------------------------------------------------------------------

TEST_F(Registry, RegTextHasAFixedReadableForm)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"));
    setBinary(key, TEXT("dvDurvo"), {0x10, 0x27, 0x00, 0x00});
    const DWORD number = 0x1f;
    RegSetValueExW(key, TEXT("count"), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), 4);
    const WCHAR text[] = TEXT("C:\\Say \"hi\"");
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), sizeof text);
    RegCloseKey(create(HKEY_CURRENT_USER, TEXT("Empty")));
    RegCloseKey(key);
    EXPECT_EQ(control::registryToRegText(),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CURRENT_USER\\Empty]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane]\n"
              "\"dvDurvo\"=hex:10,27,00,00\n"
              "\"count\"=dword:0000001f\n"
              "@=\"C:\\\\Say \\\"hi\\\"\"\n"
              "\n");
}

TEST_F(Registry, RegTextRoundTripKeepsEveryByte)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"));
    std::vector<BYTE> longValue(1000);
    for (size_t i = 0; i < longValue.size(); ++i) longValue[i] = static_cast<BYTE>(i * 7);
    setBinary(key, TEXT("logData"), {});          // 0-byte binary
    setBinary(key, TEXT("chData"), longValue);    // wraps over many continued lines
    setBinary(key, TEXT("say \"hi\""), {1});      // quotes in a name
    setBinary(key, TEXT("back\\slash\\"), {2});   // backslashes, one at the end
    setBinary(key, TEXT("Ünïcödé €"), {3});       // non-ASCII name
    const WCHAR twoLines[] = TEXT("one\r\ntwo");
    RegSetValueExW(key, TEXT("lines"), 0, REG_SZ, reinterpret_cast<const BYTE *>(twoLines), sizeof twoLines);
    const BYTE odd[] = {'a', 0, 'b'};
    RegSetValueExW(key, TEXT("odd string"), 0, REG_SZ, odd, 3);   // not a whole string: kept as hex(1)
    const BYTE shortDword[] = {1, 2};
    RegSetValueExW(key, TEXT("short dword"), 0, REG_DWORD, shortDword, 2);
    const WCHAR multi[] = TEXT("a\0b\0");
    RegSetValueExW(key, TEXT("multi"), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(multi), sizeof multi);
    RegCloseKey(key);

    const std::string saved = control::registryToRegText();
    control::clearRegistry();
    std::string error;
    ASSERT_TRUE(control::registryFromRegText(saved, &error)) << error;
    EXPECT_EQ(control::registryToRegText(), saved);

    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"), 0, KEY_READ, &key), ERROR_SUCCESS);
    struct Case {
        const WCHAR *name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const Case cases[] = {
        {TEXT("logData"), REG_BINARY, {}},
        {TEXT("chData"), REG_BINARY, longValue},
        {TEXT("say \"hi\""), REG_BINARY, {1}},
        {TEXT("back\\slash\\"), REG_BINARY, {2}},
        {TEXT("Ünïcödé €"), REG_BINARY, {3}},
        {TEXT("lines"), REG_SZ,
         std::vector<BYTE>(reinterpret_cast<const BYTE *>(twoLines),
                           reinterpret_cast<const BYTE *>(twoLines) + sizeof twoLines)},
        {TEXT("odd string"), REG_SZ, {'a', 0, 'b'}},
        {TEXT("short dword"), REG_DWORD, {1, 2}},
        {TEXT("multi"), REG_MULTI_SZ,
         std::vector<BYTE>(reinterpret_cast<const BYTE *>(multi),
                           reinterpret_cast<const BYTE *>(multi) + sizeof multi)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(control::toUtf8(c.name));
        std::vector<BYTE> read(1100);
        DWORD size = static_cast<DWORD>(read.size());
        DWORD type = 0;
        ASSERT_EQ(RegQueryValueExW(key, c.name, nullptr, &type, read.data(), &size), ERROR_SUCCESS);
        read.resize(size);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(read, c.data);
    }
    RegCloseKey(key);
}

TEST_F(Registry, RegTextLoadAcceptsWhatPeopleWrite)
{
    const std::string text = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                             "; written by hand\r\n"
                             "\r\n"
                             "[hkey_local_machine\\Software\\Norvane]\r\n"
                             "\"dvDurvo\" = hex:01,02,\\\r\n"
                             "    03,04\r\n"
                             "\"n\"=dword:1F\r\n"
                             "\"n\"=dword:20\r\n"   // the later line wins
                             "@=\"default\"\r\n";
    std::string error;
    ASSERT_TRUE(control::registryFromRegText(text, &error)) << error;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\NORVANE"), 0, KEY_READ, &key), ERROR_SUCCESS);
    BYTE data[8];
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("dvDurvo"), nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[3], 4);
    DWORD number = 0;
    size = 4;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("n"), nullptr, nullptr, reinterpret_cast<BYTE *>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(number, 0x20u);
    RegCloseKey(key);
}

TEST_F(Registry, RegTextLoadErrorsNameTheLineAndChangeNothing)
{
    HKEY key = create(HKEY_LOCAL_MACHINE, TEXT("Kept"));
    setBinary(key, TEXT("v"), {42});
    RegCloseKey(key);
    const std::string before = control::registryToRegText();
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    struct Case {
        const char *proves;
        std::string text;
        std::string expectedError;
    };
    const Case cases[] = {
        {"missing header", "REGEDIT4\n", "line 1: expected \"Windows Registry Editor Version 5.00\""},
        {"empty file", "", "line 1: expected \"Windows Registry Editor Version 5.00\""},
        {"value before any key", header + "\"a\"=hex:01\n", "line 3: value outside of a key section"},
        {"unknown root", header + "[HKEY_NOWHERE\\x]\n", "line 3: unknown root key \"HKEY_NOWHERE\""},
        {"unclosed key", header + "[HKEY_LOCAL_MACHINE\\x\n", "line 3: key name not closed with ']'"},
        {"bad hex byte", header + "[HKEY_LOCAL_MACHINE\\x]\n\"a\"=hex:01,zz\n",
         "line 4: bad hex byte in \"zz\""},
        {"hex byte too long", header + "[HKEY_LOCAL_MACHINE\\x]\n\"a\"=hex:123\n",
         "line 4: bad hex byte in \"123\""},
        {"error in a continued line names its first line",
         header + "[HKEY_LOCAL_MACHINE\\x]\n\"a\"=hex:01,\\\n  02,\\\n  x\n",
         "line 4: bad hex byte in \"x\""},
        {"dword too long", header + "[HKEY_LOCAL_MACHINE\\x]\n\"a\"=dword:123456789\n",
         "line 4: dword: needs 1 to 8 hex digits"},
        {"unclosed name", header + "[HKEY_LOCAL_MACHINE\\x]\n\"a=hex:01\n", "line 4: quoted text not closed"},
        {"unknown escape", header + "[HKEY_LOCAL_MACHINE\\x]\n\"a\"=\"\\n\"\n",
         "line 4: unknown escape in quoted text (only \\\\ and \\\" are allowed)"},
        {"unknown data", header + "[HKEY_LOCAL_MACHINE\\x]\n\"a\"=qword:1\n",
         "line 4: unknown value data (expected \"text\", dword:, hex: or hex(type):)"},
        {"deletions", header + "[-HKEY_LOCAL_MACHINE\\x]\n", "line 3: deleting keys is not supported"},
        {"empty key component", header + "[HKEY_LOCAL_MACHINE\\a\\\\b]\n",
         "line 3: empty key name in \"HKEY_LOCAL_MACHINE\\a\\\\b\""},
        {"a NUL in a key name", header + std::string("[HKEY_LOCAL_MACHINE\\a\0b]\n", 25),
         "line 3: NUL character in a key name"},
        // The writer never writes control characters in names, so the reader takes none either.
        {"a tab in a key name", header + "[HKEY_LOCAL_MACHINE\\a\tb]\n",
         "line 3: a control character in a key name"},
        {"a tab in a value name", header + "[HKEY_LOCAL_MACHINE\\x]\n\"a\tb\"=hex:01\n",
         "line 4: a control character in a value name"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        std::string error;
        EXPECT_FALSE(control::registryFromRegText(c.text, &error));
        EXPECT_EQ(error, c.expectedError);
        EXPECT_EQ(control::registryToRegText(), before);
    }
}

// Windows allows 255 characters a key name and 512 levels below a root; a .reg file that goes
// past either is refused at its line, however deep it goes.
TEST_F(Registry, RegTextRefusesKeysWindowsWouldNotHold)
{
    auto nested = [](size_t levels, const std::string &name) {
        std::string path = "HKEY_LOCAL_MACHINE";
        for (size_t i = 0; i < levels; ++i) path += "\\" + name;
        return path;
    };
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::string longName(256, 'n');
    struct Case {
        const char *proves;
        std::string path;
        std::string expectedError;   // empty: loads
    };
    const Case cases[] = {
        {"512 levels load", nested(512, "k"), ""},
        {"513 levels do not", nested(513, "k"),
         "line 4: key path deeper than 512 levels in "
         "\"HKEY_LOCAL_MACHINE\\k\\k\\k\\k\\k\\k\\k\\k\\k\\k\\k...\""},
        {"nor do 20,000", nested(20000, "k"),
         "line 4: key path deeper than 512 levels in "
         "\"HKEY_LOCAL_MACHINE\\k\\k\\k\\k\\k\\k\\k\\k\\k\\k\\k...\""},
        {"a name of 255 characters loads", nested(1, std::string(255, 'n')), ""},
        {"a name of 256 does not", "HKEY_LOCAL_MACHINE\\a\\" + longName,
         "line 4: key name longer than 255 characters in \"HKEY_LOCAL_MACHINE\\a\\nnnnnnnnnnnnnnnnnnn...\""},
        {"255 letters in UTF-8 bytes are still 255 characters",
         nested(1,
                [] {
                    std::string umlauts;
                    for (int i = 0; i < 255; ++i) umlauts += "\xC3\xA4";
                    return umlauts;
                }()),
         ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::clearRegistry();
        const std::string text = header + "[HKEY_LOCAL_MACHINE\\Before]\n[" + c.path + "]\n\"v\"=dword:1\n";
        std::string error;
        const bool loaded = control::registryFromRegText(text, &error);
        EXPECT_EQ(error, c.expectedError);
        EXPECT_EQ(loaded, c.expectedError.empty());
        if (!loaded) continue;
        // The deepest tree saves without a stack to match and loads back the same.
        const std::string saved = control::registryToRegText();
        EXPECT_NE(saved.find("[" + c.path + "]\n\"v\"=dword:00000001\n"), std::string::npos);
        control::clearRegistry();
        ASSERT_TRUE(control::registryFromRegText(saved, &error)) << error;
        EXPECT_EQ(control::registryToRegText(), saved);
    }
}

// Every value read from a .reg file is written back with the same type and bytes. A REG_SZ that
// is not well-formed UTF-16 has no "text" form and stays hex(1):.
TEST_F(Registry, RegTextKeepsStringsThatAreNotUtf16)
{
    struct Case {
        const char *proves;
        std::string hex;   // the bytes of a REG_SZ, as hex(1): writes them
        bool writtenAsText;
    };
    const Case cases[] = {
        {"a lone high surrogate", "00,d8,00,00", false},
        {"a lone low surrogate", "00,dc,41,00,00,00", false},
        {"a pair the wrong way round", "00,dc,00,d8,00,00", false},
        {"a high surrogate before the terminator", "41,00,3d,d8,00,00", false},
        {"a high surrogate as the last unit", "41,00,3d,d8", false},
        {"a pair is text", "3d,d8,00,de,00,00", true},
        {"plain text", "41,00,42,00,00,00", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        const std::string text
            = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\S]\n\"s\"=hex(1):" + c.hex + "\n";
        std::string error;
        ASSERT_TRUE(control::registryFromRegText(text, &error)) << error;
        const std::string saved = control::registryToRegText();
        EXPECT_EQ(saved.find("hex(1):") == std::string::npos, c.writtenAsText) << saved;
        if (!c.writtenAsText) {
            EXPECT_NE(saved.find("\"s\"=hex(1):" + c.hex + "\n"), std::string::npos) << saved;
        }
        control::clearRegistry();
        ASSERT_TRUE(control::registryFromRegText(saved, &error)) << error;
        HKEY key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"S", 0, KEY_READ, &key), ERROR_SUCCESS);
        BYTE read[16];
        DWORD size = sizeof read;
        DWORD type = 0;
        ASSERT_EQ(RegQueryValueExW(key, u"s", nullptr, &type, read, &size), ERROR_SUCCESS);
        RegCloseKey(key);
        std::string back;
        for (DWORD i = 0; i < size; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", read[i]);
            back += byte;
        }
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(back, c.hex);
    }
}

// Keys written in any order enumerate sorted; values keep the order of their first line, the
// later line for a name giving the data.
TEST_F(Registry, RegTextLoadOrdersKeysAndKeepsValueOrder)
{
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    const char *names[] = {"delta", "Alpha", "charlie", "BRAVO", "alpha\\inner", "Charlie\\x"};
    for (const char *name : names) text += std::string("[HKEY_LOCAL_MACHINE\\Order\\") + name + "]\n";
    text += "[HKEY_LOCAL_MACHINE\\Order]\n\"z\"=dword:1\n\"a\"=dword:2\n\"Z\"=dword:3\n";
    std::string error;
    ASSERT_TRUE(control::registryFromRegText(text, &error)) << error;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Order", 0, KEY_READ, &key), ERROR_SUCCESS);
    std::vector<std::u16string> keys;
    WCHAR name[32];
    DWORD cch = 32;
    for (DWORD i = 0; RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i) {
        keys.emplace_back(name);
        cch = 32;
    }
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"Alpha", u"BRAVO", u"charlie", u"delta"}));
    std::vector<std::u16string> values;
    std::vector<DWORD> numbers;
    DWORD number = 0;
    DWORD size = sizeof number;
    for (DWORD i = 0;
         RegEnumValueW(key, i, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE *>(&number), &size)
         == ERROR_SUCCESS;
         ++i) {
        values.emplace_back(name);
        numbers.push_back(number);
        cch = 32;
        size = sizeof number;
    }
    EXPECT_EQ(values, (std::vector<std::u16string>{u"Z", u"a"}));
    EXPECT_EQ(numbers, (std::vector<DWORD>{3, 2}));
    RegCloseKey(key);
}

TEST_F(Registry, SaveAndLoadFiles)
{
    const auto folder = std::filesystem::path(::testing::TempDir()) / "registry_test";
    std::filesystem::create_directories(folder);
    const auto file = folder / "device.reg";
    HKEY key = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"));
    setBinary(key, TEXT("chData"), {1, 2, 3});
    setBinary(key, TEXT("Größe €"), {4});
    RegCloseKey(key);
    std::string error;
    ASSERT_TRUE(control::saveRegistry(file, &error)) << error;
    // As regedit writes version 5.00: UTF-16LE after its mark, CR LF line ends.
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string header = "\xFF\xFEW\0i\0n\0";
    EXPECT_EQ(bytes.substr(0, header.size()), header);
    EXPECT_NE(bytes.find(std::string("0\0\r\0\n\0", 6)), std::string::npos);
    EXPECT_EQ(control::regFileText(bytes), control::registryToRegText());
    // Hand-written UTF-8 is read as it is.
    EXPECT_EQ(control::regFileText("Windows Registry"), "Windows Registry");
    const std::string saved = control::registryToRegText();
    control::clearRegistry();
    ASSERT_TRUE(control::loadRegistry(file, &error)) << error;
    EXPECT_EQ(control::registryToRegText(), saved);
    // A syntax error names the file and the line.
    std::ofstream(folder / "broken.reg") << "Windows Registry Editor Version 5.00\n\n[HKEY_NOWHERE]\n";
    EXPECT_FALSE(control::loadRegistry(folder / "broken.reg", &error));
    EXPECT_EQ(error, (folder / "broken.reg").string() + ": line 3: unknown root key \"HKEY_NOWHERE\"");
    EXPECT_EQ(control::registryToRegText(), saved);
    std::filesystem::remove_all(folder);
}

// Only a regular file of at most 64 MB is read; anything else is refused with the reason,
// before a byte is read and without waiting for a writer.
TEST_F(Registry, LoadReadsOnlyRegularFilesOfSaneSize)
{
    const auto folder = std::filesystem::path(::testing::TempDir()) / "registry_files_test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::filesystem::create_symlink("/dev/zero", folder / "zero.reg");
    ASSERT_EQ(mkfifo((folder / "fifo.reg").c_str(), 0600), 0);
    std::filesystem::create_directories(folder / "folder.reg");
    {
        std::ofstream big(folder / "big.reg");
        big << "Windows Registry Editor Version 5.00\n";
    }
    std::filesystem::resize_file(folder / "big.reg", 64 * 1024 * 1024 + 1);   // sparse
    {
        std::ofstream limit(folder / "limit.reg");
        limit << "Windows Registry Editor Version 5.00\n";
    }
    std::filesystem::resize_file(folder / "limit.reg", 64 * 1024 * 1024);   // zeros: no key

    HKEY key = create(HKEY_LOCAL_MACHINE, u"Kept");
    RegCloseKey(key);
    const std::string before = control::registryToRegText();
    struct Case {
        const char *proves;
        const char *file;
        std::string expectedReason;   // after "cannot read FILE: "
    };
    const Case cases[] = {
        {"a link to a device that never ends", "zero.reg", "a device, not a regular file"},
        {"a FIFO nobody writes to", "fifo.reg", "a FIFO, not a regular file"},
        {"a folder", "folder.reg", "a folder, not a regular file"},
        {"one byte over the limit", "big.reg", "larger than 64 MB"},
        {"a missing file", "missing.reg", "No such file or directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        std::string error;
        EXPECT_FALSE(control::loadRegistry(folder / c.file, &error));
        EXPECT_EQ(error, "cannot read " + (folder / c.file).string() + ": " + c.expectedReason);
        EXPECT_EQ(control::registryToRegText(), before);
    }
    // Exactly the limit is read (and here parses: zero bytes are text on the header's line).
    std::string error;
    EXPECT_FALSE(control::loadRegistry(folder / "limit.reg", &error));
    EXPECT_EQ(error.find("cannot read"), std::string::npos) << error;
    std::filesystem::remove_all(folder);
}

// A failed save names the file and the reason, and leaves neither a half file nor a temporary.
TEST_F(Registry, SaveFailuresSayWhyAndKeepTheOldFile)
{
    const auto folder = std::filesystem::path(::testing::TempDir()) / "registry_save_test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "taken.reg" / "inside");
    const auto missing = folder / "no such folder" / "x.reg";
    const auto taken = folder / "taken.reg";
    const auto saved = folder / "saved.reg";
    const std::string hklm = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Durvo]";
    struct Case {
        const char *proves;
        std::filesystem::path file;
        const WCHAR *key;     // created below HKEY_LOCAL_MACHINE\SOFTWARE\Durvo, or null
        const WCHAR *value;   // set in that key (or in the key itself), or null
        std::string expectedError;
    };
    const Case cases[] = {
        {"a missing folder", missing, nullptr, nullptr,
         "cannot write " + missing.string() + ".tmp: No such file or directory"},
        {"a folder in the file's place", taken, nullptr, nullptr,
         "cannot rename " + taken.string() + ".tmp to " + taken.string() + ": Is a directory"},
        // Windows takes these names; a .reg file cannot hold them, so the save refuses.
        {"a line feed in a key name", saved, TEXT("a\nb"), nullptr,
         "cannot save " + saved.string() + ": key \"a?b\" in " + hklm
             + " has a control character in its name, which a .reg file cannot hold"},
        {"a tab in a value name", saved, nullptr, TEXT("x\ty"),
         "cannot save " + saved.string() + ": value \"x?y\" in " + hklm
             + " has a control character in its name, which a .reg file cannot hold"},
        {"a lone surrogate in a value name", saved, nullptr, u"\xd800",
         "cannot save " + saved.string() + ": value \"?\" in " + hklm
             + " has a lone surrogate in its name, which a .reg file cannot hold"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::clearRegistry();
        std::ofstream(saved, std::ios::binary) << "the old file";
        HKEY key = create(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Durvo"));
        if (c.key) RegCloseKey(create(key, c.key));
        if (c.value) setBinary(key, c.value, {1});
        RegCloseKey(key);
        std::string error;
        EXPECT_FALSE(control::saveRegistry(c.file, &error));
        EXPECT_EQ(error, c.expectedError);
        auto temporary = c.file;
        temporary += ".tmp";
        EXPECT_FALSE(std::filesystem::exists(temporary));
        EXPECT_EQ(readAll(saved), "the old file");
    }
    // A symlink planted as the temporary file is replaced, not written through.
    control::clearRegistry();
    std::ofstream(folder / "victim", std::ios::binary) << "not the registry's";
    auto planted = saved;
    planted += ".tmp";
    std::filesystem::create_symlink(folder / "victim", planted);
    std::string error;
    EXPECT_TRUE(control::saveRegistry(saved, &error)) << error;
    EXPECT_EQ(readAll(folder / "victim"), "not the registry's");
    EXPECT_FALSE(std::filesystem::exists(planted));
    EXPECT_TRUE(control::loadRegistry(saved, &error)) << error;
    std::filesystem::remove_all(folder);
}

// What Windows' regedit writes: UTF-16LE after the mark FF FE, CR LF line ends.
TEST_F(Registry, RegTextInUtf16FromRegedit)
{
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Größe €]\r\n"
                                u"\"Name\"=\"Wert \U0001F600\"\r\n"
                                u"\"n\"=dword:0000002a\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    std::string error;
    ASSERT_TRUE(control::registryFromRegText(bytes, &error)) << error;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\größe €", 0, KEY_READ, &key), ERROR_SUCCESS);
    WCHAR read[16] = {};
    DWORD size = sizeof read;
    EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, nullptr, reinterpret_cast<BYTE *>(read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(read), u"Wert \U0001F600");
    RegCloseKey(key);

    // Half a character at the end is refused, naming the line it ends on.
    EXPECT_FALSE(control::registryFromRegText(bytes + "x", &error));
    EXPECT_EQ(error, "line 6: UTF-16 text ends in half a character");   // after the fifth line end
}
#endif

}   // namespace
