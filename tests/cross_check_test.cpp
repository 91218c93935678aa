// The two miners on the same random sequences of single items: korvplus reads them as one-item
// events, korvdump as items; at equal absolute support both must write the same patterns in the
// same order (depth first, children in ascending id).
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/database.h"
#include "support/run_program.h"

namespace {

using Patterns = std::vector<std::vector<int32_t>>;

// " 0 ||  2 || " -> {0, 2}
Patterns parseClosedPatterns(const std::string& text) {
    Patterns patterns;
    for (const std::string& line : testsupport::splitLines(text)) {
        std::istringstream in(line);
        std::vector<int32_t> items;
        std::string token;
        while (in >> token)
            if (token != "||") items.push_back(std::stoi(token));
        patterns.push_back(items);
    }
    return patterns;
}

// "0 2 : 3" -> {0, 2}
Patterns parseFrequentDat(const std::string& text) {
    Patterns patterns;
    for (const std::string& line : testsupport::splitLines(text)) {
        std::istringstream in(line);
        std::vector<int32_t> items;
        std::string token;
        while (in >> token && token != ":") items.push_back(std::stoi(token));
        patterns.push_back(items);
    }
    return patterns;
}

TEST(CrossCheck, KorvplusAndKorvdumpAgreeOnOneItemEvents) {
    std::mt19937 random(31337);
    testsupport::ScratchDir dir;
    for (int round = 0; round < 120; ++round) {
        const testsupport::ItemSequences sequences = testsupport::randomItemSequences(random, {.maxEvents = 8});
        std::size_t longest = 0;
        for (const auto& sequence : sequences) longest = std::max(longest, sequence.size());
        const int n = int(sequences.size());
        const int absolute = std::uniform_int_distribution<int>(1, n)(random);
        // korvplus truncates n * s, korvdump rounds n * s: n * s = absolute + 0.25 gives both.
        char support[32];
        std::snprintf(support, sizeof support, "%.17g", (absolute + 0.25) / n);

        dir.writeFile("db.bin", testsupport::littleEndianBytes(testsupport::toWords(testsupport::asOneItemEvents(sequences))));
        dir.writeFile("db.txt", testsupport::tokenText(sequences));
        dir.writeFile("db.spec", "db.txt 5 " + std::to_string(n) + " " +
                                     std::to_string(longest) + " " + std::to_string(longest) + "\n");
        const auto plus = testsupport::runProgram(KORVPLUS_PATH, {support, "db.bin"}, dir.path());
        const auto dump = testsupport::runProgram(KORVDUMP_PATH, {"db.spec", support}, dir.path());
        ASSERT_EQ(plus.exitStatus, 0) << plus.err;
        ASSERT_EQ(dump.exitStatus, 0) << dump.out;
        ASSERT_NE(plus.out.find("Absoluted Support: " + std::to_string(absolute) + "\n"), std::string::npos);
        ASSERT_NE(dump.out.find("Absolute support threshold:\t\t\t" + std::to_string(absolute) + "\n"),
                  std::string::npos);
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(parseClosedPatterns(dir.readFile("ClosedPatterns.txt")), parseFrequentDat(dir.readFile("frequent.dat")));
    }
}

}  // namespace
