// readRegistryString: which values it reads, the 250-byte buffer's boundary from both sides, the
// terminating NUL dropped only when there is one, and nothing written past the buffer.
#include "setup_fixture.h"

namespace setuptest {
namespace {

constexpr char kSentinel = static_cast<char>(0xBD);
const char *const kKeyPath = "SOFTWARE\\Microsoft\\Windows CE Services\\";

class ReadRegistryString : public ::testing::Test {
protected:
    void SetUp() override { control::resetDevice(); }
    void TearDown() override { control::resetDevice(); }

    // Stores `data` as the value "InstalledDir" with the given type, exactly `data.size()` bytes:
    // a byte that is not 0 follows them, so NT's counting of a terminator left out of a string's
    // size does not apply.
    static void store(DWORD type, const std::string &data)
    {
        const std::string bytes = data + 'X';
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSyncKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "InstalledDir", 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // Reads into a buffer of registryStringBytes + 1 with sentinels after it.
    static std::string read(const std::string &before = "")
    {
        char buffer[registryStringBytes + 1 + 16];
        std::memset(buffer, kSentinel, sizeof buffer);
        std::memcpy(buffer, before.c_str(), before.size() + 1);
        readRegistryString(kKeyPath, "InstalledDir", buffer);
        for (size_t i = registryStringBytes + 1; i < sizeof buffer; ++i)
            EXPECT_EQ(buffer[i], kSentinel) << "byte " << i << " past the buffer was written";
        return std::string(buffer, strnlen(buffer, registryStringBytes + 1));
    }
};

TEST_F(ReadRegistryString, StringValuesAndTheBufferBoundary)
{
    const std::string s249(249, 'd');
    const std::string s250(250, 'd');
    struct Case {
        const char *proves;
        DWORD type;
        std::string stored;
        std::string read;
    };
    const Case cases[] = {
        {"249 characters and the NUL fill the buffer: read whole", REG_SZ, s249 + '\0', s249},
        {"250 characters and the NUL do not fit: empty", REG_SZ, s250 + '\0', ""},
        {"250 characters stored without a NUL fit: kept whole", REG_SZ, s250, s250},
        {"a value without its NUL keeps its last character", REG_SZ, "C:\\Sync", "C:\\Sync"},
        {"a value with its NUL", REG_SZ, std::string("C:\\Sync\0", 8), "C:\\Sync"},
        {"an empty string", REG_SZ, std::string("\0", 1), ""},
        {"no bytes at all", REG_SZ, "", ""},
        {"an expandable string is a string", REG_EXPAND_SZ, std::string("C:\\E\0", 5), "C:\\E"},
        {"8-bit text comes back as stored", REG_SZ, std::string("C:\\Caf\xe9\0", 8), "C:\\Caf\xe9"},
        {"a multi-string is not read", REG_MULTI_SZ, std::string("C:\\M\0\0", 6), ""},
        {"binary data is not read", REG_BINARY, std::string("C:\\B\0", 5), ""},
        {"a number is not read", REG_DWORD, std::string("\x43\x3a\x5c\x00", 4), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        store(c.type, c.stored);
        EXPECT_EQ(read("stale"), c.read);
    }
}

TEST_F(ReadRegistryString, MissingKeyLeavesTheResultMissingValueEmptiesIt)
{
    EXPECT_EQ(read("kept"), "kept") << "no key: the result is left as it was";
    store(REG_SZ, std::string("x\0", 2));
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSyncKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key, u"InstalledDir"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(read("stale"), "") << "a key without the value: empty";
    control::setFaults({.points = {control::FaultPoint::RegOpenKey}});
    EXPECT_EQ(read("kept"), "kept") << "a key that cannot be opened: left as it was";
}

}   // namespace
}   // namespace setuptest
