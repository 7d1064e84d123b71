// The system's own number texts always use the full stop. Formatting and reading therefore run
// in the "C" locale of the calling thread only (uselocale), never by changing the process's
// locale, which belongs to the host program.
#pragma once

#include <locale.h>
#include <clocale>

namespace qncomps::detail {

locale_t CLocale();

// Switches the calling thread to the "C" locale for the scope's lifetime.
class CLocaleScope {
  public:
    CLocaleScope() : previous_(uselocale(CLocale())) {}
    ~CLocaleScope() { uselocale(previous_); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t previous_;
};

}  // namespace qncomps::detail
