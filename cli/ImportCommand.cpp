#include "cli/Commands.h"

#include <cstdio>

int cmdImport(const TCommandContext&) {
    std::fprintf(stderr, "vaccora import: the import engine is not built yet\n");
    return 1;
}
