#include <cstdlib>

#include "servers/opcsim/address_space_file.h"
#include "servers/opcsim/opcsim.h"
#include "servers/opcsim/server.h"

namespace opcsim {

HRESULT CreateServerWith(SharedAddressSpace space, std::shared_ptr<const SimClock> clock,
                         REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!space)
        return E_INVALIDARG;
    if (!clock)
        clock = std::make_shared<SteadyClock>();
    auto server = MakeComObject<OpcServer>(std::move(space), std::move(clock));
    return server->QueryInterface(riid, object);
}

HRESULT CreateServer(ServerKind kind, std::shared_ptr<const SimClock> clock, REFIID riid,
                     void** object, std::string* error) {
    if (object)
        *object = nullptr;
    SharedAddressSpace space;
    if (kind == ServerKind::Flat) {
        space = DefaultFlatSpace();
    } else if (const char* path = std::getenv(kAddressSpaceVariable); path && *path) {
        AddressSpaceResult loaded = LoadAddressSpaceFile(path);
        if (!loaded.space) {
            if (error)
                *error = std::move(loaded.error);
            return OPC_E_INVALIDCONFIGFILE;
        }
        space = std::move(loaded.space);
    } else {
        space = DefaultHierarchicalSpace();
    }
    return CreateServerWith(std::move(space), std::move(clock), riid, object);
}

}  // namespace opcsim
