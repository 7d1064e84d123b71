#include "tests/support/private_registry.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace korva::test {

std::string MakeTempDirectory(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    return pattern;
}

void RemoveTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

PrivateRegistry::PrivateRegistry() : directory_(MakeTempDirectory("korva-registry-")) {
    if (const char* old = std::getenv("KORVA_REGISTRY")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("KORVA_REGISTRY", directory_.c_str(), 1);
}

PrivateRegistry::~PrivateRegistry() {
    if (hadPrevious_)
        setenv("KORVA_REGISTRY", previous_.c_str(), 1);
    else
        unsetenv("KORVA_REGISTRY");
    RemoveTree(directory_);
}

}  // namespace korva::test
