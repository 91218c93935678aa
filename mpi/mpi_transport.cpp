#include "mpi_transport.h"

#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <new>
#include <stdexcept>
#include <utility>

namespace korvmpi {

namespace {

constexpr int kTag = 7;
constexpr int kSignal = 100;
// How long the communication thread waits between polls: from the shortest right after a
// message, doubling while the link stays quiet, up to the longest; up to kWaitingPause while a
// search thread of this process waits for a message, so that work reaches it soon.
constexpr std::chrono::microseconds kShortestPause{20};
constexpr std::chrono::microseconds kWaitingPause{100};
constexpr std::chrono::microseconds kLongestPause{1000};

}  // namespace

MpiTransport::MpiTransport(int32_t rank, int32_t ranks, int32_t ownThreads)
    : rank_(rank), ranks_(ranks), threads_(std::size_t(ranks), 0), firstWorker_(std::size_t(ranks), 0) {
    int own = ownThreads;
    MPI_Allgather(&own, 1, MPI_INT, threads_.data(), 1, MPI_INT, MPI_COMM_WORLD);
    // The leader numbers the followers' threads rank by rank; its own are not workers here.
    int32_t next = 0;
    for (int32_t r = 1; r < ranks_; ++r) {
        firstWorker_[std::size_t(r)] = next;
        next += threads_[std::size_t(r)];
    }
    inboxes_ = std::vector<korvcore::MessageQueue>(std::size_t(workers()));
    released_.assign(std::size_t(workers()), 0);
    if (const char* kill = std::getenv("KORV_MPI_TEST_KILL")) {
        int killRank = 0;
        long long tasks = 0;
        if (std::sscanf(kill, "%d:%lld", &killRank, &tasks) == 2 && killRank == rank_ && tasks > 0) {
            if (rank_ == 0) tasksUntilMemoryFailure_ = tasks;
            else tasksUntilKill_ = tasks;
        }
    }
}

MpiTransport::~MpiTransport() {
    if (thread_.joinable()) finish();
}

int32_t MpiTransport::workers() const {
    if (!leader()) return threads_[std::size_t(rank_)];
    int32_t total = 0;
    for (int32_t r = 1; r < ranks_; ++r) total += threads_[std::size_t(r)];
    return total;
}

int32_t MpiTransport::processOf(int32_t worker) const {
    for (int32_t r = ranks_ - 1; r > 0; --r)
        if (worker >= firstWorker_[std::size_t(r)]) return r;
    return 0;
}

void MpiTransport::queue(int32_t rank, korvcore::CheckedVector<int32_t>&& words) {
    std::lock_guard<std::mutex> lock(outMutex_);
    outgoing_.push_back({rank, std::move(words)});
    outReady_.notify_one();
}

void MpiTransport::wake() {
    std::lock_guard<std::mutex> lock(outMutex_);
    outReady_.notify_one();
}

void MpiTransport::send(int32_t worker, korvcore::RemoteMessage kind, korvcore::CheckedVector<int32_t>&& words) {
    int32_t rank = 0;
    int32_t local = worker;
    const bool task = kind == korvcore::RemoteMessage::task || kind == korvcore::RemoteMessage::countTask;
    if (task && tasksUntilMemoryFailure_.load() > 0 && tasksUntilMemoryFailure_.fetch_sub(1) == 1)
        throw std::bad_alloc();
    if (leader()) {
        if (kind == korvcore::RemoteMessage::end) released_[std::size_t(worker)] = 1;
        rank = processOf(worker);
        local = worker - firstWorker_[std::size_t(rank)];
    }
    words.push_back(int32_t(kind));
    words.push_back(local);
    queue(rank, std::move(words));
}

korvcore::RemoteMessage MpiTransport::receive(int32_t worker, korvcore::CheckedVector<int32_t>& words) {
    korvcore::RemoteMessage kind{};
    if (inboxes_[std::size_t(worker)].pop(kind, words, false)) return kind;
    ++waiting_;
    inboxes_[std::size_t(worker)].pop(kind, words, true);
    --waiting_;
    return kind;
}

bool MpiTransport::tryReceive(int32_t worker, korvcore::RemoteMessage& kind, korvcore::CheckedVector<int32_t>& words) {
    return inboxes_[std::size_t(worker)].pop(kind, words, false);
}

void MpiTransport::watchSignal(std::function<korvcore::WorkSignal()> signal) {
    std::lock_guard<std::mutex> lock(signalMutex_);
    watched_ = std::move(signal);
}

korvcore::WorkSignal MpiTransport::signal() const {
    return {wanted_.load(std::memory_order_relaxed), stop_.load(std::memory_order_relaxed)};
}

void MpiTransport::start() { thread_ = std::thread([this] { communicate(); }); }

void MpiTransport::finish() {
    if (leader())
        for (int32_t worker = 0; worker < workers(); ++worker)
            if (!released_[std::size_t(worker)]) send(worker, korvcore::RemoteMessage::end, {});
    finishing_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
}

void MpiTransport::abort(int status) {
    if (thread_.joinable()) {
        abortStatus_ = status;
        wake();
        thread_.join();  // the communication thread aborts; the join never returns
    }
    MPI_Abort(MPI_COMM_WORLD, status);
    std::abort();
}

void MpiTransport::dispatch(int32_t source, korvcore::CheckedVector<int32_t>&& message) {
    if (message.empty()) throw std::runtime_error("empty message");
    if (message.back() == kSignal) {
        if (message.size() != 3) throw std::runtime_error("malformed signal");
        wanted_.store(message[0] != 0, std::memory_order_relaxed);
        if (message[1] != 0) stop_.store(true, std::memory_order_relaxed);
        return;
    }
    if (message.size() < 2) throw std::runtime_error("malformed message");
    int32_t worker = message.back();
    message.pop_back();
    const int32_t kind = message.back();
    message.pop_back();
    if (leader()) worker += firstWorker_[std::size_t(source)];
    if (worker < 0 || worker >= workers()) throw std::runtime_error("message for an unknown worker");
    const bool task = kind == int(korvcore::RemoteMessage::task) || kind == int(korvcore::RemoteMessage::countTask);
    if (task && tasksUntilKill_ > 0 && --tasksUntilKill_ == 0) ::raise(SIGKILL);
    inboxes_[std::size_t(worker)].push(korvcore::RemoteMessage(kind), std::move(message));
}

void MpiTransport::communicate() {
    struct Sending {
        korvcore::CheckedVector<int32_t> words;
        MPI_Request request;
    };
    std::list<Sending> sending;
    std::vector<Outgoing> batch;
    std::chrono::microseconds pause = kShortestPause;
    for (;;) {
        if (abortStatus_ >= 0) MPI_Abort(MPI_COMM_WORLD, abortStatus_);
        bool active = false;

        // Rank 0 publishes a changed signal before what it queues next.
        if (leader()) {
            std::lock_guard<std::mutex> lock(signalMutex_);
            if (watched_) {
                korvcore::WorkSignal now = watched_();
                now.stop = now.stop || published_.stop;
                if (!(now == published_)) {
                    published_ = now;
                    for (int32_t r = 1; r < ranks_; ++r) queue(r, {now.wanted ? 1 : 0, now.stop ? 1 : 0, kSignal});
                }
            }
        }
        {
            std::lock_guard<std::mutex> lock(outMutex_);
            batch.swap(outgoing_);
        }
        for (Outgoing& out : batch) {
            Sending& started = sending.emplace_back(Sending{std::move(out.words), MPI_REQUEST_NULL});
            MPI_Isend(started.words.data(), int(started.words.size()), MPI_INT, out.rank, kTag, MPI_COMM_WORLD,
                      &started.request);
            active = true;
        }
        batch.clear();
        for (auto it = sending.begin(); it != sending.end();) {
            int complete = 0;
            MPI_Test(&it->request, &complete, MPI_STATUS_IGNORE);
            it = complete ? sending.erase(it) : std::next(it);
        }

        int arrived = 0;
        MPI_Status status;
        MPI_Iprobe(MPI_ANY_SOURCE, kTag, MPI_COMM_WORLD, &arrived, &status);
        if (arrived) {
            int count = 0;
            MPI_Get_count(&status, MPI_INT, &count);
            korvcore::CheckedVector<int32_t> incoming(static_cast<std::size_t>(count));
            MPI_Recv(incoming.data(), count, MPI_INT, status.MPI_SOURCE, kTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
            dispatch(status.MPI_SOURCE, std::move(incoming));
            active = true;
        }

        if (finishing_ && sending.empty()) {
            std::lock_guard<std::mutex> lock(outMutex_);
            if (outgoing_.empty()) return;
        }
        // Idle rounds wait ever longer unless something is queued to send: each wake-up
        // interrupts a search thread, so a quiet link must cost few of them. A thread that waits
        // for work (in the leader: one its scheduler has idle) keeps the waits short.
        if (active) {
            pause = kShortestPause;
            continue;
        }
        const bool waiting = leader() ? published_.wanted : waiting_.load(std::memory_order_relaxed) > 0;
        std::unique_lock<std::mutex> lock(outMutex_);
        outReady_.wait_for(lock, pause, [this] { return !outgoing_.empty() || finishing_ || abortStatus_ >= 0; });
        pause = std::min(pause * 2, waiting ? kWaitingPause : kLongestPause);
    }
}

}  // namespace korvmpi
