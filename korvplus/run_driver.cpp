#include "run_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>

#include "binary_loader.h"
#include "korv/korv.h"
#include "pattern_file.h"
#include "task_trace.h"
#include "terminal_progress.h"
#include "thread_setting.h"

namespace korvplus {

namespace {

// Every console line is flushed at once, so a report cut short still shows what was done.
void printLine(std::ostream& out, const std::string& line) { out << line << '\n' << std::flush; }

}  // namespace

std::string formatGeneral(double value, int precision) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    return text;
}

void printClosingReport(std::ostream& out, int64_t closedCount, int32_t elapsedMilliseconds,
                        const std::vector<int64_t>& lengthHistogram) {
    printLine(out, "Total Closed Pattens: " + std::to_string(closedCount));
    printLine(out, "KORV Time:" + formatGeneral(elapsedMilliseconds * 0.001, 5));
    printLine(out, "Results Length:");
    for (std::size_t slot = 0; slot < lengthHistogram.size(); ++slot)
        if (lengthHistogram[slot] != 0)
            printLine(out, std::to_string(slot + 1) + "    " + std::to_string(lengthHistogram[slot]));
}

int runKorvplus(int argc, const char* const* argv, std::ostream& out, std::ostream& err, korvcore::RunHost* host) {
    printLine(out, "KORV+");
    printLine(out, "Closed sequential pattern mining over sequences of itemsets");
    printLine(out, "");
    if (argc != 3) {
        printLine(out, "usage:");
        printLine(out, "korvplus relative_support input_data_file_name");
        printLine(out,
                  "the input data file is encoded in binray, every event is ended in -1, and every sequences is "
                  "ended in -2.");
        printLine(out, "");
        return 0;
    }

    int status = 0;
    auto fail = [&](const std::string& message) {
        err << "korvplus: " << message << '\n' << std::flush;
        status = 1;
    };

    // Settled before the input is read: a bad setting stops the run with nothing loaded or created.
    const char* threadsValue = std::getenv(korvcore::kThreadsVariable);
    const korvcore::ThreadSetting threadSetting = korvcore::parseThreadSetting(threadsValue);
    if (!threadSetting.valid) {
        fail(std::string(korvcore::kThreadsVariable) + "=\"" + threadsValue +
             "\": the number of threads must be an integer from 1 to " + std::to_string(korvcore::kMaxThreads));
        return status;
    }
    // The trace (task_trace.h) starts its clock before the input is read, and a path that cannot
    // be created stops the run as a bad setting does.
    korvcore::TaskTrace trace;
    if (!trace.openFromEnvironment()) {
        fail(trace.error());
        return status;
    }

    try {
        const double relativeSupport = std::atof(argv[1]);
        const std::string inputPath = argv[2];

        std::vector<int32_t> words;
        const LoadResult load = loadSequenceFile(words, inputPath);
        const LoadFigures& figures = load.figures;
        const int64_t itemCount = int64_t(figures.largestItemId) + 1;
        const int32_t minSupport = korv::absoluteSupport(figures.sequenceCount, relativeSupport, korv::Rounding::truncated);

        printLine(out, "Related Support: " + formatGeneral(relativeSupport, 6));
        printLine(out, "Absoluted Support: " + std::to_string(minSupport));
        printLine(out, "Items Count: " + std::to_string(itemCount));
        printLine(out, "Sequence Count: " + std::to_string(figures.sequenceCount));
        if (!load.error.empty()) fail(load.error);
        korv::Progress progress;
        korv::MineOptions options{.threshold = korv::Threshold::absolute(std::max(minSupport, 1)),
                                  .threads = threadSetting.threads,
                                  .progress = &progress,
                                  .trace = trace.isOpen() ? &trace : nullptr};
        if (host) host->inputRead(words, minSupport, load.error.empty(), options);

        korv::Database database = korv::Database::fromBinaryWords(std::move(words));

        PatternFile patternFile;
        const bool opened = patternFile.open(kPatternFileName);
        if (!opened) fail(patternFile.error());
        korv::MineSummary summary;
        const auto searchStart = std::chrono::steady_clock::now();
        {
            // A progress line while the search runs, on a terminal only; erased before the report.
            const korvcore::TerminalProgress display(progress, "closed patterns");
            summary = korv::mine(std::move(database), options, [&patternFile](const korv::Pattern& pattern) {
                patternFile.writePattern(pattern.flat);
                return true;
            });
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - searchStart);

        // The report counts by depth: slot d holds the patterns of d + 1 items.
        const std::vector<int64_t> byDepth(summary.byLength.begin() + 1, summary.byLength.end());
        printClosingReport(out, summary.closed, int32_t(std::min<int64_t>(elapsed.count(), INT32_MAX)), byDepth);
        if (!patternFile.close() && opened) fail(patternFile.error());
        if (!trace.close()) fail(trace.error());
    } catch (const std::bad_alloc&) {
        if (host != nullptr && host->reportsMemoryFailure()) throw;
        fail("out of memory");
    } catch (const std::length_error&) {
        fail("out of memory: the database is too large");
    }

    if (!out) fail("cannot write the report to standard output");
    return status;
}

}  // namespace korvplus
