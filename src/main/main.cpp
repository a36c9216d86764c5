#include "main/app_config.h"
#include "main/startup.h"

int main(int argc, char** argv) { return qz::run_program(argc, argv, qz::build_app_config()); }
