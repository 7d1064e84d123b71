// What the OPC client layer's tests share: a fixture with a private registry, COM on the test's
// thread, the fault-injecting server registered and task memory checked against its baseline;
// the two text variants behind one interface; and observers of how objects are created.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "opc/detail/server_activation.h"
#include "opc/opc_access.h"
#include "tests/fixtures/opc/fault_server.h"
#include "tests/support/private_registry.h"

namespace opctest {

// The two text variants of the access helpers: UTF-16 (the plug-in) and 8-bit text of the
// system code page (the test client). The calls take and give UTF-16; the 8-bit variant
// converts on the way in and back on the way out, so a test compares the same texts for both.
enum class TextVariant { Utf16, Ansi };
std::string VariantName(const ::testing::TestParamInfo<TextVariant>& info);

struct Access {
    TextVariant variant;

    bool Connect(std::u16string_view machine, std::u16string_view server,
                 ComPtr<IOPCServer>& out) const;
    void Browse(IOPCServer* server, std::vector<std::u16string>& items,
                OPCNAMESPACETYPE& organization) const;
    HRESULT CreateGroup(IOPCServer* server, std::u16string_view name, BOOL active, DWORD rate,
                        ComPtr<IOPCItemMgt>& group, OPCHANDLE& handle) const;
    HRESULT AddItem(IOPCItemMgt* group, std::u16string_view itemId, OPCHANDLE client,
                    VARTYPE requested, OPCHANDLE& handle, VARTYPE& canonical) const;
    HRESULT ReadText(IOPCItemMgt* group, OPCHANDLE handle, std::u16string& text,
                     WORD& quality) const;
    void Enumerate(std::u16string_view machine, std::vector<std::u16string>& names,
                   std::vector<std::u16string>& classIds) const;
};

// One creation as the client layer asked the runtime for it.
struct ActivationRecord {
    bool distributed = false;  // CoCreateInstanceEx (true) or CoCreateInstance
    DWORD context = 0;
    std::u16string machine;
    CLSID clsid{};
};

// Records every creation of the client layer while it lives and passes it on to the runtime.
class ActivationRecorder {
  public:
    ActivationRecorder();
    ~ActivationRecorder();
    std::vector<ActivationRecord> Records() const;

  private:
    opc::detail::ActivationCalls previous_;
};

// Stands in for other machines: records each request and creates the object in this process,
// so a "remote" server or server list component is the registered in-process one.
class FakeRemoteActivation : public RemoteActivation {
  public:
    HRESULT CreateInstance(std::u16string_view machine, REFCLSID clsid, REFIID riid,
                           void** object) override;
    std::vector<std::u16string> Machines() const;
    std::vector<CLSID> Classes() const;
    void FailWith(HRESULT hr) { fail_ = hr; }

  private:
    mutable std::mutex mutex_;
    std::vector<std::u16string> machines_;
    std::vector<CLSID> classes_;
    HRESULT fail_ = S_OK;
};

// A shutdown sink that only counts notices.
class CountingShutdownSink : public ComObject<IOPCShutdown> {
  public:
    HRESULT ShutdownRequest(LPCWSTR) override {
        ++requests;
        return S_OK;
    }
    int requests = 0;
};

// Base fixture: private registry, COM initialised, the fault server registered with its
// default behaviour, task memory and the fixture's objects checked when the test ends.
// Tests hold their references in locals (or release them before TearDown).
class OpcTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    const OpcFaultApi& Fault() const { return *fault_; }
    void Configure(const OpcFaultConfig& config);
    OpcFaultStats Stats() const;
    // Installs `remote` as the backend for other machines until the test ends.
    void UseRemote(std::shared_ptr<RemoteActivation> remote);
    const std::string& RegistryDirectory() const { return registry_->directory(); }
    // Takes the task memory in use now as the baseline: for servers that keep values of their
    // own in task memory from their first use on.
    void ResetTaskMemoryBaseline();

    // The fault server's class identifier and a connected reference through the runtime alone.
    static CLSID FaultClsid();

  private:
    std::optional<korva::test::PrivateRegistry> registry_;
    const OpcFaultApi* fault_ = nullptr;
    size_t taskMemoryBaseline_ = 0;
    bool comInitialised_ = false;
    bool remoteInstalled_ = false;
    std::shared_ptr<RemoteActivation> previousRemote_;
};

// `text` with the letter case of every ASCII letter turned round ("Build-Host" -> "bUILD-hOST").
std::u16string SwapCase(std::u16string_view text);
std::u16string ComputerName();

// Writes HKEY_CLASSES_ROOT keys of the private registry.
void WriteKey(const std::string& path, std::optional<std::string> defaultValue = std::nullopt);

}  // namespace opctest
