// The server list component on a machine with many registered classes: 20,000 class keys under
// HKEY_CLASSES_ROOT\CLSID, 2,000 of them with some component category and 20 of those OPC DA
// 2.0 servers. Measures one category enumeration read to the end, and the whole of what a
// client does with it (enumeration plus the details of every class found).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "opc/opc_common.h"
#include "opc/opc_da.h"
#include "platform/registry/reg_file.h"
#include "tests/support/test_servers.h"

namespace {

constexpr int kClasses = 20000;
constexpr int kWithCategories = 2000;
constexpr int kServers = 20;
constexpr CATID kOtherCategory = MakeGuid("40FC6ED4-2438-11CF-A3DB-080036F12502");

RegFileKey Key(const std::string& path, const char* name = nullptr, const std::string& text = {}) {
    RegFileKey key;
    key.root = HKEY_CLASSES_ROOT;
    key.path = path;
    if (name) {
        RegFileValue value;
        value.name = name;
        value.value.type = REG_SZ;
        value.value.text = text;
        key.values.push_back(value);
    }
    return key;
}

// A private registry for the whole run, filled once, with the component registered in it.
class BenchRegistry {
  public:
    BenchRegistry() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "korva-bench-opcenum-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        directory_ = pattern;
        setenv("KORVA_REGISTRY", directory_.c_str(), 1);
        RegFile file;
        file.fileName = "bench";
        for (int i = 0; i < kClasses; ++i) {
            char clsid[64], progId[64];
            snprintf(clsid, sizeof clsid, "{%08X-0000-4000-8000-00000000BEEF}", i);
            snprintf(progId, sizeof progId, "Vendor%03d.Class%05d.1", i % 500, i);
            const std::string key = std::string("CLSID\\") + clsid;
            file.keys.push_back(Key(key, "", std::string("Class ") + progId));
            file.keys.push_back(Key(key + "\\InprocServer32", "", "/usr/lib/none.so"));
            file.keys.push_back(Key(key + "\\ProgID", "", progId));
            if (i % (kClasses / kWithCategories) == 0) {
                const bool server = i % (kClasses / kServers) == 0;
                file.keys.push_back(Key(key + "\\Implemented Categories\\" +
                                        GuidToAnsi(server ? CATID_OPCDAServer20 : kOtherCategory)));
            }
        }
        std::string error;
        if (!ImportRegFile(file, &error)) {
            fprintf(stderr, "cannot fill the registry: %s\n", error.c_str());
            std::abort();
        }
        if (FAILED(korva::test::RegisterServerListComponent())) {
            fprintf(stderr, "cannot register %s\n", korva::test::ServerListModulePath().c_str());
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

ComPtr<IOPCServerList2> ServerList() {
    static BenchRegistry registry;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComPtr<IOPCServerList2> list;
    if (FAILED(CoCreateInstance(CLSID_OpcServerList, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IOPCServerList2, list.AsOut())))
        std::abort();
    return list;
}

void BM_EnumClassesOfCategories(benchmark::State& state) {
    ComPtr<IOPCServerList2> list = ServerList();
    CATID category = CATID_OPCDAServer20;
    size_t found = 0;
    for (auto _ : state) {
        ComPtr<IEnumGUID> classes;
        list->EnumClassesOfCategories(1, &category, 0, nullptr, classes.ReleaseAndGetAddressOf());
        GUID clsid;
        ULONG fetched = 0;
        found = 0;
        while (classes->Next(1, &clsid, &fetched) == S_OK)
            ++found;
    }
    if (found != kServers)
        state.SkipWithError("wrong number of servers found");
    state.counters["classes"] = kClasses;
}
BENCHMARK(BM_EnumClassesOfCategories)->Unit(benchmark::kMillisecond);

// As a client reads a category: every class found, one at a time, with its details.
void BM_ReadCategoryWithDetails(benchmark::State& state) {
    ComPtr<IOPCServerList2> list = ServerList();
    CATID category = CATID_OPCDAServer20;
    size_t named = 0;
    for (auto _ : state) {
        ComPtr<IEnumGUID> classes;
        list->EnumClassesOfCategories(1, &category, 0, nullptr, classes.ReleaseAndGetAddressOf());
        GUID clsid;
        ULONG fetched = 0;
        named = 0;
        while (classes->Next(1, &clsid, &fetched) == S_OK) {
            LPOLESTR progId = nullptr, userType = nullptr, vi = nullptr;
            if (SUCCEEDED(list->GetClassDetails(clsid, &progId, &userType, &vi)))
                ++named;
            CoTaskMemFree(progId);
            CoTaskMemFree(userType);
            CoTaskMemFree(vi);
        }
    }
    if (named != kServers)
        state.SkipWithError("wrong number of servers named");
}
BENCHMARK(BM_ReadCategoryWithDetails)->Unit(benchmark::kMillisecond);

}  // namespace
