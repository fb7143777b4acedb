// The on-time report file.
#ifndef DURVO_REPORT_H
#define DURVO_REPORT_H

#include <windows.h>

enum class ReportMode { Silent, Interactive };

void writeReport(ReportMode mode);

#endif
