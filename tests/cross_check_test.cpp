// The two miners on the same random sequences of single items: korvplus reads them as one-item
// events, korvdump as items; at equal absolute support both must write the same patterns in the
// same order (depth first, children in ascending id).
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_program.h"

namespace {

using Sequences = std::vector<std::vector<int32_t>>;
using Patterns = std::vector<std::vector<int32_t>>;

std::string binaryWords(const Sequences& sequences) {
    std::string bytes;
    auto put = [&](int32_t word) {
        const auto bits = static_cast<uint32_t>(word);
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((bits >> shift) & 0xff);
    };
    for (const auto& sequence : sequences) {
        for (const int32_t item : sequence) {
            put(item);
            put(-1);
        }
        put(-2);
    }
    return bytes;
}

std::string textTokens(const Sequences& sequences) {
    std::string text;
    for (const auto& sequence : sequences) {
        for (const int32_t item : sequence) text += std::to_string(item) + " ";
        text += "-1\n";
    }
    return text + "-2\n";
}

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
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    testsupport::ScratchDir dir;
    for (int round = 0; round < 120; ++round) {
        const int alphabet = uniform(1, 5);
        Sequences sequences(std::size_t(uniform(1, 8)));
        std::size_t longest = 0;
        for (auto& sequence : sequences) {
            sequence.resize(std::size_t(uniform(0, 8)));
            for (int32_t& item : sequence) item = uniform(0, alphabet - 1);
            longest = std::max(longest, sequence.size());
        }
        const int n = int(sequences.size());
        const int absolute = uniform(1, n);
        // korvplus truncates n * s, korvdump rounds n * s: n * s = absolute + 0.25 gives both.
        char support[32];
        std::snprintf(support, sizeof support, "%.17g", (absolute + 0.25) / n);

        dir.writeFile("db.bin", binaryWords(sequences));
        dir.writeFile("db.txt", textTokens(sequences));
        dir.writeFile("db.spec", "db.txt " + std::to_string(alphabet) + " " + std::to_string(n) + " " +
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
