#include "app/startup.h"

int main(int argc, char** argv) { pixolune::runProgram(argc, argv, &pixolune::runWindowMode); }
