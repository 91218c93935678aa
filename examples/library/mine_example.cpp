// Mines a database file with the korv library and prints each closed pattern with its support
// and supporting sequences:  mine_example DATABASE MIN_SUPPORT
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "korv/korv.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mine_example DATABASE MIN_SUPPORT\n");
        return 2;
    }
    try {
        const korv::Database database = korv::Database::read(argv[1]);
        korv::MineOptions options;
        options.threshold = korv::Threshold::absolute(std::atoll(argv[2]));
        options.supportingSequences = true;
        const korv::MineSummary summary = korv::mine(database, options, [](const korv::Pattern& pattern) {
            for (const int32_t value : pattern.flat) value < 0 ? std::printf(" |") : std::printf(" %d", value);
            std::printf("  support %d, sequences", pattern.support);
            for (const int32_t s : pattern.sequences) std::printf(" %d", s);
            std::printf("\n");
            return true;
        });
        std::printf("%lld closed patterns\n", static_cast<long long>(summary.closed));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mine_example: %s\n", error.what());
        return 1;
    }
    return 0;
}
