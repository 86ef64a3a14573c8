#include "lister/run_driver.h"

int main(int argc, char** argv) { lister::runMain(argc, argv); }
