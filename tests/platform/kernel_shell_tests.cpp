#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/kernel/detail/shell_parameters.h"
#include "platform/kernel/kernel.h"
#include "tests/support/private_registry.h"

namespace {

using Strings = std::vector<std::string>;

struct SplitCase {
    const char* text;
    Strings arguments;
};

TEST(ShellParameters, SplitAsTheCommandLineRulesSay) {
    const SplitCase cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"  lead  trail  ", {"lead", "trail"}},
        {"\"/opt/My Reader/VIDOV.EZU\"", {"/opt/My Reader/VIDOV.EZU"}},
        {"pre\"fix mid\"post next", {"prefix midpost", "next"}},
        {"\"\" x", {"", "x"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"C:\\dir\\file.pdf", {"C:\\dir\\file.pdf"}},
        {"\\\"quoted\\\"", {"\"quoted\""}},       // odd backslashes: a literal quote
        {"\"dir\\\\\" next", {"dir\\", "next"}},  // even backslashes: halved, quote groups
        {"a\\\\\\\"b", {"a\\\"b"}},               // three backslashes and a quote
        {"\"unterminated quote", {"unterminated quote"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(korva::shell::SplitParameters(c.text), c.arguments) << c.text;
}

class ShellOpen : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = korva::test::MakeTempDirectory("korva-shell-"); }
    void TearDown() override { korva::test::RemoveTree(dir_); }

    // Waits for a file that the started program writes last; empty when it never comes.
    std::string WaitForFile(const std::string& path) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(path);
            if (in) {
                std::stringstream all;
                all << in.rdbuf();
                return all.str();
            }
            std::this_thread::yield();
        }
        return {};
    }

    std::string dir_;
};

// The children of this process that still have a process-table entry, zombies included.
int ChildCount() {
    int count = 0;
    DIR* proc = opendir("/proc");
    if (!proc)
        return -1;
    while (dirent* entry = readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // pid (comm) state ppid ...; comm may hold blanks, so read after its last ')'
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char state = 0;
        long parent = 0;
        if (rest >> state >> parent && parent == getpid())
            ++count;
    }
    closedir(proc);
    return count;
}

TEST_F(ShellOpen, StartsTheProgramWithItsParametersAndLeavesNoZombie) {
    // The marker appears whole (written aside, then renamed) in the working folder given.
    const char* parameters =
        "-c \"printf '%s|' \\\"$@\\\" > marker.part && mv marker.part marker\" sh \"two words\" "
        "plain";
    for (const char* program : {"/bin/sh", "sh"}) {
        SCOPED_TRACE(program);
        const std::string marker = dir_ + "/marker";
        unlink(marker.c_str());
        const intptr_t answer =
            ShellExecute(nullptr, "open", program, parameters, dir_.c_str(), SW_SHOWNORMAL);
        EXPECT_GT(answer, 32);
        EXPECT_EQ(WaitForFile(marker), "two words|plain|");
    }

    // Not waited for by the call, but reaped by it: no child stays behind.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ChildCount() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(ChildCount(), 0);
}

TEST_F(ShellOpen, DoesNotWaitForTheProgram) {
    // The program runs until the test releases it (or gives up after about 30 s, so that a call
    // that did wait would come back late and fail the check rather than hang).
    const std::string parameters =
        "-c \"i=0; while [ ! -e release ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done; "
        "printf finished > done.part && mv done.part done\"";
    EXPECT_GT(ShellExecute(nullptr, nullptr, "/bin/sh", parameters.c_str(), dir_.c_str(), SW_SHOW),
              32);
    EXPECT_NE(access((dir_ + "/done").c_str(), F_OK), 0) << "the call waited for the program";
    std::ofstream(dir_ + "/release") << "go";
    EXPECT_EQ(WaitForFile(dir_ + "/done"), "finished");
}

struct FailureCase {
    const char* name;
    const char* verb;
    std::string file;
    const char* directory;
    intptr_t expected;
};

TEST_F(ShellOpen, FailuresAnswer32OrLess) {
    const std::string notExecutable = dir_ + "/document.pdf";
    std::ofstream(notExecutable) << "%PDF";
    chmod(notExecutable.c_str(), 0644);
    const FailureCase cases[] = {
        {"missing program by path", "open", "/nonexistent/acroread", nullptr, 2},
        {"missing program on PATH", "open", "korva-no-such-program", nullptr, 2},
        {"no program", "open", "", nullptr, 2},
        {"missing working folder", "open", "/bin/true", "/nonexistent/folder", 3},
        {"not executable", "open", notExecutable, nullptr, 5},
        {"unknown verb", "print", "/bin/true", nullptr, 31},
    };
    for (const FailureCase& c : cases) {
        const intptr_t answer =
            ShellExecute(nullptr, c.verb, c.file.c_str(), "", c.directory, SW_SHOW);
        EXPECT_LE(answer, 32) << c.name;
        EXPECT_EQ(answer, c.expected) << c.name;
    }
    EXPECT_EQ(ShellExecute(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOW), 2);
}

}  // namespace
