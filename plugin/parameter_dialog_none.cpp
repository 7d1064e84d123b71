// Builds without the parameter dialog: the entry point exists, shows nothing and changes nothing.
#include "plugin/parameter_dialog.h"

namespace virelon {

void ShowParameterDialog(korva::abi::THostBlock&, korva::abi::THostIOInfo*) {}

}  // namespace virelon
