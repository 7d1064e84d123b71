// The suite version a deliverable belongs to: the test client is version 7, the plug-in version
// 8. It names the settings key and the string-resource library.
#pragma once

enum class SuiteVersion { Quintor7 = 7, Quintor8 = 8 };
