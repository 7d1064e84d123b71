// Test output names a suite version, not its bytes. Every test file that compares or prints a
// SuiteVersion includes this, so all of them print it the same way.
#pragma once

#include <ostream>

#include "components/suite_version.h"

inline void PrintTo(SuiteVersion v, std::ostream* os) {
    *os << "Quintor" << static_cast<int>(v);
}
