// The block library as the host sees it: loaded with dlopen, its entry points looked up by name,
// the host's records checked byte by byte.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "host/block_abi.h"
#include "plugin/extended.h"
#include "plugin_test_support.h"
#include "tests/support/private_registry.h"

namespace {

using namespace korva::abi;
using virelon::test::FilesStartingWith;
using virelon::test::MemoryFile;

// The library, loaded once for the whole test program (as a host keeps it loaded).
struct Library {
    void* handle = nullptr;
    template <class Fn>
    Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(dlsym(handle, name));
    }
};

class ExportsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        registry_ = new korva::test::PrivateRegistry;
        // The tag tree cache goes to the temporary directory; keep it private to the test.
        runtimeDirectory_ = korva::test::MakeTempDirectory("virelon-runtime");
        setenv("XDG_RUNTIME_DIR", runtimeDirectory_.c_str(), 1);
        // A host with a decimal comma: the library's start must leave its locale as it is.
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        localeBefore_ = std::setlocale(LC_ALL, nullptr);
        library_.handle = dlopen(VIRELON_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_.handle, nullptr) << dlerror();
    }
    static void TearDownTestSuite() {
        korva::test::RemoveTree(runtimeDirectory_);
        delete registry_;
        std::setlocale(LC_ALL, "C");
    }

    void SetUp() override {
        ASSERT_NE(library_.handle, nullptr);
        InitUserDLL = library_.Get<InitUserDLLFn>("InitUserDLL");
        DisposeUserDLL = library_.Get<DisposeUserDLLFn>("DisposeUserDLL");
        ReadFromFile = library_.Get<ReadFromFileFn>("ReadFromFile");
        WriteToFile = library_.Get<WriteToFileFn>("WriteToFile");
        block_ = NewBlock();
    }
    void TearDown() override {
        for (auto& block : blocks_)
            DisposeUserDLL(block.get());
    }

    THostBlock* NewBlock(const char* name = "Block 1") {
        auto block = std::make_unique<THostBlock>();
        std::memset(block.get(), 0, sizeof(THostBlock));
        block->BlockName = name;
        InitUserDLL(block.get());
        blocks_.push_back(std::move(block));
        return blocks_.back().get();
    }
    void Configure(THostBlock* block, const std::string& record) {
        MemoryFile file(record);
        ReadFromFile(file.fd(), block);
    }
    static std::string Record(const std::string& server, std::initializer_list<std::string> items,
                              const std::string& log = "0") {
        std::string text =
            "801265\r\n\r\n" + server + "\r\n" + std::to_string(items.size()) + "\r\n";
        for (const std::string& item : items)
            text += item + "\r\n";
        return text + log + "\r\n0\r\n1\r\n60000\r\n0\r\n";
    }

    static korva::test::PrivateRegistry* registry_;
    static std::string runtimeDirectory_;
    static std::string localeBefore_;
    static Library library_;
    InitUserDLLFn InitUserDLL = nullptr;
    DisposeUserDLLFn DisposeUserDLL = nullptr;
    ReadFromFileFn ReadFromFile = nullptr;
    WriteToFileFn WriteToFile = nullptr;
    std::vector<std::unique_ptr<THostBlock>> blocks_;
    THostBlock* block_ = nullptr;
};
korva::test::PrivateRegistry* ExportsTest::registry_ = nullptr;
std::string ExportsTest::runtimeDirectory_;
std::string ExportsTest::localeBefore_;
Library ExportsTest::library_;

TEST_F(ExportsTest, ExportsExactlyTheEntryPoints) {
    const std::string command = std::string("nm -D --defined-only ") + VIRELON_LIBRARY_PATH;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char address[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3)
            exported.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);
    const std::set<std::string> expected(std::begin(kEntryPointNames), std::end(kEntryPointNames));
    EXPECT_EQ(exported, expected);
}

TEST_F(ExportsTest, LoadingKeepsTheHostLocale) {
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), localeBefore_);
}

TEST_F(ExportsTest, NameIsOneConstantText) {
    auto GetDLLName = library_.Get<GetDLLNameFn>("GetDLLName");
    const char* first = GetDLLName();
    EXPECT_STREQ(first, "OPC Client Input");
    EXPECT_EQ(GetDLLName(), first);
    library_.Get<IsUserDLL32Fn>("IsUserDLL32")();
}

TEST_F(ExportsTest, InstanceIsWrittenAtItsOffsetOnly) {
    THostBlock block;
    std::memset(&block, 0x5A, sizeof block);
    block.HostWindow = 0;
    block.BlockName = "B";
    InitUserDLL(&block);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&block);
    for (size_t i = 0; i < sizeof block; ++i) {
        if (i >= offsetof(THostBlock, Instance) && i < offsetof(THostBlock, Instance) + 8)
            continue;
        if (i >= offsetof(THostBlock, HostWindow) && i < offsetof(THostBlock, BlockName) + 8)
            continue;
        ASSERT_EQ(bytes[i], 0x5A) << "byte " << i;
    }
    void* const instance = block.Instance;  // a packed field: read, not bound
    EXPECT_NE(instance, nullptr);
    DisposeUserDLL(&block);
}

TEST_F(ExportsTest, CanSimulateWithAServerNameOnly) {
    auto CanSimulateDLL = library_.Get<CanSimulateDLLFn>("CanSimulateDLL");
    EXPECT_EQ(CanSimulateDLL(block_), 0);
    Configure(block_, Record("Any.Server", {}));
    EXPECT_EQ(CanSimulateDLL(block_), 1);
}

TEST_F(ExportsTest, DescriptionRecordsTouchOnlyTheirBytes) {
    uint8_t param[sizeof(THostParamInfo)];
    std::memset(param, 0xEE, sizeof param);
    library_.Get<GetParameterStructFn>("GetParameterStruct")(
        reinterpret_cast<THostParamInfo*>(param));
    EXPECT_EQ(param[0] | param[1] | param[2], 0);
    EXPECT_EQ(param[3], 0xEE);

    uint8_t enable[sizeof(THostDialogEnable)];
    std::memset(enable, 0xEE, sizeof enable);
    library_.Get<GetDialogEnableStructFn>("GetDialogEnableStruct")(
        reinterpret_cast<THostDialogEnable*>(enable), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(enable[i], 0xEE) << i;
    for (int i = 4; i < 13; ++i)
        EXPECT_EQ(enable[i], 0) << i;
    EXPECT_EQ(enable[13], 0xEE);

    THostIOInfo io;
    std::memset(&io, 0xEE, sizeof io);
    library_.Get<GetNumberOfInputsOutputsFn>("GetNumberOfInputsOutputs")(&io);
    EXPECT_EQ(io.InputCount, 0);
    EXPECT_EQ(io.OutputCount, 0);
    EXPECT_EQ(static_cast<uint8_t>(io.OutputNames[0][0]), 0xEE) << "no names are written";
}

TEST_F(ExportsTest, OutputsAreTheItemsCutToFortyCharacters) {
    auto Describe = library_.Get<GetNumberOfInputsOutputs2Fn>("GetNumberOfInputsOutputs2");
    THostIOInfo io;
    std::memset(&io, 0xEE, sizeof io);
    Describe(&io, 0, nullptr, 0);
    EXPECT_EQ(io.OutputCount, 0xEE) << "a null instance writes nothing";

    const std::string longId = "Plant.Line1.Section4.Device17.Temperature.Value";  // 47
    Configure(block_, Record("S", {"One", "Two", longId, "Four", "Five"}));
    io.InputCount = 7;
    Describe(&io, 0, block_->Instance, 0);
    EXPECT_EQ(io.InputCount, 7) << "InputCount is the host's";
    EXPECT_EQ(io.OutputCount, 5);
    EXPECT_STREQ(io.OutputNames[0], "One");
    EXPECT_EQ(std::string(io.OutputNames[2], 40), longId.substr(0, 40));
    EXPECT_EQ(io.OutputNames[2][40], '\0');
    EXPECT_EQ(static_cast<uint8_t>(io.OutputNames[5][0]), 0xEE);

    Configure(block_, Record("S", {"A", "B", "C"}));
    Describe(&io, 0, block_->Instance, 0);
    EXPECT_EQ(io.OutputCount, 3);
    EXPECT_STREQ(io.OutputNames[2], "C");
    EXPECT_STREQ(io.OutputNames[3], "Four") << "slots from the count on keep their texts";
    EXPECT_STREQ(io.OutputNames[4], "Five");
}

TEST_F(ExportsTest, InstancesShareOneTagTreeFileThatDisposeDeletes) {
    const std::string cache = runtimeDirectory_ + "/korva/QN1.tmp";
    auto makeCache = [&] {
        std::FILE* file = std::fopen(cache.c_str(), "w");
        ASSERT_NE(file, nullptr) << cache;
        std::fputs("<OPCItems/>", file);
        std::fclose(file);
    };
    THostBlock* second = NewBlock("Block 2");
    // Whichever of the two is disposed, the one file at the fixed path goes.
    makeCache();
    DisposeUserDLL(second);
    blocks_.pop_back();
    EXPECT_NE(::access(cache.c_str(), F_OK), 0) << "disposing the second deletes the file";
    THostBlock* third = NewBlock("Block 3");
    makeCache();
    DisposeUserDLL(block_);
    blocks_.erase(blocks_.begin());
    EXPECT_NE(::access(cache.c_str(), F_OK), 0) << "disposing the first deletes it as well";
    DisposeUserDLL(third);  // and no file is no error
    blocks_.clear();
}

TEST_F(ExportsTest, FreshInstanceWritesTheDefaultRecord) {
    MemoryFile file;
    ASSERT_EQ(::write(file.fd(), "host:", 5), 5);
    WriteToFile(file.fd(), block_);
    EXPECT_EQ(file.Contents(), "host:801265\r\n\r\n\r\n0\r\n0\r\n0\r\n0\r\n100\r\n0\r\n");
}

TEST_F(ExportsTest, ReadFromFileStopsBehindTheRecord) {
    const std::string record = Record("OPCSim.Server", {"Signals.Sine"}, "2");
    MemoryFile file(record + "end block\r\n");
    ReadFromFile(file.fd(), block_);
    EXPECT_EQ(file.Position(), static_cast<off_t>(record.size()));
    MemoryFile out;
    WriteToFile(out.fd(), block_);
    EXPECT_EQ(out.Contents(), record);
}

TEST_F(ExportsTest, RunLogLandsBesideTheLibrary) {
    const std::string folder = std::string(VIRELON_LIBRARY_PATH)
                                   .substr(0, std::string(VIRELON_LIBRARY_PATH).rfind('/') + 1);
    const std::string tag = std::to_string(::getpid());
    const std::string name = "Exp>orts>" + tag;
    THostBlock* block = NewBlock(name.c_str());
    Configure(block, Record("No.Such.Server", {"X"}, "1"));
    uint8_t outputs[500] = {};
    library_.Get<InitSimulationDLLFn>("InitSimulationDLL")(block, nullptr, outputs);
    library_.Get<SimulateDLL2Fn>("SimulateDLL2")(0.5L, 0.5L, block, nullptr, outputs);
    EXPECT_EQ(virelon::FromExtended80(outputs), virelon::ReadFailedValue);
    library_.Get<EndSimulationDLL2Fn>("EndSimulationDLL2")(block);

    std::string found;
    for (const std::string& file : FilesStartingWith(folder, "Virin_"))
        if (file.size() > tag.size() + 4 &&
            file.compare(file.size() - tag.size() - 12, tag.size() + 12,
                         "_Exports" + tag + ".log") == 0)
            found = file;
    ASSERT_FALSE(found.empty()) << "no log file ending in _Exports" << tag << ".log in " << folder;
    const std::string text = virelon::test::ReadWholeFile(folder + found);
    ::unlink((folder + found).c_str());
    const auto lines = virelon::test::LogLines(text);
    ASSERT_EQ(lines.size(), 4u) << text;
    EXPECT_EQ(lines[1].rfind("Connection failed at ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("Connection failed at ", 0), 0u);
}

}  // namespace
