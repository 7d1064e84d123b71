#include "components/detail/c_locale.h"

namespace qncomps::detail {

locale_t CLocale() {
    // Created once and kept for the life of the process: threads may still be inside a scope
    // while the library ends.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

}  // namespace qncomps::detail
