// korv and korvdump run as programs: exact console output, exit status and "frequent.dat", on
// the worked examples, the error paths and input that is malformed or beyond the usual sizes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "support/run_program.h"

namespace {

using testsupport::ProgramResult;
using testsupport::ScratchDir;

const char usage[] =
    "Usage: Please give two arguments.\n"
    "       The first argument is the name of the .spec file.\n"
    "       The second argument is the relative support threshold.\n"
    "Details please refer to the attached document.\n";

struct report_figures {
    std::string data_path;
    std::string num_items;
    std::string max_length;
    std::string num_sequences;
    std::string rel_support;  // as printed with %.3f
    std::string abs_support;
    std::string histogram;  // the "k\t\t\tcount\n" lines
    std::string total;
};

std::string expected_report(const report_figures& f) {
    return "KORV: An efficient algorithm for mining frequent closed sequences.\n"
           "korv toolkit: frequent closed sequential patterns over sequences of single items.\n"
           "Depth-first prefix growth with forward, backward and pruning checks.\n"
           "Reads a spec file and its sequence data; reports closed sequences by length.\n"
           "\n"
           "Parameters are as follows:\n"
           "----------------------------------------------------------\n"
           "Transaction database:\t\t" + f.data_path + "\n"
           "Number of unique items in Database:\t   \t\t\t\t" + f.num_items + "\n"
           "Maximal length of a length:\t\t" + f.max_length + "\n"
           "Number of transactions in Database:\t\t\t\t" + f.num_sequences + "\n"
           "Relative support threshold:\t\t\t" + f.rel_support + "\n"
           "Absolute support threshold:\t\t\t" + f.abs_support + "\n"
           "F.C.S Length\tNumber of F.C.S\n" +
           f.histogram + "Total: " + f.total + "\n" + "Runtime: #.### sec.\n";
}

bool all_digits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// Runs each test for korv and for korvdump; they differ only in what "frequent.dat" receives.
class both_builds : public ::testing::TestWithParam<bool> {
protected:
    bool dump() const { return GetParam(); }

    ProgramResult run(const std::vector<std::string>& args) const {
        return testsupport::runProgram(dump() ? KORVDUMP_PATH : KORV_PATH, args, dir.path());
    }

    // A successful run: exact report, and "frequent.dat" holding `lines` (korvdump) or nothing.
    void expect_mined(const std::vector<std::string>& args, const report_figures& figures,
                      const std::string& lines) const {
        const ProgramResult result = run(args);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(testsupport::maskTime(result.out), expected_report(figures));
        EXPECT_EQ(result.err, "");
        ASSERT_TRUE(dir.exists("frequent.dat"));
        EXPECT_EQ(dir.readFile("frequent.dat"), dump() ? lines : "");
    }

    // A fatal run: one message, status -1 (255), and "frequent.dat" as given (absent when "").
    void expect_fatal(const std::vector<std::string>& args, const std::string& message,
                      const char* pattern_file) const {
        const ProgramResult result = run(args);
        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_EQ(result.out, message);
        if (pattern_file == nullptr) {
            EXPECT_FALSE(dir.exists("frequent.dat"));
        } else {
            ASSERT_TRUE(dir.exists("frequent.dat"));
            EXPECT_EQ(dir.readFile("frequent.dat"), pattern_file);
        }
    }

    ScratchDir dir;
};

INSTANTIATE_TEST_SUITE_P(programs, both_builds, ::testing::Values(false, true),
                         [](const auto& instance) { return instance.param ? "korvdump" : "korv"; });

TEST_P(both_builds, worked_examples) {
    dir.writeFile("small.dat", "0 1 2 -1\n0 2 1 2 -1\n1 0 2 -1\n-2\n");
    dir.writeFile("small.spec", "small.dat 3 3 4 4\n");
    // frequent.dat is emptied first: old content never survives.
    dir.writeFile("frequent.dat", "old content\n");
    expect_mined({"small.spec", "0.5"},
                 {"small.dat", "3", "4", "3", "0.500", "2", "2\t\t\t2\n3\t\t\t1\n", "3"},
                 "0 1 2 : 2\n0 2 : 3\n1 2 : 3\n");

    // 1 passes the pruning check but has a backward extension; 1 1 is pruned.
    dir.writeFile("b.dat", "1 0 1 -1 1 0 1 -1 -2");
    dir.writeFile("b.spec", "b.dat 2 2 4 4");
    expect_mined({"b.spec", "1"}, {"b.dat", "2", "4", "2", "1.000", "2", "3\t\t\t1\n", "1"},
                 "1 0 1 : 2\n");

    dir.writeFile("c.dat", "0 1 -1 1 0 1 -1 -2");
    dir.writeFile("c.spec", "c.dat 2 2 4 4");
    expect_mined({"c.spec", "1.0", "ignored"},
                 {"c.dat", "2", "4", "2", "1.000", "2", "2\t\t\t1\n", "1"}, "0 1 : 2\n");
}

TEST_P(both_builds, spec_values_in_any_base_and_missing_ones) {
    dir.writeFile("d.txt", "0 1 2 -1 0 2 1 2 -1 1 0 2 -1 -2");
    // 16 items, 3 sequences, maximal length 8; relative support parsed like atof.
    dir.writeFile("hex.spec", "d.txt\n0x10\n03 010 1");
    expect_mined({"hex.spec", "  0.5xyz"},
                 {"d.txt", "16", "8", "3", "0.500", "2", "2\t\t\t2\n3\t\t\t1\n", "3"},
                 "0 1 2 : 2\n0 2 : 3\n1 2 : 3\n");

    // No number of sequences: reading stops after the first end token, the threshold is 1.
    dir.writeFile("short.spec", "d.txt 3 three 4 4");
    expect_mined({"short.spec", "0.9"},
                 {"d.txt", "3", "0", "0", "0.900", "1", "3\t\t\t1\n", "1"}, "0 1 2 : 1\n");
}

TEST_P(both_builds, nothing_frequent_reports_an_empty_histogram) {
    dir.writeFile("d.txt", "0 1 -1 2 3 -1 -2");
    dir.writeFile("d.spec", "d.txt 4 2 2 2");
    expect_mined({"d.spec", "1"}, {"d.txt", "4", "2", "2", "1.000", "2", "", "0"}, "");
}

TEST_P(both_builds, usage_and_missing_spec_touch_nothing) {
    dir.writeFile("frequent.dat", "kept\n");
    expect_fatal({}, usage, "kept\n");
    expect_fatal({"only.spec"}, usage, "kept\n");
    expect_fatal({"missing.spec", "0.5"}, "Error: cannot open file missing.spec with mode r!\n",
                 "kept\n");
    ::mkdir(dir.file("spec_dir").c_str(), 0755);
    expect_fatal({"spec_dir", "0.5"}, "Error: cannot open file spec_dir with mode r!\n", "kept\n");
}

TEST_P(both_builds, missing_data_file_leaves_an_empty_pattern_file) {
    dir.writeFile("d.spec", "nowhere.txt 3 3 4 4");
    expect_fatal({"d.spec", "0.5"}, "Error: cannot open file nowhere.txt with mode r!\n", "");
    dir.writeFile("frequent.dat", "old\n");
    expect_fatal({"d.spec", "0.5"}, "Error: cannot open file nowhere.txt with mode r!\n", "");
}

// A threshold that would round below 1 is raised to 1 (relative support 0, negative, not a
// number, or too small for the number of sequences).
TEST_P(both_builds, threshold_below_one_is_raised_to_one) {
    dir.writeFile("d.txt", "0 1 -1 1 -1 -2");
    dir.writeFile("d.spec", "d.txt 2 2 2 2");
    const std::string histogram = "1\t\t\t1\n2\t\t\t1\n";
    expect_mined({"d.spec", "0"}, {"d.txt", "2", "2", "2", "0.000", "1", histogram, "2"},
                 "0 1 : 1\n1 : 2\n");
    expect_mined({"d.spec", "abc"}, {"d.txt", "2", "2", "2", "0.000", "1", histogram, "2"},
                 "0 1 : 1\n1 : 2\n");
    expect_mined({"d.spec", "0.2"}, {"d.txt", "2", "2", "2", "0.200", "1", histogram, "2"},
                 "0 1 : 1\n1 : 2\n");
}

// NaN and infinite or huge relative supports: NaN counts as 0, the rest is clamped.
TEST_P(both_builds, relative_support_not_finite_or_huge) {
    dir.writeFile("d.txt", "0 1 -1 1 -1 -2");
    dir.writeFile("d.spec", "d.txt 2 2 2 2");
    expect_mined({"d.spec", "nan"}, {"d.txt", "2", "2", "2", "nan", "1", "1\t\t\t1\n2\t\t\t1\n", "2"},
                 "0 1 : 1\n1 : 2\n");
    expect_mined({"d.spec", "inf"}, {"d.txt", "2", "2", "2", "inf", "2147483647", "", "0"}, "");
}

// Storage is sized from the data: a long data file name, a closed sequence longer than the
// maximal length (and than 500 items), with the maximal length still printed as given.
TEST_P(both_builds, sizes_come_from_the_data) {
    const std::string name = "a-data-file-name-much-longer-than-fifty-one-characters-" +
                             std::string(60, 'x') + ".txt";
    std::string long_sequence;
    std::string long_line;
    for (int item = 0; item < 600; ++item) {
        long_sequence += std::to_string(item) + " ";
        long_line += std::to_string(item) + " ";
    }
    dir.writeFile(name, "1005 1006 1007 -1 1005 1006 1007 -1 " + long_sequence + "-1 " +
                            long_sequence + "-1 -2");
    dir.writeFile("d.spec", name + " 600 4 2 1");
    expect_mined({"d.spec", "0.5"},
                 {name, "600", "2", "4", "0.500", "2", "3\t\t\t1\n600\t\t\t1\n", "2"},
                 long_line + ": 2\n1005 1006 1007 : 2\n");
}

// Ids beyond the declared number of items are ordinary items, whatever their size, and never
// taken for an end of sequence.
TEST_P(both_builds, ids_beyond_the_declared_items) {
    dir.writeFile("d.txt", "3 4 2147483647 -1 4 3 2147483647 -1 1 4 -1 -2");
    dir.writeFile("d.spec", "d.txt 2 3 3 3");
    expect_mined({"d.spec", "0.6"},
                 {"d.txt", "2", "3", "3", "0.600", "2", "1\t\t\t1\n2\t\t\t2\n", "3"},
                 "3 2147483647 : 2\n4 : 3\n4 2147483647 : 2\n");
}

// -2 before the last expected end token ends a sequence; data that ends early ends there and
// its partial last sequence is mined.
TEST_P(both_builds, early_ends_of_sequences_and_data) {
    dir.writeFile("d.txt", "0 1 -2 0 1 -2 0 1");
    dir.writeFile("d.spec", "d.txt 2 5 2 2");
    expect_mined({"d.spec", "0.5"}, {"d.txt", "2", "2", "5", "0.500", "3", "2\t\t\t1\n", "1"},
                 "0 1 : 3\n");
}

TEST_P(both_builds, invalid_token_is_fatal) {
    dir.writeFile("d.spec", "d.txt 2 2 2 2");
    for (const char* data : {"0 1 -1 one -1 -2", "0 1 -1 4294967295 -1 -2"}) {
        dir.writeFile("d.txt", data);
        expect_fatal({"d.spec", "0.5"}, "Error: invalid token in file d.txt!\n", "");
    }
}

TEST_P(both_builds, data_path_naming_a_directory_is_an_open_error) {
    ::mkdir(dir.file("sub").c_str(), 0755);
    dir.writeFile("d.spec", "sub 2 2 2 2");
    expect_fatal({"d.spec", "0.5"}, "Error: cannot open file sub with mode r!\n", "");
}

TEST_P(both_builds, unwritable_pattern_file) {
    dir.writeFile("d.txt", "0 1 -1 0 1 -1 -2");
    dir.writeFile("d.spec", "d.txt 2 2 2 2");
    ::mkdir(dir.file("frequent.dat").c_str(), 0755);
    const ProgramResult result = run({"d.spec", "0.5"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.out, "Error: cannot open file frequent.dat with mode w+!\n");
}

// A full disk: korvdump must not lose its lines silently; korv writes nothing and succeeds.
TEST_P(both_builds, full_disk) {
    dir.writeFile("d.txt", "0 1 -1 0 1 -1 -2");
    dir.writeFile("d.spec", "d.txt 2 2 2 2");
    ASSERT_EQ(::symlink("/dev/full", dir.file("frequent.dat").c_str()), 0);
    const ProgramResult result = run({"d.spec", "0.5"});
    if (dump()) {
        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_EQ(result.out, "Error: cannot write file frequent.dat!\n");
    } else {
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(testsupport::maskTime(result.out),
                  expected_report({"d.txt", "2", "2", "2", "0.500", "1", "2\t\t\t1\n", "1"}));
    }
}

// Memory that cannot be had ends the run with the allocation message, never an abort. The
// address space is limited with ulimit; under AddressSanitizer, which needs a huge address
// space, its own allocation limit does the same. The data would mine in an instant, were there
// memory to load it.
TEST_P(both_builds, memory_that_cannot_be_had) {
    std::string data;
    data.reserve(7000010);
    for (int sequence = 0; sequence < 1000000; ++sequence) data += "1 2 -1 ";
    dir.writeFile("d.txt", data + "-2");
    dir.writeFile("d.spec", "d.txt 3 1000000 2 2");
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit =
        "export ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=2:detect_leaks=0 && "
        "exec";
#else
    const std::string limit = "ulimit -v 16000 && exec";
#endif
    const ProgramResult result = testsupport::runProgram(
        "/bin/sh", {"-c", limit + " \"$0\" d.spec 1", dump() ? KORVDUMP_PATH : KORV_PATH},
        dir.path());
    EXPECT_EQ(result.exitStatus, 255);
    const std::string prefix = "Error: cannot allocate memory with size ";
    ASSERT_EQ(result.out.rfind(prefix, 0), 0u) << result.out << result.err;
    ASSERT_GT(result.out.size(), prefix.size() + 2);
    EXPECT_TRUE(all_digits(result.out.substr(prefix.size(), result.out.size() - prefix.size() - 2)));
    EXPECT_EQ(result.out.substr(result.out.size() - 2), "!\n");
}

}  // namespace
