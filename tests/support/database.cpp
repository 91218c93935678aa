#include "support/database.h"

#include <set>

namespace testsupport {

Database asOneItemEvents(const ItemSequences& sequences) {
    Database database;
    for (const auto& items : sequences) {
        Sequence& sequence = database.emplace_back();
        for (const int32_t item : items) sequence.push_back({item});
    }
    return database;
}

std::vector<int32_t> toWords(const Database& database) {
    std::vector<int32_t> words;
    for (const Sequence& sequence : database) {
        for (const Event& event : sequence) {
            words.insert(words.end(), event.begin(), event.end());
            words.push_back(-1);
        }
        words.push_back(-2);
    }
    return words;
}

std::string littleEndianBytes(const std::vector<int32_t>& words) {
    std::string bytes;
    bytes.reserve(words.size() * 4);
    for (const int32_t word : words) {
        const auto bits = static_cast<uint32_t>(word);
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((bits >> shift) & 0xff);
    }
    return bytes;
}

std::string tokenText(const ItemSequences& sequences, std::mt19937* noise) {
    auto chance = [noise](int oneIn) { return noise != nullptr && std::uniform_int_distribution<int>(1, oneIn)(*noise) == 1; };
    std::string text;
    for (const auto& sequence : sequences) {
        for (const int32_t item : sequence) {
            text += std::to_string(item) + (chance(6) ? "\n" : " ");
            if (chance(16)) text += "-7 ";
        }
        text += "-1\n";
    }
    return text + "-2\n";
}

Database randomDatabase(std::mt19937& random, const DatabaseShape& shape) {
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    static const int32_t sparseIds[] = {5, 17, 1000, 65536, 1 << 30, 2147483646, 2147483647};
    constexpr int sparseCount = int(sizeof sparseIds / sizeof sparseIds[0]);
    auto idOf = [&](int letter) {
        switch (shape.ids) {
        case IdSpread::gapped: return int32_t(2 * letter);
        case IdSpread::sparse: return sparseIds[letter % sparseCount];
        case IdSpread::dense: break;
        }
        return int32_t(letter);
    };

    const int alphabet = uniform(shape.minAlphabet, shape.maxAlphabet);
    Database database(std::size_t(uniform(shape.minSequences, shape.maxSequences)));
    for (Sequence& sequence : database) {
        std::set<int32_t> inSequence;
        for (int e = uniform(0, shape.maxEvents); e > 0; --e) {
            std::set<int32_t> items;
            for (int i = uniform(1, shape.maxItemsPerEvent); i > 0; --i) {
                const int32_t item = idOf(uniform(0, alphabet - 1));
                if (!shape.distinctItems || inSequence.insert(item).second) items.insert(item);
            }
            if (!items.empty()) sequence.emplace_back(items.begin(), items.end());
        }
    }
    return database;
}

ItemSequences randomItemSequences(std::mt19937& random, DatabaseShape shape) {
    shape.maxItemsPerEvent = 1;
    ItemSequences sequences;
    for (const Sequence& sequence : randomDatabase(random, shape)) {
        std::vector<int32_t>& items = sequences.emplace_back();
        for (const Event& event : sequence) items.push_back(event.front());
    }
    return sequences;
}

std::vector<int32_t> randomWords(std::mt19937& random, std::size_t maxWords) {
    std::vector<int32_t> words(std::uniform_int_distribution<std::size_t>(0, maxWords)(random));
    for (int32_t& word : words) {
        const int kind = std::uniform_int_distribution<int>(0, 9)(random);
        word = kind < 5 ? std::uniform_int_distribution<int32_t>(0, 4)(random)
             : kind < 7 ? -1
             : kind < 9 ? -2
                        : std::uniform_int_distribution<int32_t>(-100, -3)(random);
    }
    return words;
}

}  // namespace testsupport
