// A ready IEnumGUID over a fixed list of identifiers (class lists, categories).
#pragma once

#include <vector>

#include "platform/com/interfaces.h"

// Next copies into the caller's array and answers S_FALSE when fewer than asked remain;
// `fetched` may be null only when one GUID is asked for (else E_INVALIDARG). Skip answers S_FALSE
// when it reached the end early. Clones share the list and start at the original's position. Any
// thread may use it.
ComPtr<IEnumGUID> MakeEnumGuid(std::vector<GUID> guids);
