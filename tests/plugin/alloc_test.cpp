// The tick runs once a second for weeks on a device with little memory: it must not touch the
// heap. This file replaces the global allocation functions of the test program with counting
// ones, so that every operator new and (outside AddressSanitizer builds, which own malloc) every
// malloc of the plug-in and of the platform services it calls is seen.
#include <control.h>
#include <gtest/gtest.h>

#include "item_window.h"
#include "module.h"
#include "support/durvo_fixtures.h"
#include "meter_state.h"
#include "tick.h"

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DURVO_ASAN_OWNS_MALLOC 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define DURVO_ASAN_OWNS_MALLOC 1
#endif

namespace {
bool counting = false;
long allocations = 0;

void countOne()
{
    if (counting) {
        ++allocations;
    }
}
}   // namespace

#ifndef DURVO_ASAN_OWNS_MALLOC
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void __libc_free(void *block);

void *malloc(size_t size)
{
    countOne();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size)
{
    countOne();
    return __libc_calloc(count, size);
}
void *realloc(void *block, size_t size)
{
    countOne();
    return __libc_realloc(block, size);
}
void free(void *block)
{
    __libc_free(block);
}
}
static void *rawAllocate(size_t size)
{
    return __libc_malloc(size ? size : 1);
}
#else
static void *rawAllocate(size_t size)
{
    return std::malloc(size ? size : 1);
}
#endif

static void *countedNew(size_t size)
{
    countOne();
    return rawAllocate(size);
}
static void *countedAlignedNew(size_t size, std::align_val_t alignment)
{
    countOne();
    void *block = nullptr;
    size_t bytes = size ? size : 1;
    return posix_memalign(&block, size_t(alignment), bytes) == 0 ? block : nullptr;
}
static void *throwingNew(void *block)
{
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}

void *operator new(size_t size)
{
    return throwingNew(countedNew(size));
}
void *operator new[](size_t size)
{
    return throwingNew(countedNew(size));
}
void *operator new(size_t size, const std::nothrow_t &) noexcept
{
    return countedNew(size);
}
void *operator new[](size_t size, const std::nothrow_t &) noexcept
{
    return countedNew(size);
}
void *operator new(size_t size, std::align_val_t a)
{
    return throwingNew(countedAlignedNew(size, a));
}
void *operator new[](size_t size, std::align_val_t a)
{
    return throwingNew(countedAlignedNew(size, a));
}
void *operator new(size_t size, std::align_val_t a, const std::nothrow_t &) noexcept
{
    return countedAlignedNew(size, a);
}
void *operator new[](size_t size, std::align_val_t a, const std::nothrow_t &) noexcept
{
    return countedAlignedNew(size, a);
}
void operator delete(void *block) noexcept
{
    std::free(block);
}
void operator delete[](void *block) noexcept
{
    std::free(block);
}
void operator delete(void *block, size_t) noexcept
{
    std::free(block);
}
void operator delete[](void *block, size_t) noexcept
{
    std::free(block);
}
void operator delete(void *block, const std::nothrow_t &) noexcept
{
    std::free(block);
}
void operator delete[](void *block, const std::nothrow_t &) noexcept
{
    std::free(block);
}
void operator delete(void *block, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete[](void *block, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete(void *block, size_t, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete[](void *block, size_t, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete(void *block, std::align_val_t, const std::nothrow_t &) noexcept
{
    std::free(block);
}
void operator delete[](void *block, std::align_val_t, const std::nothrow_t &) noexcept
{
    std::free(block);
}

namespace {

template <typename Body> long allocationsDuring(Body body)
{
    allocations = 0;
    counting = true;
    body();
    counting = false;
    return allocations;
}

}   // namespace

// For the other test files of this program, which cannot replace the allocation functions again.
long countAllocations(void (*body)())
{
    return allocationsDuring(body);
}

// The device's files for the autosave, below the test's temporary folder.
static std::filesystem::path deviceRoot()
{
    return std::filesystem::path(::testing::TempDir()) / ("alloc_test_" + std::to_string(getpid()));
}

// The next tick's step takes the counter past a 5-minute autosave.
static void reportDue()
{
    meterState.settings.logSaveMinutes = 5;
    meterState.logElapsedMs = 300000;
}

TEST(TickAllocation, NoHeapOnAnyTickPath)
{
    std::filesystem::remove_all(deviceRoot());
    std::filesystem::create_directories(deviceRoot() / "My Documents");
    control::setDeviceRoot(deviceRoot());
    startWithFullLogs();
    // Proves the counter sees the platform's and the plug-in's allocations at all.
    EXPECT_EQ(allocationsDuring([] { ::operator delete(::operator new(16)); }), 1);

    struct Case {
        const char *path;
        void (*prepare)();
        DWORD historyAfter;
    } cases[] = {
        {"steady tick", [] { meterState.ticksSinceSave = 0; }, historyCapacity},
        {"tick with a power read", [] { meterState.powerReadElapsedMs = 15000; }, historyCapacity},
        {"tick that saves full logs", [] { meterState.ticksSinceSave = 30; }, historyCapacity},
        {"tick that samples the usage log",
         [] {
             meterState.settings.gatherAppStats = 1;
             meterState.appSampleElapsedMs = 5000;
         },
         historyCapacity},
        {"tick that asks for a repaint", [] { meterState.paintedOnTimeMs = meterState.onTimeMs + 60000; },
         historyCapacity},
        // The autosave: the file made anew, then replaced as every later autosave does.
        {"tick whose autosave creates the report",
         [] {
             std::filesystem::remove(deviceRoot() / "My Documents" / "DurvoLog.txt");
             reportDue();
         },
         historyCapacity},
        {"tick whose autosave replaces the report", reportDue, historyCapacity},
        {"tick with a reset", [] { meterState.startedAt.wYear = 0; }, 0},
    };
    // The repaint request and the usage sample reach real windows: an item window to
    // invalidate and other programs' windows to enumerate, some already in the log.
    WNDCLASSW itemClass = {};
    itemClass.lpfnWndProc = DefWindowProcW;
    itemClass.lpszClassName = TEXT("AllocationTestItem");
    RegisterClassW(&itemClass);
    itemWindow = CreateWindowExW(0, TEXT("AllocationTestItem"), TEXT("Durvo"), WS_VISIBLE, 0, 0, 240, 20,
                                 NULL, NULL, NULL, NULL);
    ASSERT_NE(itemWindow, nullptr);
    control::addForeignWindow(u"Program 7");
    control::addForeignWindow(u"Calculator");
    for (const Case &c : cases) {
        for (int round = 0; round < 3; ++round) {
            c.prepare();
            control::advanceClock(1000);
            EXPECT_EQ(allocationsDuring(meterTick), 0) << c.path << ", round " << round;
        }
        EXPECT_EQ(meterState.historyCount, c.historyAfter) << c.path;
    }
    // The sample, the report and the repaint request really ran.
    EXPECT_EQ(meterState.apps[7].running, 1u);
    EXPECT_TRUE(std::filesystem::exists(deviceRoot() / "My Documents" / "DurvoLog.txt"));
    EXPECT_EQ(control::openFileHandles(), 0);
    RECT update;
    EXPECT_EQ(GetUpdateRect(itemWindow, &update, FALSE), TRUE);
    DestroyWindow(itemWindow);
    itemWindow = NULL;
    control::setDeviceRoot({});
    std::filesystem::remove_all(deviceRoot());
}
