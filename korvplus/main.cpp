#include <iostream>

#include "run_driver.h"

int main(int argc, char** argv) { return korvplus::runKorvplus(argc, argv, std::cout, std::cerr); }
