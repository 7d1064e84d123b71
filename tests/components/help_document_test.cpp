// The help button's action in a window: the message when no reader is registered, and, where a
// display and a PDF reader exist, the reader opening the built manual.
#include <dirent.h>
#include <unistd.h>
#include <QFile>
#include <QWidget>
#include <csignal>
#include <fstream>
#include <sstream>

#include "components/help_launcher.h"
#include "components/ui/help_document.h"
#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"
#include "tests/components/qt_test_support.h"
#include "tests/support/private_registry.h"

namespace {

using qncomps_test::Recorder;
using qncomps_test::WaitFor;

TEST(HelpDocument, NoRegisteredReaderShowsTheErrorMessageOwnedByTheCaller) {
    korva::test::PrivateRegistry registry;
    QWidget owner;
    Recorder recorder;
    OpenHelpDocument(&owner, nullptr);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].request.text, "PDF Reader not found!");
    EXPECT_EQ(recorder.boxes[0].request.caption, "Error");
    EXPECT_EQ(recorder.boxes[0].request.flags, MB_ICONERROR | MB_OK);
    EXPECT_EQ(recorder.boxes[0].request.owner, &owner);
}

TEST(HelpDocument, ReaderTheShellRefusesShowsTheMessage) {
    korva::test::PrivateRegistry registry;
    TRegistry classes(KEY_ALL_ACCESS);
    classes.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(classes.OpenKey(".pdf", true));
    ASSERT_TRUE(classes.WriteString("", "Missing.Document"));
    classes.CloseKey();
    ASSERT_TRUE(classes.OpenKey("Missing.Document\\shell\\open\\command", true));
    ASSERT_TRUE(classes.WriteString("", "\"/nonexistent/Reader.exe\" \"%1\""));
    QWidget owner;
    Recorder recorder;
    OpenHelpDocument(&owner, nullptr);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].request.text, "PDF Reader not found!");
}

// Processes whose command line names both `program` and `document`: the reader this test
// started (the shell may have detached it from this process).
std::vector<pid_t> ReadersOf(const std::string& program, const std::string& document) {
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    if (!proc)
        return found;
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream cmdline("/proc/" + std::string(entry->d_name) + "/cmdline");
        std::stringstream text;
        text << cmdline.rdbuf();
        const std::string command = text.str();
        if (command.find(program) != std::string::npos &&
            command.find(document) != std::string::npos)
            found.push_back(pid);
    }
    closedir(proc);
    return found;
}

TEST(HelpDocument, InstalledReaderOpensTheBuiltManual) {
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
        GTEST_SKIP() << "no display";
    std::string reader;
    for (const char* candidate : {"/usr/bin/mupdf", "/usr/bin/evince", "/usr/bin/okular",
                                  "/usr/bin/qpdfview", "/usr/bin/zathura", "/usr/bin/atril"})
        if (access(candidate, X_OK) == 0) {
            reader = candidate;
            break;
        }
    if (reader.empty())
        GTEST_SKIP() << "no PDF reader installed";
    const std::string manual = ExtractFilePath(GetProgramFileName()) + kHelpDocumentName;
    if (!QFile::exists(QString::fromStdString(manual)))
        GTEST_SKIP() << "manual not built: " << manual;

    korva::test::PrivateRegistry registry;
    TRegistry classes(KEY_ALL_ACCESS);
    classes.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(classes.OpenKey(".pdf", true));
    ASSERT_TRUE(classes.WriteString("", "Reader.Document"));
    classes.CloseKey();
    ASSERT_TRUE(classes.OpenKey("Reader.Document\\shell\\open\\command", true));
    ASSERT_TRUE(classes.WriteString("", "\"" + reader + "\" \"%1\""));

    QWidget owner;
    Recorder recorder;
    OpenHelpDocument(&owner, nullptr);  // the manual beside this test program
    EXPECT_TRUE(recorder.boxes.empty());
    std::vector<pid_t> started;
    EXPECT_TRUE(WaitFor([&] {
        started = ReadersOf(reader, manual);
        return !started.empty();
    }));
    for (pid_t pid : started)
        kill(pid, SIGTERM);
}

}  // namespace
