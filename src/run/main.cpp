#include "run/run.h"

int main() { return varno::runVarno(); }
