#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <memory>

#include <gtest/gtest.h>

#include "platform/kernel/kernel.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void FunctionOfTheProgram() {}

TEST(KernelModule, ProgramFileNameIsTheFullPathOfThisProgram) {
    const std::string program = GetProgramFileName();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.front(), '/');
    EXPECT_TRUE(EndsWith(program, "/platform_kernel_tests")) << program;
    EXPECT_EQ(access(program.c_str(), X_OK), 0);
    EXPECT_EQ(GetModuleFileName(reinterpret_cast<const void*>(&FunctionOfTheProgram)), program);
}

TEST(KernelModule, ModuleFileNameOfALoadedLibrary) {
    // Linked at start-up: the platform library itself.
    const std::string kernel = GetModuleFileName(reinterpret_cast<const void*>(&GetTickCount));
    EXPECT_TRUE(EndsWith(kernel, "/libkorvakernel.so")) << kernel;
    EXPECT_EQ(kernel.front(), '/');

    // Loaded later by path, as a host loads a plug-in.
    const std::string path = KORVA_FIXTURES_DIR "/strings-partial/libqnstring8.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const void* function = dlsym(library, "KorvaResourceString");
    ASSERT_NE(function, nullptr);
    EXPECT_EQ(GetModuleFileName(function), path);
    EXPECT_EQ(ExtractFilePath(GetModuleFileName(function)), KORVA_FIXTURES_DIR "/strings-partial/");
    dlclose(library);
}

TEST(KernelModule, AddressOutsideEveryModuleHasNoName) {
    auto heap = std::make_unique<int>(1);
    EXPECT_EQ(GetModuleFileName(heap.get()), "");
    EXPECT_EQ(GetModuleFileName(nullptr), "");
}

TEST(KernelModule, ExtractFilePathKeepsTheSeparator) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/korva/bin/libvirelon.so", "/opt/korva/bin/"},
        {"/libvirelon.so", "/"},
        {"/opt/korva/", "/opt/korva/"},
        {"libvirelon.so", ""},
        {"", ""},
    };
    for (const auto& [path, folder] : cases)
        EXPECT_EQ(ExtractFilePath(path), folder) << path;
}

TEST(KernelModule, ComputerNameIsTheHostName) {
    char expected[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(gethostname(expected, sizeof expected - 1), 0);
    EXPECT_EQ(GetComputerName(), expected);
    EXPECT_FALSE(GetComputerName().empty());
}

TEST(KernelVersion, FileVersionAndItsRecordNumber) {
    EXPECT_STREQ(GetFileVersionString(), "8.0.1.265");
    EXPECT_EQ(GetFileVersionNumber(), 801265);
}

}  // namespace
