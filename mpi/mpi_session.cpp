#include "mpi_session.h"

#include <mpi.h>

#include <cstdio>
#include <cstdlib>

#include "thread_setting.h"

namespace korvmpi {

MpiSession::MpiSession(int& argc, char**& argv, const char* program) {
    int provided = MPI_THREAD_SINGLE;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_SERIALIZED, &provided);
    int rank = 0;
    int ranks = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    rank_ = rank;
    ranks_ = ranks;
    if (provided < MPI_THREAD_SERIALIZED) {
        if (rank_ == 0)
            std::fprintf(stderr, "%s: the MPI library does not support threads (MPI_THREAD_SERIALIZED)\n", program);
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
}

MpiSession::~MpiSession() { MPI_Finalize(); }

void MpiSession::announceExit(int status) {
    int header[3] = {0, status, 0};
    MPI_Bcast(header, 3, MPI_INT, 0, MPI_COMM_WORLD);
    announced_ = true;
}

void MpiSession::announceStart(int32_t value, std::span<const int32_t> words) {
    int header[3] = {1, value, int(words.size())};
    MPI_Bcast(header, 3, MPI_INT, 0, MPI_COMM_WORLD);
    MPI_Bcast(const_cast<int32_t*>(words.data()), int(words.size()), MPI_INT, 0, MPI_COMM_WORLD);
    announced_ = true;
}

MpiSession::Start MpiSession::awaitStart() {
    int header[3] = {0, 0, 0};
    MPI_Bcast(header, 3, MPI_INT, 0, MPI_COMM_WORLD);
    return {header[0] != 0, header[1], std::size_t(header[2])};
}

void MpiSession::receiveWords(int32_t* words, std::size_t count) {
    MPI_Bcast(words, int(count), MPI_INT, 0, MPI_COMM_WORLD);
}

korvcore::ClusterLink& ClusterRun::start(int32_t value, std::span<const int32_t> words) {
    session_.announceStart(value, words);
    return join(korvcore::parseThreadSetting(std::getenv(korvcore::kThreadsVariable)).threads);
}

korvcore::ClusterLink& ClusterRun::join(int32_t threads) {
    transport_.emplace(session_.rank(), session_.ranks(), threads);
    transport_->start();
    return *transport_;
}

void ClusterRun::finish() {
    if (transport_) transport_->finish();
}

void ClusterRun::failHere(const char* program, const char* what) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: rank %d: %s\n", program, int(session_.rank()), what);
    abort(1);
}

void ClusterRun::abort(int status) {
    if (transport_) transport_->abort(status);
    MPI_Abort(MPI_COMM_WORLD, status);
    std::abort();
}

ClusterSettings readClusterSettings() {
    ClusterSettings settings;
    const char* stress = std::getenv("KORV_MPI_STRESS");
    if (stress != nullptr && std::string(stress) == "1") {
        settings.splitAtEveryNode = true;
        settings.bufferLimitBytes = 1;
    }
    const char* megabytes = std::getenv("KORV_BUFFER_MB");
    if (megabytes == nullptr || *megabytes == '\0') return settings;
    constexpr int64_t kMaxMegabytes = int64_t(1) << 20;
    int64_t value = 0;
    for (const char* c = megabytes; *c != '\0' && value <= kMaxMegabytes; ++c) {
        if (*c < '0' || *c > '9') {
            value = 0;
            break;
        }
        value = value * 10 + (*c - '0');
    }
    if (value < 1 || value > kMaxMegabytes) {
        settings.error = std::string("KORV_BUFFER_MB=\"") + megabytes +
                         "\": the output bound must be an integer number of megabytes from 1 to " +
                         std::to_string(kMaxMegabytes);
        return settings;
    }
    if (!settings.splitAtEveryNode) settings.bufferLimitBytes = std::size_t(value) << 20;
    return settings;
}

int32_t followerThreads(const char* program, int32_t rank, int status) {
    const char* value = std::getenv(korvcore::kThreadsVariable);
    const korvcore::ThreadSetting setting = korvcore::parseThreadSetting(value);
    if (setting.valid) return setting.threads;
    std::fprintf(stderr, "%s: rank %d: %s=\"%s\": the number of threads must be an integer from 1 to %d\n", program,
                 int(rank), korvcore::kThreadsVariable, value, int(korvcore::kMaxThreads));
    MPI_Abort(MPI_COMM_WORLD, status);
    return 1;
}

}  // namespace korvmpi
