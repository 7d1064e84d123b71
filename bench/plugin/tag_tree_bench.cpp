// Speed of the parameter dialog's tag tree for a large plant: 100,000 item identifiers four
// levels deep (10 areas x 10 units x 10 devices x 100 signals). The dialog's own BuildTagTree
// against the simulation server with an address-space file of that size (connection, browse and
// tree), the tree rule alone, the cache's save and load, and the view scrolled and painted with
// a flat address space of 100,000 identifiers below one expanded node.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QDomDocument>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "opc/opc_access.h"
#include "platform/com/com.h"
#include "plugin/ui/tag_tree_builder.h"
#include "plugin/ui/tag_tree_cache.h"
#include "plugin/ui/virelon_dialog.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace {

constexpr int kAreas = 10, kUnits = 10, kDevices = 10, kSignals = 100;

std::vector<QString> Identifiers() {
    std::vector<QString> ids;
    ids.reserve(kAreas * kUnits * kDevices * kSignals);
    for (int a = 0; a < kAreas; ++a)
        for (int u = 0; u < kUnits; ++u)
            for (int d = 0; d < kDevices; ++d)
                for (int s = 0; s < kSignals; ++s)
                    ids.push_back(
                        QString::asprintf("Area%02d.Unit%02d.Device%02d.Signal%03d", a, u, d, s));
    return ids;
}

// Qt on the offscreen platform, a private registry with the simulation server registered, and
// its hierarchical address space read from a file of the 100,000 identifiers. Made once.
struct Environment {
    Environment() {
        if (!getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "bench_tagtree";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        registry = std::make_unique<korva::test::PrivateRegistry>();
        folder = korva::test::MakeTempDirectory("bench-tagtree-");
        const std::string spaceFile = folder + "/plant.txt";
        if (FILE* file = std::fopen(spaceFile.c_str(), "w")) {
            for (const QString& id : Identifiers())
                std::fprintf(file, "%s R8\n", id.toLatin1().constData());
            std::fclose(file);
        }
        setenv("OPCSIM_ADDRESS_SPACE", spaceFile.c_str(), 1);
        registered = korva::test::RegisterSimulationServer() == S_OK;
        cacheFile = QString::fromStdString(folder + "/QN1.tmp");
    }
    ~Environment() { korva::test::RemoveTree(folder); }

    std::unique_ptr<QApplication> app;
    std::unique_ptr<korva::test::PrivateRegistry> registry;
    std::string folder;
    QString cacheFile;
    bool registered = false;
};

Environment& Env() {
    static Environment environment;
    return environment;
}

// The tree of the 100,000 identifiers in a view, as BuildTagTree leaves it.
void FillTree(QTreeWidget& tree) {
    auto* root = new QTreeWidgetItem(QStringList{QStringLiteral("Root")});
    virelon::ChildIndex index;
    for (const QString& id : Identifiers())
        virelon::AddHierarchicalItem(index, root, id,
                                     [](QTreeWidgetItem* parent, const QString& text) {
                                         auto* child = new QTreeWidgetItem(QStringList{text});
                                         parent->addChild(child);
                                         return child;
                                     });
    tree.addTopLevelItem(root);
}

void BM_BuildTagTree_SimulationServer100k(benchmark::State& state) {
    Environment& env = Env();
    if (!env.registered) {
        state.SkipWithError("the simulation server could not be registered");
        return;
    }
    {
        // A server that cannot be reached would stop the build at a message box.
        ComInit com;
        ComPtr<IOPCServer> server;
        const HRESULT hr = ConnectToServerResult(u"", u"OPCSim.Server", server);
        if (FAILED(hr)) {
            char text[80];
            std::snprintf(text, sizeof text, "no connection to the simulation server: 0x%08X",
                          static_cast<unsigned>(hr));
            state.SkipWithError(text);
            return;
        }
    }
    virelon::TOPCClientDialog dialog;
    dialog.MachineEdit->clear();  // the form's design-time text otherwise
    dialog.ServerEdit->setText(QStringLiteral("OPCSim.Server"));
    for (auto _ : state)
        dialog.BuildTagTree();
    QTreeWidgetItem* root = dialog.TreeView1->topLevelItem(0);
    if (!root || root->childCount() != kAreas)
        state.SkipWithError("the tree is not the plant's");
    state.counters["identifiers"] = dialog.ProgressBar->maximum();
}
BENCHMARK(BM_BuildTagTree_SimulationServer100k)->Unit(benchmark::kMillisecond)->Iterations(5);

// The rule alone: the tree items made and indexed, no server and no view.
void BM_TagTreeRule100k(benchmark::State& state) {
    Env();
    const std::vector<QString> ids = Identifiers();
    for (auto _ : state) {
        auto root = std::make_unique<QTreeWidgetItem>(QStringList{QStringLiteral("Root")});
        virelon::ChildIndex index;
        index.Reserve(ids.size());
        for (const QString& id : ids)
            virelon::AddHierarchicalItem(index, root.get(), id,
                                         [](QTreeWidgetItem* parent, const QString& text) {
                                             auto* child = new QTreeWidgetItem(QStringList{text});
                                             parent->addChild(child);
                                             return child;
                                         });
        benchmark::DoNotOptimize(root->childCount());
    }
}
BENCHMARK(BM_TagTreeRule100k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveTagTree100k(benchmark::State& state) {
    Environment& env = Env();
    QTreeWidget tree;
    FillTree(tree);
    QDomDocument document;
    for (auto _ : state)
        if (!virelon::SaveTagTree(&tree, env.cacheFile, document))
            state.SkipWithError("the cache could not be written");
    state.counters["bytes"] = static_cast<double>(QFile(env.cacheFile).size());
}
BENCHMARK(BM_SaveTagTree100k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadTagTree100k(benchmark::State& state) {
    Environment& env = Env();
    {
        QTreeWidget tree;
        FillTree(tree);
        QDomDocument document;
        virelon::SaveTagTree(&tree, env.cacheFile, document);
    }
    QTreeWidget tree;
    QDomDocument document;
    for (auto _ : state)
        if (!virelon::LoadTagTree(&tree, env.cacheFile, document))
            state.SkipWithError("the cache could not be read");
}
BENCHMARK(BM_LoadTagTree100k)->Unit(benchmark::kMillisecond)->Iterations(5);

// The view with a flat address space: 100,000 children of one expanded node. One iteration
// scrolls to the other end and paints the visible rows, as a drag of the scroll bar does.
void BM_ScrollAndPaintFlatTree100k(benchmark::State& state) {
    Env();
    QTreeWidget tree;
    tree.setHeaderHidden(true);
    tree.setUniformRowHeights(true);
    tree.resize(217, 208);
    auto* root = new QTreeWidgetItem(QStringList{QStringLiteral("Root")});
    for (const QString& id : Identifiers())
        root->addChild(new QTreeWidgetItem(QStringList{id}));
    tree.addTopLevelItem(root);
    tree.expandAll();
    tree.show();
    bool atTop = true;
    for (auto _ : state) {
        QScrollBar* bar = tree.verticalScrollBar();
        bar->setValue(atTop ? bar->maximum() : bar->minimum());
        atTop = !atTop;
        benchmark::DoNotOptimize(tree.viewport()->grab());
    }
}
BENCHMARK(BM_ScrollAndPaintFlatTree100k)->Unit(benchmark::kMillisecond);

}  // namespace
