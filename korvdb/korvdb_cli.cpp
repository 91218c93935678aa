#include "korvdb_cli.h"

#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "item_names.h"
#include "korv/korv.h"
#include "pattern_lines.h"
#include "statistics_report.h"
#include "support_lines.h"

namespace korvdb {

namespace {

const char* const kOverview =
    "usage: korvdb SUBCOMMAND ...\n"
    "  import LOG OUT.bin    event log (CSV/TSV) to a korvplus database and its item names\n"
    "  convert IN OUT        between .bin, .txt and the .spec pair of korv\n"
    "  stats DB              figures of a database\n"
    "  names RESULT --items OUT.items.tsv   item names in place of ids in a result file\n"
    "  support DB RESULT     each pattern's support (and its sequences)\n"
    "korvdb SUBCOMMAND --help tells more.\n";

struct Subcommand {
    const char* name;
    const char* help;
    std::size_t positionals;
    std::vector<std::string> valueOptions;
    std::vector<std::string> flags;
};

const Subcommand kSubcommands[] = {
    {"import",
     "usage: korvdb import LOG OUT.bin [--sequence COL] [--time COL] [--item COL] [--delimiter C] [--no-header]\n"
     "Reads an event log (CSV with RFC 4180 quoting, or TSV) and writes the korvplus database OUT.bin\n"
     "and the dictionary OUT.items.tsv (id<TAB>name per line).\n"
     "  --sequence COL  column of the sequence key (header name or 1-based number; default 1)\n"
     "  --time COL      column of the time (default 2): numeric order when every value is a number,\n"
     "                  otherwise byte order (right for ISO-8601 stamps)\n"
     "  --item COL      column of the item name (default 3)\n"
     "  --delimiter C   field separator: one character, or 'tab' (default: tab for .tsv/.tab files or\n"
     "                  a first line with tabs and no comma, otherwise comma)\n"
     "  --no-header     the first row is data; columns are then given by number\n"
     "Rows with equal key form a sequence, rows with equal key and time an event. Item ids follow the\n"
     "byte order of the names; sequences follow the byte order of the keys.\n",
     2,
     {"--sequence", "--time", "--item", "--delimiter"},
     {"--no-header"}},
    {"convert",
     "usage: korvdb convert IN OUT [--from FORMAT] [--to FORMAT] [--flatten]\n"
     "Converts a sequence database between the forms:\n"
     "  bin   korvplus binary: little-endian 32-bit words, -1 ends an event, -2 a sequence\n"
     "  txt   the same as text, one sequence per line: 1 2 -1 3 -1 -2\n"
     "  spec  the korv pair: OUT.spec and its data file OUT.dat beside it, one item per event\n"
     "Formats come from the extensions (.bin, .txt, .spec) unless --from/--to name them.\n"
     "  --flatten  for a spec target, write an event's items one after another instead of failing\n",
     2,
     {"--from", "--to"},
     {"--flatten"}},
    {"stats",
     "usage: korvdb stats DB [--from FORMAT]\n"
     "Prints the figures of a database (.bin, .txt or .spec): sequences, events, items, distinct\n"
     "items, largest id, longest sequence, items per event, the absolute supports of common relative\n"
     "supports in korvplus and in korv, and a histogram of sequence lengths.\n",
     1,
     {"--from"},
     {}},
    {"names",
     "usage: korvdb names RESULT --items OUT.items.tsv [-o FILE]\n"
     "Rewrites a ClosedPatterns.txt or frequent.dat with item names in place of ids; everything else\n"
     "on each line stays as it is. Writes to standard output, or to FILE.\n",
     1,
     {"--items", "-o"},
     {}},
    {"support",
     "usage: korvdb support DB RESULT [--sequences] [--from FORMAT] [-o FILE]\n"
     "Writes each line of RESULT unchanged, a tab and the number of sequences of DB that contain the\n"
     "pattern (itemset containment, gaps allowed). RESULT is a ClosedPatterns.txt for a .bin or .txt\n"
     "database, or a frequent.dat for a .spec pair.\n"
     "  --sequences  adds a tab and the 0-based numbers of those sequences, comma-separated, ascending\n"
     "  -o FILE      writes to FILE instead of standard output\n",
     2,
     {"--from", "-o"},
     {"--sequences"}},
};

struct Arguments {
    std::vector<std::string> positionals;
    std::map<std::string, std::string> values;
    bool has(const std::string& name) const { return values.count(name) != 0; }
    std::string get(const std::string& name) const {
        const auto found = values.find(name);
        return found == values.end() ? std::string() : found->second;
    }
};

bool contains(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& candidate : names)
        if (candidate == name) return true;
    return false;
}

// Empty on success; otherwise the usage problem.
std::string parseArguments(const Subcommand& command, int argc, const char* const* argv, Arguments& args) {
    for (int k = 2; k < argc; ++k) {
        const std::string arg = argv[k];
        if (contains(command.flags, arg)) {
            args.values[arg] = "";
        } else if (contains(command.valueOptions, arg)) {
            if (k + 1 == argc) return arg + " needs a value";
            args.values[arg] = argv[++k];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else {
            args.positionals.push_back(arg);
        }
    }
    if (args.positionals.size() != command.positionals)
        return "expected " + std::to_string(command.positionals) + " file argument" +
               (command.positionals > 1 ? "s" : "") + ", got " + std::to_string(args.positionals.size());
    return "";
}

std::string pickForm(const Arguments& args, const char* option, const std::string& path, korv::FileForm& form) {
    const std::optional<korv::FileForm> picked =
        args.has(option) ? korv::fileFormNamed(args.get(option)) : korv::fileFormOfPath(path);
    if (picked) {
        form = *picked;
        return "";
    }
    if (args.has(option)) return std::string(option) + " " + args.get(option) + ": use bin, txt or spec";
    return path + ": unknown format; name it with " + option + " bin|txt|spec";
}

std::string runImport(const Arguments& args, std::ostream& out) {
    const std::string& log = args.positionals[0];
    const std::string& bin = args.positionals[1];
    korv::EventLogOptions options;
    if (args.has("--sequence")) options.sequenceColumn = args.get("--sequence");
    if (args.has("--time")) options.timeColumn = args.get("--time");
    if (args.has("--item")) options.itemColumn = args.get("--item");
    if (args.has("--delimiter")) options.delimiter = args.get("--delimiter");
    options.header = !args.has("--no-header");
    const korv::EventLog imported = korv::readEventLog(log, options);
    imported.database.write(bin, korv::FileForm::binary);
    if (std::string error = saveItemNames(itemsPathFor(bin), imported.itemNames); !error.empty()) return error;
    out << "rows:             " << imported.rows << "\n"
        << "sequences:        " << imported.database.sequenceCount() << "\n"
        << "events:           " << imported.events << "\n"
        << "distinct items:   " << imported.itemNames.size() << "\n"
        << "longest sequence: " << imported.longestSequence << " items\n"
        << "wrote " << bin << " and " << itemsPathFor(bin) << "\n";
    return "";
}

std::string runConvert(const Arguments& args) {
    korv::FileForm from = korv::FileForm::binary;
    korv::FileForm to = korv::FileForm::binary;
    if (std::string error = pickForm(args, "--from", args.positionals[0], from); !error.empty()) return error;
    if (std::string error = pickForm(args, "--to", args.positionals[1], to); !error.empty()) return error;
    korv::Database::read(args.positionals[0], from).write(args.positionals[1], to, args.has("--flatten"));
    return "";
}

std::string runStats(const Arguments& args, std::ostream& out) {
    korv::FileForm form = korv::FileForm::binary;
    if (std::string error = pickForm(args, "--from", args.positionals[0], form); !error.empty()) return error;
    out << describeStatistics(korv::statistics(korv::Database::read(args.positionals[0], form)));
    return "";
}

std::string runNames(const Arguments& args, std::ostream& out) {
    if (!args.has("--items")) return "--items OUT.items.tsv is required";
    const std::string& resultPath = args.positionals[0];
    std::string text;
    std::vector<std::string> names;
    if (std::string error = korv::readWholeFile(args.get("--items"), text); !error.empty()) return error;
    if (std::string error = readItemNames(text, args.get("--items"), names); !error.empty()) return error;
    if (std::string error = korv::readWholeFile(resultPath, text); !error.empty()) return error;
    std::string named;
    std::string error = forEachLine(text, [&](std::string_view line, int64_t number) -> std::string {
        int64_t column = 0;
        if (std::string problem = nameLine(line, names, named, column); !problem.empty())
            return korv::locate(resultPath, number, column, problem);
        named.push_back('\n');
        return "";
    });
    if (!error.empty()) return error;
    if (!args.has("-o")) {
        out << named << std::flush;
        return out ? "" : "standard output: cannot write";
    }
    korv::OutputFile file;
    if (!file.open(args.get("-o"))) return file.error();
    file.write(named);
    return file.commit() ? "" : file.error();
}

std::string runSupport(const Arguments& args) {
    korv::FileForm form = korv::FileForm::binary;
    if (std::string error = pickForm(args, "--from", args.positionals[0], form); !error.empty()) return error;
    const korv::Database db = korv::Database::read(args.positionals[0], form);
    return writeSupports(db, args.positionals[1], args.has("--sequences"), args.get("-o"));
}

}  // namespace

int runKorvdb(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h" || first == "help") {
        out << kOverview;
        return 0;
    }
    const Subcommand* command = nullptr;
    for (const Subcommand& candidate : kSubcommands)
        if (first == candidate.name) command = &candidate;
    if (command == nullptr) {
        err << "korvdb: " << (first.empty() ? "no subcommand" : "unknown subcommand '" + first + "'")
            << " (korvdb --help lists them)\n";
        return 1;
    }
    for (int k = 2; k < argc; ++k)
        if (std::string_view(argv[k]) == "--help" || std::string_view(argv[k]) == "-h") {
            out << command->help;
            return 0;
        }
    Arguments args;
    if (std::string problem = parseArguments(*command, argc, argv, args); !problem.empty()) {
        err << "korvdb " << command->name << ": " << problem << " (korvdb " << command->name << " --help)\n";
        return 1;
    }
    std::string error;
    const std::string name = command->name;
    try {
        if (name == "import") error = runImport(args, out);
        else if (name == "convert") error = runConvert(args);
        else if (name == "stats") error = runStats(args, out);
        else if (name == "names") error = runNames(args, out);
        else error = runSupport(args);
    } catch (const korv::Error& failure) {
        error = failure.what();
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    } catch (const std::length_error&) {
        error = "out of memory: the data is too large";
    }
    if (!error.empty()) {
        err << "korvdb " << name << ": " << error << "\n";
        return 1;
    }
    out << std::flush;
    return out ? 0 : 1;
}

}  // namespace korvdb
