// The on-time report file: the count, the charge history and the usage log as 8-bit text.
#ifndef DURVO_REPORT_H
#define DURVO_REPORT_H

#include <windows.h>

enum class ReportMode { Silent, Interactive };

// The report replaces this file every time. It is written beside it first, under the second
// name, and takes the first name only once it is whole.
#define REPORT_FILE_PATH TEXT("\\My Documents\\DurvoLog.txt")
#define REPORT_NEW_FILE_PATH TEXT("\\My Documents\\DurvoLog.new")

// Bytes of one written line with its CR LF: at most 254 characters and the line end.
const int reportLineBytes = 256;
// A line as composed, terminator included; writeReportLine cuts it to 254 characters.
const int reportLineChars = 256;

// Writes the whole report. Interactive: the outcome is told in a message box owned by the item
// window. Silent (the tick's autosave): nothing is shown. logElapsedMs becomes 0 only once the
// whole file was written, so a failed autosave is tried again on the next tick.
void writeReport(ReportMode mode);

// Writes one line as 8-bit text ending in CR LF, in one write: U+0000..U+00FF as ISO 8859-1,
// any other character as "?", at most 254 characters. Returns false when the write failed or
// wrote fewer bytes.
bool writeReportLine(HANDLE file, const WCHAR *line);

#endif
