// korvane-verify: reads an OSI load file as the target reads it and reports
// what it loads, where it starts and what would go wrong.
#include "verify/verify_run.h"

int main(int argc, char** argv) { return verify_main(argc, argv); }
