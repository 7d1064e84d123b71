// scripts/register-pdf-reader.sh run as a process against a private registry, a fake desktop
// (xdg-mime answering from a file, desktop files in a private data directory) and fake readers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "components/help_launcher.h"
#include "platform/registry/registry.h"
#include "tests/support/private_registry.h"

namespace {

void WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
}

struct Desktop {
    std::string defaultId;    // what xdg-mime answers; empty: no default
    std::string desktopPath;  // below <data>/applications/, empty: none written
    std::string execLine;
};

struct RegisterCase {
    const char* label;
    Desktop desktop;
    std::optional<std::string> typeName;  // nothing: nothing registered
    std::string commandLine;              // with @ for the fake root
    std::string program;
};
void PrintTo(const RegisterCase& c, std::ostream* os) {
    *os << c.label;
}

std::string Expand(std::string text, const std::string& root) {
    for (size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, root);
    return text;
}

std::optional<std::string> DefaultValue(const std::string& key) {
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    if (!registry.OpenKeyReadOnly(key))
        return std::nullopt;
    return registry.ReadString("");
}

class RegisterPdfReader : public ::testing::TestWithParam<RegisterCase> {
  protected:
    void SetUp() override { root_ = korva::test::MakeTempDirectory("korva-desktop-"); }
    void TearDown() override { korva::test::RemoveTree(root_); }

    int Run(const Desktop& desktop) {
        WriteFile(root_ + "/default", desktop.defaultId.empty() ? "" : desktop.defaultId + "\n");
        WriteFile(root_ + "/bin/xdg-mime",
                  "#!/bin/sh\n[ \"$1 $2 $3\" = 'query default application/pdf' ] && cat '" + root_ +
                      "/default'\n",
                  0755);
        WriteFile(root_ + "/bin/fakereader", "#!/bin/sh\nexit 0\n", 0755);
        WriteFile(root_ + "/My Reader/reader", "#!/bin/sh\nexit 0\n", 0755);
        if (!desktop.desktopPath.empty())
            WriteFile(root_ + "/data/applications/" + desktop.desktopPath,
                      "[Desktop Entry]\nType=Application\nName=Reader\nExec=" +
                          Expand(desktop.execLine, root_) + "\n[Desktop Action New]\nExec=other\n");
        const std::string command =
            "env -i HOME='" + root_ + "' PATH='" + root_ + "/bin:/usr/bin:/bin' XDG_DATA_HOME='" +
            root_ + "/data' XDG_DATA_DIRS='" + root_ + "/none' KORVA_REGISTRY='" +
            registry_.directory() +
            "' bash '" KORVA_SOURCE_DIR "/scripts/register-pdf-reader.sh' '" KORVA_REG_TOOL "' >'" +
            root_ + "/output' 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    korva::test::PrivateRegistry registry_;
    std::string root_;
};

TEST_P(RegisterPdfReader, WritesTheAssociationOnlyForAnInstalledReader) {
    const RegisterCase& c = GetParam();
    EXPECT_EQ(Run(c.desktop), 0);
    const std::optional<std::string> typeName = DefaultValue(".pdf");
    ASSERT_EQ(typeName, c.typeName);
    if (!typeName)
        return;
    const std::optional<std::string> command = DefaultValue(*typeName + "\\shell\\open\\command");
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(*command, Expand(c.commandLine, root_));
    // The help launcher finds the reader's program in what was registered.
    EXPECT_EQ(ReduceReaderCommandLine(*command), Expand(c.program, root_));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegisterPdfReader,
    ::testing::Values(
        RegisterCase{"ProgramOnTheSearchPath",
                     {"fake-reader.desktop", "fake-reader.desktop", "fakereader --page=1 %U"},
                     "fake-reader.Document",
                     R"("@/bin/fakereader" "--page=1" "%1")",
                     "@/bin/fakereader"},
        RegisterCase{"QuotedPathWithBlankAndNoFieldCode",
                     {"my.reader.desktop", "my.reader.desktop", R"("@/My Reader/reader" --x%%)"},
                     "my.reader.Document",
                     R"("@/My Reader/reader" "--x%" "%1")",
                     "@/My Reader/reader"},
        RegisterCase{"DashMeansSubFolder",
                     {"vendor-reader.desktop", "vendor/reader.desktop", "@/bin/fakereader %f %i"},
                     "vendor-reader.Document",
                     R"("@/bin/fakereader" "%1")",
                     "@/bin/fakereader"},
        RegisterCase{"NoDefaultApplication", {"", "", ""}, std::nullopt, "", ""},
        RegisterCase{"NoDesktopFile", {"gone.desktop", "", ""}, std::nullopt, "", ""},
        RegisterCase{"ReaderNotInstalled",
                     {"fake-reader.desktop", "fake-reader.desktop", "notinstalledreader %U"},
                     std::nullopt,
                     "",
                     ""}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
