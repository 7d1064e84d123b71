#include <cstdio>

#include "tools/reg/reg_command.h"

int main(int argc, char** argv) {
    return RunRegCommand(argc, argv, stdout, stderr);
}
