#include "tests/plugin/ui/ui_test_support.h"

// One QApplication for the whole test program, created before the first test.
static ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new virelon::test::QtEnvironment);
