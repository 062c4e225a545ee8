#include "tools/pxviber/commands.h"

int main(int argc, char** argv) { return pxviber::runCommandLine(argc, argv); }
