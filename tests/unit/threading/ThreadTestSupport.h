#pragma once
// Runnables and bounded waits shared by the threading tests.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "threading/ZEBRunnable.h"
#include "util/ZEBException.h"

namespace zebtest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Polls `done` until it holds or `timeout` passes; true when it held. The
// threads under test offer no notification of their state changes, so the
// tests poll with a deadline.
template <class Pred>
bool waitUntil(Pred done, std::chrono::milliseconds timeout = 5000ms) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Counts its runs and remembers when each began.
class CountingRunnable : public ZEBInternal::ZEBRunnable {
public:
    void run() override {
        std::lock_guard<std::mutex> lock(mutex_);
        starts_.push_back(Clock::now());
        runs_.fetch_add(1);
    }
    int runs() const { return runs_.load(); }
    Clock::time_point startOf(size_t index) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return index < starts_.size() ? starts_[index] : Clock::time_point{};
    }

private:
    std::atomic<int> runs_{0};
    mutable std::mutex mutex_;
    std::vector<Clock::time_point> starts_;
};

// Each run() blocks until the test lets it return, so the test controls how
// long a run lasts. A run gives up after 10 s so a failing test cannot hang.
class GateRunnable : public ZEBInternal::ZEBRunnable {
public:
    void run() override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++entered_;
        changed_.notify_all();
        changed_.wait_for(lock, 10s, [this] { return open_ || permits_ > 0; });
        if (permits_ > 0) --permits_;
        ++returned_;
        returnedAt_ = Clock::now();
        changed_.notify_all();
    }
    bool waitEntered(int n, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return entered_ >= n; });
    }
    bool waitReturned(int n, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return returned_ >= n; });
    }
    // Lets one run return.
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++permits_;
        changed_.notify_all();
    }
    // Lets every run return at once from now on.
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    int entered() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return entered_;
    }
    Clock::time_point lastReturn() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return returnedAt_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int entered_ = 0;
    int returned_ = 0;
    int permits_ = 0;
    bool open_ = false;
    Clock::time_point returnedAt_{};
};

// Opens a gate when the test ends, so a thread blocked in run() can be joined
// even when an assertion returned early. Declare it after the thread.
class GateOpener {
public:
    explicit GateOpener(GateRunnable& gate) : gate_(gate) {}
    ~GateOpener() { gate_.open(); }
    GateOpener(const GateOpener&) = delete;
    GateOpener& operator=(const GateOpener&) = delete;

private:
    GateRunnable& gate_;
};

// The message of the ZEBConcurrencyException that action throws.
inline std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ZEBInternal::ZEBConcurrencyException& e) {
        EXPECT_EQ(e.getType(), "ConcurrencyException");
        return e.getMessage();
    }
    return "<nothing thrown>";
}

}  // namespace zebtest
