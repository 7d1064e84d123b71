// `korva edit`: the host's main window, the block's dialog on it through CallParameterDialogDLL
// of the real libvirelon.so, and the model saved exactly when the dialog was confirmed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "host/commands.h"
#include "host/edit_window.h"
#include "tests/host/korva_process.h"
#include "tests/plugin/ui/ui_test_support.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace {

using korva::test::MakeTempDirectory;
using korva::test::ReadAll;
using korva::test::RemoveTree;

struct Result {
    int exitCode;
    std::string out;
    std::string err;
};

Result Korva(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = korva::RunCommand(args, out, err);
    return {code, out.str(), err.str()};
}

// Runs `action` on the block's parameter dialog once it is shown. The dialog comes from the
// dynamically loaded block library, so it is found by its controls' names.
void WhenDialog(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [timer, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !modal->findChild<QListWidget*>("ListBox1"))
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

void Click(QWidget* dialog, const char* button) {
    dialog->findChild<QPushButton*>(button)->click();
}

class KorvaEditTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        registry_ = new korva::test::PrivateRegistry;
        ASSERT_EQ(korva::test::RegisterFaultServer(), S_OK);
        korva::InstallQtHostWindow();
    }
    static void TearDownTestSuite() {
        korva::SetHostWindowFactory(nullptr);
        delete registry_;
    }
    void SetUp() override {
        folder_ = MakeTempDirectory("korva-edit");
        setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
        model_ = folder_ + "/m.kmd";
    }
    void TearDown() override { RemoveTree(folder_); }

    void NewModel(const std::vector<std::string>& blocks) {
        std::vector<std::string> args = {"new", model_, "--library", VIRELON_LIBRARY_PATH};
        args.insert(args.end(), blocks.begin(), blocks.end());
        const Result created = Korva(args);
        ASSERT_EQ(created.exitCode, 0) << created.err;
    }

    static korva::test::PrivateRegistry* registry_;
    std::string folder_;
    std::string model_;
};
korva::test::PrivateRegistry* KorvaEditTest::registry_ = nullptr;

TEST_F(KorvaEditTest, OkSavesTheModelWithWhatTheDialogStored) {
    NewModel({"--name", "Block 1", "--server", "OPCFault.Server", "--item", "Number.I4"});
    QString owner;
    WhenDialog([&](QWidget* dialog) {
        owner = dialog->parentWidget() ? dialog->parentWidget()->objectName() : QString();
        EXPECT_EQ(dialog->findChild<QLineEdit*>("ServerEdit")->text(), "OPCFault.Server");
        Click(dialog, "UpdateButton");
        auto* tree = dialog->findChild<QTreeWidget*>("TreeView1");
        EXPECT_EQ(tree->topLevelItemCount(), 1);
        dialog->findChild<QListWidget*>("ListBox1")->addItem("Number.R8");
        Click(dialog, "OKBtn");
    });
    const Result edit = Korva({"edit", model_});
    ASSERT_EQ(edit.exitCode, 0) << edit.err;
    EXPECT_EQ(edit.out, "Saved " + model_ + ".\n");
    EXPECT_EQ(owner, "KorvaMainWindow") << "the dialog is owned by the host's window";

    const Result info = Korva({"info", model_});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("Outputs: 2\n     1  Number.I4\n     2  Number.R8\n"),
              std::string::npos)
        << info.out;
}

TEST_F(KorvaEditTest, CancelLeavesTheModelFileAsItWas) {
    NewModel({"--name", "B", "--server", "OPCFault.Server", "--item", "Number.I4"});
    const std::string before = ReadAll(model_);
    WhenDialog([](QWidget* dialog) {
        dialog->findChild<QListWidget*>("ListBox1")->clear();
        Click(dialog, "CancelBtn");
    });
    const Result edit = Korva({"edit", model_});
    ASSERT_EQ(edit.exitCode, 0) << edit.err;
    EXPECT_EQ(edit.out, "Cancelled; " + model_ + " is unchanged.\n");
    EXPECT_EQ(ReadAll(model_), before);
}

TEST_F(KorvaEditTest, TheNamedBlockIsEdited) {
    NewModel({"--name", "A", "--server", "S.A", "--name", "B", "--server", "S.B"});
    QString server;
    WhenDialog([&](QWidget* dialog) {
        server = dialog->findChild<QLineEdit*>("ServerEdit")->text();
        dialog->findChild<QListWidget*>("ListBox1")->addItem("Only.In.B");
        Click(dialog, "OKBtn");
    });
    ASSERT_EQ(Korva({"edit", model_, "--block", "B"}).exitCode, 0);
    EXPECT_EQ(server, "S.B");
    const std::string info = Korva({"info", model_}).out;
    const size_t a = info.find("Block \"A\""), b = info.find("Block \"B\"");
    ASSERT_NE(b, std::string::npos);
    EXPECT_EQ(info.find("Only.In.B"), info.find("Only.In.B", b));
    EXPECT_EQ(info.substr(a, b - a).find("Only.In.B"), std::string::npos);
}

struct UsageCase {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
};

TEST_F(KorvaEditTest, RefusalsNeedNoDialog) {
    NewModel({"--name", "A", "--name", "B"});
    const UsageCase cases[] = {
        {{"edit"}, 2, "edit needs a MODEL"},
        {{"edit", model_, "--bogus"}, 2, "unknown option --bogus"},
        {{"edit", model_, "extra"}, 2, "unexpected argument \"extra\""},
        {{"edit", model_, "--block"}, 2, "--block needs a value"},
        {{"edit", model_}, 1, "the model has 2 blocks; name one with --block"},
        {{"edit", model_, "--block", "C"}, 1, "the model has no block \"C\""},
        {{"edit", folder_ + "/missing.kmd"}, 1, "missing.kmd"},
    };
    virelon::test::ModalCounter<QDialog> dialogs;
    for (const UsageCase& c : cases) {
        const Result result = Korva(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    EXPECT_EQ(dialogs.opened, 0);
}

TEST_F(KorvaEditTest, WithoutADisplayTheProgramSaysSo) {
    NewModel({"--name", "A"});
    const std::string before = ReadAll(model_);
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : names) {
        if (const char* value = std::getenv(name))
            saved.emplace_back(name, value);
        unsetenv(name);
    }
    const korva::test::ProcessResult result =
        korva::test::RunProgram(KORVA_PROGRAM_PATH, {"edit", model_});
    for (const auto& [name, value] : saved)
        setenv(name.c_str(), value.c_str(), 1);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "korva: edit: no display to show the dialog on (set DISPLAY or "
              "WAYLAND_DISPLAY)\n");
    EXPECT_EQ(ReadAll(model_), before);
}

}  // namespace
