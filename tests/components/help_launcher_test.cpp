#include "components/help_launcher.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <ostream>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"
#include "tests/support/private_registry.h"

namespace {

struct ReduceCase {
    const char* label;
    std::string commandLine;
    std::string program;
};

void PrintTo(const ReduceCase& c, std::ostream* os) {
    *os << '"' << c.label << '"';
}

class CommandLineReduction : public ::testing::TestWithParam<ReduceCase> {};

TEST_P(CommandLineReduction, GivesTheProgramPath) {
    EXPECT_EQ(ReduceReaderCommandLine(GetParam().commandLine), GetParam().program);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineReduction,
    ::testing::Values(
        ReduceCase{"QuotedExeWithQuotedArgument", R"("C:\Program Files\Reader\Reader.exe" "%1")",
                   R"(C:\Program Files\Reader\Reader.exe)"},
        ReduceCase{"UnquotedExeInCapitals", R"(C:\APPS\VIEW.EXE /p "%1")", R"(C:\APPS\VIEW.EXE)"},
        ReduceCase{"FirstExeCounts", R"("/opt/a.exe.d/Reader.exe" %1)", "/opt/a.exe"},
        ReduceCase{"EverythingAfterTheExeGoes", "\"/opt/x/Reader.exe\" " + std::string(1500, 'a'),
                   "/opt/x/Reader.exe"},
        ReduceCase{"QuotedProgramWithoutExtension", R"("/usr/bin/mupdf" "%1")", "/usr/bin/mupdf"},
        ReduceCase{"QuotedProgramWithBlanks", R"("/opt/My Reader/reader" "%1")",
                   "/opt/My Reader/reader"},
        ReduceCase{"UnquotedProgram", "/usr/bin/evince %1", "/usr/bin/evince"},
        ReduceCase{"LeadingBlanks", "   /usr/bin/evince %1", "/usr/bin/evince"},
        ReduceCase{"ProgramAlone", "/usr/bin/reader", "/usr/bin/reader"},
        ReduceCase{"UnclosedQuote", R"("/usr/bin/reader %1)", "/usr/bin/reader %1"},
        ReduceCase{"Empty", "", ""}, ReduceCase{"BlanksOnly", "   ", ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(HelpDocumentParameter, QuotesTheDocumentBesideTheModule) {
    EXPECT_EQ(HelpDocumentParameter("/opt/korva/bin/dravik"), "\"/opt/korva/bin/VIDOV.EZU\"");
    // A long module path is used whole, not cut to a fixed buffer.
    const std::string folder = "/" + std::string(300, 'd') + "/";
    EXPECT_EQ(HelpDocumentParameter(folder + "libvirelon.so"), "\"" + folder + "VIDOV.EZU\"");
}

TEST(HelpModulePath, IsTheFileOfTheModuleHoldingTheAddress) {
    EXPECT_EQ(HelpModulePath(nullptr), GetProgramFileName());
    // An address in a shared library gives that library, not the program that loaded it.
    const std::string library = HelpModulePath(reinterpret_cast<const void*>(&GetTickCount));
    EXPECT_NE(library, GetProgramFileName());
    EXPECT_NE(library.find("libkorvakernel"), std::string::npos) << library;
}

// One call to the shell, as the launcher made it.
struct ShellCall {
    void* owner = nullptr;
    std::string verb, file, parameters;
    bool directoryGiven = false;
    int show = 0;
};

class HelpLauncherTest : public ::testing::Test {
  protected:
    static void SetDefault(const std::string& key, const std::string& value) {
        TRegistry registry(KEY_ALL_ACCESS);
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(registry.OpenKey(key, true)) << key;
        ASSERT_TRUE(registry.WriteString("", value));
    }
    static void RegisterReader(const std::string& typeName, const std::string& commandLine) {
        SetDefault(".pdf", typeName);
        SetDefault(typeName.empty() ? "shell\\open\\command" : typeName + "\\shell\\open\\command",
                   commandLine);
    }
    HelpLaunch Launch(intptr_t answer = 42) {
        return LaunchHelpDocument(
            owner_, "/opt/korva/bin/dravik",
            [this, answer](void* owner, const char* verb, const char* file, const char* parameters,
                           const char* directory, int show) {
                calls_.push_back({owner, verb, file, parameters, directory != nullptr, show});
                return answer;
            });
    }

    korva::test::PrivateRegistry registry_;
    int ownerObject_ = 0;
    void* owner_ = &ownerObject_;
    std::vector<ShellCall> calls_;
};

TEST_F(HelpLauncherTest, StartsTheRegisteredReaderWithTheQuotedDocument) {
    RegisterReader("Reader.Document", R"("C:\Program Files\Reader\Reader.exe" "%1")");
    const HelpLaunch launch = Launch();
    EXPECT_TRUE(launch.started);
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].owner, owner_);
    EXPECT_EQ(calls_[0].verb, "open");
    EXPECT_EQ(calls_[0].file, R"(C:\Program Files\Reader\Reader.exe)");
    EXPECT_EQ(calls_[0].parameters, "\"/opt/korva/bin/VIDOV.EZU\"");
    EXPECT_FALSE(calls_[0].directoryGiven);
    EXPECT_EQ(calls_[0].show, 5);
}

TEST_F(HelpLauncherTest, AnyMissingKeyMeansNoReader) {
    struct Case {
        const char* label;
        std::vector<std::string> keys;  // keys created (below HKEY_CLASSES_ROOT), each empty
        bool pdfNamesType;
    };
    const Case cases[] = {
        {"nothing", {}, false},
        {"only .pdf", {".pdf"}, true},
        {"no shell", {".pdf", "Reader.Document"}, true},
        {"no open", {".pdf", "Reader.Document\\shell"}, true},
        {"no command", {".pdf", "Reader.Document\\shell\\open"}, true},
        {"command elsewhere", {".pdf", "Other\\shell\\open\\command"}, true},
    };
    for (const Case& c : cases) {
        {
            TRegistry registry(KEY_ALL_ACCESS);
            registry.SetRootKey(HKEY_CLASSES_ROOT);
            for (const char* key : {".pdf", "Reader.Document", "Other", "shell"})
                registry.DeleteKey(key);
            for (const std::string& key : c.keys)
                ASSERT_TRUE(registry.CreateKey(key));
        }
        if (c.pdfNamesType)
            SetDefault(".pdf", "Reader.Document");
        calls_.clear();
        const HelpLaunch launch = Launch();
        EXPECT_FALSE(launch.readerRegistered) << c.label;
        EXPECT_FALSE(launch.started) << c.label;
        EXPECT_TRUE(calls_.empty()) << c.label;
    }
}

TEST_F(HelpLauncherTest, EmptyTypeNameLooksForShellUnderTheRoot) {
    RegisterReader("", R"("/opt/reader/Reader.exe" "%1")");
    const HelpLaunch launch = Launch();
    EXPECT_TRUE(launch.started);
    EXPECT_EQ(launch.program, "/opt/reader/Reader.exe");
}

TEST_F(HelpLauncherTest, ShellAnswerOf32OrLessIsAFailedStart) {
    RegisterReader("Reader.Document", R"(/usr/bin/reader "%1")");
    for (intptr_t answer : {0, 2, 31, 32}) {
        const HelpLaunch launch = Launch(answer);
        EXPECT_TRUE(launch.readerRegistered);
        EXPECT_FALSE(launch.started) << answer;
    }
    EXPECT_TRUE(Launch(33).started);
}

TEST_F(HelpLauncherTest, KeysThatAllowOnlyReadingStillServe) {
    RegisterReader("Reader.Document", R"("/opt/reader/Reader.exe" "%1")");
    TRegistry registry(KEY_ALL_ACCESS);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    for (const char* key :
         {".pdf", "Reader.Document", "Reader.Document\\shell", "Reader.Document\\shell\\open",
          "Reader.Document\\shell\\open\\command"})
        ASSERT_TRUE(registry.SetKeyAccess(key, KeyAccess::ReadOnly)) << key;
    EXPECT_TRUE(Launch().started);
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].file, "/opt/reader/Reader.exe");
}

TEST_F(HelpLauncherTest, FailureReachesTheMessageHookWithTheOwner) {
    std::vector<std::pair<void*, std::string>> messages;
    const HelpMessageHook previous = SetHelpMessageHook(
        [&](void* owner, const std::string& text) { messages.emplace_back(owner, text); });
    EXPECT_FALSE(RunHelpDocument(owner_, nullptr));
    SetHelpMessageHook(previous);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, owner_);
    EXPECT_EQ(messages[0].second, "PDF Reader not found!");
}

// The whole way through the platform's shell: a registered "reader" that notes its argument.
TEST_F(HelpLauncherTest, RealStartPassesTheDocumentPathAsOneArgument) {
    const std::string dir = korva::test::MakeTempDirectory("korva-help-");
    const std::string reader = dir + "/Reader.exe";
    const std::string marker = dir + "/argument";
    {
        std::ofstream script(reader);
        script << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" << marker << ".part' && mv '"
               << marker << ".part' '" << marker << "'\n";
    }
    ASSERT_EQ(chmod(reader.c_str(), 0700), 0);
    RegisterReader("Reader.Document", "\"" + reader + "\" \"%1\"");

    const std::string module = dir + "/My Programs/dravik";
    const HelpLaunch launch = LaunchHelpDocument(nullptr, module);
    EXPECT_TRUE(launch.started) << "shell answer " << launch.shellAnswer;

    std::string noted;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(marker);
        if (in) {
            std::stringstream text;
            text << in.rdbuf();
            noted = text.str();
            break;
        }
        std::this_thread::yield();
    }
    EXPECT_EQ(noted, "1|" + dir + "/My Programs/VIDOV.EZU");
    korva::test::RemoveTree(dir);
}

}  // namespace
