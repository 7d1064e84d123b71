// The simulation server's costs: one synchronous read of one item through the interfaces of an
// object made by the module, adding and removing 10,000 items, and an address space of 100,000
// items read from a file and browsed flat.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "opc/opc_da.h"
#include "servers/opcsim/address_space_file.h"
#include "servers/opcsim/opcsim.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace {

// A private registry with the module registered, and COM on the benchmark thread.
struct Environment {
    Environment() {
        com = std::make_unique<ComInit>(COINIT_APARTMENTTHREADED);
        unsetenv(opcsim::kAddressSpaceVariable);
        ready = SUCCEEDED(korva::test::RegisterSimulationServer());
    }
    korva::test::PrivateRegistry registry;
    std::unique_ptr<ComInit> com;
    bool ready = false;
};

Environment& Env() {
    static Environment env;
    return env;
}

ComPtr<IOPCServer> CreateThroughModule(benchmark::State& state) {
    ComPtr<IOPCServer> server;
    if (!Env().ready ||
        FAILED(CoCreateInstance(opcsim::CLSID_OPCSimServer, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IOPCServer, server.AsOut())))
        state.SkipWithError("the simulation server module could not be created");
    return server;
}

ComPtr<IOPCItemMgt> AddGroup(IOPCServer* server, DWORD rate) {
    ComPtr<IOPCItemMgt> group;
    server->AddGroup(u"Bench", TRUE, rate, 0, nullptr, nullptr, 0, nullptr, nullptr,
                     IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(group.AsOut()));
    return group;
}

// IOPCSyncIO::Read of one item from the cache, with the value cleared and both arrays freed, as
// the client layer does it. Argument: the group's update rate (0: a fresh value for every read).
void BM_SyncReadOneItem(benchmark::State& state) {
    ComPtr<IOPCServer> server = CreateThroughModule(state);
    if (!server)
        return;
    ComPtr<IOPCItemMgt> group = AddGroup(server.Get(), static_cast<DWORD>(state.range(0)));
    std::u16string id = u"Signals.Sine";
    OPCITEMDEF def{};
    def.szItemID = id.data();
    def.bActive = TRUE;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    group->AddItems(1, &def, &results, &errors);
    OPCHANDLE handle = results[0].hServer;
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    ComPtr<IOPCSyncIO> io;
    group.As(&io);

    for (auto _ : state) {
        OPCITEMSTATE* states = nullptr;
        HRESULT* readErrors = nullptr;
        HRESULT hr = io->Read(OPC_DS_CACHE, 1, &handle, &states, &readErrors);
        benchmark::DoNotOptimize(hr);
        benchmark::DoNotOptimize(states[0].vDataValue.dblVal);
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(readErrors);
    }
}
BENCHMARK(BM_SyncReadOneItem)->Arg(0)->Arg(1000);

std::vector<std::u16string> TenThousandIds() {
    static const char16_t* const kIds[] = {u"Signals.Sine",   u"Signals.Ramp", u"Registers.R8",
                                           u"Registers.BSTR", u"Registers.I4", u"Server.State"};
    std::vector<std::u16string> ids;
    for (int i = 0; i < 10000; ++i)
        ids.emplace_back(kIds[i % 6]);
    return ids;
}

struct Items {
    std::vector<std::u16string> ids = TenThousandIds();
    std::vector<OPCITEMDEF> defs;
    Items() {
        for (auto& id : ids) {
            OPCITEMDEF def{};
            def.szItemID = id.data();
            def.bActive = TRUE;
            defs.push_back(def);
        }
    }
};

std::vector<OPCHANDLE> AddAll(IOPCItemMgt* group, Items& items) {
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    group->AddItems(static_cast<DWORD>(items.defs.size()), items.defs.data(), &results, &errors);
    std::vector<OPCHANDLE> handles;
    for (size_t i = 0; i < items.defs.size(); ++i)
        handles.push_back(results[i].hServer);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return handles;
}

void RemoveAll(IOPCItemMgt* group, std::vector<OPCHANDLE>& handles) {
    HRESULT* errors = nullptr;
    group->RemoveItems(static_cast<DWORD>(handles.size()), handles.data(), &errors);
    CoTaskMemFree(errors);
}

// AddItems of 10,000 items in one call, then RemoveItems of them in one call.
void BM_AddRemove10000Items(benchmark::State& state) {
    ComPtr<IOPCServer> server = CreateThroughModule(state);
    if (!server)
        return;
    ComPtr<IOPCItemMgt> group = AddGroup(server.Get(), 1000);
    Items items;
    for (auto _ : state) {
        std::vector<OPCHANDLE> handles = AddAll(group.Get(), items);
        RemoveAll(group.Get(), handles);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_AddRemove10000Items)->Unit(benchmark::kMillisecond);

// The same with one item per call, as the client layer adds and removes items.
void BM_AddRemove10000ItemsOneByOne(benchmark::State& state) {
    ComPtr<IOPCServer> server = CreateThroughModule(state);
    if (!server)
        return;
    ComPtr<IOPCItemMgt> group = AddGroup(server.Get(), 1000);
    Items items;
    std::vector<OPCHANDLE> handles(items.defs.size());
    for (auto _ : state) {
        for (size_t i = 0; i < items.defs.size(); ++i) {
            OPCITEMRESULT* results = nullptr;
            HRESULT* errors = nullptr;
            group->AddItems(1, &items.defs[i], &results, &errors);
            handles[i] = results[0].hServer;
            CoTaskMemFree(results);
            CoTaskMemFree(errors);
        }
        for (OPCHANDLE& handle : handles) {
            HRESULT* errors = nullptr;
            group->RemoveItems(1, &handle, &errors);
            CoTaskMemFree(errors);
        }
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_AddRemove10000ItemsOneByOne)->Unit(benchmark::kMillisecond);

// An address-space file of 100,000 items: 100 areas of 1,000 items of mixed kinds.
const std::string& PlantFile() {
    static const std::string path = [] {
        const std::string dir = korva::test::MakeTempDirectory("opcsim-bench-");
        const std::string file = dir + "/plant.txt";
        std::ofstream out(file);
        for (int area = 0; area < 100; ++area) {
            for (int i = 0; i < 1000; ++i) {
                out << "Plant.Area" << area << ".Unit" << i;
                switch (i % 4) {
                    case 0:
                        out << " R8 sine period=" << (10 + i % 50) << "\n";
                        break;
                    case 1:
                        out << " I4 RW " << i << "\n";
                        break;
                    case 2:
                        out << " BOOL toggle\n";
                        break;
                    default:
                        out << " BSTR \"unit " << i << "\"\n";
                        break;
                }
            }
        }
        return file;
    }();
    return path;
}

void BM_ParseAddressSpace100000(benchmark::State& state) {
    std::ifstream in(PlantFile());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (auto _ : state) {
        opcsim::AddressSpaceResult parsed = opcsim::ParseAddressSpace(text);
        if (!parsed.space)
            state.SkipWithError(parsed.error.c_str());
        benchmark::DoNotOptimize(parsed.space.get());
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_ParseAddressSpace100000)->Unit(benchmark::kMillisecond);

// The client layer's flat browse of 100,000 identifiers: to the root, OPC_FLAT without filters,
// then Next for one text at a time, each freed.
void BM_BrowseFlat100000(benchmark::State& state) {
    setenv(opcsim::kAddressSpaceVariable, PlantFile().c_str(), 1);
    ComPtr<IOPCServer> server = CreateThroughModule(state);
    unsetenv(opcsim::kAddressSpaceVariable);
    if (!server)
        return;
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    server.As(&browse);
    for (auto _ : state) {
        browse->ChangeBrowsePosition(OPC_BROWSE_TO, u"");
        ComPtr<IEnumString> names;
        browse->BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0, names.ReleaseAndGetAddressOf());
        size_t count = 0;
        LPOLESTR name = nullptr;
        ULONG fetched = 0;
        while (names->Next(1, &name, &fetched) == S_OK) {
            ++count;
            CoTaskMemFree(name);
        }
        if (count != 100000)
            state.SkipWithError("not every identifier was listed");
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_BrowseFlat100000)->Unit(benchmark::kMillisecond);

}  // namespace
