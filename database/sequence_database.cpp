#include "sequence_database.h"

#include <filesystem>

#include "korv/files.h"
#include "text_tokens.h"

namespace korvdatabase {

using korv::OutputFile;
using korv::readWholeFile;

namespace {

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Checks the words of the binary encoding one by one and appends them; the one place where the
// invariants of SequenceDatabase are established.
class DatabaseBuilder {
public:
    explicit DatabaseBuilder(SequenceDatabase& db) : db_(db) {
        db_ = SequenceDatabase{};
    }

    // Empty on success; otherwise what is wrong with `value`.
    const char* add(int32_t value) {
        if (value >= 0) {
            if (value <= previousItem_) return "items of an event must ascend without repeats";
            previousItem_ = value;
            if (value > db_.largestItem) db_.largestItem = value;
        } else if (value == -1) {
            previousItem_ = -1;
        } else if (value == -2) {
            if (previousItem_ >= 0) return "-2 ends a sequence inside an event (end the event with -1 first)";
            db_.sequenceStart.push_back(uint32_t(db_.words.size() + 1));
        } else {
            return "values below -2 are not part of the format";
        }
        if (db_.words.size() >= 0x7fffffffu - 1) return "too many words for 32-bit positions";
        db_.words.push_back(value);
        return "";
    }
    bool sequenceOpen() const { return db_.words.size() != db_.sequenceStart.back(); }

private:
    SequenceDatabase& db_;
    int32_t previousItem_ = -1;
};

const char* kUnterminated = "the last sequence is not ended by -2";

std::string checkedTokens(std::string_view text, const std::string& file, SequenceDatabase& db, bool korvData,
                          int32_t itemLimit) {
    DatabaseBuilder builder(db);
    TokenScanner scanner(text);
    for (Token token = scanner.next();; token = scanner.next()) {
        if (token.text.empty())
            return builder.sequenceOpen() || korvData ? locate(file, token.line, token.column,
                                                               korvData ? "the data does not end with -2" : kUnterminated)
                                                      : "";
        int32_t value = 0;
        if (!parseInt32(token.text, value))
            return locate(file, token.line, token.column, quoted(token.text) + " is not a 32-bit integer");
        const char* problem = "";
        if (!korvData) {
            problem = builder.add(value);
        } else if (value >= 0) {
            if (itemLimit >= 0 && value >= itemLimit)
                problem = "an item is not below the spec's item count";
            else if (*(problem = builder.add(value)) == 0)
                problem = builder.add(-1);
        } else if (value == -1) {
            problem = builder.add(-2);
        } else if (value == -2) {
            if (builder.sequenceOpen())
                return locate(file, token.line, token.column, "-2 ends the data inside a sequence (end it with -1 first)");
            Token after = scanner.next();
            if (!after.text.empty()) return locate(file, after.line, after.column, "data after the final -2");
            return "";
        } else {
            problem = "values below -2 are not part of the format";
        }
        if (*problem != 0) return locate(file, token.line, token.column, problem);
    }
}

}  // namespace

DatabaseFormat formatFromPath(const std::string& path) {
    if (endsWith(path, ".bin")) return DatabaseFormat::binary;
    if (endsWith(path, ".txt")) return DatabaseFormat::text;
    if (endsWith(path, ".spec")) return DatabaseFormat::korv;
    return DatabaseFormat::unknown;
}

DatabaseFormat formatFromName(std::string_view name) {
    if (name == "bin") return DatabaseFormat::binary;
    if (name == "txt") return DatabaseFormat::text;
    if (name == "spec") return DatabaseFormat::korv;
    return DatabaseFormat::unknown;
}

std::string readBinaryDatabase(std::string_view bytes, const std::string& file, SequenceDatabase& db) {
    if (bytes.size() % 4 != 0)
        return file + ": byte " + std::to_string(bytes.size() - bytes.size() % 4) +
               ": the length is not a multiple of 4 bytes";
    DatabaseBuilder builder(db);
    db.words.reserve(bytes.size() / 4);
    for (std::size_t offset = 0; offset < bytes.size(); offset += 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
        const int32_t value = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
        const char* problem = builder.add(value);
        if (*problem != 0) return file + ": byte " + std::to_string(offset) + ": " + problem;
    }
    if (builder.sequenceOpen()) return file + ": byte " + std::to_string(bytes.size()) + ": " + kUnterminated;
    return "";
}

std::string readTextDatabase(std::string_view text, const std::string& file, SequenceDatabase& db) {
    return checkedTokens(text, file, db, false, -1);
}

std::string readKorvData(std::string_view text, const std::string& file, SequenceDatabase& db) {
    return checkedTokens(text, file, db, true, -1);
}

std::string readKorvSpec(std::string_view text, const std::string& file, KorvSpec& spec) {
    TokenScanner scanner(text);
    Token name = scanner.next();
    if (name.text.empty()) return locate(file, name.line, name.column, "the spec names no data file");
    spec.dataName = std::string(name.text);
    int32_t* fields[] = {&spec.itemCount, &spec.sequenceCount, &spec.maxLength, &spec.sizingLength};
    for (int32_t* field : fields) {
        Token token = scanner.next();
        if (token.text.empty()) return locate(file, token.line, token.column, "the spec needs five fields");
        if (!parseInt32(token.text, *field) || *field < 0)
            return locate(file, token.line, token.column,
                          quoted(token.text) + " is not a count of 0 or more");
    }
    return "";
}

std::string loadDatabase(const std::string& path, DatabaseFormat format, SequenceDatabase& db) {
    std::string bytes;
    if (std::string error = readWholeFile(path, bytes); !error.empty()) return error;
    switch (format) {
    case DatabaseFormat::binary: return readBinaryDatabase(bytes, path, db);
    case DatabaseFormat::text: return readTextDatabase(bytes, path, db);
    case DatabaseFormat::korv: break;
    case DatabaseFormat::unknown: return path + ": unknown format (use .bin, .txt or .spec, or --from)";
    }
    KorvSpec spec;
    if (std::string error = readKorvSpec(bytes, path, spec); !error.empty()) return error;
    std::filesystem::path dataPath(spec.dataName);
    if (dataPath.is_relative()) dataPath = std::filesystem::path(path).parent_path() / dataPath;
    const std::string data = dataPath.string();
    if (std::string error = readWholeFile(data, bytes); !error.empty()) return error;
    if (std::string error = checkedTokens(bytes, data, db, true, spec.itemCount); !error.empty()) return error;
    if (db.sequenceCount() != std::size_t(spec.sequenceCount))
        return locate(path, 1, 1, "the spec gives " + std::to_string(spec.sequenceCount) + " sequences, " + data +
                                      " holds " + std::to_string(db.sequenceCount()));
    return "";
}

std::string korvDataPathFor(const std::string& specPath) {
    std::string data = specPath;
    if (endsWith(data, ".spec")) data.resize(data.size() - 5);
    return data + ".dat";
}

namespace {

void writeBinary(OutputFile& out, const SequenceDatabase& db) {
    for (int32_t value : db.words) {
        const auto word = uint32_t(value);
        const char bytes[4] = {char(word & 0xff), char(word >> 8 & 0xff), char(word >> 16 & 0xff), char(word >> 24)};
        out.write(std::string_view(bytes, 4));
    }
}

void writeText(OutputFile& out, const SequenceDatabase& db) {
    for (std::size_t s = 0; s < db.sequenceCount(); ++s) {
        for (uint32_t k = db.sequenceStart[s]; k < db.sequenceStart[s + 1]; ++k) {
            out.writeNumber(db.words[k]);
            out.put(db.words[k] == -2 ? '\n' : ' ');
        }
    }
}

// Writes the korv data file; the first sequence with an event of other than one item is an
// error unless `flatten`. Returns the longest sequence in items.
std::string writeKorvData(OutputFile& out, const SequenceDatabase& db, bool flatten, int32_t& longest) {
    longest = 0;
    for (std::size_t s = 0; s < db.sequenceCount(); ++s) {
        int32_t items = 0;
        int32_t inEvent = 0;
        for (uint32_t k = db.sequenceStart[s]; k + 1 < db.sequenceStart[s + 1]; ++k) {
            const int32_t value = db.words[k];
            if (value >= 0) {
                out.writeNumber(value);
                out.put(' ');
                ++items;
                ++inEvent;
                continue;
            }
            if (inEvent != 1 && !flatten)
                return "sequence " + std::to_string(s) + " (0-based) has an event of " + std::to_string(inEvent) +
                       " items; a korv database holds one item per event (--flatten writes them one after another)";
            inEvent = 0;
        }
        out.write("-1\n");
        if (items > longest) longest = items;
    }
    out.write("-2\n");
    return "";
}

}  // namespace

std::string saveDatabase(const std::string& path, DatabaseFormat format, const SequenceDatabase& db, bool flatten) {
    OutputFile out;
    if (format == DatabaseFormat::unknown) return path + ": unknown format (use .bin, .txt or .spec, or --to)";
    if (format != DatabaseFormat::korv) {
        if (!out.open(path)) return out.error();
        if (format == DatabaseFormat::binary) writeBinary(out, db);
        else writeText(out, db);
        return out.commit() ? "" : out.error();
    }
    const std::string dataPath = korvDataPathFor(path);
    const std::string dataName = std::filesystem::path(dataPath).filename().string();
    if (dataName.find_first_of(" \t\r\n\f\v") != std::string::npos)
        return path + ": the data file name '" + dataName + "' would hold white space";
    int32_t longest = 0;
    if (!out.open(dataPath)) return out.error();
    if (std::string error = writeKorvData(out, db, flatten, longest); !error.empty()) return error;
    OutputFile spec;
    if (!spec.open(path)) return spec.error();
    spec.write(dataName + " " + std::to_string(int64_t(db.largestItem) + 1) + " " + std::to_string(db.sequenceCount()) +
               " " + std::to_string(longest) + " " + std::to_string(longest) + "\n");
    if (!out.commit()) return out.error();
    return spec.commit() ? "" : spec.error();
}

}  // namespace korvdatabase
