// TRegistry over the SQLite hives: names, values, rights, enumeration order, paths, hives and
// the registry directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"
#include "tests/support/private_registry.h"

namespace {

class RegistryTest : public ::testing::Test {
  protected:
    korva::test::PrivateRegistry privateRegistry_;
};

// Restores an environment variable when the test ends.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            previous_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (previous_)
            setenv(name_, previous_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

std::string HostName() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return host;
}

// ---- Names ------------------------------------------------------------------------------------

struct NameCase {
    const char* stored;
    const char* asked;
    bool same;
};

void PrintTo(const NameCase& names, std::ostream* out) {
    *out << names.stored << " / " << names.asked;
}

class KeyNameCaseTest : public RegistryTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(KeyNameCaseTest, FindsKeysWithoutRegardToCaseAndKeepsTheStoredCase) {
    const NameCase& param = GetParam();
    TRegistry registry;
    ASSERT_TRUE(registry.CreateKey(std::string("Software\\") + param.stored));

    EXPECT_EQ(registry.KeyExists(std::string("SOFTWARE\\") + param.asked), param.same);
    ASSERT_EQ(registry.OpenKey(std::string("software\\") + param.asked, false), param.same)
        << registry.LastError();
    if (param.same) {
        EXPECT_EQ(registry.CurrentPath(), std::string("Software\\") + param.stored);
    }
    ASSERT_TRUE(registry.OpenKey("\\Software", false));
    EXPECT_EQ(registry.GetKeyNames(), std::vector<std::string>{param.stored});
}

INSTANTIATE_TEST_SUITE_P(
    Names, KeyNameCaseTest,
    ::testing::Values(NameCase{"MixedCase", "mixedcase", true},
                      NameCase{"MixedCase", "MIXEDCASE", true},
                      NameCase{"OPCSim.Server.1", "opcsim.SERVER.1", true},
                      NameCase{"{6A1F0A20-1B2C-4D5E-8F90-ABCDEF012345}",
                               "{6a1f0a20-1b2c-4d5e-8f90-abcdef012345}", true},
                      NameCase{"Ärger Über Öl", "ärger über öl", true},
                      NameCase{"ΣΊΣΥΦΟΣ", "σίσυφος", true}, NameCase{"МОСКВА", "москва", true},
                      NameCase{"Łódź", "łÓDŹ", true}, NameCase{"Straße", "STRASSE", false},
                      NameCase{"Key1", "Key2", false}, NameCase{"Key", "Key ", false}));

TEST_F(RegistryTest, ValueNamesAreCaseInsensitiveAndKeepTheFirstSpelling) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Values", true));
    ASSERT_TRUE(registry.WriteString("Temp Path", "/tmp/a"));
    ASSERT_TRUE(registry.WriteString("TEMP PATH", "/tmp/b"));

    EXPECT_TRUE(registry.ValueExists("temp path"));
    EXPECT_EQ(registry.ReadString("Temp path"), "/tmp/b");
    EXPECT_EQ(registry.GetValueNames(), std::vector<std::string>{"Temp Path"});
    EXPECT_TRUE(registry.DeleteValue("tEMP pATH"));
    EXPECT_FALSE(registry.ValueExists("Temp Path"));
    EXPECT_FALSE(registry.DeleteValue("Temp Path")) << "a missing value cannot be deleted";
}

// ---- Values -----------------------------------------------------------------------------------

RegValue Text(RegType type, std::string text) {
    RegValue value;
    value.type = type;
    value.text = std::move(text);
    return value;
}

RegValue Number(RegType type, uint64_t number) {
    RegValue value;
    value.type = type;
    value.number = number;
    return value;
}

RegValue Bytes(RegType type, std::vector<uint8_t> data) {
    RegValue value;
    value.type = type;
    value.data = std::move(data);
    return value;
}

bool SameValue(const RegValue& a, const RegValue& b) {
    return a.type == b.type && a.text == b.text && a.number == b.number && a.data == b.data;
}

struct ValueCase {
    const char* label;
    RegValue value;
};

void PrintTo(const ValueCase& value, std::ostream* out) { *out << value.label; }

class TypedValueTest : public RegistryTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(TypedValueTest, ReadsBackWhatWasWritten) {
    const RegValue& written = GetParam().value;
    {
        TRegistry writer;
        ASSERT_TRUE(writer.OpenKey("Software\\Typed", true));
        ASSERT_TRUE(writer.WriteValue("v", written)) << writer.LastError();
    }
    TRegistry reader(KEY_READ);
    ASSERT_TRUE(reader.OpenKeyReadOnly("Software\\Typed"));
    const std::optional<RegValue> read = reader.ReadValue("v");
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(SameValue(*read, written));
    // ReadString answers only for the two text types.
    const bool isText = written.type == REG_SZ || written.type == REG_EXPAND_SZ;
    EXPECT_EQ(reader.ReadString("v").has_value(), isText);
    if (isText) {
        EXPECT_EQ(reader.ReadString("v"), written.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, TypedValueTest,
    ::testing::Values(ValueCase{"Text", Text(REG_SZ, "C:\\Program Files\\x \"quoted\"")},
                      ValueCase{"EmptyText", Text(REG_SZ, "")},
                      ValueCase{"Unicode", Text(REG_SZ, "Größe µ ∑ 😀")},
                      ValueCase{"TextWithLineBreak", Text(REG_SZ, "one\r\ntwo")},
                      ValueCase{"Expand", Text(REG_EXPAND_SZ, "%HOME%/x")},
                      ValueCase{"DwordZero", Number(REG_DWORD, 0)},
                      ValueCase{"DwordMax", Number(REG_DWORD, 0xFFFFFFFFu)},
                      ValueCase{"QwordMax", Number(REG_QWORD, UINT64_MAX)},
                      ValueCase{"Binary", Bytes(REG_BINARY, {0, 1, 0xFE, 0xFF, 0})},
                      ValueCase{"EmptyBinary", Bytes(REG_BINARY, {})},
                      ValueCase{"MultiString",
                                Bytes(REG_MULTI_SZ, MultiStringData({"a", "bc", "Ä"}))},
                      ValueCase{"None", Bytes(REG_NONE, {7})},
                      ValueCase{"UnlistedType", Bytes(static_cast<RegType>(0x42), {1, 2, 3})}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryTest, WriteIntegerStoresADwordAndOversizedDwordsAreRefused) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Numbers", true));
    ASSERT_TRUE(registry.WriteInteger("n", 300));
    const std::optional<RegValue> value = registry.ReadValue("n");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, REG_DWORD);
    EXPECT_EQ(value->number, 300u);
    EXPECT_FALSE(registry.ReadString("n").has_value()) << "a number is not a string value";

    EXPECT_FALSE(registry.WriteValue("n", Number(REG_DWORD, 0x100000000ull)));
    EXPECT_EQ(registry.ReadValue("n")->number, 300u) << "a refused write changes nothing";
}

TEST_F(RegistryTest, MultiStringDataRoundTrips) {
    const std::vector<std::string> strings{"first", "Zwei", "три"};
    EXPECT_EQ(MultiStringList(MultiStringData(strings)), strings);
    EXPECT_TRUE(MultiStringList(MultiStringData({})).empty());
    // Data without its final NUL, as some writers leave it, still gives its strings.
    EXPECT_EQ(MultiStringList({'a', 0, 'b'}), (std::vector<std::string>{"a", "b"}));
}

TEST_F(RegistryTest, TheDefaultValueIsTheEmptyName) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\.pdf", true));
    EXPECT_FALSE(registry.ValueExists(""));
    EXPECT_FALSE(registry.ReadString("").has_value());
    ASSERT_TRUE(registry.WriteString("", "PdfFile"));
    EXPECT_TRUE(registry.ValueExists(""));
    EXPECT_EQ(registry.ReadString(""), "PdfFile");
}

// ---- Rights -----------------------------------------------------------------------------------

class ReadOnlyKeyTest : public RegistryTest {
  protected:
    void SetUp() override {
        TRegistry setup;
        setup.SetRootKey(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(setup.OpenKey("AcroExch.Document\\shell\\open\\command", true));
        ASSERT_TRUE(setup.WriteString("", "reader \"%1\""));
        ASSERT_TRUE(setup.SetKeyAccess("\\AcroExch.Document\\shell", KeyAccess::ReadOnly));
    }
};

TEST_F(ReadOnlyKeyTest, RefusesFullAccessButOpensForReading) {
    TRegistry registry;  // asks for all access
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    EXPECT_FALSE(registry.OpenKey("AcroExch.Document\\shell", false));
    EXPECT_EQ(registry.LastError(), "access denied");
    EXPECT_FALSE(registry.OpenKey("AcroExch.Document\\shell", true)) << "creating does not help";
    EXPECT_TRUE(registry.KeyExists("AcroExch.Document\\shell"));
    EXPECT_EQ(registry.GetKeyAccess("AcroExch.Document\\shell"), KeyAccess::ReadOnly);

    ASSERT_TRUE(registry.OpenKeyReadOnly("AcroExch.Document\\shell"));
    EXPECT_EQ(registry.GetKeyNames(), std::vector<std::string>{"open"});
    EXPECT_FALSE(registry.WriteString("x", "y")) << "a key opened for reading takes no values";

    // Keys below a read-only key have their own rights.
    ASSERT_TRUE(registry.OpenKey("\\AcroExch.Document\\shell\\open\\command", false));
    EXPECT_EQ(registry.ReadString(""), "reader \"%1\"");

    TRegistry reader(KEY_READ);
    reader.SetRootKey(HKEY_CLASSES_ROOT);
    EXPECT_TRUE(reader.OpenKey("AcroExch.Document\\shell", false))
        << "a handle that asks only for reading opens it";
}

TEST_F(ReadOnlyKeyTest, RefusesNewValuesNewSubKeysAndDeletion) {
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    // A handle that was opened with full access before the key became read-only.
    TRegistry early;
    early.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(early.SetKeyAccess("AcroExch.Document\\shell", KeyAccess::Full));
    ASSERT_TRUE(early.OpenKey("AcroExch.Document\\shell", false));
    ASSERT_TRUE(registry.SetKeyAccess("AcroExch.Document\\shell", KeyAccess::ReadOnly));
    EXPECT_FALSE(early.WriteString("late", "x"));

    EXPECT_FALSE(registry.CreateKey("AcroExch.Document\\shell\\print"));
    EXPECT_FALSE(registry.KeyExists("AcroExch.Document\\shell\\print"));
    EXPECT_FALSE(registry.DeleteKey("AcroExch.Document\\shell"));
    EXPECT_FALSE(registry.DeleteKey("AcroExch.Document")) << "a read-only key below protects it";
    EXPECT_TRUE(registry.KeyExists("AcroExch.Document\\shell\\open\\command"));

    ASSERT_TRUE(registry.SetKeyAccess("AcroExch.Document\\shell", KeyAccess::Full));
    EXPECT_TRUE(registry.OpenKey("AcroExch.Document\\shell", false));
    EXPECT_TRUE(registry.DeleteKey("\\AcroExch.Document"));
    EXPECT_FALSE(registry.KeyExists("\\AcroExch.Document"));
}

TEST_F(RegistryTest, AHandleNeedsTheRightsOfWhatItDoes) {
    TRegistry setup;
    ASSERT_TRUE(setup.OpenKey("Software\\Rights", true));
    ASSERT_TRUE(setup.WriteString("v", "x"));

    TRegistry reader(KEY_READ);
    ASSERT_TRUE(reader.OpenKey("Software\\Rights", false));
    EXPECT_EQ(reader.ReadString("v"), "x");
    EXPECT_FALSE(reader.WriteString("v", "y"));
    EXPECT_FALSE(reader.DeleteValue("v"));
    EXPECT_FALSE(reader.OpenKey("Missing", true)) << "creating below needs KEY_CREATE_SUB_KEY";

    TRegistry writer(KEY_WRITE);
    ASSERT_TRUE(writer.OpenKey("Software\\Rights", false));
    EXPECT_TRUE(writer.WriteString("v", "y"));
    EXPECT_FALSE(writer.ReadString("v").has_value()) << "reading needs KEY_QUERY_VALUE";
    EXPECT_TRUE(writer.GetKeyNames().empty());
    EXPECT_EQ(setup.ReadString("v"), "y");
}

TEST_F(RegistryTest, OperationsWithoutAnOpenKeyFail) {
    TRegistry registry;
    EXPECT_FALSE(registry.HasOpenKey());
    EXPECT_FALSE(registry.WriteString("v", "x"));
    EXPECT_FALSE(registry.ValueExists("v"));
    EXPECT_FALSE(registry.ReadValue("v").has_value());
    EXPECT_TRUE(registry.GetKeyNames().empty());
    EXPECT_EQ(registry.LastError(), "no key is open");
}

// ---- Enumeration ------------------------------------------------------------------------------

TEST_F(RegistryTest, SubKeysComeInAlphabeticalOrderWithoutRegardToCase) {
    // "Über" folds to "über", which sorts after the ASCII letters.
    const std::vector<std::string> expected{"alpha",   "Beta",    "beta2", "CLSID", "clsidx",
                                            "Gamma.1", "gamma.2", "Zulu",  "zz",    "Über"};
    std::vector<std::string> shuffled = expected;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    for (const std::string& name : shuffled)
        ASSERT_TRUE(registry.CreateKey(name));

    ASSERT_TRUE(registry.OpenKeyReadOnly(""));
    EXPECT_EQ(registry.CurrentPath(), "");
    EXPECT_EQ(registry.GetKeyNames(), expected);
}

// ---- Paths ------------------------------------------------------------------------------------

TEST_F(RegistryTest, KeyNamesAreRelativeToTheOpenKeyUnlessTheyStartWithABackslash) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Felmaran", true));
    ASSERT_TRUE(registry.OpenKey("Quintor 7", true));
    EXPECT_EQ(registry.CurrentPath(), "Software\\Felmaran\\Quintor 7");
    ASSERT_TRUE(registry.OpenKey("General Settings", true));
    EXPECT_EQ(registry.CurrentPath(), "Software\\Felmaran\\Quintor 7\\General Settings");

    ASSERT_TRUE(registry.OpenKey("\\Software", false));
    EXPECT_EQ(registry.CurrentPath(), "Software");
    EXPECT_TRUE(registry.KeyExists("Felmaran\\Quintor 7\\General Settings"));
    EXPECT_FALSE(registry.KeyExists("General Settings"));

    // A failed open leaves the open key as it was.
    EXPECT_FALSE(registry.OpenKey("Missing", false));
    EXPECT_TRUE(registry.HasOpenKey());
    EXPECT_EQ(registry.CurrentPath(), "Software");

    registry.CloseKey();
    EXPECT_FALSE(registry.HasOpenKey());
    EXPECT_TRUE(registry.KeyExists("Software\\Felmaran")) << "without an open key: the root";
}

TEST_F(RegistryTest, MalformedKeyNamesAreRefused) {
    const std::string longName(256, 'k');
    const std::string longestName(255, 'k');
    struct Case {
        std::string name;
        bool valid;
    } cases[] = {
        {"a\\\\b", false},   {"\\\\a", false}, {longName, false}, {std::string("a\0b", 3), false},
        {longestName, true}, {"a\\b\\", true}, {"\\a\\b", true},  {"with/slash", true},
        {"ÄÖÜ", true},
    };
    for (const Case& c : cases) {
        TRegistry registry;
        EXPECT_EQ(registry.CreateKey(c.name), c.valid) << c.name;
        EXPECT_EQ(registry.KeyExists(c.name), c.valid) << c.name;
    }
}

TEST_F(RegistryTest, DeletingAKeyRemovesItsWholeTreeAndItsHandlesGoStale) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Gone\\Deeper\\Deepest", true));
    ASSERT_TRUE(registry.WriteString("v", "x"));
    TRegistry other;
    ASSERT_TRUE(other.DeleteKey("Software\\Gone"));
    EXPECT_FALSE(other.KeyExists("Software\\Gone\\Deeper"));

    EXPECT_FALSE(registry.ValueExists("v"));
    EXPECT_FALSE(registry.WriteString("v", "y")) << "no value is written to a deleted key";
    EXPECT_FALSE(registry.OpenKey("Child", true)) << "no key is created below a deleted key";
    ASSERT_TRUE(other.OpenKey("\\Software", false));
    EXPECT_EQ(other.GetKeyNames(), std::vector<std::string>{});

    // Re-creating the path gives fresh, empty keys.
    ASSERT_TRUE(registry.OpenKey("\\Software\\Gone\\Deeper\\Deepest", true));
    EXPECT_FALSE(registry.ValueExists("v"));

    EXPECT_FALSE(registry.DeleteKey("\\")) << "the root cannot be deleted";
    EXPECT_FALSE(registry.DeleteKey("\\Software\\NotThere"));
}

// ---- Hives, directory, machines ---------------------------------------------------------------

TEST_F(RegistryTest, TheHivesAreSeparate) {
    TRegistry user;
    ASSERT_TRUE(user.CreateKey("Shared"));
    TRegistry classes;
    classes.SetRootKey(HKEY_CLASSES_ROOT);
    EXPECT_FALSE(classes.KeyExists("Shared"));
    EXPECT_EQ(user.RootKey(), HKEY_CURRENT_USER);
}

TEST_F(RegistryTest, FollowsTheRegistryDirectoryWhenItChanges) {
    TRegistry first;
    ASSERT_TRUE(first.OpenKey("Software\\Where", true));
    ASSERT_TRUE(first.WriteString("dir", "first"));

    const std::string other = privateRegistry_.directory() + "/nested/other";
    {
        ScopedEnv env("KORVA_REGISTRY", other.c_str());
        TRegistry second;
        EXPECT_FALSE(second.KeyExists("Software\\Where")) << "a new directory is a new registry";
        ASSERT_TRUE(second.OpenKey("Software\\Where", true));
        ASSERT_TRUE(second.WriteString("dir", "second"));
        struct stat info {};
        ASSERT_EQ(stat(other.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ASSERT_EQ(stat((other + "/HKEY_CURRENT_USER.db").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0077, 0u) << "only the user may read the hive";
        // The handle opened before the change still works on its own hive.
        EXPECT_EQ(first.ReadString("dir"), "first");
    }
    TRegistry back;
    ASSERT_TRUE(back.OpenKey("Software\\Where", false));
    EXPECT_EQ(back.ReadString("dir"), "first");
}

TEST_F(RegistryTest, ReopensAHiveWhoseFileWasReplaced) {
    TRegistry registry;
    ASSERT_TRUE(registry.CreateKey("Software\\Before"));
    registry.CloseKey();
    korva::test::RemoveTree(privateRegistry_.directory());
    EXPECT_FALSE(registry.KeyExists("Software\\Before"));
    EXPECT_TRUE(registry.CreateKey("Software\\After"));
    EXPECT_TRUE(registry.KeyExists("Software\\After"));
}

TEST(RegistryDirectoryTest, FollowsTheEnvironmentInOrder) {
    struct Case {
        const char* own;
        const char* xdg;
        const char* home;
        std::string expected;
    } cases[] = {
        {"/r/own", "/x", "/h", "/r/own"},
        {"", "/x", "/h", "/x/korva/registry"},
        {nullptr, "/x", "/h", "/x/korva/registry"},
        {nullptr, "relative", "/h", "/h/.config/korva/registry"},
        {nullptr, nullptr, "/h", "/h/.config/korva/registry"},
    };
    for (const Case& c : cases) {
        ScopedEnv own("KORVA_REGISTRY", c.own);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(RegistryDirectory(), c.expected)
            << (c.own ? c.own : "-") << " " << (c.xdg ? c.xdg : "-");
    }
}

TEST_F(RegistryTest, ConnectsLocallyOnlyToThisComputer) {
    const std::string host = HostName();
    std::string upper = host;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    struct Case {
        std::string machine;
        bool local;
    } cases[] = {
        {"", true},
        {host, true},
        {"\\\\" + host, true},
        {"\\\\" + upper, true},
        {"\\\\", true},
        {"no-such-machine-here", false},
        {"\\\\" + host + "x", false},
    };
    TRegistry setup;
    setup.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(setup.CreateKey("OPCSim.Server"));
    for (const Case& c : cases) {
        TRegistry registry(KEY_READ);
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        EXPECT_EQ(registry.RegistryConnect(c.machine), c.local) << c.machine;
        if (c.local) {
            ASSERT_TRUE(registry.OpenKeyReadOnly(""));
            EXPECT_EQ(registry.GetKeyNames(), std::vector<std::string>{"OPCSim.Server"});
        }
    }
}

// ---- Threads ----------------------------------------------------------------------------------

TEST_F(RegistryTest, ThreadsWithTheirOwnHandlesShareAHive) {
    constexpr int kThreads = 4;
    constexpr int kValues = 100;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            TRegistry registry;
            registry.SetRootKey(t % 2 ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER);
            for (int i = 0; i < kValues; ++i) {
                const std::string key =
                    "Threads\\T" + std::to_string(t) + "\\" + std::to_string(i % 7);
                if (!registry.OpenKey("\\" + key, true) ||
                    !registry.WriteInteger("v" + std::to_string(i), static_cast<uint32_t>(i)) ||
                    !registry.ReadValue("v" + std::to_string(i)))
                    ++failures;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    for (int t = 0; t < kThreads; ++t) {
        TRegistry registry(KEY_READ);
        registry.SetRootKey(t % 2 ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER);
        size_t values = 0;
        for (int k = 0; k < 7; ++k) {
            ASSERT_TRUE(registry.OpenKeyReadOnly("\\Threads\\T" + std::to_string(t) + "\\" +
                                                 std::to_string(k)));
            values += registry.GetValueNames().size();
        }
        EXPECT_EQ(values, static_cast<size_t>(kValues));
    }
}

}  // namespace
