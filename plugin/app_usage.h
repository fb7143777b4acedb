// The application usage log: which top-level windows were on screen, for how long.
#ifndef DURVO_APP_USAGE_H
#define DURVO_APP_USAGE_H

#include <windows.h>

void sampleAppUsage();

#endif
