#include "lister/run_driver.h"

int main() { lister::runMain(); }
