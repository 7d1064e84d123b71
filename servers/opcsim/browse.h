// Browsing an address space: moving a position through its branches and listing names there.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "servers/opcsim/address_space.h"

namespace opcsim {

// Moves `position` (a branch index). UP from the root: E_FAIL. DOWN to a branch that the
// position does not hold, or TO a path that is not a branch: E_INVALIDARG. TO with an empty name
// goes to the root. A flat space has no branches: only TO the root succeeds, everything else is
// E_FAIL.
HRESULT ChangeBrowsePosition(const AddressSpace& space, size_t& position,
                             OPCBROWSEDIRECTION direction, std::u16string_view name);

// OPC_BRANCH: the names of the branches at the position; OPC_LEAF: the names of the items
// there; OPC_FLAT: the fully qualified identifiers of every item at or below the position.
// `filter` (wildcards * and ?) applies to the names listed; `dataType` (VT_EMPTY: any) keeps the
// items of that canonical type, `accessRights` (0: any) those that have all the given rights.
// Answers S_FALSE when nothing is listed, E_INVALIDARG for an unknown browse type.
HRESULT BrowseNames(const AddressSpace& space, size_t position, OPCBROWSETYPE type,
                    std::u16string_view filter, VARTYPE dataType, DWORD accessRights,
                    std::vector<std::u16string>& names);

// The fully qualified identifier of the item or branch `name` at the position; an empty name
// gives the position's own path. E_INVALIDARG when there is no such item or branch.
HRESULT FullItemId(const AddressSpace& space, size_t position, std::u16string_view name,
                   std::u16string& id);

}  // namespace opcsim
