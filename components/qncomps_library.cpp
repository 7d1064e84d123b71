#include "components/qncomps_library.h"

#include "components/string_resources.h"
#include "components/suite_options.h"

std::vector<std::string>* ConversionNames = nullptr;
TExtendedList* ConversionFactors = nullptr;

namespace {
bool g_started = false;
SuiteVersion g_version = SuiteVersion::Quintor7;
}  // namespace

bool QnCompsInitialize(SuiteVersion version) {
    if (g_started)
        return false;
    g_started = true;
    g_version = version;
    ConversionNames = new std::vector<std::string>();
    ConversionFactors = new TExtendedList();
    LoadSuiteStringLibrary(version);
    LoadSuiteOptions(version);
    return true;
}

void QnCompsFinalize() {
    if (!g_started)
        return;
    ReleaseSuiteOptions();
    FreeSuiteStringLibrary();
    delete ConversionFactors;
    ConversionFactors = nullptr;
    delete ConversionNames;
    ConversionNames = nullptr;
    g_started = false;
    g_version = SuiteVersion::Quintor7;
}

bool QnCompsInitialized() {
    return g_started;
}

SuiteVersion QnCompsSuiteVersion() {
    return g_version;
}
