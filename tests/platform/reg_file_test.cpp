// .reg files: parsing a hand-written file, writing and reading back every type, malformed
// lines, and the all-or-nothing import.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"
#include "tests/support/private_registry.h"

namespace {

class RegFileTest : public ::testing::Test {
  protected:
    korva::test::PrivateRegistry privateRegistry_;
};

const RegFileValue* FindValue(const RegFileKey& key, const std::string& name) {
    for (const RegFileValue& value : key.values)
        if (value.name == name)
            return &value;
    return nullptr;
}

// A file as a person writes it: CR LF, comments, blank lines, escapes, continued hex data in
// upper and lower case, both hives, deletions.
constexpr char kHandWritten[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; the simulation server\r\n"
    "[HKEY_CLASSES_ROOT\\OPCSim.Server]\r\n"
    "@=\"Simulation \\\"OPC\\\" server\"\r\n"
    "\r\n"
    "[HKCR\\OPCSim.Server\\OPC\\Vendor]\r\n"
    "@=\"C:\\\\Program Files\\\\Sim\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Felmaran\\Quintor 7\\General Settings]\r\n"
    "\"Default Float Width\"=\"300\"\r\n"
    "\"Count\"=dword:0000001F\r\n"
    "\"Small\" = DWORD:7\r\n"
    "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
    "  17,18,FF\r\n"
    "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00\r\n"
    "\"List\"=hex(7):61,00,00,00,c4,00,62,00,00,00,00,00\r\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,80\r\n"
    "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\r\n"
    "\"Nothing\"=hex(0):\r\n"
    "\"Gone\"=-\r\n"
    "\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Old]\r\n";

TEST_F(RegFileTest, ParsesAHandWrittenFile) {
    std::string error;
    const std::optional<RegFile> file = ParseRegFile(kHandWritten, "hand.reg", &error);
    ASSERT_TRUE(file.has_value()) << error;
    ASSERT_EQ(file->keys.size(), 4u);

    const RegFileKey& server = file->keys[0];
    EXPECT_EQ(server.root, HKEY_CLASSES_ROOT);
    EXPECT_EQ(server.path, "OPCSim.Server");
    ASSERT_NE(FindValue(server, ""), nullptr);
    EXPECT_EQ(FindValue(server, "")->value.text, "Simulation \"OPC\" server");
    EXPECT_EQ(file->keys[1].path, "OPCSim.Server\\OPC\\Vendor");
    EXPECT_EQ(FindValue(file->keys[1], "")->value.text, "C:\\Program Files\\Sim");

    const RegFileKey& settings = file->keys[2];
    EXPECT_EQ(settings.root, HKEY_CURRENT_USER);
    EXPECT_EQ(FindValue(settings, "Default Float Width")->value.text, "300");
    EXPECT_EQ(FindValue(settings, "Count")->value.type, REG_DWORD);
    EXPECT_EQ(FindValue(settings, "Count")->value.number, 31u);
    EXPECT_EQ(FindValue(settings, "Small")->value.number, 7u);
    const RegValue& blob = FindValue(settings, "Blob")->value;
    EXPECT_EQ(blob.type, REG_BINARY);
    ASSERT_EQ(blob.data.size(), 26u);
    EXPECT_EQ(blob.data[23], 0x17);
    EXPECT_EQ(blob.data[25], 0xFF);
    EXPECT_EQ(FindValue(settings, "Path")->value.type, REG_EXPAND_SZ);
    EXPECT_EQ(FindValue(settings, "Path")->value.text, "%HOME%");
    EXPECT_EQ(FindValue(settings, "List")->value.type, REG_MULTI_SZ);
    EXPECT_EQ(MultiStringList(FindValue(settings, "List")->value.data),
              (std::vector<std::string>{"a", "Äb"}));
    EXPECT_EQ(FindValue(settings, "Big")->value.number, 0x8000000000000001ull);
    EXPECT_EQ(FindValue(settings, "Lines")->value.text, "a\nb");
    EXPECT_EQ(FindValue(settings, "Nothing")->value.type, REG_NONE);
    EXPECT_TRUE(FindValue(settings, "Nothing")->value.data.empty());
    EXPECT_TRUE(FindValue(settings, "Gone")->remove);
    EXPECT_TRUE(file->keys[3].remove);
    EXPECT_EQ(file->keys[3].path, "Software\\Old");
}

TEST_F(RegFileTest, ImportsAHandWrittenFile) {
    TRegistry setup;
    ASSERT_TRUE(setup.OpenKey("Software\\Old\\Child", true));
    ASSERT_TRUE(setup.OpenKey("\\Software\\Felmaran\\Quintor 7\\General Settings", true));
    ASSERT_TRUE(setup.WriteString("Gone", "soon"));
    ASSERT_TRUE(setup.WriteString("Kept", "yes"));

    std::string error;
    const std::optional<RegFile> file = ParseRegFile(kHandWritten, "hand.reg", &error);
    ASSERT_TRUE(file.has_value()) << error;
    ASSERT_TRUE(ImportRegFile(*file, &error)) << error;

    TRegistry registry(KEY_READ);
    ASSERT_TRUE(registry.OpenKeyReadOnly("Software\\Felmaran\\Quintor 7\\General Settings"));
    EXPECT_EQ(registry.ReadString("Default Float Width"), "300");
    EXPECT_EQ(registry.ReadValue("Count")->number, 31u);
    EXPECT_FALSE(registry.ValueExists("Gone"));
    EXPECT_EQ(registry.ReadString("Kept"), "yes");
    EXPECT_FALSE(registry.KeyExists("\\Software\\Old"));
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKeyReadOnly("OPCSim.Server\\OPC\\Vendor"));
    EXPECT_EQ(registry.ReadString(""), "C:\\Program Files\\Sim");
}

TEST_F(RegFileTest, ReadsUtf16FilesWithByteOrderMark) {
    const std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\Software\\Wide]\r\n\"Größe\"=\"µ\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char16_t unit : std::u16string(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                              u"[HKCU\\Software\\Wide]\r\n\"Größe\"=\"µ\"\r\n")) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    for (const std::string& content : {utf8, "\xEF\xBB\xBF" + utf8, utf16}) {
        std::string error;
        const std::optional<RegFile> file = ParseRegFile(content, "wide.reg", &error);
        ASSERT_TRUE(file.has_value()) << error;
        ASSERT_EQ(file->keys.size(), 1u);
        ASSERT_NE(FindValue(file->keys[0], "Größe"), nullptr);
        EXPECT_EQ(FindValue(file->keys[0], "Größe")->value.text, "µ");
    }
}

// ---- Malformed files --------------------------------------------------------------------------

struct BadFile {
    const char* label;
    std::string content;
    int line;
    const char* problem;
};

void PrintTo(const BadFile& bad, std::ostream* out) { *out << bad.label; }

class MalformedRegFileTest : public RegFileTest, public ::testing::WithParamInterface<BadFile> {};

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

TEST_P(MalformedRegFileTest, NamesFileLineAndProblem) {
    const BadFile& bad = GetParam();
    std::string error;
    EXPECT_FALSE(ParseRegFile(bad.content, "bad.reg", &error).has_value());
    const std::string location = "bad.reg:" + std::to_string(bad.line) + ": ";
    EXPECT_EQ(error.rfind(location, 0), 0u) << error;
    EXPECT_NE(error.find(bad.problem), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MalformedRegFileTest,
    ::testing::Values(
        BadFile{"NoHeader", "[HKCU\\A]\n", 1, "not a registry file"},
        BadFile{"OldHeader", "REGEDIT4\n\n[HKCU\\A]\n", 1, "not a registry file"},
        BadFile{"Empty", "", 1, "not a registry file"},
        BadFile{"UnknownHive", kHeader + "[HKEY_LOCAL_MACHINE\\Software]\n", 3,
                "unknown hive \"HKEY_LOCAL_MACHINE\""},
        BadFile{"UnclosedKey", kHeader + "[HKCU\\A\n", 3, "must end with \"]\""},
        BadFile{"EmptyKeyName", kHeader + "[HKCU\\A\\\\B]\n", 3, "invalid key name"},
        BadFile{"DeleteRoot", kHeader + "[-HKCU]\n", 3, "root key cannot be deleted"},
        BadFile{"ValueBeforeKey", kHeader + "\"a\"=\"b\"\n", 3, "before the first key"},
        BadFile{"ValueUnderDeletion", kHeader + "[-HKCU\\A]\n\"a\"=\"b\"\n", 4, "deleted"},
        BadFile{"Garbage", kHeader + "[HKCU\\A]\nhello\n", 4, "expected a key line"},
        BadFile{"NoEquals", kHeader + "[HKCU\\A]\n\"a\" \"b\"\n", 4, "expected \"=\""},
        BadFile{"UnclosedName", kHeader + "[HKCU\\A]\n\"abc=1\n", 4, "closing quotation"},
        BadFile{"UnclosedText", kHeader + "[HKCU\\A]\n\"a\"=\"b\n", 4, "closing quotation"},
        BadFile{"BadEscape", kHeader + "[HKCU\\A]\n\"a\"=\"C:\\temp\"\n", 4, "unknown escape"},
        BadFile{"TrailingText", kHeader + "[HKCU\\A]\n\"a\"=\"b\" c\n", 4, "after the closing"},
        BadFile{"DwordTooLong", kHeader + "[HKCU\\A]\n\"a\"=dword:123456789\n", 4, "dword"},
        BadFile{"DwordNotHex", kHeader + "[HKCU\\A]\n\"a\"=dword:12g4\n", 4, "dword"},
        BadFile{"DwordEmpty", kHeader + "[HKCU\\A]\n\"a\"=dword:\n", 4, "dword"},
        BadFile{"HexNotHex", kHeader + "[HKCU\\A]\n\"a\"=hex:01,zz\n", 4, "hex data"},
        BadFile{"HexThreeDigits", kHeader + "[HKCU\\A]\n\"a\"=hex:123\n", 4, "hex data"},
        BadFile{"HexMissingByte", kHeader + "[HKCU\\A]\n\"a\"=hex:01,,02\n", 4, "hex data"},
        BadFile{"HexBadType", kHeader + "[HKCU\\A]\n\"a\"=hex(q):01\n", 4, "type number"},
        BadFile{"HexNoColon", kHeader + "[HKCU\\A]\n\"a\"=hex 01\n", 4, "expected \":\""},
        BadFile{"HexPastEnd", kHeader + "[HKCU\\A]\n\"a\"=hex:01,\\", 4, "end of the file"},
        BadFile{"BadContinuation", kHeader + "[HKCU\\A]\n\"a\"=hex:01,\\\n  02,x\n", 4, "hex data"},
        BadFile{"OddUtf16", kHeader + "[HKCU\\A]\n\"a\"=hex(1):41\n", 4, "UTF-16"},
        BadFile{"LoneSurrogate", kHeader + "[HKCU\\A]\n\"a\"=hex(2):00,d8,41,00\n", 4, "UTF-16"},
        BadFile{"ShortDword", kHeader + "[HKCU\\A]\n\"a\"=hex(4):01,02\n", 4, "4 bytes"},
        BadFile{"ShortQword", kHeader + "[HKCU\\A]\n\"a\"=hex(b):01\n", 4, "8 bytes"},
        BadFile{"UnknownData", kHeader + "[HKCU\\A]\n\"a\"=qword:1\n", 4, "unknown value data"},
        BadFile{"LaterLine", kHeader + "[HKCU\\A]\n\"a\"=\"b\"\n\n[HKCU\\B]\n@=oops\n", 7,
                "unknown value data"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Writing and reading back -----------------------------------------------------------------

RegFileValue Entry(std::string name, RegType type, std::string text = {}, uint64_t number = 0,
                   std::vector<uint8_t> data = {}) {
    RegFileValue entry;
    entry.name = std::move(name);
    entry.value.type = type;
    entry.value.text = std::move(text);
    entry.value.number = number;
    entry.value.data = std::move(data);
    return entry;
}

TEST_F(RegFileTest, WrittenFilesReadBackToTheSameValues) {
    RegFile file;
    file.fileName = "written.reg";
    RegFileKey key;
    key.root = HKEY_CLASSES_ROOT;
    key.path = "CLSID\\{6A1F0A20-1B2C-4D5E-8F90-ABCDEF012345}\\Quoted \"Name\"";
    std::vector<uint8_t> longData(200);
    for (size_t i = 0; i < longData.size(); ++i)
        longData[i] = static_cast<uint8_t>(i * 7);
    key.values = {
        Entry("", REG_SZ, "default"),
        Entry("Back\\slash \"and\" quotes", REG_SZ, "C:\\x\\\"y\""),
        Entry("Lines", REG_SZ, "one\r\ntwo\n"),
        Entry("Nul", REG_SZ, std::string("a\0b", 3)),
        Entry("Unicode", REG_SZ, "Größe 😀"),
        Entry("Expand", REG_EXPAND_SZ, "%HOME%/korva"),
        Entry("Dword", REG_DWORD, {}, 0xDEADBEEF),
        Entry("Qword", REG_QWORD, {}, 0x0123456789ABCDEFull),
        Entry("Long", REG_BINARY, {}, 0, longData),
        Entry("EmptyBinary", REG_BINARY),
        Entry("Multi", REG_MULTI_SZ, {}, 0, MultiStringData({"x", "Ÿ", "zz"})),
        Entry("None", REG_NONE, {}, 0, {1, 2}),
        Entry("Odd type", static_cast<RegType>(0x2A), {}, 0, {9}),
    };
    file.keys.push_back(key);
    RegFileKey removed;
    removed.root = HKEY_CURRENT_USER;
    removed.path = "Software\\Old";
    removed.remove = true;
    file.keys.push_back(removed);

    const std::string text = FormatRegFile(file);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 80u) << "lines stay short: " << text.substr(start, end - start);
    std::string error;
    const std::optional<RegFile> read = ParseRegFile(text, "written.reg", &error);
    ASSERT_TRUE(read.has_value()) << error << "\n" << text;
    ASSERT_EQ(read->keys.size(), 2u);
    EXPECT_EQ(read->keys[0].root, HKEY_CLASSES_ROOT);
    EXPECT_EQ(read->keys[0].path, key.path);
    ASSERT_EQ(read->keys[0].values.size(), key.values.size());
    for (size_t i = 0; i < key.values.size(); ++i) {
        const RegValue& want = key.values[i].value;
        const RegValue& got = read->keys[0].values[i].value;
        EXPECT_EQ(read->keys[0].values[i].name, key.values[i].name);
        EXPECT_EQ(got.type, want.type) << key.values[i].name;
        EXPECT_EQ(got.text, want.text) << key.values[i].name;
        EXPECT_EQ(got.number, want.number) << key.values[i].name;
        EXPECT_EQ(got.data, want.data) << key.values[i].name;
    }
    EXPECT_TRUE(read->keys[1].remove);
    EXPECT_EQ(FormatRegFile(*read), text);
}

TEST_F(RegFileTest, ReadsATreeParentsFirstInEnumerationOrder) {
    TRegistry registry;
    for (const char* key : {"Tree\\b\\y", "Tree\\B2", "Tree\\a\\x", "Tree\\a"})
        ASSERT_TRUE(registry.CreateKey(key));
    ASSERT_TRUE(registry.OpenKey("tree\\A", false));
    ASSERT_TRUE(registry.WriteString("v", "1"));

    std::string error;
    const std::optional<RegFile> tree = ReadRegTree(HKEY_CURRENT_USER, "TREE", &error);
    ASSERT_TRUE(tree.has_value()) << error;
    std::vector<std::string> paths;
    for (const RegFileKey& key : tree->keys)
        paths.push_back(key.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"Tree", "Tree\\a", "Tree\\a\\x", "Tree\\b",
                                               "Tree\\b\\y", "Tree\\B2"}));
    EXPECT_EQ(tree->keys[1].values.size(), 1u);

    EXPECT_FALSE(ReadRegTree(HKEY_CURRENT_USER, "Missing", &error).has_value());
    EXPECT_EQ(error, "key not found: HKEY_CURRENT_USER\\Missing");
}

// ---- All or nothing ---------------------------------------------------------------------------

std::string Snapshot(HKEY root) {
    std::string error;
    const std::optional<RegFile> tree = ReadRegTree(root, "", &error);
    return tree ? FormatRegFile(*tree) : "error: " + error;
}

TEST_F(RegFileTest, AnImportThatMeetsAReadOnlyKeyChangesNothingInAnyHive) {
    TRegistry setup;
    ASSERT_TRUE(setup.OpenKey("Software\\Locked", true));
    ASSERT_TRUE(setup.WriteString("v", "old"));
    ASSERT_TRUE(setup.CreateKey("\\Software\\Doomed\\Child"));
    ASSERT_TRUE(setup.SetKeyAccess("\\Software\\Locked", KeyAccess::ReadOnly));
    setup.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(setup.CreateKey("Existing"));
    const std::string userBefore = Snapshot(HKEY_CURRENT_USER);
    const std::string classesBefore = Snapshot(HKEY_CLASSES_ROOT);

    struct Case {
        const char* label;
        std::string tail;
        int line;
    } cases[] = {
        {"ValueInReadOnlyKey", "[HKCU\\Software\\Locked]\n\"v\"=\"new\"\n", 14},
        {"KeyBelowReadOnlyKey", "[HKCU\\Software\\Locked\\New]\n", 13},
        {"DeleteReadOnlyKey", "[-HKCU\\Software\\Locked]\n", 13},
        {"DeleteAboveReadOnlyKey", "[-HKCU\\Software]\n", 13},
    };
    for (const Case& c : cases) {
        // Good changes in both hives come first, the refused one last.
        const std::string content = kHeader +
                                    "[HKCR\\New.Class]\n@=\"x\"\n\n"
                                    "[-HKCR\\Existing]\n\n"
                                    "[HKCU\\Software\\Fresh]\n\"a\"=dword:1\n\n"
                                    "[-HKCU\\Software\\Doomed]\n\n" +
                                    c.tail;
        std::string error;
        const std::optional<RegFile> file = ParseRegFile(content, "locked.reg", &error);
        ASSERT_TRUE(file.has_value()) << c.label << ": " << error;
        EXPECT_FALSE(ImportRegFile(*file, &error)) << c.label;
        EXPECT_EQ(error.rfind("locked.reg:" + std::to_string(c.line) + ": access denied", 0), 0u)
            << c.label << ": " << error;
        EXPECT_EQ(Snapshot(HKEY_CURRENT_USER), userBefore) << c.label;
        EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT), classesBefore) << c.label;
    }
}

TEST_F(RegFileTest, DeletingWhatDoesNotExistIsNoError) {
    std::string error;
    const std::optional<RegFile> file = ParseRegFile(
        kHeader + "[-HKCU\\Never\\There]\n\n[HKCU\\Here]\n\"nope\"=-\n", "x.reg", &error);
    ASSERT_TRUE(file.has_value()) << error;
    EXPECT_TRUE(ImportRegFile(*file, &error)) << error;
    TRegistry registry;
    EXPECT_TRUE(registry.KeyExists("Here")) << "a key line creates its key";
}

TEST_F(RegFileTest, ParsesFullKeyNames) {
    struct Case {
        const char* name;
        bool valid;
        HKEY root;
        const char* path;
    } cases[] = {
        {"HKEY_CURRENT_USER\\Software\\X", true, HKEY_CURRENT_USER, "Software\\X"},
        {"hkcu\\Software\\X\\", true, HKEY_CURRENT_USER, "Software\\X"},
        {"HKCR", true, HKEY_CLASSES_ROOT, ""},
        {"HKEY_CLASSES_ROOT\\", true, HKEY_CLASSES_ROOT, ""},
        {"HKLM\\Software", false, HKEY_CURRENT_USER, ""},
        {"Software\\X", false, HKEY_CURRENT_USER, ""},
        {"HKCU\\a\\\\b", false, HKEY_CURRENT_USER, ""},
        {"", false, HKEY_CURRENT_USER, ""},
    };
    for (const Case& c : cases) {
        HKEY root = HKEY_CURRENT_USER;
        std::string path;
        std::string error;
        EXPECT_EQ(ParseFullKeyName(c.name, root, path, &error), c.valid) << c.name;
        if (c.valid) {
            EXPECT_EQ(root, c.root) << c.name;
            EXPECT_EQ(path, c.path) << c.name;
        } else {
            EXPECT_FALSE(error.empty()) << c.name;
        }
    }
}

}  // namespace
