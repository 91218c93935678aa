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
    korvdb::ImportOptions import;
    import.sequenceColumn = options.sequenceColumn;
    import.timeColumn = options.timeColumn;
    import.itemColumn = options.itemColumn;
    import.header = options.header;
    if (options.delimiter == '"' || options.delimiter == '\n' || options.delimiter == '\r')
        throw Error("the delimiter must be one character other than a quote or a line break");
    import.delimiter = options.delimiter != 0 ? options.delimiter : korvdb::guessDelimiter(name, in);

    korvdb::ImportResult result;
    if (std::string error = korvdb::importEventLog(in, name, import, result); !error.empty()) throw Error(error);
    EventLog log;
    DatabaseAccess::data(log.database).db = std::move(result.db);
    log.itemNames = std::move(result.itemNames);
    log.rows = result.figures.rows;
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
