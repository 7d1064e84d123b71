// The simulation calls of a block: the start of a run, one step, the end of a run.
#pragma once

#include <cstdint>

#include "plugin/virelon_data.h"

namespace virelon {

// Start of a run: opens the run log when logging is on (named after `blockName`, ANSI text),
// sets every value slot to ReadFailedValue, starts the acquisition thread, waits at most about
// 1000 ms for its first cycle and fills `outputs` with one step. `outputs` holds at least Count
// slots of 10 bytes.
void InitSimulation(TVirelonData& data, const char* blockName, uint8_t* outputs);

// One step: with equal time values sets the thread's pause, then copies the Count value slots
// into `outputs`. Never waits for the thread's server calls and does no file access.
void Simulate(TVirelonData& data, long double time1, long double time2, uint8_t* outputs);

// End of a run: stops and frees the thread (it releases the server on its own thread), writes
// the last log line and closes the log.
void EndSimulation(TVirelonData& data);

// The automatic pause for a second time value: Time2 x 1000 / 2 in extended precision, rounded
// to the nearest integer (ties to even). A value beyond the 32-bit range saturates; NaN gives 0.
int32_t AutomaticDelay(long double time2);

// The time InitSimulation waits for the first cycle, in milliseconds.
constexpr uint32_t kFirstCycleWaitMs = 1000;

}  // namespace virelon
