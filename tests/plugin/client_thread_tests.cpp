// The acquisition thread and the simulation calls of one block, against the fault-injecting OPC
// server: values, log lines, pauses, reconnection and the end of a run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "opc/opc_da.h"
#include "platform/kernel/kernel.h"
#include "plugin/client_thread.h"
#include "plugin/simulation.h"
#include "plugin/virelon_data.h"
#include "plugin_test_support.h"
#include "tests/fixtures/opc/fault_server.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace virelon {
namespace {

using namespace std::chrono_literals;
using test::CountStartingWith;
using test::FilesStartingWith;
using test::LogLines;
using test::ReadWholeFile;
using test::WaitUntil;

class ClientThreadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        registry_ = new korva::test::PrivateRegistry;
        ASSERT_EQ(korva::test::RegisterFaultServer(), S_OK);
        ASSERT_TRUE(Fault().loaded);
    }
    static void TearDownTestSuite() {
        delete registry_;
        registry_ = nullptr;
    }
    static const OpcFaultApi& Fault() { return OpcFaultApi::Get(); }

    void SetUp() override {
        Fault().Reset();
        logDirectory_ = korva::test::MakeTempDirectory("virelon-log");
        SetRunLogDirectory(logDirectory_);
        data_.Server = u"" OPC_FAULT_SERVER_VI_PROGID;
    }
    void TearDown() override {
        if (data_.Simulating)
            EndSimulation(data_);
        SetRunLogDirectory("");
        SetTickCountSource({});
        Fault().Reset();
        korva::test::RemoveTree(logDirectory_);
    }

    void Configure(const OpcFaultConfig& config) { ASSERT_EQ(Fault().Configure(&config), S_OK); }
    void SetItems(std::initializer_list<const char*> ids) {
        data_.Count = 0;
        for (const char* id : ids)
            data_.ItemIDs[data_.Count++] = id;
    }
    // A fixed pause far longer than any test: after its first cycle the thread waits.
    void PauseAfterEachCycle(int32_t ms = 60000) {
        data_.DelayMode = 1;
        data_.DelayTime = ms;
    }
    void Start() { InitSimulation(data_, blockName_.c_str(), outputs_); }
    bool WaitForCycles(uint32_t cycles) {
        return WaitUntil([&] { return data_.Thread->CyclesDone.load() >= cycles; });
    }
    long double Output(int k) const { return FromExtended80(outputs_ + 10 * k); }
    OpcFaultStats Stats() const {
        OpcFaultStats stats{};
        Fault().GetStats(&stats);
        return stats;
    }
    // The lines of the run's log; fails the test when there is not exactly one log file.
    std::vector<std::string> Log() {
        const auto files = FilesStartingWith(logDirectory_, "Virin_");
        EXPECT_EQ(files.size(), 1u);
        if (files.size() != 1)
            return {};
        bool wellFormed = false;
        auto lines = LogLines(ReadWholeFile(logDirectory_ + "/" + files[0]), &wellFormed);
        EXPECT_TRUE(wellFormed) << "every line ends with CR LF";
        return lines;
    }

    static korva::test::PrivateRegistry* registry_;
    std::string logDirectory_;
    std::string blockName_ = "Block 1";
    TVirelonData data_;
    uint8_t outputs_[10 * 50] = {};
};
korva::test::PrivateRegistry* ClientThreadTest::registry_ = nullptr;

TEST_F(ClientThreadTest, ConvertsEveryKindOfItemText) {
    const OpcFaultItem items[] = {
        {"Text.Pi", VT_BSTR, "3,14", 0, 0, 0, 0, 0},
        {"Text.Thousands", VT_BSTR, "1,234,5", 0, 0, 0, 0, 0},
        {"Text.Empty", VT_BSTR, "", 0, 0, 0, 0, 0},
        {"Bool.On", VT_BOOL, "true", 0, 0, 0, 0, 0},
        {"Bool.Off", VT_BOOL, "false", 0, 0, 0, 0, 0},
        {"Number.R8", VT_R8, "2.5", 0, 0, 0, 0, 0},
        {"Number.Bad", VT_I4, "7", 0, OPC_FAULT_QUALITY(OPC_QUALITY_BAD), 0, 0, 0},
        {"Read.Fails", VT_R8, "1", 0, 0, 0, E_FAIL, 0},
    };
    OpcFaultConfig config{};
    config.items = items;
    config.itemCount = std::size(items);
    Configure(config);
    SetItems({"Text.Pi", "Text.Thousands", "Text.Empty", "Bool.On", "Bool.Off", "Number.R8",
              "Number.Bad", "Read.Fails", "No.Such.Item"});
    data_.WriteLogFile = 1;
    PauseAfterEachCycle();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return data_.Thread->FirstCycleDone.load(); }));
    Simulate(data_, 1.0L, 2.0L, outputs_);
    const long double expected[] = {3.14L, ConversionFailedValue, ConversionFailedValue,
                                    BoolTrueValue, 0.0L, 2.5L,
                                    // the quality is not looked at
                                    7.0L, ReadFailedValue, ReadFailedValue};
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(Output(k), expected[k]) << "item " << k + 1;

    const auto start = std::chrono::steady_clock::now();
    EndSimulation(data_);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s)
        << "the end of a run does not wait for the 60 s pause";

    const auto lines = Log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front().rfind("InitSimulation at ", 0), 0u);
    EXPECT_EQ(lines.back().rfind("EndSimulation at ", 0), 0u);
    EXPECT_EQ(CountStartingWith(lines, "GroupAddItem failed for No.Such.Item at "), 1u);
    EXPECT_EQ(CountStartingWith(lines, "Connected successfully at "), 1u);
    EXPECT_EQ(CountStartingWith(lines, "StrToFloat failed for 1.234,5 "), 1u);
    EXPECT_EQ(CountStartingWith(lines, "StrToFloat failed for  "), 1u) << "the empty text";
    EXPECT_EQ(CountStartingWith(lines, "Read operation for tag Read.Fails failed at "), 1u);
    EXPECT_EQ(CountStartingWith(lines, "Read operation for tag No.Such.Item failed at "), 1u);
    EXPECT_EQ(lines.size(), 8u);
}

TEST_F(ClientThreadTest, CleanupRemovesItemsAndGroupAndReleasesTheServer) {
    SetItems({"Number.R8", "Number.I4"});
    PauseAfterEachCycle();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return data_.Thread->FirstCycleDone.load(); }));
    EXPECT_EQ(Stats().itemsInGroups, 2u);
    EndSimulation(data_);
    const OpcFaultStats stats = Stats();
    EXPECT_EQ(stats.calls[OPC_FAULT_REMOVEITEMS], 2u);
    EXPECT_EQ(stats.calls[OPC_FAULT_REMOVEGROUP], 1u);
    EXPECT_EQ(stats.liveServers, 0u);
    EXPECT_EQ(stats.liveGroups, 0u);
    EXPECT_EQ(stats.lastGroupActive, -1);
    EXPECT_STREQ(stats.lastGroupName, "Main");
    EXPECT_EQ(stats.lastReadSource, 1u) << "reads come from the server's cache";
    EXPECT_FALSE(data_.Connected.load());
    EXPECT_FALSE(data_.Simulating);
    EXPECT_EQ(data_.Thread, nullptr);
}

TEST_F(ClientThreadTest, GroupUpdateRateIsRequested) {
    data_.GroupUpdateRate = 750;
    SetItems({"Number.R8"});
    PauseAfterEachCycle();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return data_.Thread->FirstCycleDone.load(); }));
    EXPECT_EQ(Stats().lastUpdateRate, 750u);
}

TEST_F(ClientThreadTest, FailedFirstConnectionIsTriedAgainInTheFirstCycle) {
    OpcFaultConfig config{};
    config.calls[OPC_FAULT_CREATE_SERVER].result = E_FAIL;
    Configure(config);
    SetItems({"Number.R8"});
    data_.WriteLogFile = 1;
    PauseAfterEachCycle();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return data_.Thread->FirstCycleDone.load(); }));
    Simulate(data_, 0.0L, 0.0L, outputs_);
    EXPECT_EQ(Output(0), ReadFailedValue);
    EndSimulation(data_);
    const auto lines = Log();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].rfind("Connection failed at ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("Connection failed at ", 0), 0u);
}

TEST_F(ClientThreadTest, WithLoggingOffNoFileIsCreated) {
    OpcFaultConfig config{};
    config.calls[OPC_FAULT_CREATE_SERVER].result = E_FAIL;  // plenty of lines, if any were kept
    Configure(config);
    data_.WriteLogFile = 0;
    PauseAfterEachCycle(1);
    Start();
    ASSERT_TRUE(WaitForCycles(3));
    EndSimulation(data_);
    EXPECT_EQ(FilesStartingWith(logDirectory_, "").size(), 2u) << "only . and .. are there";
    EXPECT_TRUE(FilesStartingWith(logDirectory_, "Virin_").empty());
}

TEST_F(ClientThreadTest, StateCheckReadsNothingWhileTheServerIsNotRunning) {
    OpcFaultConfig config{};
    config.serverState = OPC_STATUS_SUSPENDED;
    Configure(config);
    SetItems({"Number.R8"});
    data_.CheckServerState = 1;
    data_.WriteLogFile = 1;
    PauseAfterEachCycle(1);
    Start();
    ASSERT_TRUE(WaitForCycles(3));
    Simulate(data_, 0.0L, 0.0L, outputs_);
    EndSimulation(data_);
    EXPECT_EQ(Output(0), ReadFailedValue) << "values keep their contents";
    const OpcFaultStats stats = Stats();
    EXPECT_EQ(stats.calls[OPC_FAULT_READ], 0u);
    EXPECT_GE(stats.calls[OPC_FAULT_GETSTATUS], 3u);
    EXPECT_GE(CountStartingWith(Log(), "Connected successfully at "), 3u)
        << "every cycle connects anew";
}

TEST_F(ClientThreadTest, StateCheckReadsWhileTheServerRuns) {
    SetItems({"Number.R8"});
    data_.CheckServerState = 1;
    PauseAfterEachCycle();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return data_.Thread->FirstCycleDone.load(); }));
    Simulate(data_, 0.0L, 0.0L, outputs_);
    EXPECT_EQ(Output(0), 2.5L);
}

TEST_F(ClientThreadTest, BlockWithoutItemsConnectsAnewEveryCycle) {
    data_.WriteLogFile = 1;
    PauseAfterEachCycle(1);
    std::memset(outputs_, 0xAB, sizeof outputs_);
    Start();
    ASSERT_TRUE(WaitForCycles(4));
    Simulate(data_, 0.1L, 0.1L, outputs_);
    EndSimulation(data_);
    for (uint8_t byte : outputs_)
        ASSERT_EQ(byte, 0xAB) << "0 items write no output slot";
    const auto lines = Log();
    EXPECT_GE(CountStartingWith(lines, "Connected successfully at "), 4u);
    EXPECT_EQ(CountStartingWith(lines, "Connection failed at "), 0u);
}

TEST_F(ClientThreadTest, AutomaticPauseIsHalfTheStep) {
    Start();
    ASSERT_NE(data_.Thread, nullptr);
    EXPECT_EQ(data_.Thread->Delay.load(), 0) << "the start's own step sets 0 ms";
    struct Step {
        long double time1, time2;
        int32_t delay;
    };
    const Step steps[] = {{0.1L, 0.1L, 50},  {0.5L, 0.5L, 250},    {0.1L, 0.2L, 250},
                          {0.2L, 0.2L, 100}, {-1.0L, -1.0L, -500}, {1e300L, 1e300L, INT32_MAX}};
    for (const Step& s : steps) {
        Simulate(data_, s.time1, s.time2, outputs_);
        EXPECT_EQ(data_.Thread->Delay.load(), s.delay) << static_cast<double>(s.time2);
    }
}

TEST_F(ClientThreadTest, FixedPauseHoldsFromTheStartWhateverTheTimes) {
    for (int32_t mode : {1, 2, -1}) {  // any mode but 0 is fixed
        data_.DelayMode = mode;
        data_.DelayTime = 100;
        Start();
        EXPECT_EQ(data_.Thread->Delay.load(), 100) << mode;
        Simulate(data_, 0.5L, 0.5L, outputs_);
        EXPECT_EQ(data_.Thread->Delay.load(), 100) << mode;
        EndSimulation(data_);
    }
}

TEST_F(ClientThreadTest, NegativePauseActsAsNoPause) {
    data_.DelayMode = 1;
    data_.DelayTime = -5;
    Start();
    // A negative pause taken as a huge unsigned one would leave the thread in its first pause.
    EXPECT_TRUE(WaitForCycles(50));
}

TEST_F(ClientThreadTest, StartWaitsAboutOneSecondForASlowServer) {
    OpcFaultConfig config{};
    config.calls[OPC_FAULT_CREATE_SERVER].hold = 1;
    Configure(config);
    SetItems({"Number.R8", "Number.I4"});
    // A tick counter that runs 50 ms per reading: the wait ends after about 21 readings.
    std::atomic<DWORD> ticks{0xFFFFFF00u};  // and wraps on the way
    SetTickCountSource([&ticks] { return ticks += 50; });
    std::memset(outputs_, 0, sizeof outputs_);
    Start();
    SetTickCountSource({});
    EXPECT_FALSE(data_.Thread->FirstCycleDone.load());
    EXPECT_EQ(Output(0), ReadFailedValue);
    EXPECT_EQ(Output(1), ReadFailedValue);
    Fault().ReleaseHeld();
    EndSimulation(data_);
}

TEST_F(ClientThreadTest, EveryRunStartsWithFreshValues) {
    SetItems({"Number.R8"});
    PauseAfterEachCycle();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return data_.Thread->FirstCycleDone.load(); }));
    EndSimulation(data_);
    EXPECT_EQ(data_.Values[0].Load(), 2.5L);
    OpcFaultConfig config{};
    config.calls[OPC_FAULT_CREATE_SERVER].result = E_FAIL;
    Configure(config);
    Start();
    Simulate(data_, 0.0L, 0.0L, outputs_);
    EXPECT_EQ(Output(0), ReadFailedValue);
}

TEST_F(ClientThreadTest, LogFileNameDropsTheGreaterThanSigns) {
    blockName_ = "A>B>C";
    data_.WriteLogFile = 1;
    PauseAfterEachCycle();
    Start();
    EndSimulation(data_);
    const auto files = FilesStartingWith(logDirectory_, "Virin_");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].size(), std::string("Virin_20210303_140509_ABC.log").size());
    EXPECT_EQ(files[0].substr(files[0].size() - 8), "_ABC.log");
}

TEST_F(ClientThreadTest, NameThatIsNoFileNameRunsWithoutALog) {
    for (const char* name : {"../escape", "a/b", ".", "..", ">.>.", ">"}) {
        blockName_ = name;
        data_.WriteLogFile = 1;
        PauseAfterEachCycle();
        Start();
        Simulate(data_, 0.0L, 0.0L, outputs_);
        EndSimulation(data_);
        if (std::string(name) == ">") {
            // Only ">" removed leaves the empty name: still a file name.
            EXPECT_EQ(FilesStartingWith(logDirectory_, "Virin_").size(), 1u);
            continue;
        }
        EXPECT_TRUE(FilesStartingWith(logDirectory_, "Virin_").empty()) << name;
    }
    const std::string parent = logDirectory_ + "/..";
    for (const std::string& file : FilesStartingWith(parent, "Virin_"))
        EXPECT_EQ(file.find("escape"), std::string::npos) << "a log outside its folder: " << file;
}

TEST_F(ClientThreadTest, SecondRunInTheSameSecondReplacesTheLog) {
    data_.WriteLogFile = 1;
    PauseAfterEachCycle();
    // Runs until two of them start in the same second, which takes two or three tries at most.
    for (int attempt = 0; attempt < 20; ++attempt) {
        korva::test::RemoveTree(logDirectory_);
        logDirectory_ = korva::test::MakeTempDirectory("virelon-log");
        SetRunLogDirectory(logDirectory_);
        Start();
        EndSimulation(data_);
        Start();
        EndSimulation(data_);
        if (FilesStartingWith(logDirectory_, "Virin_").size() == 1)
            break;
    }
    const auto lines = Log();
    EXPECT_EQ(CountStartingWith(lines, "InitSimulation at "), 1u);
}

TEST(RunLogFileName, FollowsTheNamingRule) {
    std::tm when{};
    when.tm_year = 121;
    when.tm_mon = 2;
    when.tm_mday = 3;
    when.tm_hour = 14;
    when.tm_min = 5;
    when.tm_sec = 9;
    EXPECT_EQ(RunLogFileName("Block 1", when), "Virin_20210303_140509_Block 1.log");
    EXPECT_EQ(RunLogFileName("A>B>C", when), "Virin_20210303_140509_ABC.log");
    EXPECT_EQ(RunLogFileName("Caf\xE9", when), "Virin_20210303_140509_Caf\xC3\xA9.log")
        << "ANSI block names become names of this system";
    EXPECT_EQ(RunLogFileName("x/y", when), "");
    EXPECT_EQ(RunLogFileName(">..", when), "");
}

}  // namespace
}  // namespace virelon
