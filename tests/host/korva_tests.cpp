// korva end to end: the program run as a child process on model files in a private folder, with
// the real block library and the fault-injecting OPC server in a private registry.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "korva_process.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace korva::test {
namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

class KorvaTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        registry_ = new PrivateRegistry;
        ASSERT_EQ(RegisterFaultServer(), S_OK);
        runtime_ = MakeTempDirectory("korva-runtime-");
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    static void TearDownTestSuite() {
        RemoveTree(runtime_);
        delete registry_;
    }
    void SetUp() override { folder_ = MakeTempDirectory("korva-models-"); }
    void TearDown() override { RemoveTree(folder_); }

    ProcessResult Korva(const std::vector<std::string>& args) {
        return RunProgram(KORVA_PROGRAM_PATH, args);
    }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        return names;
    }

    static PrivateRegistry* registry_;
    static std::string runtime_;
    std::string folder_;
};
PrivateRegistry* KorvaTest::registry_ = nullptr;
std::string KorvaTest::runtime_;

TEST_F(KorvaTest, EveryCommandHasHelp) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                          {"new", "--help"},
                                          {"set", "--help"},
                                          {"info", "--help"},
                                          {"run", "--help"},
                                          {"edit", "--help"}}) {
        const ProcessResult result = Korva(args);
        EXPECT_EQ(result.exitCode, 0) << args[0];
        EXPECT_NE(result.out.find("Usage: korva"), std::string::npos) << args[0];
    }
}

TEST_F(KorvaTest, BadUsageExitsWithTwo) {
    WriteFile("m.kmd", "");
    const std::string m = Path("m.kmd");
    for (std::vector<std::string> args :
         {std::vector<std::string>{},
          {"bogus"},
          {"run"},
          {"run", m, "--steps", "0"},
          {"run", m, "--steps", "5", "--duration", "1"},
          {"run", m, "--step", "-1"},
          {"run", m, "--step", "nan"},
          {"run", m, "--frobnicate"},
          {"new", m},
          {"new", m, "--library", "libvirelon.so"},
          {"new", m, "--server", "X"},
          {"new", m, "--library", "libvirelon.so", "--name", "B", "--pause", "soon"},
          {"set", m},
          {"info"}}) {
        const ProcessResult result = Korva(args);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(args) << result.err;
        EXPECT_FALSE(result.err.empty()) << ::testing::PrintToString(args);
    }
}

TEST_F(KorvaTest, NewWritesTheModelAndInfoShowsIt) {
    const std::string m = Path("plant.kmd");
    const ProcessResult made = Korva(
        {"new", m, "--library", "libvirelon.so", "--name", "Tank 1", "--server", "OPCFault.Server",
         "--item", "Number.R8", "--item", "Plant.Line1.Section4.Device17.Temperature.Value",
         "--log", "--pause", "20", "--update-rate", "250", "--name", "Spare"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(ReadAll(m), Lines({"KORVA MODEL 1",
                                 "library libvirelon.so",
                                 "block Tank 1",
                                 "801265",
                                 "",
                                 "OPCFault.Server",
                                 "2",
                                 "Number.R8",
                                 "Plant.Line1.Section4.Device17.Temperature.Value",
                                 "1",
                                 "0",
                                 "1",
                                 "20",
                                 "250",
                                 "end block",
                                 "block Spare",
                                 "801265",
                                 "",
                                 "",
                                 "0",
                                 "0",
                                 "0",
                                 "0",
                                 "100",
                                 "0",
                                 "end block",
                                 "end model"}));

    const ProcessResult info = Korva({"info", m});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    for (const char* expected :
         {"Library: OPC Client Input", "Block \"Tank 1\"", "Can simulate: yes", "Outputs: 2",
          "Plant.Line1.Section4.Device17.Temperatur\n",  // the output name, cut at 40
          "Run log: on", "Pause: fixed, 20 ms", "Group update rate: 250 ms", "Block \"Spare\"",
          "Can simulate: no", "Outputs: 0"})
        EXPECT_NE(info.out.find(expected), std::string::npos) << expected << "\n" << info.out;
}

TEST_F(KorvaTest, SetChangesOneBlockAndSavesAtomically) {
    const std::string m = Path("m.kmd");
    ASSERT_EQ(
        Korva({"new", m, "--library", "libvirelon.so", "--name", "A", "--name", "B"}).exitCode, 0);
    const ProcessResult set = Korva({"set", m, "--block", "B", "--server", "OPCFault.Server",
                                     "--add-item", "Bool.True", "--check-state"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const std::string text = ReadAll(m);
    EXPECT_NE(
        text.find(Lines({"block B", "801265", "", "OPCFault.Server", "1", "Bool.True", "0", "1"})),
        std::string::npos)
        << text;
    EXPECT_NE(text.find(Lines({"block A", "801265", "", "", "0"})), std::string::npos);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"m.kmd"}) << "no temporary file left";

    const ProcessResult ambiguous = Korva({"set", m, "--server", "X"});
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_NE(ambiguous.err.find("name one with --block"), std::string::npos);
    const ProcessResult unknown = Korva({"set", m, "--block", "C", "--server", "X"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(ReadAll(m), text) << "failed commands leave the model alone";
}

TEST_F(KorvaTest, NewRefusesWhatTheRecordCannotHold) {
    const std::string m = Path("m.kmd");
    std::vector<std::string> args = {"new", m, "--library", "libvirelon.so", "--name", "B"};
    for (int k = 0; k < 51; ++k)
        args.insert(args.end(), {"--item", "I" + std::to_string(k)});
    ProcessResult result = Korva(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("at most 50 items"), std::string::npos) << result.err;
    result = Korva(
        {"new", m, "--library", "libvirelon.so", "--name", "B", "--item", std::string(999, 'x')});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("longer than 998"), std::string::npos) << result.err;
    result = Korva(
        {"new", m, "--library", "libvirelon.so", "--name", "B", "--server", "\xE4\xB8\xAD.Server"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("system code page"), std::string::npos) << result.err;
    EXPECT_TRUE(FolderEntries().empty()) << "no model is written";
}

TEST_F(KorvaTest, NewKeepsAnExistingModelUnlessForced) {
    const std::string m = Path("m.kmd");
    WriteFile("m.kmd", "mine");
    EXPECT_EQ(Korva({"new", m, "--library", "libvirelon.so", "--name", "B"}).exitCode, 1);
    EXPECT_EQ(ReadAll(m), "mine");
    EXPECT_EQ(Korva({"new", m, "--library", "libvirelon.so", "--name", "B", "--force"}).exitCode,
              0);
    EXPECT_EQ(ReadAll(m).rfind("KORVA MODEL 1\r\n", 0), 0u);
}

TEST_F(KorvaTest, MissingLibraryOrEntryPointIsNamed) {
    WriteFile("missing.kmd", Lines({"KORVA MODEL 1", "library libnosuchblock.so", "end model"}));
    ProcessResult result = Korva({"info", Path("missing.kmd")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot load the block library"), std::string::npos) << result.err;

    WriteFile("partial.kmd", Lines({"KORVA MODEL 1", "library " PARTIAL_BLOCK_PATH, "end model"}));
    result = Korva({"run", Path("partial.kmd")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("lacks the entry point DisposeUserDLL"), std::string::npos)
        << result.err;
}

TEST_F(KorvaTest, DamagedModelFilesAreRefused) {
    const std::string record =
        Lines({"801265", "", "OPCFault.Server", "0", "0", "0", "0", "100", "0"});
    struct Case {
        const char* what;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"empty", "", "is not a korva model file"},
        {"another header", Lines({"KORVA MODEL 2"}), "is not a korva model file"},
        {"LF line ends", "KORVA MODEL 1\nlibrary libvirelon.so\n", "is not a korva model file"},
        {"no library line", Lines({"KORVA MODEL 1", "block B"}), "library NAME"},
        {"ends early", Lines({"KORVA MODEL 1", "library libvirelon.so", "block B"}) + "8012",
         "does not end where"},
        {"record too short",
         Lines({"KORVA MODEL 1", "library libvirelon.so", "block B", "801265", "", "S", "2", "One",
                "end block", "end model"}),
         "does not end where"},
        {"no end model",
         Lines({"KORVA MODEL 1", "library libvirelon.so", "block B"}) + record +
             Lines({"end block"}),
         "ends before \"end model\""},
        {"stray line", Lines({"KORVA MODEL 1", "library libvirelon.so", "blok B"}),
         "expected \"block NAME\""},
        {"twice the same name",
         Lines({"KORVA MODEL 1", "library libvirelon.so", "block B"}) + record +
             Lines({"end block", "block B"}) + record + Lines({"end block", "end model"}),
         "two blocks are named"},
        {"data after the end",
         Lines({"KORVA MODEL 1", "library libvirelon.so", "end model", "more"}), "data follows"},
    };
    for (const Case& c : cases) {
        WriteFile("d.kmd", c.text);
        const ProcessResult result = Korva({"info", Path("d.kmd")});
        EXPECT_EQ(result.exitCode, 1) << c.what;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.what << ": " << result.err;
    }
}

TEST_F(KorvaTest, BlockThatCannotSimulateStopsTheRun) {
    const std::string m = Path("m.kmd");
    ASSERT_EQ(Korva({"new", m, "--library", "libvirelon.so", "--name", "Idle"}).exitCode, 0);
    const ProcessResult result = Korva({"run", m, "--steps", "2", "--csv", Path("out.csv")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("block \"Idle\" cannot simulate"), std::string::npos) << result.err;
    EXPECT_EQ(::access(Path("out.csv").c_str(), F_OK), -1) << "nothing was started";
}

TEST_F(KorvaTest, RunWritesEveryStepAsCsv) {
    const std::string m = Path("m.kmd");
    ASSERT_EQ(Korva({"new", m, "--library", "libvirelon.so", "--name", "B", "--server",
                     "OPCFault.Server", "--item", "Number.R8", "--item", "Bool.True", "--item",
                     "Text.Comma", "--item", "Text.Thousands"})
                  .exitCode,
              0);
    const ProcessResult run =
        Korva({"run", m, "--duration", "1", "--step", "0.25", "--csv", Path("out.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadAll(Path("out.csv")),
              "time,Number.R8,Bool.True,Text.Comma,Text.Thousands\n"
              "0,2.5,5,3.5,-77777\n"
              "0.25,2.5,5,3.5,-77777\n"
              "0.5,2.5,5,3.5,-77777\n"
              "0.75,2.5,5,3.5,-77777\n");
    EXPECT_NE(run.out.find("Ran 4 steps of 0.25 s (1 s simulated)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Number.R8"), std::string::npos) << "the summary names the outputs";

    const ProcessResult toStdout = Korva({"run", m, "--steps", "1", "--csv", "-"});
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out,
              "time,Number.R8,Bool.True,Text.Comma,Text.Thousands\n"
              "0,2.5,5,3.5,-77777\n");
    EXPECT_NE(toStdout.err.find("Ran 1 steps"), std::string::npos) << "the summary goes aside";
}

TEST_F(KorvaTest, SeveralBlocksRunTogether) {
    const std::string m = Path("m.kmd");
    ASSERT_EQ(Korva({"new", m, "--library", "libvirelon.so", "--name", "A", "--server",
                     "OPCFault.Server", "--item", "Number.I4", "--name", "B,2", "--server",
                     "OPCFault.Server", "--item", "Number.R8"})
                  .exitCode,
              0);
    const ProcessResult run = Korva({"run", m, "--steps", "2", "--csv", "-"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "time,A/Number.I4,\"B,2/Number.R8\"\n0,42,2.5\n0.1,42,2.5\n");
}

// The dialog itself is driven in tests/plugin/ui (korva_edit_tests).
TEST_F(KorvaTest, EditOfAMissingModelFails) {
    const ProcessResult result = Korva({"edit", Path("m.kmd")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("m.kmd"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace korva::test
