// The battery record and the OS identity as a Windows CE program reads them. All of it is the
// simulated device's (desktop Windows has no GetSystemPowerStatusEx2 and no platform type).
#include "conformance.h"

#if OUR_LAYER_ONLY

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr BYTE kSentinel = 0xBD;

class PowerAndVersion : public ::testing::Test {
protected:
    void SetUp() override { control::resetDevice(); }
};

TEST_F(PowerAndVersion, PowerStatusCopiesAtMost56Bytes)
{
    SYSTEM_POWER_STATUS_EX2 record;
    std::memset(&record, 0, sizeof record);
    for (size_t i = 0; i < sizeof record; ++i)
        reinterpret_cast<BYTE *>(&record)[i] = static_cast<BYTE>(i + 1);
    control::setPowerStatus(record);
    struct Case {
        const char *proves;
        DWORD length;
        DWORD expected;
    };
    const Case cases[] = {
        {"the whole record", 56, 56},
        {"a longer buffer still gets 56 bytes", 60, 56},
        {"the three bytes the meter reads", 3, 3},
        {"nothing asked, nothing copied", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        BYTE buffer[64];
        std::memset(buffer, kSentinel, sizeof buffer);
        EXPECT_EQ(
            GetSystemPowerStatusEx2(reinterpret_cast<SYSTEM_POWER_STATUS_EX2 *>(buffer), c.length, TRUE),
            c.expected);
        for (size_t i = 0; i < sizeof buffer; ++i) {
            EXPECT_EQ(buffer[i], i < c.expected ? static_cast<BYTE>(i + 1) : kSentinel) << "byte " << i;
        }
    }
}

TEST_F(PowerAndVersion, PowerStatusFailures)
{
    SYSTEM_POWER_STATUS_EX2 status;
    ASSERT_EQ(GetSystemPowerStatusEx2(&status, sizeof status, FALSE), 56u);
    // Power-on default: external power, battery high and full.
    EXPECT_EQ(status.ACLineStatus, AC_LINE_ONLINE);
    EXPECT_EQ(status.BatteryFlag, BATTERY_FLAG_HIGH);
    EXPECT_EQ(status.BatteryLifePercent, 100);

    control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_LOW, 17);
    control::setPowerCallFails(true);
    std::memset(&status, kSentinel, sizeof status);
    EXPECT_EQ(GetSystemPowerStatusEx2(&status, sizeof status, FALSE), 0u);
    EXPECT_EQ(status.ACLineStatus, kSentinel);
    EXPECT_EQ(status.BatteryChemistry, kSentinel);
    control::setPowerCallFails(false);
    EXPECT_EQ(GetSystemPowerStatusEx2(nullptr, 56, FALSE), 0u);
    ASSERT_EQ(GetSystemPowerStatusEx2(&status, sizeof status, FALSE), 56u);
    EXPECT_EQ(status.ACLineStatus, AC_LINE_OFFLINE);
    EXPECT_EQ(status.BatteryFlag, BATTERY_FLAG_LOW);
    EXPECT_EQ(status.BatteryLifePercent, 17);
    EXPECT_EQ(status.BackupBatteryLifePercent, 100);   // the three-byte setter leaves the rest
}

TEST_F(PowerAndVersion, GetVersionExChecksTheStructureSize)
{
    struct Case {
        const char *proves;
        DWORD declaredSize;
        BOOL expected;
    };
    const Case cases[] = {
        {"the right size", sizeof(OSVERSIONINFOW), TRUE},
        {"one byte short", sizeof(OSVERSIONINFOW) - 1, FALSE},
        {"an unset size", 0, FALSE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        OSVERSIONINFOW info;
        std::memset(&info, kSentinel, sizeof info);
        info.dwOSVersionInfoSize = c.declaredSize;
        SetLastError(0);
        EXPECT_EQ(GetVersionExW(&info), c.expected);
        if (c.expected) {
            EXPECT_EQ(info.dwMajorVersion, 4u);
            EXPECT_EQ(info.dwMinorVersion, 20u);
            EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_CE));
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            EXPECT_EQ(info.dwMajorVersion, 0xBDBDBDBDu);
        }
    }
    control::setOsVersion(3, 0);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_EQ(GetVersionExW(&info), TRUE);
    EXPECT_EQ(info.dwMajorVersion, 3u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    control::setVersionCallFails(true);
    EXPECT_EQ(GetVersionExW(&info), FALSE);
}

TEST_F(PowerAndVersion, PlatformTypeNeedsRoomForTheWholeString)
{
    // "PocketPC" is 9 units with its terminator: 18 bytes.
    struct Case {
        const char *proves;
        UINT bytes;
        bool failCall;
        BOOL expected;
    };
    const Case cases[] = {
        {"what the meter passes for its 128-unit buffer", 254, false, TRUE},
        {"exactly enough bytes", 18, false, TRUE},
        {"one byte short", 17, false, FALSE},
        {"the control makes it fail", 254, true, FALSE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setPlatformTypeCallFails(c.failCall);
        WCHAR buffer[128];
        std::memset(buffer, kSentinel, sizeof buffer);
        EXPECT_EQ(SystemParametersInfoW(SPI_GETPLATFORMTYPE, c.bytes, buffer, 0), c.expected);
        if (c.expected) {
            EXPECT_EQ(std::u16string(buffer), u"PocketPC");
            EXPECT_EQ(buffer[9], 0xBDBD);
        } else {
            EXPECT_EQ(buffer[0], 0xBDBD);
        }
    }
    control::setPlatformTypeCallFails(false);
    control::setPlatformType(u"Smartphone");
    WCHAR buffer[128];
    ASSERT_EQ(SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof buffer, buffer, 0), TRUE);
    EXPECT_EQ(std::u16string(buffer), u"Smartphone");
}

}   // namespace

#endif
