// korvdb as a program: its failures, its help, and a whole walk from an event log to named
// patterns and their supports through korvplus.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/database.h"
#include "support/run_program.h"

namespace {

using testsupport::runProgram;
using testsupport::ScratchDir;

std::set<std::string> filesIn(const ScratchDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string()[0] != '.') names.insert(entry.path().filename().string());
    return names;
}

struct FailureCase {
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> args;
    std::string message;  // the whole line on stderr
};

TEST(KorvdbCommand, EachFailureIsOneLineStatusOneAndLeavesNoOutput) {
    const std::string log = "k,t,i\n";
    const std::vector<FailureCase> cases = {
        {{}, {}, "korvdb: no subcommand (korvdb --help lists them)"},
        {{}, {"sort"}, "korvdb: unknown subcommand 'sort' (korvdb --help lists them)"},
        {{}, {"import", "only.csv"}, "korvdb import: expected 2 file arguments, got 1 (korvdb import --help)"},
        {{}, {"stats", "a.bin", "--bogus"}, "korvdb stats: unknown option --bogus (korvdb stats --help)"},
        {{}, {"stats", "missing.bin"}, "korvdb stats: missing.bin: cannot open: No such file or directory"},
        {{{"log.csv", log + "a,1,\"open\n"}}, {"import", "log.csv", "out.bin"},
         "korvdb import: log.csv:2:5: a quoted field is not closed"},
        {{{"log.csv", log + "a,1,\"x\"y\n"}}, {"import", "log.csv", "out.bin"},
         "korvdb import: log.csv:2:8: text after the closing quote of a field"},
        {{{"log.csv", log + "a,1,x\nb,2\n"}}, {"import", "log.csv", "out.bin"},
         "korvdb import: log.csv:3:4: the row has 2 columns, 3 are needed"},
        {{{"log.csv", log}}, {"import", "log.csv", "out.bin", "--item", "product"},
         "korvdb import: log.csv:1:1: the header has no column 'product' (for --item)"},
        {{{"log.csv", log + "a,1,\n"}}, {"import", "log.csv", "out.bin"}, "korvdb import: log.csv:2:5: an empty item name"},
        {{{"db.bin", testsupport::littleEndianBytes({1, -1, -2}) + "x"}}, {"convert", "db.bin", "db.txt"},
         "korvdb convert: db.bin: byte 12: the length is not a multiple of 4 bytes"},
        {{{"db.bin", testsupport::littleEndianBytes({2, 1, -1, -2})}}, {"stats", "db.bin"},
         "korvdb stats: db.bin: byte 4: items of an event must ascend without repeats"},
        {{{"db.bin", testsupport::littleEndianBytes({1, -1, -7})}}, {"stats", "db.bin"},
         "korvdb stats: db.bin: byte 8: values below -2 are not part of the format"},
        {{{"db.txt", "1 -1 -2\n1 x -1 -2\n"}}, {"convert", "db.txt", "db.bin"},
         "korvdb convert: db.txt:2:3: 'x' is not a 32-bit integer"},
        {{{"db.txt", "1 -1\n"}}, {"convert", "db.txt", "db.bin"},
         "korvdb convert: db.txt:2:1: the last sequence is not ended by -2"},
        {{{"d.spec", "d.dat 3 2 1 1\n"}, {"d.dat", "0 -1\n-2\n"}}, {"convert", "d.spec", "db.bin"},
         "korvdb convert: d.spec:1:1: the spec gives 2 sequences, d.dat holds 1"},
        {{{"d.spec", "d.dat 3 1 1 1\n"}, {"d.dat", "0 -1 1 -2\n"}}, {"convert", "d.spec", "db.bin"},
         "korvdb convert: d.dat:1:8: -2 ends the data inside a sequence (end it with -1 first)"},
        {{{"db.txt", "1 -1 -2\n1 2 -1 -2\n"}}, {"convert", "db.txt", "k.spec"},
         "korvdb convert: sequence 1 (0-based) has an event of 2 items; a korv database holds one item per "
         "event (--flatten writes them one after another)"},
        {{{"db.txt", "-2\n"}}, {"convert", "db.txt", "db.out"},
         "korvdb convert: db.out: unknown format; name it with --to bin|txt|spec"},
        {{{"cp.txt", " 0 || \n 5 || \n"}, {"n.tsv", "0\ta\n"}}, {"names", "cp.txt", "--items", "n.tsv", "-o", "named.txt"},
         "korvdb names: cp.txt:2:2: item 5 is not in the dictionary"},
        {{{"db.txt", "1 2 -1 -2\n"}, {"cp.txt", " 1 2 \n"}}, {"support", "db.txt", "cp.txt", "-o", "s.txt"},
         "korvdb support: cp.txt:1:6: the last event is not ended by ' || '"},
    };
    for (const FailureCase& c : cases) {
        ScratchDir dir;
        std::set<std::string> inputs;
        for (const auto& [name, bytes] : c.files) {
            dir.writeFile(name, bytes);
            inputs.insert(name);
        }
        const auto result = runProgram(KORVDB_PATH, c.args, dir.path());
        EXPECT_EQ(result.exitStatus, 1) << c.message;
        EXPECT_EQ(result.err, c.message + "\n");
        EXPECT_EQ(filesIn(dir), inputs) << c.message;
    }
}

TEST(KorvdbCommand, EverySubcommandHasHelp) {
    ScratchDir dir;
    for (const char* name : {"import", "convert", "stats", "names", "support"}) {
        const auto result = runProgram(KORVDB_PATH, {name, "--help"}, dir.path());
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out.rfind(std::string("usage: korvdb ") + name + " ", 0), 0u) << result.out;
    }
}

TEST(KorvdbCommand, FromEventLogToNamedPatternsAndSupports) {
    ScratchDir dir;
    dir.writeFile("shop.csv",
                  "customer,day,product\n"
                  "bob,7,jam\n"
                  "ann,1,bread\n"
                  "ann,2,jam\n"
                  "cat,4,\"tea, green\"\n"
                  "bob,5,milk\n"
                  "ann,1,milk\n"
                  "bob,5,bread\n"
                  "cat,3,bread\n");
    auto run = [&](std::vector<std::string> args) {
        const auto result = runProgram(KORVDB_PATH, args, dir.path());
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.err, "");
        return result.out;
    };
    EXPECT_EQ(run({"import", "shop.csv", "shop.bin"}),
              "rows:             8\nsequences:        3\nevents:           6\ndistinct items:   4\n"
              "longest sequence: 3 items\nwrote shop.bin and shop.items.tsv\n");
    EXPECT_EQ(dir.readFile("shop.items.tsv"), "0\tbread\n1\tjam\n2\tmilk\n3\ttea, green\n");
    EXPECT_EQ(runProgram(KORVPLUS_PATH, {"0.67", "shop.bin"}, dir.path()).exitStatus, 0);
    EXPECT_EQ(run({"names", "ClosedPatterns.txt", "--items", "shop.items.tsv"}),
              " bread || \n bread milk ||  jam || \n");
    EXPECT_EQ(run({"support", "shop.bin", "ClosedPatterns.txt", "--sequences"}),
              " 0 || \t3\t0,1,2\n 0 2 ||  1 || \t2\t0,1\n");

    // The same database as a korv pair, and frequent.dat lines named.
    run({"convert", "shop.bin", "flat.spec", "--flatten"});
    EXPECT_EQ(dir.readFile("flat.spec"), "flat.dat 4 3 3 3\n");
    dir.writeFile("frequent.dat", "0 2 1 : 2\n");
    EXPECT_EQ(run({"names", "frequent.dat", "--items", "shop.items.tsv"}), "bread milk jam : 2\n");
    EXPECT_EQ(run({"support", "flat.spec", "frequent.dat"}), "0 2 1 : 2\t2\n");
}

}  // namespace
