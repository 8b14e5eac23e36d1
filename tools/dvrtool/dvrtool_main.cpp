#include <iostream>

#include "dvrtool.h"

int main(int argc, char** argv) {
    return orvel::tools::run_dvrtool(argc, argv, std::cout, std::cerr);
}
