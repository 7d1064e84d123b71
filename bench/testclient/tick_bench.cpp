// One tick of the test client's main window (server state, then a cache read of every item and
// its list line) against the in-process simulation server, with 200 items.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <memory>
#include <optional>

#include "components/qncomps_library.h"
#include "opc/opc_access.h"
#include "platform/com/com.h"
#include "testclient/dravik_main_window.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace {

void BM_TickWithItems(benchmark::State& state) {
    const int itemCount = static_cast<int>(state.range(0));
    korva::test::PrivateRegistry registry;
    if (korva::test::RegisterSimulationServer() != S_OK) {
        state.SkipWithError("the simulation server could not be registered");
        return;
    }
    ComInit com(COINIT_APARTMENTTHREADED);
    QnCompsLibrary components(SuiteVersion::Quintor7);
    static int argc = 1;
    static char name[] = "bench_testclient";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    {
        TForm1 form;
        form.Timer1->stop();  // ticks only when the benchmark runs one
        if (!form.ConnectTo("", "OPCSim.Server")) {
            state.SkipWithError("no connection to the simulation server");
            return;
        }
        // Every item of the address space in turn (Server.Shutdown left out), as often as it
        // takes: values of every kind, signals and registers.
        std::vector<std::string> ids;
        OPCNAMESPACETYPE organization{};
        ServerBrowseItemIDs(form.Connection->OPCServer.Get(), ids, organization);
        std::erase(ids, std::string("Server.Shutdown"));
        for (int i = 0; i < itemCount; ++i)
            form.AddItemToConnection(ids[static_cast<size_t>(i) % ids.size()]);
        if (form.ListBox1->count() != itemCount) {
            state.SkipWithError("the items were not all listed");
            return;
        }
        for (auto _ : state)
            form.Timer1Timer();
        state.SetItemsProcessed(state.iterations() * itemCount);
        state.counters["items"] = itemCount;
    }
}
BENCHMARK(BM_TickWithItems)->Arg(200)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace
