#include "binary_loader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace korvplus {

namespace {

int32_t decodeLittleEndian(const unsigned char* b) {
    const uint32_t word = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return static_cast<int32_t>(word);
}

}  // namespace

void SequenceWordDecoder::addWord(int32_t value) {
    sequenceData_.push_back(value);
    if (value >= 0) {
        if (value > figures_.largestItemId) figures_.largestItemId = value;
        ++itemsInSequence_;
    } else if (value == -2) {
        ++figures_.sequenceCount;
        if (itemsInSequence_ > figures_.maxSequenceItems) figures_.maxSequenceItems = itemsInSequence_;
        itemsInSequence_ = 0;
    }
}

void SequenceWordDecoder::feed(std::span<const unsigned char> bytes) {
    std::size_t at = 0;
    while (pendingCount_ > 0 && pendingCount_ < 4 && at < bytes.size()) pending_[pendingCount_++] = bytes[at++];
    if (pendingCount_ == 4) {
        addWord(decodeLittleEndian(pending_));
        pendingCount_ = 0;
    }
    for (; at + 4 <= bytes.size(); at += 4) addWord(decodeLittleEndian(&bytes[at]));
    while (at < bytes.size()) pending_[pendingCount_++] = bytes[at++];
}

LoadResult loadSequenceFile(std::vector<int32_t>& sequenceData, const std::string& path) {
    LoadResult result;
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        result.error = path + ": cannot open: " + std::strerror(errno);
        return result;
    }

    SequenceWordDecoder decoder(sequenceData);
    const std::size_t limit = sequenceData.size() + kMaxDatabaseWords;
    std::vector<unsigned char> chunk(1 << 16);
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        decoder.feed(std::span(chunk.data(), got));
        if (sequenceData.size() > limit) {
            result.error = path + ": the file holds more than " + std::to_string(kMaxDatabaseWords) + " words";
            break;
        }
        if (got < chunk.size()) {
            if (std::ferror(file.get())) result.error = path + ": cannot read: " + std::strerror(errno);
            break;
        }
    }
    result.figures = decoder.figures();
    return result;
}

}  // namespace korvplus
