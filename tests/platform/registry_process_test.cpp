// Several processes writing one hive at once: every write survives.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"
#include "tests/support/private_registry.h"

namespace {

constexpr int kValuesPerProcess = 300;

// Writes the values of one process: each its own transaction, under keys that both processes
// create at the same time, plus a key of its own.
bool WriteValues(const std::string& tag) {
    for (int i = 0; i < kValuesPerProcess; ++i) {
        TRegistry registry;
        registry.SetRootKey(i % 2 ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER);
        const std::string shared = "Shared\\Bucket" + std::to_string(i % 10);
        if (!registry.OpenKey(shared, true))
            return false;
        if (!registry.WriteString(tag + std::to_string(i), tag))
            return false;
        if (!registry.CreateKey("\\Own\\" + tag + "\\" + std::to_string(i)))
            return false;
    }
    return true;
}

// The child's exit status, waited for with a deadline.
int WaitForChild(pid_t child) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::yield();
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t CountValues(HKEY root, const std::string& tag) {
    size_t count = 0;
    TRegistry registry(KEY_READ);
    registry.SetRootKey(root);
    for (int bucket = 0; bucket < 10; ++bucket) {
        if (!registry.OpenKeyReadOnly("\\Shared\\Bucket" + std::to_string(bucket)))
            continue;
        for (const std::string& name : registry.GetValueNames())
            if (name.rfind(tag, 0) == 0 && registry.ReadString(name) == tag)
                ++count;
    }
    return count;
}

TEST(RegistryProcessTest, TwoProcessesWritingOneHiveLoseNoWrite) {
    korva::test::PrivateRegistry privateRegistry;
    // The parent has a connection already when it forks; the child must not reuse it.
    TRegistry warmUp;
    ASSERT_TRUE(warmUp.CreateKey("Shared"));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(WriteValues("child") ? 0 : 1);
    const bool parentWrote = WriteValues("parent");
    EXPECT_EQ(WaitForChild(child), 0);
    EXPECT_TRUE(parentWrote);

    for (const char* tag : {"parent", "child"}) {
        EXPECT_EQ(CountValues(HKEY_CURRENT_USER, tag) + CountValues(HKEY_CLASSES_ROOT, tag),
                  static_cast<size_t>(kValuesPerProcess))
            << tag;
        TRegistry registry(KEY_READ);
        ASSERT_TRUE(registry.OpenKeyReadOnly(std::string("\\Own\\") + tag));
        EXPECT_EQ(registry.GetKeyNames().size(), static_cast<size_t>(kValuesPerProcess) / 2);
    }
}

}  // namespace
