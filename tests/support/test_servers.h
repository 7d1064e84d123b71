// Test support: registering the system's server modules in the test's private registry.
#pragma once

#include <string>

#include "platform/com/com.h"

namespace korva::test {

// Paths of the modules in the build tree.
std::string SimulationServerModulePath();  // bin/libopcsim.so
std::string ServerListModulePath();        // bin/libopcenum.so
std::string FaultServerModulePath();       // bin/fixtures/opc/libopcfault.so

// Load the module and call its DllRegisterServer, which writes into the registry that
// KORVA_REGISTRY names (create a PrivateRegistry first). CO_E_DLLNOTFOUND when the module cannot
// be loaded, CO_E_ERRORINDLL when it lacks the export; otherwise the export's answer.
HRESULT RegisterSimulationServer();
HRESULT RegisterServerListComponent();
HRESULT RegisterFaultServer();

// The same for any module path, and its DllUnregisterServer.
HRESULT RegisterModule(const std::string& path);
HRESULT UnregisterModule(const std::string& path);

}  // namespace korva::test
