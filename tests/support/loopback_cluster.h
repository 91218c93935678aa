// Processes of a cluster run (the core's cluster_link.h) as threads of one test process: every
// proxy and its remote thread exchange messages through two queues, and followers read the
// leader's signal through its own function.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "cluster_link.h"

namespace testsupport {

class Loopback {
public:
    explicit Loopback(std::vector<int32_t> followerThreads) : threads_(std::move(followerThreads)) {
        for (const int32_t count : threads_) total_ += count;
        toFollower_ = std::vector<korvcore::MessageQueue>(std::size_t(total_));
        toLeader_ = std::vector<korvcore::MessageQueue>(std::size_t(total_));
    }

    class Link final : public korvcore::ClusterLink {
    public:
        Link(Loopback& net, int32_t follower) : net_(net), follower_(follower) {
            for (int32_t f = 0; f < follower; ++f) base_ += net.threads_[std::size_t(f)];
        }
        bool leader() const override { return follower_ < 0; }
        int32_t workers() const override { return leader() ? net_.total_ : net_.threads_[std::size_t(follower_)]; }
        int32_t processOf(int32_t worker) const override {
            int32_t process = 1;
            for (const int32_t count : net_.threads_) {
                if (worker < count) return process;
                worker -= count;
                ++process;
            }
            return -1;
        }
        void send(int32_t worker, korvcore::RemoteMessage kind, korvcore::CheckedVector<int32_t>&& words) override {
            (leader() ? net_.toFollower_ : net_.toLeader_)[std::size_t(base_ + worker)].push(kind, std::move(words));
        }
        korvcore::RemoteMessage receive(int32_t worker, korvcore::CheckedVector<int32_t>& words) override {
            korvcore::RemoteMessage kind{};
            inbox(worker).pop(kind, words, true);
            return kind;
        }
        bool tryReceive(int32_t worker, korvcore::RemoteMessage& kind, korvcore::CheckedVector<int32_t>& words) override {
            return inbox(worker).pop(kind, words, false);
        }
        void watchSignal(std::function<korvcore::WorkSignal()> signal) override {
            std::lock_guard<std::mutex> lock(net_.signalMutex_);
            net_.signal_ = std::move(signal);
        }
        korvcore::WorkSignal signal() const override {
            std::lock_guard<std::mutex> lock(net_.signalMutex_);
            if (net_.signal_) {
                const korvcore::WorkSignal now = net_.signal_();
                net_.last_ = {now.wanted, now.stop || net_.last_.stop};
            }
            return net_.last_;
        }

    private:
        korvcore::MessageQueue& inbox(int32_t worker) {
            return (leader() ? net_.toLeader_ : net_.toFollower_)[std::size_t(base_ + worker)];
        }
        Loopback& net_;
        int32_t follower_;
        int32_t base_ = 0;
    };

private:
    std::vector<int32_t> threads_;
    int32_t total_ = 0;
    std::vector<korvcore::MessageQueue> toFollower_, toLeader_;
    mutable std::mutex signalMutex_;
    std::function<korvcore::WorkSignal()> signal_;
    korvcore::WorkSignal last_;
};

// Runs lead(leaderLink) on the calling thread and follow(followerLink, threads) for each entry
// of followerThreads on a thread of its own; returns once all have ended.
template <class Lead, class Follow>
void runOnLoopback(const std::vector<int32_t>& followerThreads, Lead&& lead, Follow&& follow) {
    Loopback net(followerThreads);
    Loopback::Link leader(net, -1);
    std::vector<std::unique_ptr<Loopback::Link>> links;
    for (int32_t f = 0; f < int32_t(followerThreads.size()); ++f)
        links.push_back(std::make_unique<Loopback::Link>(net, f));
    std::vector<std::thread> followers;
    struct Join {
        std::vector<std::thread>& threads;
        ~Join() {
            for (std::thread& thread : threads) thread.join();
        }
    } join{followers};
    for (int32_t f = 0; f < int32_t(followerThreads.size()); ++f)
        followers.emplace_back([&, f] { follow(*links[std::size_t(f)], followerThreads[std::size_t(f)]); });
    lead(leader);
}

}  // namespace testsupport
