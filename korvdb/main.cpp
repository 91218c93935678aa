#include <iostream>

#include "korvdb_cli.h"

int main(int argc, char** argv) { return korvdb::runKorvdb(argc, argv, std::cout, std::cerr); }
