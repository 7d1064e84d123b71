// Costs of the kernel and text calls that run in every acquisition cycle or log line: the tick
// counter, the code page conversions of item texts, and the locale timestamp.
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

#include "platform/kernel/kernel.h"
#include "platform/text/text.h"

namespace {

void BM_GetTickCount(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(GetTickCount());
}
BENCHMARK(BM_GetTickCount);

// An item value as the server hands it over, and a typical item identifier.
const std::u16string kValue = u"-1234.5678";
const std::u16string kItem = u"Simulation.Kessel_3.Temperatur_°C";

void BM_Utf16ToAnsi_Value(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Utf16ToAnsi(kValue));
}
BENCHMARK(BM_Utf16ToAnsi_Value);

void BM_Utf16ToAnsi_Item(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Utf16ToAnsi(kItem));
}
BENCHMARK(BM_Utf16ToAnsi_Item);

void BM_AnsiToUtf16_Item(benchmark::State& state) {
    const std::string ansi = Utf16ToAnsi(kItem);
    for (auto _ : state)
        benchmark::DoNotOptimize(AnsiToUtf16(ansi));
}
BENCHMARK(BM_AnsiToUtf16_Item);

void BM_Utf16ToUtf8_Item(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Utf16ToUtf8(kItem));
}
BENCHMARK(BM_Utf16ToUtf8_Item);

// A whole cycle's worth: 50 item values to ANSI text.
void BM_Utf16ToAnsi_50Values(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < 50; ++i)
            benchmark::DoNotOptimize(Utf16ToAnsi(kValue));
}
BENCHMARK(BM_Utf16ToAnsi_50Values);

void BM_LocaleTimestampNow(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(LocaleTimestampNow());
}
BENCHMARK(BM_LocaleTimestampNow);

void BM_GetTempFileName(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(GetTempFileName("/run/user/1000/korva/", "QN", 1));
}
BENCHMARK(BM_GetTempFileName);

}  // namespace
