#include "cli/command.h"

int main(int argc, char** argv) { return plover::cli::RunCommandLine(argc, argv); }
