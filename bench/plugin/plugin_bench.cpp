// Speed of the block's simulation path: a step while the value table is being rewritten at full
// speed, and the acquisition thread's cycles against the in-process simulation server.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/block_abi.h"
#include "plugin/client_thread.h"
#include "plugin/simulation.h"
#include "plugin/virelon_data.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace {

using namespace korva::abi;

// SimulateDLL2 through the library's export, for a block of 50 items, while another thread
// stores into all 50 value slots as fast as it can: far faster than any server delivers, so
// nearly every cache line a step reads has just been rewritten on the other core. The worst case
// for the step's copy.
void BM_SimulateDLL2_50ItemsWhileWriting(benchmark::State& state) {
    // Instances use the temporary directory's tag tree cache, which disposing deletes: keep the
    // user's own out of reach.
    const std::string runtime = korva::test::MakeTempDirectory("bench-plugin-");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    void* library = dlopen(VIRELON_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        state.SkipWithError(dlerror());
        return;
    }
    auto InitUserDLL = reinterpret_cast<InitUserDLLFn>(dlsym(library, "InitUserDLL"));
    auto ReadFromFile = reinterpret_cast<ReadFromFileFn>(dlsym(library, "ReadFromFile"));
    auto SimulateDLL2 = reinterpret_cast<SimulateDLL2Fn>(dlsym(library, "SimulateDLL2"));
    auto DisposeUserDLL = reinterpret_cast<DisposeUserDLLFn>(dlsym(library, "DisposeUserDLL"));

    THostBlock block;
    std::memset(&block, 0, sizeof block);
    block.BlockName = "Bench";
    InitUserDLL(&block);
    std::string record = "801265\r\n\r\nOPCSim.Server\r\n50\r\n";
    for (int k = 1; k <= 50; ++k)
        record += "Item." + std::to_string(k) + "\r\n";
    record += "0\r\n0\r\n0\r\n100\r\n0\r\n";
    const int fd = memfd_create("record", MFD_CLOEXEC);
    if (write(fd, record.data(), record.size()) != static_cast<ssize_t>(record.size()))
        return;
    lseek(fd, 0, SEEK_SET);
    ReadFromFile(fd, &block);
    close(fd);

    // The writer stands in for the acquisition thread at a speed no server reaches.
    auto* data = static_cast<virelon::TVirelonData*>(block.Instance);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        long double value = 0.0L;
        while (!stop.load(std::memory_order_relaxed))
            for (int k = 0; k < virelon::kMaxItems; ++k)
                data->Values[k].Store(value += 1.0L);
    });

    std::vector<uint8_t> outputBuffer(50 * kOutputSlotSize);
    uint8_t* outputs = outputBuffer.data();
    for (auto _ : state) {
        SimulateDLL2(0.01L, 0.02L, &block, nullptr, outputs);
        benchmark::DoNotOptimize(outputs);
        benchmark::ClobberMemory();
    }
    stop = true;
    writer.join();
    DisposeUserDLL(&block);
    korva::test::RemoveTree(runtime);
}
BENCHMARK(BM_SimulateDLL2_50ItemsWhileWriting)
    ->ArgName("writer")
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

const char* const kSimulationItems[] = {
    "Signals.Sine",   "Signals.Ramp",     "Signals.Square",     "Signals.Random", "Signals.Counter",
    "Signals.Toggle", "Signals.Constant", "Registers.I1",       "Registers.UI1",  "Registers.I2",
    "Registers.UI2",  "Registers.I4",     "Registers.UI4",      "Registers.I8",   "Registers.UI8",
    "Registers.INT",  "Registers.UINT",   "Registers.R4",       "Registers.R8",   "Registers.BOOL",
    "Registers.DATE", "Registers.CY",     "Registers.ReadOnly", "Server.State"};

// SimulateDLL2 through the library's export for a block of 50 items of the in-process simulation
// server, while the block's own acquisition thread reads them at full speed (a pause of 0).
void BM_SimulateDLL2_50ItemsWhileAcquiring(benchmark::State& state) {
    korva::test::PrivateRegistry registry;
    const std::string runtime = korva::test::MakeTempDirectory("bench-plugin-");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    void* library = dlopen(VIRELON_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library || korva::test::RegisterSimulationServer() != S_OK) {
        state.SkipWithError("the library or the simulation server is missing");
        return;
    }
    auto InitUserDLL = reinterpret_cast<InitUserDLLFn>(dlsym(library, "InitUserDLL"));
    auto ReadFromFile = reinterpret_cast<ReadFromFileFn>(dlsym(library, "ReadFromFile"));
    auto InitSimulationDLL =
        reinterpret_cast<InitSimulationDLLFn>(dlsym(library, "InitSimulationDLL"));
    auto SimulateDLL2 = reinterpret_cast<SimulateDLL2Fn>(dlsym(library, "SimulateDLL2"));
    auto EndSimulationDLL2 =
        reinterpret_cast<EndSimulationDLL2Fn>(dlsym(library, "EndSimulationDLL2"));
    auto DisposeUserDLL = reinterpret_cast<DisposeUserDLLFn>(dlsym(library, "DisposeUserDLL"));

    THostBlock block;
    std::memset(&block, 0, sizeof block);
    block.BlockName = "Bench";
    InitUserDLL(&block);
    std::string record = "801265\r\n\r\nOPCSim.Server\r\n50\r\n";
    for (int k = 0; k < 50; ++k)
        record += std::string(kSimulationItems[k % std::size(kSimulationItems)]) + "\r\n";
    record += "0\r\n0\r\n1\r\n0\r\n0\r\n";  // fixed pause of 0 ms
    const int fd = memfd_create("record", MFD_CLOEXEC);
    if (write(fd, record.data(), record.size()) != static_cast<ssize_t>(record.size()))
        return;
    lseek(fd, 0, SEEK_SET);
    ReadFromFile(fd, &block);
    close(fd);

    uint8_t outputs[50 * kOutputSlotSize];
    InitSimulationDLL(&block, nullptr, outputs);
    for (auto _ : state) {
        SimulateDLL2(0.01L, 0.02L, &block, nullptr, outputs);
        benchmark::DoNotOptimize(outputs);
        benchmark::ClobberMemory();
    }
    EndSimulationDLL2(&block);
    DisposeUserDLL(&block);
    korva::test::RemoveTree(runtime);
}
BENCHMARK(BM_SimulateDLL2_50ItemsWhileAcquiring)->Repetitions(10)->ReportAggregatesOnly(true);

// Acquisition cycles of 50 items against the in-process simulation server with a pause of 0:
// one iteration is one cycle (50 cache reads and conversions).
void BM_AcquisitionCycles_50Items(benchmark::State& state) {
    korva::test::PrivateRegistry registry;
    if (korva::test::RegisterSimulationServer() != S_OK) {
        state.SkipWithError("the simulation server cannot be registered");
        return;
    }
    virelon::TVirelonData data;
    data.Server = u"OPCSim.Server";
    data.Count = virelon::kMaxItems;
    for (int k = 0; k < virelon::kMaxItems; ++k)
        data.ItemIDs[k] = kSimulationItems[k % std::size(kSimulationItems)];
    data.DelayMode = 1;  // fixed pause of 0 ms: the thread only yields between cycles
    data.DelayTime = 0;
    uint8_t outputs[50 * kOutputSlotSize];
    virelon::InitSimulation(data, "Bench", outputs);

    uint32_t seen = data.Thread->CyclesDone.load();
    const uint32_t first = seen;
    for (auto _ : state) {
        while (data.Thread->CyclesDone.load(std::memory_order_acquire) == seen)
            std::this_thread::yield();
        seen = data.Thread->CyclesDone.load(std::memory_order_acquire);
    }
    state.counters["cycles/s"] =
        benchmark::Counter(static_cast<double>(seen - first), benchmark::Counter::kIsRate);
    state.counters["reads/s"] = benchmark::Counter(
        static_cast<double>(seen - first) * virelon::kMaxItems, benchmark::Counter::kIsRate);
    virelon::EndSimulation(data);
}
BENCHMARK(BM_AcquisitionCycles_50Items)->UseRealTime()->MinTime(2.0);

}  // namespace
