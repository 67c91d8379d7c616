#include "cli/Commands.h"

#include <cstdio>

int cmdReport(const TCommandContext&) {
    std::fprintf(stderr, "vaccora report: the report module is not built yet\n");
    return 1;
}
