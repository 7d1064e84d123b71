// The simulation OPC server: its classes, and creating server objects without the class factory
// (tests and benchmarks that bring their own clock or address space).
#pragma once

#include <memory>
#include <string>

#include "servers/opcsim/address_space.h"
#include "servers/opcsim/clock.h"

namespace opcsim {

// Hierarchical address space: ProgIDs "OPCSim.Server.1" and "OPCSim.Server".
constexpr CLSID CLSID_OPCSimServer = MakeGuid("E3DB549F-4B85-4653-A139-B5EAD52307B5");
// Flat address space with dotted identifiers: "OPCSim.FlatServer.1" and "OPCSim.FlatServer".
constexpr CLSID CLSID_OPCSimFlatServer = MakeGuid("217ED61B-52C1-48E4-A6A7-B37C7EEE2FC2");

inline constexpr char kServerProgId[] = "OPCSim.Server.1";
inline constexpr char kServerViProgId[] = "OPCSim.Server";
inline constexpr char kServerUserType[] = "OPC Simulation Server";
inline constexpr char kFlatServerProgId[] = "OPCSim.FlatServer.1";
inline constexpr char kFlatServerViProgId[] = "OPCSim.FlatServer";
inline constexpr char kFlatServerUserType[] = "OPC Simulation Server (flat address space)";
inline constexpr char kVendor[] = "Felmaran";

// Names a file whose items replace the default hierarchical address space; read when a server
// object is created.
inline constexpr char kAddressSpaceVariable[] = "OPCSIM_ADDRESS_SPACE";

enum class ServerKind { Hierarchical, Flat };

// Creates a server object as the class factory does; `clock` null means the steady clock. A
// hierarchical server takes its items from the file OPCSIM_ADDRESS_SPACE names, when set: a file
// that cannot be read or has a malformed line gives OPC_E_INVALIDCONFIGFILE, with the reason
// ("plant.txt:12: unknown type \"VT_FOO\"") in `error`.
HRESULT CreateServer(ServerKind kind, std::shared_ptr<const SimClock> clock, REFIID riid,
                     void** object, std::string* error = nullptr);

// Creates a server object over the given address space.
HRESULT CreateServerWith(SharedAddressSpace space, std::shared_ptr<const SimClock> clock,
                         REFIID riid, void** object);

}  // namespace opcsim
