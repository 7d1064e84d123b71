#include <dlfcn.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/kernel/kernel.h"
#include "tests/platform/scoped_env.h"

namespace {

const std::string kFixtures = KORVA_FIXTURES_DIR;

// Closes the library at the end of a test, also when an assertion ends it early.
struct Library {
    explicit Library(std::string_view name) : handle(LoadStringLibrary(name)) {}
    ~Library() { FreeLibrary(handle); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE handle;
};

std::u16string Wide(HMODULE module, UINT id, int size = 256) {
    std::u16string buffer(static_cast<size_t>(size > 0 ? size : 1), u'#');
    const int length = LoadStringW(module, id, buffer.data(), size);
    EXPECT_GE(length, 0);
    if (size > 0) {
        EXPECT_EQ(buffer[static_cast<size_t>(length)], u'\0');
    }
    return buffer.substr(0, static_cast<size_t>(length));
}

std::string Narrow(HMODULE module, UINT id, int size = 256) {
    std::string buffer(static_cast<size_t>(size > 0 ? size : 1), '#');
    const int length = LoadStringA(module, id, buffer.data(), size);
    EXPECT_GE(length, 0);
    if (size > 0) {
        EXPECT_EQ(buffer[static_cast<size_t>(length)], '\0');
    }
    return buffer.substr(0, static_cast<size_t>(length));
}

// The test runs with strings-complete on the loader's search path (see CMakeLists.txt).
TEST(StringLibrary, FoundByItsBareNameThroughTheLoaderSearchPath) {
    for (const char* name : {"QNSTRING7.DLL", "QNSTRING8.DLL", "qnstring8.dll", "QNSTRING7"}) {
        SCOPED_TRACE(name);
        Library library(name);
        ASSERT_NE(library.handle, nullptr);
        EXPECT_EQ(Wide(library.handle, 1553), u"Wrong number format");
        EXPECT_EQ(Narrow(library.handle, 1002), "Error");
        const void* table = dlsym(library.handle, "KorvaResourceString");
        EXPECT_EQ(ExtractFilePath(GetModuleFileName(table)), kFixtures + "/strings-complete/");
    }
}

TEST(StringLibrary, MissingOrForeignLibraryIsNotLoaded) {
    EXPECT_EQ(LoadStringLibrary("QNSTRING9.DLL"), nullptr);
    EXPECT_EQ(LoadStringLibrary(""), nullptr);
    // Found, but without a string table: the platform library itself.
    EXPECT_EQ(LoadStringLibrary("KORVAKERNEL.DLL"), nullptr);
    FreeLibrary(nullptr);  // harmless
}

TEST(StringLibrary, MissingNumberGivesTheEmptyText) {
    Library library(kFixtures + "/strings-partial/QNSTRING7.DLL");
    ASSERT_NE(library.handle, nullptr);
    for (UINT id : {1553u, 1002u, 0u, 99999u}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(Wide(library.handle, id), u"");
        EXPECT_EQ(Narrow(library.handle, id), "");
    }
    EXPECT_EQ(Narrow(library.handle, 1011), "Permitted range");
    EXPECT_EQ(Wide(nullptr, 1011), u"") << "no library, no text";
}

struct CutCase {
    int size;
    size_t expectedLength;
};

TEST(StringLibrary, LongTextIsCutToTheBuffer) {
    Library library(kFixtures + "/strings-long/QNSTRING8.DLL");
    ASSERT_NE(library.handle, nullptr);
    const std::u16string whole = Wide(library.handle, 1553, 1000);
    ASSERT_EQ(whole.size(), 300u);
    const CutCase cases[] = {{256, 255}, {301, 300}, {300, 299}, {21, 20}, {2, 1}, {1, 0}};
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(Wide(library.handle, 1553, c.size), whole.substr(0, c.expectedLength));
        EXPECT_EQ(Narrow(library.handle, 1553, c.size),
                  std::string(whole.begin(), whole.begin() + static_cast<long>(c.expectedLength)));
    }
    // No room at all: nothing is written.
    char16_t wide = u'#';
    char narrow = '#';
    EXPECT_EQ(LoadStringW(library.handle, 1553, &wide, 0), 0);
    EXPECT_EQ(LoadStringA(library.handle, 1553, &narrow, 0), 0);
    EXPECT_EQ(wide, u'#');
    EXPECT_EQ(narrow, '#');
    EXPECT_EQ(LoadStringW(library.handle, 1553, nullptr, 10), 0);
}

class UnicodeStrings : public ::testing::Test {
  protected:
    Library library_{kFixtures + "/platform-strings/KORVATESTSTRINGS.DLL"};
};

TEST_F(UnicodeStrings, NarrowTextsAreInTheSystemCodePage) {
    ASSERT_NE(library_.handle, nullptr);
    korva::test::ScopedEnv page("KORVA_CODEPAGE", std::nullopt);
    EXPECT_EQ(Narrow(library_.handle, 1),
              "Gr\xFC\xDF"
              "e");
    EXPECT_EQ(Narrow(library_.handle, 2), "5 \x80");
    EXPECT_EQ(Narrow(library_.handle, 3), "?mega") << "no form in Windows-1252";
    EXPECT_EQ(Narrow(library_.handle, 4), "ab?cd") << "one character, one replacement";
    EXPECT_EQ(Narrow(library_.handle, 65535), "last");
}

TEST_F(UnicodeStrings, CutsNeverSplitACharacter) {
    ASSERT_NE(library_.handle, nullptr);
    // ab + a surrogate pair: with room for three units the pair does not fit whole.
    EXPECT_EQ(Wide(library_.handle, 4, 4), u"ab");
    EXPECT_EQ(Wide(library_.handle, 4, 5), u"ab😀");

    // In a multi-byte code page a cut falls between characters, not inside one.
    korva::test::ScopedEnv page("KORVA_CODEPAGE", "UTF-8");
    EXPECT_EQ(Narrow(library_.handle, 1, 4), "Gr");          // "ü" takes two bytes
    EXPECT_EQ(Narrow(library_.handle, 1, 5), "Gr\xC3\xBC");  // now it fits
    EXPECT_EQ(Narrow(library_.handle, 4, 6), "ab");          // four bytes for the emoji
    EXPECT_EQ(Narrow(library_.handle, 4, 7), "ab\xF0\x9F\x98\x80");
}

}  // namespace
