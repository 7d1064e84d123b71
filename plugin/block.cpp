#include "plugin/block.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "components/qncomps_library.h"
#include "platform/kernel/kernel.h"
#include "platform/text/text.h"
#include "plugin/number_format.h"

namespace virelon {
namespace {

constexpr char kLibraryName[] = "OPC Client Input";
std::atomic<korva::abi::HostWindowHandle> ownerWindow{0};

}  // namespace

const char* BlockLibraryName() {
    return kLibraryName;
}

TVirelonData* CreateInstance() {
    auto* data = new TVirelonData;
    // Every instance, every time, gets the same path: the temporary directory's "QN1.tmp".
    const std::string directory = GetTempPath();
    if (!directory.empty())
        data->TagTreeFile = Utf8ToUtf16(GetTempFileName(directory, "QN", 1));
    return data;
}

void DisposeInstance(TVirelonData* data) {
    if (!data)
        return;
    if (!data->TagTreeFile.empty()) {
        // A file that cannot be deleted stays; the instance is freed all the same.
        const std::string path = Utf16ToUtf8(data->TagTreeFile);
        if (::access(path.c_str(), F_OK) == 0)
            ::unlink(path.c_str());
    }
    delete data;
}

int32_t CanSimulate(const TVirelonData& data) {
    return data.Server.empty() ? 0 : 1;
}

void DescribeOutputs(const TVirelonData& data, korva::abi::THostIOInfo& io) {
    const int32_t count = std::clamp<int32_t>(data.Count, 0, kMaxItems);
    io.OutputCount = static_cast<uint8_t>(count);
    for (int32_t k = 0; k < count; ++k) {
        const std::string& id = data.ItemIDs[k];
        const size_t length = std::min(id.size(), korva::abi::kOutputNameSize - 1);
        std::memcpy(io.OutputNames[k], id.data(), length);
        io.OutputNames[k][length] = '\0';
    }
}

void SetOwnerWindow(korva::abi::HostWindowHandle window) {
    ownerWindow.store(window);
}
korva::abi::HostWindowHandle OwnerWindow() {
    return ownerWindow.load();
}

void StartLibrary() {
    StartNumberFormat();
    // The component library: its own full stop for numbers, its lists, "QNSTRING8.DLL" and the
    // suite settings of version 8.
    QnCompsInitialize(SuiteVersion::Quintor8);
}

void EndLibrary() {
    QnCompsFinalize();
}

}  // namespace virelon
