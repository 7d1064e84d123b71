// Test support: every test process works on a registry of its own.
#pragma once

#include <string>

namespace korva::test {

// Points KORVA_REGISTRY (and TMPDIR-independent state) at a fresh directory for the lifetime of
// the object and removes the directory afterwards. Create it before the first registry access.
class PrivateRegistry {
public:
    PrivateRegistry();
    ~PrivateRegistry();
    PrivateRegistry(const PrivateRegistry&) = delete;
    PrivateRegistry& operator=(const PrivateRegistry&) = delete;

    const std::string& directory() const { return directory_; }

private:
    std::string directory_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// A fresh, empty directory under the system's temporary directory; removed by the caller.
std::string MakeTempDirectory(const std::string& prefix);
void RemoveTree(const std::string& path);

}  // namespace korva::test
