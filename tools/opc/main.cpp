// opc: a command-line OPC DA client for scripts and for trying a server from a terminal.
#include <csignal>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "tools/opc/commands.h"

namespace {

extern "C" void OnStopSignal(int) {
    opctool::RequestStop();
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away (opc read ... | head -1) shows up as EPIPE, and opc stops quietly.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);

    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        std::fprintf(stderr, "opc: cannot initialise COM: %s\n", DescribeHResult(hr).c_str());
        return opctool::kExitError;
    }
    int status = opctool::RunOpcTool(std::vector<std::string>(argv + 1, argv + argc), {});
    CoUninitialize();
    return status;
}
