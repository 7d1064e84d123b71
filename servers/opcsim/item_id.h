// Item identifiers: which texts are well-formed, and the browse filter's wildcards.
#pragma once

#include <string_view>

#include "opc/opc_types.h"

namespace opcsim {

// A well-formed identifier is not empty, has no control characters (U+0000..U+001F,
// U+007F..U+009F), no unpaired surrogate and no blank at either end. In a hierarchical space the
// "." separates branch names, so no name may be empty: no "." at either end and no "..".
// A flat space takes dots as ordinary characters ("Tag." is a valid flat identifier).
// Clients get OPC_E_INVALIDITEMID for an identifier that fails this, OPC_E_UNKNOWNITEMID for a
// well-formed one that names no item.
bool IsWellFormedItemId(std::u16string_view id, OPCNAMESPACETYPE organization);

// Browse filter: "*" matches any run of characters (also none), "?" exactly one; everything else
// matches itself, case-sensitively. An empty filter matches everything.
bool MatchesFilter(std::u16string_view name, std::u16string_view filter);

}  // namespace opcsim
