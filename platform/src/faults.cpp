// Every call a test may make fail goes through one fault point, in the manner of SQLite's
// system-call table: the points are the one table below, each with the error Windows gives
// for that fault, and one plan says which points fail and from which call on.
#include <windows.h>

#include "control.h"
#include "internal.h"

#include <array>

namespace {

struct FaultPointInfo {
    control::FaultPoint point;
    const char *name;
    DWORD error;
};

constexpr std::array<FaultPointInfo, size_t(control::FaultPoint::Count)> kFaultPoints = {{
    {control::FaultPoint::CreateFile, "CreateFile", ERROR_ACCESS_DENIED},
    {control::FaultPoint::WriteFile, "WriteFile", ERROR_DISK_FULL},
    {control::FaultPoint::DeleteFile, "DeleteFile", ERROR_ACCESS_DENIED},
    {control::FaultPoint::MoveFile, "MoveFile", ERROR_ACCESS_DENIED},
    {control::FaultPoint::CreateDirectory, "CreateDirectory", ERROR_ACCESS_DENIED},
    {control::FaultPoint::RegCreateKey, "RegCreateKeyEx", ERROR_ACCESS_DENIED},
    {control::FaultPoint::RegOpenKey, "RegOpenKeyEx", ERROR_ACCESS_DENIED},
    {control::FaultPoint::RegSetValue, "RegSetValueEx", ERROR_WRITE_FAULT},
}};
constexpr bool tableInOrder()
{
    for (size_t i = 0; i < kFaultPoints.size(); ++i)
        if (size_t(kFaultPoints[i].point) != i) return false;
    return true;
}
static_assert(tableInOrder(), "one row per fault point, in the enum's order");

// The plan in a form the calls can test without the heap.
std::array<bool, kFaultPoints.size()> armed{};
DWORD callsBefore = 0;
bool persistent = true;
bool shortWrite = false;
DWORD calls = 0;
bool fired = false;
control::FaultPoint firstFailed = control::FaultPoint::Count;

}   // namespace

namespace internal {

DWORD faultAt(control::FaultPoint point, bool *isShortWrite)
{
    if (isShortWrite) *isShortWrite = false;
    if (!armed[size_t(point)]) return ERROR_SUCCESS;
    DWORD call = calls++;
    if (call < callsBefore || (fired && !persistent)) return ERROR_SUCCESS;
    if (!fired) firstFailed = point;
    fired = true;
    if (isShortWrite) *isShortWrite = shortWrite;
    return kFaultPoints[size_t(point)].error;
}

void resetFaults()
{
    control::setFaults({});
}

}   // namespace internal

namespace control {

void setFaults(const Faults &faults)
{
    armed.fill(false);
    for (FaultPoint point : faults.points) armed[size_t(point)] = true;
    callsBefore = faults.callsBefore;
    persistent = faults.persistent;
    shortWrite = faults.shortWrite;
    calls = 0;
    fired = false;
    firstFailed = FaultPoint::Count;
}

DWORD faultPointCalls()
{
    return calls;
}

FaultPoint firstFailedPoint()
{
    return firstFailed;
}

std::vector<FaultPoint> fileAndRegistryFaultPoints()
{
    std::vector<FaultPoint> points;
    for (const FaultPointInfo &info : kFaultPoints) points.push_back(info.point);
    return points;
}

const char *faultPointName(FaultPoint point)
{
    return kFaultPoints[size_t(point)].name;
}

}   // namespace control
