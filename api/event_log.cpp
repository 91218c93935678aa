#include "korv/event_log.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "database_data.h"
#include "event_import.h"
#include "korv/error.h"

namespace korv {

EventLog readEventLog(std::istream& in, const std::string& name, const EventLogOptions& options) {
    korvdatabase::ImportOptions import;
    import.sequenceColumn = options.sequenceColumn;
    import.timeColumn = options.timeColumn;
    import.itemColumn = options.itemColumn;
    import.header = options.header;
    // A delimiter given is checked once the log is open, so that a log that cannot be read is
    // reported first.
    const std::string given = options.delimiter.value_or("");
    if (!options.delimiter)
        import.delimiter = korvdatabase::guessDelimiter(name, in);
    else if (given == "tab" || given == "\\t" || given == "\t")
        import.delimiter = '\t';
    else if (given.size() == 1 && given != "\"" && given != "\n" && given != "\r")
        import.delimiter = given[0];
    else
        throw Error("--delimiter " + given + ": one character other than a quote or a line break, or 'tab'");

    korvdatabase::ImportResult result;
    if (std::string error = korvdatabase::importEventLog(in, name, import, result); !error.empty()) throw Error(error);
    EventLog log;
    DatabaseAccess::data(log.database).db = std::move(result.db);
    log.itemNames = std::move(result.itemNames);
    log.rows = result.figures.rows;
    log.events = result.figures.events;
    log.longestSequence = result.figures.longestSequence;
    return log;
}

EventLog readEventLog(const std::string& path, const EventLogOptions& options) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw Error(path + ": is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error(path + ": cannot open: " + std::strerror(errno));
    return readEventLog(in, path, options);
}

}  // namespace korv
