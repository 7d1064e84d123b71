// The block's parameter dialog, shown on the host's thread by CallParameterDialogDLL.
#pragma once

#include "host/block_abi.h"

namespace virelon {

// Lets the user edit the block of `block` (its instance must exist). On OK the instance and the
// output description in `io` are updated; on Cancel nothing changes. Refuses to open during a
// run.
void ShowParameterDialog(korva::abi::THostBlock& block, korva::abi::THostIOInfo* io);

}  // namespace virelon
