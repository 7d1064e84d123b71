// The reg tool run as a process on the test's private registry: round trips, messages and
// exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"
#include "tests/support/private_registry.h"

extern char** environ;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class RegToolTest : public ::testing::Test {
  protected:
    // Runs the tool with the test's environment (its private KORVA_REGISTRY), the standard
    // input from a file (by default /dev/null: no terminal, so nothing is confirmed) and the
    // outputs in files.
    Outcome Run(const std::vector<std::string>& arguments, const std::string& input = "/dev/null") {
        const std::string outPath = work_ + "/stdout";
        const std::string errPath = work_ + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<std::string> all{REG_TOOL_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t child = 0;
        Outcome outcome;
        const int spawned =
            posix_spawn(&child, REG_TOOL_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << REG_TOOL_PATH;
            return outcome;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ADD_FAILURE() << "reg did not end";
                return outcome;
            }
            std::this_thread::yield();
        }
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = ReadFile(outPath);
        outcome.err = ReadFile(errPath);
        return outcome;
    }

    std::string Path(const std::string& name) const { return work_ + "/" + name; }

    korva::test::PrivateRegistry privateRegistry_;
    const std::string work_ = privateRegistry_.directory();
};

void Populate() {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Felmaran\\Quintor 8\\General Settings", true));
    ASSERT_TRUE(registry.WriteString("Default User", "Jürgen \"JD\" Doe"));
    ASSERT_TRUE(registry.WriteString("Temp Path", "C:\\Temp\\"));
    ASSERT_TRUE(registry.WriteString("", "default text"));
    ASSERT_TRUE(registry.WriteString("Two Lines", "one\ntwo"));
    ASSERT_TRUE(registry.WriteInteger("Default Float Width", 16));
    RegValue value;
    value.type = REG_BINARY;
    for (int i = 0; i < 100; ++i)
        value.data.push_back(static_cast<uint8_t>(i * 3));
    ASSERT_TRUE(registry.WriteValue("Blob", value));
    value = {};
    value.type = REG_QWORD;
    value.number = 1ull << 40;
    ASSERT_TRUE(registry.WriteValue("Big", value));
    value = {};
    value.type = REG_MULTI_SZ;
    value.data = MultiStringData({"a", "b c"});
    ASSERT_TRUE(registry.WriteValue("List", value));
    ASSERT_TRUE(registry.CreateKey("\\Software\\Felmaran\\Quintor 8\\Empty"));
    ASSERT_TRUE(registry.CreateKey("\\Software\\Felmaran\\Quintor 7"));
}

TEST_F(RegToolTest, ExportDeleteImportGivesBackTheSameTree) {
    Populate();
    const std::string before = Path("before.reg");
    Outcome exported = Run({"export", "HKCU\\Software\\Felmaran", before});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;

    Outcome deleted = Run({"delete", "HKEY_CURRENT_USER\\Software\\Felmaran", "/f"});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.err;
    TRegistry registry;
    EXPECT_FALSE(registry.KeyExists("Software\\Felmaran"));

    Outcome imported = Run({"import", before});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(imported.out, "The operation completed successfully.\n");

    const std::string after = Path("after.reg");
    ASSERT_EQ(Run({"export", "hkcu\\software\\felmaran", after}).exitCode, 0);
    EXPECT_EQ(ReadFile(after), ReadFile(before));
    ASSERT_TRUE(registry.OpenKey("Software\\Felmaran\\Quintor 8\\General Settings", false));
    EXPECT_EQ(registry.ReadString("Default User"), "Jürgen \"JD\" Doe");
    EXPECT_EQ(registry.ReadString("Two Lines"), "one\ntwo");
    EXPECT_EQ(registry.ReadValue("Big")->number, 1ull << 40);
}

TEST_F(RegToolTest, ImportsAHandWrittenFileWithEscapesAndHexValues) {
    const std::string file = Path("hand.reg");
    WriteFile(file,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\.pdf]\r\n"
              "@=\"PdfFile\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\PdfFile\\shell\\open\\command]\r\n"
              "@=\"\\\"C:\\\\Program Files\\\\Reader\\\\Reader.exe\\\" \\\"%1\\\"\"\r\n"
              "\"Flags\"=hex:de,ad,\\\r\n"
              "  be,ef\r\n"
              "\"Where\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n");
    Outcome imported = Run({"import", file});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;

    Outcome query = Run({"query", "HKCR\\PdfFile\\shell\\open\\command"});
    ASSERT_EQ(query.exitCode, 0) << query.err;
    EXPECT_EQ(query.out,
              "\nHKEY_CLASSES_ROOT\\PdfFile\\shell\\open\\command\n"
              "    (Default)    REG_SZ    \"C:\\Program Files\\Reader\\Reader.exe\" \"%1\"\n"
              "    Flags    REG_BINARY    DEADBEEF\n"
              "    Where    REG_EXPAND_SZ    %PATH%\n");
    Outcome one = Run({"query", "HKCR\\.pdf", "/ve"});
    EXPECT_EQ(one.out, "\nHKEY_CLASSES_ROOT\\.pdf\n    (Default)    REG_SZ    PdfFile\n");
}

TEST_F(RegToolTest, ABrokenFileIsReportedWithItsLineAndImportsNothing) {
    Populate();
    const std::string before = Path("before.reg");
    ASSERT_EQ(Run({"export", "HKCU\\Software", before}).exitCode, 0);
    const std::string broken = Path("broken.reg");
    WriteFile(broken,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKCU\\Software\\Felmaran\\Quintor 8\\General Settings]\n"
              "\"Default User\"=\"changed\"\n"
              "[-HKCU\\Software\\Felmaran\\Quintor 7]\n"
              "[HKCU\\Software\\New]\n"
              "\"x\"=dword:xyz\n");
    Outcome imported = Run({"import", broken});
    EXPECT_EQ(imported.exitCode, 1);
    EXPECT_NE(imported.err.find(broken + ":7: a dword value needs"), std::string::npos)
        << imported.err;
    const std::string after = Path("after.reg");
    ASSERT_EQ(Run({"export", "HKCU\\Software", after}).exitCode, 0);
    EXPECT_EQ(ReadFile(after), ReadFile(before));
}

TEST_F(RegToolTest, AddsValuesOfEveryType) {
    struct Case {
        std::vector<std::string> add;
        std::string shown;
    } cases[] = {
        {{"/v", "s", "/d", "text with \\ and \""}, "s    REG_SZ    text with \\ and \""},
        {{"/v", "e", "/t", "REG_EXPAND_SZ", "/d", "%HOME%"}, "e    REG_EXPAND_SZ    %HOME%"},
        {{"/v", "d", "/t", "reg_dword", "/d", "4294967295"}, "d    REG_DWORD    0xffffffff"},
        {{"/v", "h", "/t", "REG_DWORD", "/d", "0x1F"}, "h    REG_DWORD    0x1f"},
        {{"/v", "q", "/t", "REG_QWORD", "/d", "0x123456789"}, "q    REG_QWORD    0x123456789"},
        {{"/v", "b", "/t", "REG_BINARY", "/d", "00ff10"}, "b    REG_BINARY    00FF10"},
        {{"/v", "m", "/t", "REG_MULTI_SZ", "/d", "a\\0b"}, "m    REG_MULTI_SZ    a\\0b"},
        {{"/v", "m2", "/t", "REG_MULTI_SZ", "/d", "a;b", "/s", ";"}, "m2    REG_MULTI_SZ    a\\0b"},
        {{"/v", "n", "/t", "REG_NONE"}, "n    REG_NONE    "},
        {{"/ve", "/d", "dflt"}, "(Default)    REG_SZ    dflt"},
        {{"/d", "implied default"}, "(Default)    REG_SZ    implied default"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"add", "HKCU\\Software\\Typed"};
        arguments.insert(arguments.end(), c.add.begin(), c.add.end());
        arguments.push_back("/f");
        Outcome added = Run(arguments);
        ASSERT_EQ(added.exitCode, 0) << c.shown << ": " << added.err;
        std::vector<std::string> query{"query", "HKCU\\Software\\Typed"};
        if (c.add[0] == "/v") {
            query.push_back("/v");
            query.push_back(c.add[1]);
        } else {
            query.push_back("/ve");
        }
        Outcome shown = Run(query);
        EXPECT_EQ(shown.out, "\nHKEY_CURRENT_USER\\Software\\Typed\n    " + c.shown + "\n");
    }
}

TEST_F(RegToolTest, RefusesBadInputWithAClearMessage) {
    Populate();
    WriteFile(Path("exists.reg"), "x");
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    } cases[] = {
        {{}, 2, "Usage: reg COMMAND"},
        {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
        {{"query", "HKLM\\Software"}, 1, "unknown hive \"HKLM\""},
        {{"query", "HKCU\\Software\\Missing"},
         1,
         "cannot open HKEY_CURRENT_USER\\Software\\Missing: key not found"},
        {{"query", "HKCU\\Software", "/v", "nope"}, 1, "no value \"nope\""},
        {{"query", "HKCU\\Software", "/v", "a", "/ve"}, 2, "only one of /v, /ve and /va"},
        {{"query"}, 2, "missing KEY"},
        {{"query", "HKCU\\A", "HKCU\\B"}, 2, "unexpected argument \"HKCU\\B\""},
        {{"add", "HKCU\\A", "/v"}, 2, "/v needs an argument"},
        {{"add", "HKCU\\A", "/v", "x", "/v", "y"}, 2, "given twice"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_FLOAT"}, 2, "unknown type \"REG_FLOAT\""},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_DWORD", "/d", "4294967296"},
         2,
         "not a REG_DWORD number"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_DWORD", "/d", "-1"}, 2, "not a REG_DWORD number"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_BINARY", "/d", "abc"},
         2,
         "not hexadecimal bytes"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, 2, "empty string"},
        {{"add", "HKCU\\Software\\Felmaran\\Quintor 8\\General Settings", "/v", "Temp Path", "/d",
          "x"},
         1,
         "use /f to overwrite"},
        {{"delete", "HKCU\\Software\\Felmaran"}, 1, "use /f to delete"},
        {{"delete", "HKCU\\Software\\Missing", "/f"}, 1, "key not found"},
        {{"delete", "HKCU", "/f"}, 1, "root key cannot be deleted"},
        {{"delete", "HKCU\\Software\\Felmaran\\Quintor 8\\General Settings", "/v", "nope", "/f"},
         1,
         "no value nope"},
        {{"export", "HKCU\\Software", Path("exists.reg")}, 1, "use /y to overwrite"},
        {{"export", "HKCU\\Software\\Missing", Path("new.reg")}, 1, "key not found"},
        {{"export", "HKCU\\Software", Path("no/such/dir.reg")}, 1, "cannot write"},
        {{"import", Path("missing.reg")}, 1, "cannot open " + Path("missing.reg")},
        {{"import", Path("exists.reg")}, 1, Path("exists.reg") + ":1: not a registry file"},
        {{"access", "HKCU\\Software", "write"}, 2, "unknown rights \"write\""},
        {{"access", "HKCU\\Software\\Missing"}, 1, "key not found"},
    };
    const std::string before = ReadFile(Path("exists.reg"));
    TRegistry check;
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        Outcome outcome = Run(arguments);
        std::string shown;
        for (const std::string& argument : arguments)
            shown += argument + " ";
        EXPECT_EQ(outcome.exitCode, c.exitCode) << shown << "\n" << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << shown << "\n" << outcome.err;
        EXPECT_EQ(outcome.out, "") << shown;
    }
    // Nothing of the refused commands reached the registry or the files.
    EXPECT_FALSE(check.KeyExists("A"));
    EXPECT_TRUE(check.KeyExists("Software\\Felmaran"));
    ASSERT_TRUE(check.OpenKey("Software\\Felmaran\\Quintor 8\\General Settings", false));
    EXPECT_EQ(check.ReadString("Temp Path"), "C:\\Temp\\");
    EXPECT_EQ(ReadFile(Path("exists.reg")), before);
    EXPECT_EQ(ReadFile(Path("new.reg")), "");
}

TEST_F(RegToolTest, AccessMakesAKeyReadOnlyAndBack) {
    Populate();
    const std::string key = "HKCU\\Software\\Felmaran\\Quintor 8";
    EXPECT_EQ(Run({"access", key}).out, "full\n");
    ASSERT_EQ(Run({"access", key, "read"}).exitCode, 0);
    EXPECT_EQ(Run({"access", key}).out, "read\n");

    TRegistry registry;
    EXPECT_FALSE(registry.OpenKey("Software\\Felmaran\\Quintor 8", false));
    EXPECT_TRUE(registry.OpenKeyReadOnly("Software\\Felmaran\\Quintor 8"));
    Outcome added = Run({"add", key, "/v", "x", "/d", "y", "/f"});
    EXPECT_EQ(added.exitCode, 1);
    EXPECT_NE(added.err.find("access denied"), std::string::npos) << added.err;
    Outcome deleted = Run({"delete", "HKCU\\Software\\Felmaran", "/f"});
    EXPECT_EQ(deleted.exitCode, 1);
    EXPECT_NE(deleted.err.find("access denied"), std::string::npos) << deleted.err;

    ASSERT_EQ(Run({"access", key, "FULL"}).exitCode, 0);
    EXPECT_TRUE(registry.OpenKey("\\Software\\Felmaran\\Quintor 8", false));
}

TEST_F(RegToolTest, DeletesValuesOrAllValuesOfAKey) {
    Populate();
    const std::string key = "HKCU\\Software\\Felmaran\\Quintor 8\\General Settings";
    ASSERT_EQ(Run({"delete", key, "/v", "TEMP PATH", "/f"}).exitCode, 0);
    ASSERT_EQ(Run({"delete", key, "/ve", "/f"}).exitCode, 0);
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Felmaran\\Quintor 8\\General Settings", false));
    EXPECT_FALSE(registry.ValueExists("Temp Path"));
    EXPECT_FALSE(registry.ValueExists(""));
    EXPECT_TRUE(registry.ValueExists("Default User"));

    ASSERT_EQ(Run({"delete", "HKCU\\Software\\Felmaran\\Quintor 8", "/va", "/f"}).exitCode, 0);
    EXPECT_TRUE(registry.ValueExists("Default User")) << "/va leaves the sub-keys' values";
    ASSERT_EQ(Run({"delete", key, "/va", "/f"}).exitCode, 0);
    EXPECT_TRUE(registry.GetValueNames().empty());
    EXPECT_TRUE(registry.KeyExists("\\Software\\Felmaran\\Quintor 8\\General Settings"));
}

TEST_F(RegToolTest, QueryListsValuesAndSubKeysOrSearchesTheTree) {
    Populate();
    Outcome flat = Run({"query", "HKCU\\Software\\Felmaran\\Quintor 8"});
    EXPECT_EQ(flat.out,
              "\nHKEY_CURRENT_USER\\Software\\Felmaran\\Quintor 8\n\n"
              "HKEY_CURRENT_USER\\Software\\Felmaran\\Quintor 8\\Empty\n"
              "HKEY_CURRENT_USER\\Software\\Felmaran\\Quintor 8\\General Settings\n");
    Outcome search = Run({"query", "HKCU\\Software", "/v", "default user", "/s"});
    EXPECT_EQ(search.exitCode, 0);
    EXPECT_EQ(search.out,
              "\nHKEY_CURRENT_USER\\Software\\Felmaran\\Quintor 8\\General Settings\n"
              "    Default User    REG_SZ    Jürgen \"JD\" Doe\n");
    Outcome tree = Run({"query", "HKCU\\Software\\Felmaran", "/s"});
    EXPECT_NE(tree.out.find("\nHKEY_CURRENT_USER\\Software\\Felmaran\\Quintor 7\n"),
              std::string::npos);
    EXPECT_NE(tree.out.find("    Default Float Width    REG_DWORD    0x10\n"), std::string::npos);
}

TEST_F(RegToolTest, ImportsFromStandardInputAndExportsToStandardOutput) {
    Populate();
    Outcome exported = Run({"export", "HKCU\\Software\\Felmaran\\Quintor 7", "-"});
    ASSERT_EQ(exported.exitCode, 0);
    EXPECT_EQ(exported.out,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Felmaran\\Quintor 7]\n\n");

    const std::string input = Path("input.reg");
    WriteFile(input,
              "Windows Registry Editor Version 5.00\n\n[HKCU\\Piped]\n\"v\"=\"1\"\n\"w\"=x\n");
    Outcome broken = Run({"import", "-"}, input);
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("(standard input):5: unknown value data"), std::string::npos)
        << broken.err;
    TRegistry registry;
    EXPECT_FALSE(registry.KeyExists("Piped"));
    WriteFile(input, "Windows Registry Editor Version 5.00\n\n[HKCU\\Piped]\n\"v\"=\"1\"\n");
    ASSERT_EQ(Run({"import", "-"}, input).exitCode, 0);
    ASSERT_TRUE(registry.OpenKey("Piped", false));
    EXPECT_EQ(registry.ReadString("v"), "1");
}

TEST_F(RegToolTest, PrintsHelp) {
    struct Case {
        std::vector<std::string> arguments;
        const char* starts;
    } cases[] = {
        {{"/?"}, "Usage: reg COMMAND"},          {{"-?"}, "Usage: reg COMMAND"},
        {{"query", "/?"}, "Usage: reg query"},   {{"ADD", "/?"}, "Usage: reg add"},
        {{"delete", "-?"}, "Usage: reg delete"}, {{"export", "/?"}, "Usage: reg export"},
        {{"import", "/?"}, "Usage: reg import"}, {{"access", "/?"}, "Usage: reg access"},
    };
    for (const Case& c : cases) {
        Outcome help = Run(c.arguments);
        EXPECT_EQ(help.exitCode, 0) << c.starts;
        EXPECT_EQ(help.out.rfind(c.starts, 0), 0u) << help.out;
    }
}

}  // namespace
