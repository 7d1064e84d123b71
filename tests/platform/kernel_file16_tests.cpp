#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel/kernel.h"
#include "tests/support/private_registry.h"

namespace {

constexpr UINT kTransferError = 0xFFFFFFFFu;

class File16 : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = korva::test::MakeTempDirectory("korva-file16-");
        path_ = dir_ + "/model.kmd";
    }
    void TearDown() override { korva::test::RemoveTree(dir_); }

    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    std::string dir_;
    std::string path_;
};

// A host hands the handle over in a 32-bit slot whose upper half is not meaningful.
HFILE WithNoise(HFILE file, uint32_t high) {
    return static_cast<HFILE>((static_cast<uint32_t>(file) & 0xFFFFu) | (high << 16));
}

TEST_F(File16, WriteSeekAndReadThroughHandlesWithAnyUpperHalf) {
    const HFILE file = _lcreat(path_.c_str(), 0);
    ASSERT_NE(file, HFILE_ERROR);
    for (uint32_t high : {0x0000u, 0x1234u, 0xFFFFu}) {
        SCOPED_TRACE(high);
        const HFILE noisy = WithNoise(file, high);
        ASSERT_EQ(_llseek(noisy, 0, 0), 0);
        EXPECT_EQ(_lwrite(noisy, "Virelon\r\n", 9), 9u);
        EXPECT_EQ(_llseek(noisy, 0, 2), 9);
        EXPECT_EQ(_llseek(noisy, -2, 1), 7);
        EXPECT_EQ(_llseek(noisy, 0, 0), 0);
        char buffer[16] = {};
        EXPECT_EQ(_lread(noisy, buffer, sizeof buffer), 9u) << "a read past the end is short";
        EXPECT_EQ(std::string(buffer, 9), "Virelon\r\n");
        EXPECT_EQ(_lread(noisy, buffer, sizeof buffer), 0u) << "at the end nothing is read";
    }
    EXPECT_EQ(_lclose(WithNoise(file, 0xABCD)), 0);
    EXPECT_EQ(Contents(), "Virelon\r\n");
}

TEST_F(File16, OpenModesGiveTheirRights) {
    std::ofstream(path_) << "abc";
    struct ModeCase {
        int mode;
        bool reads;
        bool writes;
    };
    // The upper bits carry sharing flags, which must not disturb the access mode.
    const ModeCase cases[] = {{OF_READ, true, false},
                              {OF_WRITE, false, true},
                              {OF_READWRITE, true, true},
                              {OF_READ | 0x40, true, false},
                              {OF_READWRITE | 0x10, true, true}};
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.mode);
        const HFILE file = _lopen(path_.c_str(), c.mode);
        ASSERT_NE(file, HFILE_ERROR);
        char byte = 0;
        EXPECT_EQ(_lread(file, &byte, 1) == 1, c.reads);
        EXPECT_EQ(_lwrite(file, "x", 1) == 1, c.writes);
        EXPECT_EQ(_lclose(file), 0);
    }
    EXPECT_EQ(_lopen(path_.c_str(), 3), HFILE_ERROR) << "mode 3 is not an access mode";
}

TEST_F(File16, OpenNeverCreatesAndCreateTruncates) {
    EXPECT_EQ(_lopen(path_.c_str(), OF_READWRITE), HFILE_ERROR);
    EXPECT_NE(access(path_.c_str(), F_OK), 0);

    std::ofstream(path_) << "old contents";
    const HFILE file = _lcreat(path_.c_str(), 0);
    ASSERT_NE(file, HFILE_ERROR);
    EXPECT_EQ(_llseek(file, 0, 2), 0);
    EXPECT_EQ(_lclose(file), 0);
    EXPECT_EQ(Contents(), "");
}

TEST_F(File16, HandlesAreNotInheritedByStartedPrograms) {
    const HFILE file = _lcreat(path_.c_str(), 0);
    ASSERT_NE(file, HFILE_ERROR);
    EXPECT_NE(fcntl(file, F_GETFD) & FD_CLOEXEC, 0);
    _lclose(file);
}

TEST_F(File16, FailuresAreErrorValues) {
    char byte = 0;
    const HFILE file = _lcreat(path_.c_str(), 0);
    ASSERT_NE(file, HFILE_ERROR);
    EXPECT_EQ(_llseek(file, 0, 3), HFILE_ERROR) << "no such origin";
    EXPECT_EQ(_llseek(file, -1, 0), HFILE_ERROR) << "before the start";
    EXPECT_EQ(_lwrite(file, nullptr, 1), kTransferError);
    EXPECT_EQ(_lwrite(file, nullptr, 0), 0u);
    ASSERT_EQ(_lclose(file), 0);

    EXPECT_EQ(_lread(file, &byte, 1), kTransferError) << "closed handle";
    EXPECT_EQ(_lwrite(file, &byte, 1), kTransferError) << "closed handle";
    EXPECT_EQ(_llseek(file, 0, 0), HFILE_ERROR) << "closed handle";
    EXPECT_EQ(_lclose(file), HFILE_ERROR) << "closed twice";
    EXPECT_EQ(_lopen(nullptr, OF_READ), HFILE_ERROR);
    EXPECT_EQ(_lcreat((dir_ + "/missing/x").c_str(), 0), HFILE_ERROR);
}

TEST_F(File16, ReadOnlyAttributeProtectsTheFileButNotTheCreatingHandle) {
    const HFILE file = _lcreat(path_.c_str(), 1);
    ASSERT_NE(file, HFILE_ERROR);
    EXPECT_EQ(_lwrite(file, "ok", 2), 2u);
    EXPECT_EQ(_lclose(file), 0);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(Contents(), "ok");
}

}  // namespace
