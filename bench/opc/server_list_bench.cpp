// The server enumeration over a class registry of an ordinary machine's size: 20,000 keys of
// which 20 are OPC servers. Goal: TOPCServerList::Refresh in under 0.5 s.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "opc/opc_access.h"
#include "opc/opc_server_list.h"
#include "platform/registry/reg_file.h"

namespace {

constexpr int kKeys = 20000;
constexpr int kServers = 20;

RegFileKey Key(std::string path, std::optional<std::string> defaultValue) {
    RegFileKey key;
    key.root = HKEY_CLASSES_ROOT;
    key.path = std::move(path);
    if (defaultValue) {
        RegFileValue value;
        value.value.type = REG_SZ;
        value.value.text = *defaultValue;
        key.values.push_back(std::move(value));
    }
    return key;
}

// A private registry for the whole run, filled once in one transaction: 20,000 ProgID-like keys
// with a description and a "CLSID" sub-key; every thousandth is an OPC server of its own class
// with "OPC\Vendor".
class BenchRegistry {
  public:
    BenchRegistry() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "korva-bench-opc-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        directory_ = pattern;
        setenv("KORVA_REGISTRY", directory_.c_str(), 1);
        RegFile file;
        file.fileName = "bench";
        for (int i = 0; i < kKeys; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "Vendor%03d.Class%05d.1", i % 500, i);
            char clsid[64];
            std::snprintf(clsid, sizeof clsid, "{6A1F0A20-1B2C-4D5E-8F90-%012d}", i);
            file.keys.push_back(Key(name, std::string("Description of ") + name));
            file.keys.push_back(Key(std::string(name) + "\\CLSID", clsid));
            if (i % (kKeys / kServers) == 0)
                file.keys.push_back(Key(std::string(name) + "\\OPC\\Vendor", "Felmaran"));
        }
        std::string error;
        if (!ImportRegFile(file, &error)) {
            std::fprintf(stderr, "cannot fill the registry: %s\n", error.c_str());
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

// COM for the benchmark's thread, once.
void EnsureCom() {
    static const bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (!initialised)
        std::abort();
}

void BM_ServerListRefresh(benchmark::State& state) {
    EnsureRegistry();
    EnsureCom();
    TOPCServerList list(u"", {}, true);
    for (auto _ : state) {
        const int count = list.Refresh();
        if (count != kServers)
            state.SkipWithError("wrong number of servers");
    }
    state.counters["keys"] = kKeys;
    state.counters["per key"] =
        benchmark::Counter(static_cast<double>(kKeys) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ServerListRefresh)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole enumeration as the selection dialogs call it: list, sort and class identifier texts.
void BM_EnumerateServers(benchmark::State& state) {
    EnsureRegistry();
    EnsureCom();
    std::vector<std::string> names;
    std::vector<std::string> classIds;
    for (auto _ : state) {
        EnumerateServers(std::string_view(), names, classIds);
        if (names.size() != static_cast<size_t>(kServers))
            state.SkipWithError("wrong number of servers");
    }
}
BENCHMARK(BM_EnumerateServers)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
