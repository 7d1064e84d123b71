// korva's run loop in-process: the live table a terminal gets, and a run stopped early.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <sstream>
#include <string>

#include "host/block_options.h"
#include "host/model.h"
#include "host/run.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace korva {
namespace {

class RunTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        registry_ = new test::PrivateRegistry;
        ASSERT_EQ(test::RegisterFaultServer(), S_OK);
        runtime_ = test::MakeTempDirectory("korva-runtime-");
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    static void TearDownTestSuite() {
        test::RemoveTree(runtime_);
        delete registry_;
    }
    void SetUp() override {
        folder_ = test::MakeTempDirectory("korva-run-");
        std::string error;
        ASSERT_TRUE(model_.Create(folder_ + "/m.kmd", VIRELON_LIBRARY_PATH, error)) << error;
        BlockOptions options;
        options.Server = "OPCFault.Server";
        options.Items = std::vector<std::string>{"Number.R8", "Bool.False"};
        ASSERT_TRUE(ApplyBlockOptions(model_, model_.AddBlock("B"), options, error)) << error;
    }
    void TearDown() override { test::RemoveTree(folder_); }

    static test::PrivateRegistry* registry_;
    static std::string runtime_;
    std::string folder_;
    Model model_;
};
test::PrivateRegistry* RunTest::registry_ = nullptr;
std::string RunTest::runtime_;

TEST_F(RunTest, LiveTableRedrawsInPlace) {
    RunOptions options;
    options.Steps = 2;
    options.StepSize = 0.5;
    options.LiveTable = true;
    std::ostringstream out, err;
    ASSERT_EQ(RunModel(model_, options, out, err), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("step 2/2  t = 0.5 s"), std::string::npos) << text;
    EXPECT_NE(text.find("\x1b[3A"), std::string::npos) << "moves up over its three lines";
    EXPECT_NE(text.find("  Number.R8"), std::string::npos);
    EXPECT_NE(text.find("Ran 2 steps of 0.5 s (1 s simulated)"), std::string::npos);
    EXPECT_NE(text.find("last 2.5  min 2.5  max 2.5"), std::string::npos) << text;
}

TEST_F(RunTest, StopRequestEndsTheRunCleanly) {
    std::atomic<bool> stop{true};
    RunOptions options;
    options.Steps = 1000000;
    options.Stop = &stop;
    options.CsvPath = folder_ + "/out.csv";
    std::ostringstream out, err;
    ASSERT_EQ(RunModel(model_, options, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("Stopped after 0 steps"), std::string::npos) << out.str();
    // The block's run has ended: it can start another one.
    stop = false;
    options.Steps = 1;
    ASSERT_EQ(RunModel(model_, options, out, err), 0);
    EXPECT_NE(out.str().find("Ran 1 steps"), std::string::npos);
}

TEST(Csv, FieldsAreQuotedWhenNeeded) {
    EXPECT_EQ(CsvField("Signals.Sine"), "Signals.Sine");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(FormatValue(-99999.0L), "-99999");
    EXPECT_EQ(FormatValue(3.14L), "3.14");
}

}  // namespace
}  // namespace korva
