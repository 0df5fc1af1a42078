// The conversion helper as a program of its own: the engine without the
// window toolkit and its hundred libraries, so a helper starts in about a
// third of the time the whole program takes to load. The main program
// starts it from beside itself (helperProgram) and still serves as its own
// helper when this one is missing.
#include <cstdio>
#include <cstring>

#include "app/startup.h"
#include "run/conversion_helper.h"
#include "run/pipeline.h"
#include "platform/console.h"
#include "platform/helper_process.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], pixolune::kConversionHelperArgument) != 0) {
    std::fprintf(stderr, "This program converts files for Pixolune; it is started by Pixolune only.\n");
    return 2;
  }
  pixolune::ignoreBrokenPipes();
  pixolune::initImageLibrary();
  pixolune::endProgram(pixolune::runConversionHelper(pixolune::kHelperSocketFd));
}
