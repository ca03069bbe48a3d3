#include "cli/cli.h"

int main(int argc, char** argv) { return w2r::runCli(argc, argv); }
