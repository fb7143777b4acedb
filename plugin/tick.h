// The one-second tick of the item window's timer: counts on-time, reads the battery, keeps the
// charge history, applies the automatic resets, saves and asks for repaints.
#ifndef DURVO_TICK_H
#define DURVO_TICK_H

#include "meter_state.h"

const UINT_PTR tickTimerId = 1234;
const UINT tickPeriodMs = 1000;

void meterTick();

// The minute within the hour that the item shows for an on-time in ms.
DWORD shownMinute(DWORD onTimeMs);
// Whether the item needs a repaint: the shown minute of the on-time differs from the last
// paint's, or the AC line, battery flag or percent byte differs from the last tick's reading.
// Hours are not compared; a paint at least once a minute keeps them right.
bool shownValuesChanged();

#endif
