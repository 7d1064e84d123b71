// A ready IEnumString over a fixed list of texts, for servers that hand out names.
#pragma once

#include <string>
#include <vector>

#include "platform/com/interfaces.h"

// Next hands out copies in task memory (the caller frees each with CoTaskMemFree) and answers
// S_FALSE when fewer than asked remain; `fetched` may be null only when one text is asked for
// (else E_INVALIDARG). Skip answers S_FALSE when it reached the end early. Clones share the list
// and start at the original's position. Any thread may use it.
ComPtr<IEnumString> MakeEnumString(std::vector<std::u16string> texts);
