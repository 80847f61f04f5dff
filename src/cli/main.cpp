#include "cli/cli.h"

int main(int argc, char** argv) { return varno::runCommandLine(argc, argv); }
