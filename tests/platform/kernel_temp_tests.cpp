#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "platform/kernel/kernel.h"
#include "tests/platform/scoped_env.h"
#include "tests/support/private_registry.h"

namespace {

using korva::test::ScopedEnv;

// Each test gets a runtime folder of its own, so the private temporary directory is
// <fresh>/korva and the refusal cases never touch a directory that anything else uses.
class TempPath : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_ = korva::test::MakeTempDirectory("korva-runtime-");
        runtime_.emplace("XDG_RUNTIME_DIR", parent_);
        expected_ = parent_ + "/korva";
    }
    void TearDown() override {
        runtime_.reset();
        korva::test::RemoveTree(parent_);
    }

    std::string parent_;
    std::string expected_;
    std::optional<ScopedEnv> runtime_;
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST_F(TempPath, CreatesAPrivateDirectoryWhateverTheUmask) {
    const mode_t old = umask(0277);  // would leave the owner without write and search rights
    std::string error = "stale";
    const std::string path = GetTempPath(&error);
    umask(old);

    EXPECT_EQ(path, expected_ + "/");
    EXPECT_EQ(error, "");
    EXPECT_EQ(ModeOf(expected_), 0700u);
    struct stat st {};
    ASSERT_EQ(stat(expected_.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, geteuid());

    // Asked again, the existing directory is taken as it is.
    EXPECT_EQ(GetTempPath(), expected_ + "/");
}

struct Refusal {
    const char* name;
    std::function<void(const std::string& path, const std::string& parent)> prepare;
    const char* reason;  // part of the error text
    bool needsRoot;
};
void PrintTo(const Refusal& c, std::ostream* out) {
    *out << c.name;
}

class TempPathRefusal : public TempPath, public ::testing::WithParamInterface<Refusal> {};

TEST_P(TempPathRefusal, RefusesAndSaysWhy) {
    const Refusal& c = GetParam();
    if (c.needsRoot && geteuid() != 0)
        GTEST_SKIP() << "making a file of another user needs root";
    c.prepare(expected_, parent_);

    std::string error;
    EXPECT_EQ(GetTempPath(&error), "");
    EXPECT_NE(error.find(expected_), std::string::npos) << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(GetTempPath(), "") << "the refusal must not depend on asking for the reason";
}

INSTANTIATE_TEST_SUITE_P(
    Kernel, TempPathRefusal,
    ::testing::Values(Refusal{"OwnedByAnotherUser",
                              [](const std::string& path, const std::string&) {
                                  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
                                  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
                              },
                              "owned by another user (uid 65534)", true},
                      Refusal{"SymlinkToAPrivateDirectory",
                              [](const std::string& path, const std::string& parent) {
                                  const std::string target = parent + "/elsewhere";
                                  ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
                                  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
                              },
                              "symbolic link", false},
                      Refusal{"DanglingSymlink",
                              [](const std::string& path, const std::string& parent) {
                                  ASSERT_EQ(symlink((parent + "/not-yet").c_str(), path.c_str()),
                                            0);
                              },
                              "symbolic link", false},
                      Refusal{"ReadableByOthers",
                              [](const std::string& path, const std::string&) {
                                  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
                                  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
                              },
                              "mode 0755", false},
                      Refusal{"SearchableByOthersOnly",
                              [](const std::string& path, const std::string&) {
                                  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
                                  ASSERT_EQ(chmod(path.c_str(), 0701), 0);
                              },
                              "mode 0701", false},
                      Refusal{"RegularFile",
                              [](const std::string& path, const std::string&) {
                                  std::ofstream(path) << "x";
                              },
                              "not a directory", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TempPath, ForeignDirectoryIsLeftAsItWas) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making a file of another user needs root";
    ASSERT_EQ(mkdir(expected_.c_str(), 0777), 0);
    ASSERT_EQ(chmod(expected_.c_str(), 0777), 0);
    ASSERT_EQ(chown(expected_.c_str(), 65534, 65534), 0);
    EXPECT_EQ(GetTempPath(), "");
    struct stat st {};
    ASSERT_EQ(stat(expected_.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0777u);
}

// Without a usable runtime folder the directory is the user's own under /tmp.
TEST(TempPathFallback, UsesTmpWithTheUserIdWhenTheRuntimeFolderIsUnusable) {
    const std::string expected = "/tmp/korva-" + std::to_string(geteuid()) + "/";
    for (const std::optional<std::string>& runtime :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/run"),
          std::optional<std::string>("/nonexistent/korva-runtime")}) {
        ScopedEnv env("XDG_RUNTIME_DIR", runtime);
        std::string error;
        EXPECT_EQ(GetTempPath(&error), expected) << runtime.value_or("(unset)") << ": " << error;
        EXPECT_EQ(ModeOf(expected), 0700u);
    }
}

struct NameCase {
    const char* dir;
    const char* prefix;
    unsigned unique;
    const char* expected;
};

TEST(TempFileName, PrefixUniqueNumberInHexadecimalAndTmp) {
    const NameCase cases[] = {
        {"/run/user/1000/korva/", "QN", 1, "/run/user/1000/korva/QN1.tmp"},
        {"/t/", "QN", 0xABC, "/t/QNABC.tmp"},
        {"/t/", "QN", 0xFFFFFFFFu, "/t/QNFFFFFFFF.tmp"},
        {"/t/", "", 16, "/t/10.tmp"},
        {"/t", "QN", 1, "/t/QN1.tmp"},  // the separator is added when missing
        {"", "QN", 1, "QN1.tmp"},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(GetTempFileName(c.dir, c.prefix, c.unique), c.expected)
            << c.dir << " " << c.prefix << " " << c.unique;
}

TEST_F(TempPath, TempFileNameCreatesNothing) {
    const std::string dir = GetTempPath();
    ASSERT_FALSE(dir.empty());
    const std::string name = GetTempFileName(dir, "QN", 1);
    EXPECT_EQ(name, dir + "QN1.tmp");
    EXPECT_NE(access(name.c_str(), F_OK), 0);
}

}  // namespace
