// Writes the workbench's demo FCS 3.0 file: make_demo_fcs OUTPUT [EVENTS]
#include <charconv>
#include <cstdio>
#include <cstring>

#include "FcsFixtureWriter.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.fcs [EVENTS]\n", argv[0]);
        return 2;
    }
    int events = 100000;
    if (argc > 2) {
        const char* end = argv[2] + std::strlen(argv[2]);
        if (std::from_chars(argv[2], end, events).ptr != end || events < 0) {
            std::fprintf(stderr, "EVENTS must be a whole number, not %s\n", argv[2]);
            return 2;
        }
    }
    if (!orvala::fixtures::writeFcs30(argv[1], {orvala::fixtures::makeDemoDataSet(events)})) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
