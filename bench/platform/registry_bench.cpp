// The registry as the server enumeration uses it: every sub-key of HKEY_CLASSES_ROOT opened
// read-only, its default value read and one sub-key opened. Goal: all 20,000 keys in under
// 0.5 s. Also the cost of single opens and writes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

namespace {

constexpr int kKeys = 20000;
constexpr int kServers = 20;

// A private registry directory for the whole run, filled once: 20,000 class keys with a
// default value and a "CLSID" sub-key; every thousandth is an OPC server with "OPC\Vendor".
class BenchRegistry {
  public:
    BenchRegistry() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "korva-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        directory_ = pattern;
        setenv("KORVA_REGISTRY", directory_.c_str(), 1);
        RegFile file;
        file.fileName = "bench";
        for (int i = 0; i < kKeys; ++i) {
            char name[64];
            snprintf(name, sizeof name, "Vendor%03d.Class%05d.1", i % 500, i);
            RegFileKey key;
            key.root = HKEY_CLASSES_ROOT;
            key.path = name;
            RegFileValue value;
            value.value.type = REG_SZ;
            value.value.text = std::string("Description of ") + name;
            key.values.push_back(value);
            file.keys.push_back(key);
            RegFileKey clsid;
            clsid.root = HKEY_CLASSES_ROOT;
            clsid.path = key.path + "\\CLSID";
            value.value.text = "{6A1F0A20-1B2C-4D5E-8F90-ABCDEF012345}";
            clsid.values.push_back(value);
            file.keys.push_back(clsid);
            if (i % (kKeys / kServers) == 0) {
                RegFileKey vendor;
                vendor.root = HKEY_CLASSES_ROOT;
                vendor.path = key.path + "\\OPC\\Vendor";
                value.value.text = "Felmaran";
                vendor.values.push_back(value);
                file.keys.push_back(vendor);
            }
        }
        std::string error;
        if (!ImportRegFile(file, &error)) {
            fprintf(stderr, "cannot fill the registry: %s\n", error.c_str());
            std::abort();
        }
    }
    ~BenchRegistry() {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

  private:
    std::string directory_;
};

void EnsureRegistry() {
    static BenchRegistry registry;
}

// The walk of the server enumeration; `subKey` is the sub-key opened below each key.
void ScanClassesRoot(benchmark::State& state, const char* subKey) {
    EnsureRegistry();
    size_t found = 0;
    for (auto _ : state) {
        TRegistry registry(KEY_READ);
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        if (!registry.OpenKeyReadOnly(""))
            state.SkipWithError("root does not open");
        const std::vector<std::string> names = registry.GetKeyNames();
        registry.CloseKey();
        found = 0;
        for (const std::string& name : names) {
            if (!registry.OpenKeyReadOnly(name))
                continue;
            const std::optional<std::string> description = registry.ReadString("");
            benchmark::DoNotOptimize(description);
            if (registry.OpenKeyReadOnly(subKey)) {
                ++found;
                if (registry.OpenKeyReadOnly("Vendor"))
                    benchmark::DoNotOptimize(registry.ReadString(""));
            }
            registry.CloseKey();
        }
        if (names.size() != static_cast<size_t>(kKeys))
            state.SkipWithError("wrong number of keys");
    }
    state.counters["keys"] = kKeys;
    state.counters["sub-keys found"] = static_cast<double>(found);
    state.counters["per key"] =
        benchmark::Counter(static_cast<double>(kKeys) * state.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Most keys have no "OPC" sub-key, as on an ordinary machine.
void BM_ScanClassesRootForServers(benchmark::State& state) {
    ScanClassesRoot(state, "OPC");
}
BENCHMARK(BM_ScanClassesRootForServers)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every key has the sub-key that is opened.
void BM_ScanClassesRootEverySubKeyPresent(benchmark::State& state) {
    ScanClassesRoot(state, "CLSID");
}
BENCHMARK(BM_ScanClassesRootEverySubKeyPresent)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenNestedKeyAndReadString(benchmark::State& state) {
    EnsureRegistry();
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    for (auto _ : state) {
        registry.OpenKeyReadOnly("\\Vendor000.Class00000.1\\OPC\\Vendor");
        benchmark::DoNotOptimize(registry.ReadString(""));
    }
}
BENCHMARK(BM_OpenNestedKeyAndReadString)->Unit(benchmark::kMicrosecond);

void BM_WriteString(benchmark::State& state) {
    EnsureRegistry();
    TRegistry registry;
    registry.OpenKey("Software\\Bench", true);
    int i = 0;
    for (auto _ : state)
        registry.WriteString("v" + std::to_string(i++ % 100), "value");
}
BENCHMARK(BM_WriteString)->Unit(benchmark::kMicrosecond);

}  // namespace
