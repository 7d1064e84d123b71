// Fixture modules for regsvr's error paths. Built twice: with REGSVR_FIXTURE_FAILING the module
// exports registration entry points that fail; without it, the module exports none at all.
#include <cstdint>

#ifdef REGSVR_FIXTURE_FAILING
extern "C" __attribute__((visibility("default"))) int32_t DllRegisterServer() {
    return static_cast<int32_t>(0x80070005);  // E_ACCESSDENIED
}
extern "C" __attribute__((visibility("default"))) int32_t DllUnregisterServer() {
    return static_cast<int32_t>(0x80004005);  // E_FAIL
}
#else
extern "C" __attribute__((visibility("default"))) int RegsvrFixtureNothingToRegister() {
    return 0;
}
#endif
