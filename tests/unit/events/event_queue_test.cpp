// The event queue under load: host threads and a library producer push
// while a consumer takes records in every way it can, and the queue is shut
// to the host threads halfway. Every record accepted comes out exactly once,
// each producer's records in its order; a refused record never comes out,
// and the library's own records still go in after the shutting.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "events/EventManager.h"
#include "events/ZEBEventBasic.h"

namespace ZEBInternal {
namespace {

using Clock = std::chrono::steady_clock;

TEST(EventQueue, ProducersRacingConsumersAndTheShutKeepEveryRecordOnceAndInOrder) {
    constexpr int kHostThreads = 4;
    constexpr int kPerThread = 20000;
    const std::string appSession = "APPSESSION";
    EventManager events;

    std::atomic<int> accepted{0};
    std::atomic<bool> producing{true};
    std::vector<int> acceptedBy(kHostThreads, 0);
    std::vector<int> refusedAgain(kHostThreads, 0);  // not vector<bool>: one writer each
    std::vector<std::thread> producers;
    for (int t = 0; t < kHostThreads; ++t) {
        producers.emplace_back([&, t] {
            const std::string who = "T" + std::to_string(t);
            for (int i = 0; i < kPerThread; ++i) {
                if (!events.pushFromHost(std::make_unique<ZEBEventBasic>(
                        who, std::to_string(i), EventSessionID::borrowed(appSession)))) {
                    // Shut for good: a later push is refused too.
                    refusedAgain[t] = !events.pushFromHost(
                        std::make_unique<ZEBEventBasic>(who, "late", EventSessionID("S")));
                    return;
                }
                ++acceptedBy[t];
                ++accepted;
            }
            refusedAgain[t] = 1;  // never refused: nothing to check
        });
    }
    // The library's own producer is never refused, before or after.
    int libraryPushed = 0;
    std::thread library([&] {
        while (producing.load() || libraryPushed < 1000) {
            events.push(std::make_unique<ZEBEventBasic>("L", std::to_string(libraryPushed++), "S"));
        }
    });

    // The consumer mixes single pops, whole takes and counts.
    std::vector<std::unique_ptr<ZEBEventInfo>> out;
    std::atomic<bool> consuming{true};
    std::thread consumer([&] {
        int round = 0;
        while (consuming.load()) {
            if (++round % 3 == 0) {
                events.popAll(out);
            } else if (auto record = events.pop()) {
                out.push_back(std::move(record));
            }
            if (round % 7 == 0) {
                EXPECT_GE(events.count(), 0);
            }
        }
    });

    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (accepted.load() < kHostThreads * kPerThread / 2 && Clock::now() < deadline) {
        std::this_thread::yield();
    }
    events.closeToHosts();
    for (auto& p : producers) p.join();
    producing = false;
    library.join();
    events.push(std::make_unique<ZEBEventBasic>("L", "last", "S"));
    consuming = false;
    consumer.join();
    events.popAll(out);
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(events.pop(), nullptr);

    std::map<std::string, int> next;
    for (size_t i = 0; i < out.size(); ++i) {
        const auto* record = dynamic_cast<const ZEBEventBasic*>(out[i].get());
        ASSERT_NE(record, nullptr);
        if (i + 1 == out.size()) {
            EXPECT_EQ(record->getName(), "last") << "a record pushed after the rest came out early";
            break;
        }
        const std::string& who = record->getCategory();
        ASSERT_EQ(record->getName(), std::to_string(next[who])) << "producer " << who;
        ++next[who];
        if (who != "L") {
            EXPECT_EQ(&record->getSessionID(), &appSession);
        }
    }
    for (int t = 0; t < kHostThreads; ++t) {
        EXPECT_EQ(next["T" + std::to_string(t)], acceptedBy[t]) << "thread " << t;
        EXPECT_TRUE(refusedAgain[t]) << "thread " << t;
    }
    EXPECT_EQ(next["L"], libraryPushed);
}

}  // namespace
}  // namespace ZEBInternal
