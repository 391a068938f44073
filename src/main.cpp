#include <iostream>

#include "shell/start_up.h"

int main() { return vdl::gf_programMain(std::cout, std::cerr); }
