// The `reg` tool's commands: query, add, delete, export, import and access on the registry
// hives. Exit codes: 0 done, 1 failed (the message names the problem), 2 wrong usage.
#pragma once

#include <cstdio>

int RunRegCommand(int argc, char** argv, FILE* out, FILE* err);
