// The suite's general user settings: one global record, filled once from the current user's
// registry when the component library starts, read-only afterwards (so readers need no lock).
#pragma once

#include <cstdint>
#include <string>

#include "components/suite_version.h"

struct TQNOptions {
    bool AutoInfoOpen = false;
    bool AutoInfoSave = true;
    std::string DefaultUser;  // texts are UTF-8
    std::string DefaultDepartment;
    std::string TempPath;  // default: the system's temporary folder, with its trailing "/"
    uint8_t DefaultLineWidth = 2;
    uint8_t DefaultGridMode = 0;
    uint8_t DefaultFloatWidth = 16;
    uint8_t DefaultFloatPrecision = 12;
    uint8_t DefaultFloatNotation = 0;  // 0 general, 1 exponential, 2 fixed
    bool TooltipHelp = true;
    bool CreateBakFiles = false;
    // red + 256 * green + 65536 * blue
    int32_t DefaultColors[16] = {0,        16711680, 8388736,  32768,   8421376, 128,
                                 255,      32896,    65535,    8388608, 8421504, 65280,
                                 16776960, 16711935, 12632256, 16777215};
};

// The record of this deliverable.
extern TQNOptions SuiteOptions;

// "Software\Felmaran\Quintor 7" or "...\Quintor 8" under HKEY_CURRENT_USER.
const char* SuiteSettingsKey(SuiteVersion version);

// Reads the settings of `version` from the "General Settings" subkey of its settings key and
// answers the record; a missing subkey or value, or one that cannot be read, gives the field's
// default. Creates the settings key when it is missing (when the registry allows) and never
// writes a value.
//
// Every value is meant to be text: numbers as decimal integers, booleans as integers (0 false,
// anything else true); a one-byte field keeps the low 8 bits. A value of another registry type
// is taken sensibly: a REG_DWORD or REG_QWORD is taken as its number for number and boolean
// fields (a REG_QWORD only when it fits 32 bits); any other type, and any non-text type for a
// text field, gives the default.
TQNOptions ReadSuiteOptions(SuiteVersion version);

// Fills SuiteOptions; called once by the library's start (QnCompsInitialize).
void LoadSuiteOptions(SuiteVersion version);
// Puts SuiteOptions back to its defaults, releasing its texts (the library's end).
void ReleaseSuiteOptions();
