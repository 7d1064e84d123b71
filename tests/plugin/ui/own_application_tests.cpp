// The block library in a host without a Qt application: CallParameterDialogDLL makes its own
// application object for the call and removes it afterwards, and without any display it shows
// nothing rather than ending the host. This program makes no QApplication of its own; it loads
// libvirelon.so as the host does and reaches the dialog through Qt's own object tree.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "host/block_abi.h"
#include "tests/support/private_registry.h"

namespace {

using namespace korva::abi;

struct Library {
    void* handle = nullptr;
    InitUserDLLFn InitUserDLL = nullptr;
    DisposeUserDLLFn DisposeUserDLL = nullptr;
    CallParameterDialogDLLFn CallParameterDialogDLL = nullptr;

    Library() {
        handle = dlopen(VIRELON_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        InitUserDLL = reinterpret_cast<InitUserDLLFn>(dlsym(handle, "InitUserDLL"));
        DisposeUserDLL = reinterpret_cast<DisposeUserDLLFn>(dlsym(handle, "DisposeUserDLL"));
        CallParameterDialogDLL =
            reinterpret_cast<CallParameterDialogDLLFn>(dlsym(handle, "CallParameterDialogDLL"));
    }
    bool Loaded() const { return InitUserDLL && DisposeUserDLL && CallParameterDialogDLL; }
};

// What the dialog does once the library's application exists: set by a test, run from a timer
// made while the application is being constructed.
std::function<void(QWidget*)> onDialog;
int dialogsShown = 0;

void WatchForTheDialog() {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !modal->findChild<QListWidget*>("ListBox1"))
            return;
        timer->stop();
        ++dialogsShown;
        if (onDialog)
            onDialog(modal);
    });
    timer->start();
}

class OwnApplicationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { qAddPreRoutine(WatchForTheDialog); }

    void SetUp() override {
        runtime_ = korva::test::MakeTempDirectory("virelon-own-app");
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        ASSERT_TRUE(library_.Loaded()) << dlerror();
        ASSERT_EQ(QCoreApplication::instance(), nullptr);
        block_ = std::make_unique<THostBlock>();
        std::memset(block_.get(), 0, sizeof(THostBlock));
        library_.InitUserDLL(block_.get());
        // Copied out: the record is packed, so its fields cannot be bound to references.
        void* const instance = block_->Instance;
        ASSERT_NE(instance, nullptr);
        std::memset(&io_, 0xA5, sizeof io_);
        dialogsShown = 0;
    }
    void TearDown() override {
        library_.DisposeUserDLL(block_.get());
        onDialog = nullptr;
        korva::test::RemoveTree(runtime_);
    }

    korva::test::PrivateRegistry registry_;
    std::string runtime_;
    Library library_;
    std::unique_ptr<THostBlock> block_;
    THostIOInfo io_{};
};

TEST_F(OwnApplicationTest, TheCallMakesItsOwnApplicationAndEndsIt) {
    onDialog = [](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>("ListBox1");
        list->addItem("Typed.Item");
        dialog->findChild<QPushButton*>("OKBtn")->click();
    };
    library_.CallParameterDialogDLL(block_.get(), &io_);
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(io_.OutputCount, 1);
    EXPECT_STREQ(io_.OutputNames[0], "Typed.Item");

    // A second call makes a new application again, and Cancel changes nothing.
    onDialog = [](QWidget* dialog) { dialog->findChild<QPushButton*>("CancelBtn")->click(); };
    io_.OutputCount = 0xA5;
    library_.CallParameterDialogDLL(block_.get(), &io_);
    EXPECT_EQ(dialogsShown, 2);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(io_.OutputCount, 0xA5);
}

TEST_F(OwnApplicationTest, WithoutADisplayNothingIsShownAndTheHostGoesOn) {
    struct Saved {
        const char* name;
        std::string value;
        bool set;
    };
    Saved saved[] = {
        {"QT_QPA_PLATFORM", "", false}, {"DISPLAY", "", false}, {"WAYLAND_DISPLAY", "", false}};
    for (Saved& s : saved) {
        if (const char* value = std::getenv(s.name)) {
            s.value = value;
            s.set = true;
        }
        unsetenv(s.name);
    }
    library_.CallParameterDialogDLL(block_.get(), &io_);
    for (const Saved& s : saved)
        if (s.set)
            setenv(s.name, s.value.c_str(), 1);
    EXPECT_EQ(dialogsShown, 0);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(io_.OutputCount, 0xA5);
}

}  // namespace
