// korva: the stand-in simulation host.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "host/commands.h"

namespace {
void OnSignal(int) {
    korva::RequestStop();
}
}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return korva::RunCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
