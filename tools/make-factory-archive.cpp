// make-factory-archive FACTORY_DIR OUT.zip: builds the factory program archive from its readable sources.
#include <cstdio>
#include <string>

#include "factory-archive.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-factory-archive FACTORY_DIR OUT.zip\n");
        return 2;
    }
    tarsk::FactoryArchiveSummary summary;
    std::string error;
    if (!tarsk::makeFactoryArchive(argv[1], argv[2], summary, error)) {
        std::fprintf(stderr, "make-factory-archive: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s: %zu programs in %zu categories\n", argv[2], summary.programs, summary.categories);
    return 0;
}
