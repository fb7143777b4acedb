#include "report.h"

// The report file is not built yet: nothing is written, so the autosave is tried again on
// every tick, as it is when the file cannot be created.
void writeReport(ReportMode mode)
{
}
