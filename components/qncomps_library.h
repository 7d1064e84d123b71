// Start and end of the shared component library, once per deliverable: the test client calls
// QnCompsInitialize(SuiteVersion::Quintor7) at program start before any window exists, the
// plug-in QnCompsInitialize(SuiteVersion::Quintor8) when the host loads it; both call
// QnCompsFinalize at the end (or hold a QnCompsLibrary for the time between).
//
// The start fixes the full stop as decimal separator for the library's own number texts without
// touching the process's locale (which belongs to the host): every format and read of the
// library runs in the "C" locale of the calling thread (uselocale) or with the locale-free
// std::from_chars. It then creates the conversion lists, loads the string-resource library and
// reads the suite settings. The end releases them in reverse order.
#pragma once

#include <string>
#include <vector>

#include "components/qnlist.h"
#include "components/suite_version.h"

// The decimal separator of every number text the library writes or reads.
inline constexpr char DecimalSeparator = '.';

// Parallel lists of conversion entries for the floating-point field's pop-up menu: caption i
// (UTF-8) and factor i. Created empty at the start, freed at the end (null outside); nothing in
// this system adds entries.
extern std::vector<std::string>* ConversionNames;
extern TExtendedList* ConversionFactors;

// Answers false (and does nothing) when the library is already started.
bool QnCompsInitialize(SuiteVersion version);
// Does nothing when the library is not started.
void QnCompsFinalize();
bool QnCompsInitialized();
// The version given to the start (Quintor7 when not started).
SuiteVersion QnCompsSuiteVersion();

// Starts the library for its lifetime when it is not started yet, and ends it again then.
class QnCompsLibrary {
  public:
    explicit QnCompsLibrary(SuiteVersion version) : owner_(QnCompsInitialize(version)) {}
    ~QnCompsLibrary() {
        if (owner_)
            QnCompsFinalize();
    }
    QnCompsLibrary(const QnCompsLibrary&) = delete;
    QnCompsLibrary& operator=(const QnCompsLibrary&) = delete;

  private:
    bool owner_;
};
