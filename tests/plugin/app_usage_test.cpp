// The application usage log, sampled from real platform windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app_usage.h"
#include "control.h"
#include "meter_state.h"
#include "tick.h"

// From alloc_test.cpp: the heap allocations (operator new, malloc) made by body.
long countAllocations(void (*body)());

namespace {

const WCHAR sentinel = 0xBDBD;

class AppUsageLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        meterState = MeterState{};
        for (AppUsageEntry &row : meterState.apps) {
            for (WCHAR &unit : row.title) {
                unit = sentinel;
            }
        }
    }

    static void sample(DWORD elapsedMs)
    {
        meterState.appSampleElapsedMs = elapsedMs;
        sampleAppUsage();
    }

    static std::u16string titleOf(const AppUsageEntry &row) { return row.title; }

    // The row for a title, or null.
    static const AppUsageEntry *rowOf(const std::u16string &title)
    {
        for (DWORD i = 0; i < meterState.appCount; i++) {
            if (titleOf(meterState.apps[i]) == title) {
                return &meterState.apps[i];
            }
        }
        return nullptr;
    }

    static std::vector<std::string> loggedTitles()
    {
        std::vector<std::string> titles;
        for (DWORD i = 0; i < meterState.appCount; i++) {
            titles.push_back(control::toUtf8(titleOf(meterState.apps[i])));
        }
        // Rows follow the platform's window order, which is not the point here.
        std::sort(titles.begin(), titles.end());
        return titles;
    }

    // Rows "App 0" .. "App n-1", logged earlier and running.
    static void fillRows(DWORD n)
    {
        for (DWORD i = 0; i < n; i++) {
            std::u16string title = control::fromUtf8("App " + std::to_string(i));
            AppUsageEntry &row = meterState.apps[i];
            std::copy(title.begin(), title.end(), row.title);
            row.title[title.size()] = 0;
            row.usageMs = 1000;
            row.launchCount = 1;
            row.running = 1;
        }
        meterState.appCount = n;
    }
};

TEST_F(AppUsageLog, SightingsAcrossSamples)
{
    enum Action { keep, hide, show, close, reopen };
    struct Step {
        const char *why;
        Action action;
        DWORD elapsedMs;
        DWORD usageMs;
        DWORD launchCount;
        DWORD running;
    };
    const Step steps[] = {
        {"the first sighting counts the whole interval", keep, 5100, 5100, 1, 1},
        {"seen again: both intervals, still one launch", keep, 5200, 10300, 1, 1},
        {"hidden: not running, its time kept", hide, 5300, 10300, 1, 0},
        {"absent twice: nothing changes", keep, 5300, 10300, 1, 0},
        {"visible again: a second launch", show, 5400, 15700, 2, 1},
        {"closed: not running", close, 5500, 15700, 2, 0},
        {"a new window of that title: a third launch", reopen, 6000, 21700, 3, 1},
    };

    control::addForeignWindow(u"Notes");
    for (const Step &step : steps) {
        switch (step.action) {
        case keep: break;
        case hide: control::setForeignWindowVisible(u"Notes", false); break;
        case show: control::setForeignWindowVisible(u"Notes", true); break;
        case close: control::closeForeignWindow(u"Notes"); break;
        case reopen: control::addForeignWindow(u"Notes"); break;
        }
        sample(step.elapsedMs);
        ASSERT_EQ(meterState.appCount, 1u) << step.why;
        const AppUsageEntry &row = meterState.apps[0];
        EXPECT_EQ(row.usageMs, step.usageMs) << step.why;
        EXPECT_EQ(row.launchCount, step.launchCount) << step.why;
        EXPECT_EQ(row.running, step.running) << step.why;
    }
}

TEST_F(AppUsageLog, TitlesSharedByTwoWindowsCountOnce)
{
    control::addForeignWindow(u"Calc");
    control::addForeignWindow(u"Calc");
    sample(5100);
    ASSERT_EQ(meterState.appCount, 1u);
    EXPECT_EQ(meterState.apps[0].usageMs, 5100u);
    EXPECT_EQ(meterState.apps[0].launchCount, 1u);

    // One of the two goes: the title is still present, no new launch.
    control::closeForeignWindow(u"Calc");
    sample(5200);
    EXPECT_EQ(meterState.apps[0].usageMs, 10300u);
    EXPECT_EQ(meterState.apps[0].launchCount, 1u);
    EXPECT_EQ(meterState.apps[0].running, 1u);
}

TEST_F(AppUsageLog, LongTitlesAreCutTo46Characters)
{
    const std::u16string letters = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    struct Case {
        const char *why;
        size_t length;
        size_t stored;
    };
    const Case cases[] = {
        {"46 characters are kept whole", 46, 46},
        {"47 lose the last", 47, 46},
        {"60 keep the first 46", 60, 46},
        {"a short title", 5, 5},
    };
    for (const Case &c : cases) {
        SetUp();
        control::addForeignWindow(letters.substr(0, c.length));
        sample(5100);
        ASSERT_EQ(meterState.appCount, 1u) << c.why;
        const AppUsageEntry &row = meterState.apps[0];
        EXPECT_EQ(titleOf(row), letters.substr(0, c.stored)) << c.why;
        // Units past the terminator keep what the slot held.
        for (size_t i = c.stored + 1; i < appTitleUnits; i++) {
            EXPECT_EQ(row.title[i], sentinel) << c.why << ", unit " << i;
        }
    }

    // Titles that differ only after the 46th character are one row.
    SetUp();
    control::addForeignWindow(letters.substr(0, 50));
    control::addForeignWindow(letters.substr(0, 46) + u"-other");
    sample(5100);
    ASSERT_EQ(meterState.appCount, 1u);
    EXPECT_EQ(meterState.apps[0].usageMs, 5100u);
    control::closeForeignWindow(letters.substr(0, 50));
    sample(5200);
    ASSERT_EQ(meterState.appCount, 1u);
    EXPECT_EQ(meterState.apps[0].usageMs, 10300u);
    EXPECT_EQ(meterState.apps[0].running, 1u);
}

TEST_F(AppUsageLog, ExcludedTitlesMatchExactly)
{
    const char16_t *const excluded[] = {
        u"Desktop",
        u"MS_SIPBUTTON",
        u"Pocket PC Emulation",
        u"Successful",
        u"Error",
        u"FAKEIMEUI",
        u"Default Ime",
        u"CursorWindow",
        u"WimData",
        u"ConnMgrSink",
        u"SchedConnNotify",
        u"gweWinCENotify",
        u"Connect To",
        u"ReplLog",
        u"Clock Window",
        u"Pegasus Remote API Server",
        u"UDP to TCP proxy",
    };
    for (const char16_t *title : excluded) {
        control::addForeignWindow(title);
    }
    control::addForeignWindow(u"desktop");       // letter case differs
    control::addForeignWindow(u"ERROR");         // letter case differs
    control::addForeignWindow(u"Desktop ");      // a trailing blank
    control::addForeignWindow(u"Clock Windo");   // a prefix of an excluded title
    sample(5100);
    EXPECT_EQ(loggedTitles(), (std::vector<std::string>{"Clock Windo", "Desktop ", "ERROR", "desktop"}));
}

TEST_F(AppUsageLog, NoMoreThan99Rows)
{
    fillRows(98);
    control::addForeignWindow(u"Ninety-ninth");
    sample(5100);
    ASSERT_EQ(meterState.appCount, 99u) << "98 rows: a new title is logged";
    EXPECT_EQ(titleOf(meterState.apps[98]), u"Ninety-ninth");

    control::addForeignWindow(u"Hundredth");
    control::addForeignWindow(u"App 3");
    sample(5200);
    EXPECT_EQ(meterState.appCount, 99u) << "99 rows: a new title is not logged";
    EXPECT_EQ(meterState.apps[99].title[0], sentinel) << "the last slot stays untouched";
    EXPECT_EQ(rowOf(u"Hundredth"), nullptr);
    // The rows in use are still kept up to date.
    EXPECT_EQ(rowOf(u"Ninety-ninth")->usageMs, 10300u);
    EXPECT_EQ(rowOf(u"App 3")->usageMs, 6200u);
    EXPECT_EQ(rowOf(u"App 3")->running, 1u);
    EXPECT_EQ(rowOf(u"App 4")->running, 0u);
}

TEST_F(AppUsageLog, InvisibleAndUntitledWindowsAreSkipped)
{
    control::addForeignWindow(u"Hidden");
    control::setForeignWindowVisible(u"Hidden", false);
    control::addForeignWindow(u"");
    control::addForeignWindow(u"Renamed");
    sample(5100);
    EXPECT_EQ(loggedTitles(), std::vector<std::string>{"Renamed"});

    // Losing its title counts as gone.
    control::renameForeignWindow(u"Renamed", u"");
    sample(5200);
    EXPECT_EQ(loggedTitles(), std::vector<std::string>{"Renamed"});
    EXPECT_EQ(meterState.apps[0].running, 0u);
    EXPECT_EQ(meterState.apps[0].usageMs, 5100u);
}

TEST_F(AppUsageLog, FirstSampleAfterGatheringIsSwitchedOn)
{
    resetTimers();
    control::addForeignWindow(u"Notes");
    auto tick = [](DWORD stepMs) {
        control::advanceClock(stepMs);
        meterTick();
    };

    // Off: the counter passes 5000 ms and is cleared without a sample.
    tick(3000);
    tick(3000);
    EXPECT_EQ(meterState.appSampleElapsedMs, 0u);
    EXPECT_EQ(meterState.appCount, 0u);

    // On: the first sample counts all the on-time since that clearing.
    meterState.settings.gatherAppStats = 1;
    tick(2000);
    tick(2000);
    EXPECT_EQ(meterState.appCount, 0u) << "4000 ms is not yet due";
    tick(2500);
    ASSERT_EQ(meterState.appCount, 1u);
    EXPECT_EQ(meterState.apps[0].usageMs, 6500u);
    EXPECT_EQ(meterState.apps[0].launchCount, 1u);
}

TEST_F(AppUsageLog, AllocatesNothing)
{
    fillRows(99);
    for (int i = 0; i < 50; i++) {
        control::addForeignWindow(control::fromUtf8("App " + std::to_string(i * 2)));
    }
    meterState.appSampleElapsedMs = 5100;
    EXPECT_EQ(countAllocations(sampleAppUsage), 0);
    EXPECT_EQ(rowOf(u"App 98")->running, 1u);
    EXPECT_EQ(rowOf(u"App 97")->running, 0u);
}

}   // namespace
