// Writes the seed corpus of the fuzz targets: vpak_fuzz_seeds DIR (fuzz/corpus by default).
#include <cstdio>
#include <exception>
#include <string>

#include "fuzz/seed_corpus.h"

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "fuzz/corpus";
    try {
        WriteSeedCorpus(dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("seeds written below %s\n", dir.c_str());
    return 0;
}
