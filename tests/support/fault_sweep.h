// A fault sweep in SQLite's manner: an operation is run again and again, failing call 1, 2, ...
// N of the platform's file and registry services in turn (one call each time), until a run
// makes fewer calls than the one it was told to fail. The caller checks each run.
#ifndef DURVO_TESTS_FAULT_SWEEP_H
#define DURVO_TESTS_FAULT_SWEEP_H

#include <control.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

struct FaultSweep {
    std::string operation;           // for the printed line and the traces
    bool shortWrite = false;         // a failing WriteFile writes half and answers TRUE
    std::function<void()> prepare;   // before each run
    std::function<void()> run;       // the operation
    std::function<void(control::FaultPoint failed)> check;   // after each run with a fault
};

// Runs the sweep and returns the number of calls it failed; prints them per fault point, the
// figure the sweep's table reports.
inline DWORD sweepFaults(const FaultSweep &sweep)
{
    std::map<std::string, int> perPoint;
    DWORD call = 0;
    for (;; ++call) {
        sweep.prepare();
        control::setFaults({.points = control::fileAndRegistryFaultPoints(),
                            .callsBefore = call,
                            .persistent = false,
                            .shortWrite = sweep.shortWrite});
        sweep.run();
        control::FaultPoint failed = control::firstFailedPoint();
        DWORD made = control::faultPointCalls();
        control::setFaults({});
        if (made <= call) break;   // every call has been failed once
        SCOPED_TRACE(sweep.operation + ": call " + std::to_string(call + 1) + " ("
                     + control::faultPointName(failed) + ") fails");
        ++perPoint[control::faultPointName(failed)];
        sweep.check(failed);
    }
    std::string counts;
    for (const auto &[point, count] : perPoint)
        counts += (counts.empty() ? "" : ", ") + point + " " + std::to_string(count);
    std::printf("fault sweep: %s: %u calls failed in turn (%s)\n", sweep.operation.c_str(),
                static_cast<unsigned>(call), counts.c_str());
    return call;
}

#endif
