#include "tests/testclient/window_test_support.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "components/qncomps_library.h"
#include "platform/registry/registry.h"
#include "tests/support/test_servers.h"

namespace dravik_test {

namespace {

// One QApplication and the component library for the whole test program, created before the
// first test as the program creates them before its first window.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "dravik_tests";
        static char* argv[] = {name, nullptr};
        library_ = std::make_unique<QnCompsLibrary>(SuiteVersion::Quintor7);
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        library_.reset();
    }

  private:
    std::unique_ptr<QnCompsLibrary> library_;
    std::unique_ptr<QApplication> app_;
};

::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void WhenModalOpen(const std::function<bool(QWidget*)>& matches,
                   const std::function<void(QWidget*)>& action, int milliseconds) {
    auto* poll = new QTimer(qApp);
    auto deadline = std::make_shared<QDeadlineTimer>(milliseconds);
    poll->setInterval(2);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, deadline, matches, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && matches(modal)) {
            poll->stop();
            poll->deleteLater();
            action(modal);
            return;
        }
        if (deadline->hasExpired()) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "the expected modal dialog did not open";
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->done(2);
        }
    });
    poll->start();
}

std::string SaveScreenshot(QWidget* widget, const std::string& name) {
    const QString directory = QStringLiteral(KORVA_SCREENSHOT_DIR);
    if (!QDir().mkpath(directory))
        return {};
    const QString path = directory + QLatin1Char('/') + Q(name) + QStringLiteral(".png");
    if (!widget->grab().save(path, "PNG"))
        return {};
    return path.toStdString();
}

Recorder::Recorder() {
    previousBox_ = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
        boxes.push_back(request);
        return IDOK;
    });
    previousBeep_ = SetBeepHandler([this] { ++beeps; });
}

Recorder::~Recorder() {
    SetMessageBoxHandler(previousBox_);
    SetBeepHandler(previousBeep_);
}

void WindowTest::SetUp() {
    registry_.emplace();
    com_.emplace(COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(com_->Succeeded());
    ASSERT_EQ(korva::test::RegisterSimulationServer(), S_OK);
    ASSERT_EQ(korva::test::RegisterFaultServer(), S_OK);
    ASSERT_TRUE(Fault().loaded);
    Fault().Reset();
    recorder.emplace();
    taskMemoryBaseline_ = CoTaskMemLiveBlocks();
}

void WindowTest::TearDown() {
    // Whatever a test left open goes first, so that its references are released.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog)
            break;
        dialog->done(2);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    OpcFaultStats stats{};
    Fault().GetStats(&stats);
    EXPECT_EQ(stats.liveObjects, 0u) << "objects of the fault server are still referenced";
    EXPECT_EQ(CoTaskMemLiveBlocks(), taskMemoryBaseline_) << "task memory was not freed";
    Fault().Reset();
    recorder.reset();
    com_.reset();
    registry_.reset();
}

const OpcFaultApi& WindowTest::Fault() const {
    return OpcFaultApi::Get();
}

void WindowTest::ConfigureFault(const OpcFaultConfig& config) {
    ASSERT_EQ(Fault().Configure(&config), S_OK);
}

OpcFaultStats WindowTest::FaultStats() const {
    OpcFaultStats stats{};
    Fault().GetStats(&stats);
    return stats;
}

void WindowTest::WriteClassesKey(const std::string& path, std::optional<std::string> defaultValue) {
    TRegistry registry(KEY_ALL_ACCESS);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKey("\\" + path, true)) << path;
    if (defaultValue) {
        ASSERT_TRUE(registry.WriteString("", *defaultValue)) << path;
    }
}

}  // namespace dravik_test
