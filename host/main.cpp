// korva: the stand-in simulation host.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "host/commands.h"
#ifdef KORVA_WITH_WINDOWS
#include "host/edit_window.h"
#endif

namespace {
void OnSignal(int) {
    korva::RequestStop();
}
}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#ifdef KORVA_WITH_WINDOWS
    korva::InstallQtHostWindow();
#endif
    return korva::RunCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
