#include "plugin/simulation.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <thread>

#include "platform/kernel/kernel.h"
#include "plugin/client_thread.h"

namespace virelon {
namespace {

void OpenRunLog(TVirelonData& data, const char* blockName) {
    // One reading of the clock for date and time, so a run started just before midnight does
    // not get the new day's date with the old day's time.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return;
    const std::string fileName = RunLogFileName(blockName ? blockName : "", local);
    if (fileName.empty())
        return;  // not a file name: the run goes on without a log
    const std::string directory = RunLogDirectory();
    if (directory.empty())
        return;
    if (data.LogFile.Open(directory + fileName))
        data.LogFile.WriteLine("InitSimulation at " + LogTimestamp());
}

long double RoundHalfEven(long double x) {
    const long double lower = std::floor(x);
    const long double fraction = x - lower;
    if (fraction > 0.5L)
        return lower + 1.0L;
    if (fraction < 0.5L)
        return lower;
    return std::fmod(lower, 2.0L) == 0.0L ? lower : lower + 1.0L;
}

}  // namespace

int32_t AutomaticDelay(long double time2) {
    if (std::isnan(time2))
        return 0;
    const long double milliseconds =
        time2 * static_cast<long double>(1000.0f) / static_cast<long double>(2.0f);
    if (milliseconds >= static_cast<long double>(INT32_MAX))
        return INT32_MAX;
    if (milliseconds <= static_cast<long double>(INT32_MIN))
        return INT32_MIN;
    const long double rounded = RoundHalfEven(milliseconds);
    if (rounded >= static_cast<long double>(INT32_MAX))
        return INT32_MAX;
    return static_cast<int32_t>(rounded);
}

void InitSimulation(TVirelonData& data, const char* blockName, uint8_t* outputs) {
    if (data.Thread)
        EndSimulation(data);  // a run that was never ended ends first
    if (data.WriteLogFile)
        OpenRunLog(data, blockName);
    data.Values.Fill(ReadFailedValue);
    data.Simulating = true;
    // A fixed pause holds from the thread's start: the cycles before the start's own step would
    // otherwise race through at 0 ms, with as many reads and log lines as the timing allows.
    data.Thread = std::make_unique<TClientThread>(data, data.DelayMode == 0 ? 0 : data.DelayTime);

    const DWORD start = GetTickCount();
    while (!data.Thread->FirstCycleDone.load(std::memory_order_acquire) &&
           TickElapsed(start, GetTickCount()) <= kFirstCycleWaitMs)
        std::this_thread::yield();

    Simulate(data, 0.0L, 0.0L, outputs);
}

void Simulate(TVirelonData& data, long double time1, long double time2, uint8_t* outputs) {
    if (time1 == time2 && data.Thread) {
        const int32_t delay = data.DelayMode == 0 ? AutomaticDelay(time2) : data.DelayTime;
        data.Thread->Delay.store(delay, std::memory_order_relaxed);
    }
    const int count = std::clamp<int32_t>(data.Count, 0, kMaxItems);
    if (!outputs)
        return;
    for (int k = 0; k < count; ++k)
        data.Values[k].CopyTo(outputs + korva::abi::OutputSlotOffset(static_cast<size_t>(k)));
}

void EndSimulation(TVirelonData& data) {
    data.Simulating = false;
    data.Thread.reset();  // stops the thread and waits for its cleanup
    if (data.WriteLogFile && data.LogFile.IsOpen()) {
        data.LogFile.WriteLine("EndSimulation at " + LogTimestamp());
    }
    data.LogFile.Close();
}

}  // namespace virelon
