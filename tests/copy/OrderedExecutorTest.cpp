// The pool on its own, with fake work that waits for the test's word: what
// it tells comes in submission order, pieces of one route never overlap and
// keep their order, a worker prefers a group no other worker is in, and the
// submitter runs no further ahead than its window. No sleeps: every moment
// a test relies on is one that a piece of work announces.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "copy/OrderedExecutor.h"
#include "copy/RouteSchedule.h"

namespace {

using Keys = OrderedExecutor::Keys;

// A moment that one thread announces and others wait for.
class Moment {
public:
    void Arrive() {
        const std::lock_guard<std::mutex> lock(guard_);
        arrived_ = true;
        changed_.notify_all();
    }
    void Await() {
        std::unique_lock<std::mutex> lock(guard_);
        changed_.wait(lock, [&] { return arrived_; });
    }
    bool Arrived() {
        const std::lock_guard<std::mutex> lock(guard_);
        return arrived_;
    }

private:
    std::mutex guard_;
    std::condition_variable changed_;
    bool arrived_ = false;
};

// What happened, in the order it happened, from any thread.
class Log {
public:
    void Add(const std::string& event) {
        const std::lock_guard<std::mutex> lock(guard_);
        events_.push_back(event);
    }
    std::vector<std::string> Events() {
        const std::lock_guard<std::mutex> lock(guard_);
        return events_;
    }
    // Where `event` stands, or -1.
    int At(const std::string& event) {
        const std::vector<std::string> events = Events();
        for (std::size_t at = 0; at < events.size(); ++at) {
            if (events[at] == event) return static_cast<int>(at);
        }
        return -1;
    }

private:
    std::mutex guard_;
    std::vector<std::string> events_;
};

struct Pool {
    explicit Pool(int workers, std::size_t ahead = 32) : executor(workers, schedule, ahead) {}
    // A piece that logs its start and end, says it started, waits for
    // `release` when given one, and says it ended; and logs its telling.
    void Submit(const std::string& name, Keys keys, Moment* release = nullptr, Moment* started = nullptr,
                Moment* ended = nullptr) {
        executor.Submit(
            [this, name, release, started, ended] {
                log.Add("start " + name);
                if (started != nullptr) started->Arrive();
                if (release != nullptr) release->Await();
                log.Add("end " + name);
                if (ended != nullptr) ended->Arrive();
            },
            [this, name] { told.push_back(name); }, keys);
    }

    RouteSchedule schedule;
    OrderedExecutor executor;
    Log log;
    std::vector<std::string> told;  // only the submitting thread tells
};

TEST(OrderedExecutor, TellsInSubmissionOrderWhateverOrderTheRunsEndIn) {
    Pool pool(4);
    Moment release, firstStarted, secondEnded, thirdEnded;
    pool.Submit("first", {1, 1}, &release, &firstStarted);
    firstStarted.Await();
    pool.executor.Note([&] { pool.told.push_back("note"); });
    pool.Submit("second", {2, 2}, nullptr, nullptr, &secondEnded);
    pool.Submit("third", {3, 3}, nullptr, nullptr, &thirdEnded);
    secondEnded.Await();
    thirdEnded.Await();
    // The later pieces have run; nothing is told before the first is.
    EXPECT_TRUE(pool.told.empty());
    release.Arrive();
    pool.executor.WaitForRunsDone();
    EXPECT_NE(pool.log.At("end first"), -1) << "every piece has run once WaitForRunsDone returns";
    pool.executor.Finish();
    EXPECT_EQ(pool.told, (std::vector<std::string>{"first", "note", "second", "third"}));
    EXPECT_LT(pool.log.At("end second"), pool.log.At("end first"));
}

TEST(OrderedExecutor, PiecesOfOneRouteRunOneAtATimeInSubmissionOrder) {
    Pool pool(4);
    Moment release, earlierStarted, otherEnded;
    pool.Submit("earlier", {1, 1}, &release, &earlierStarted);
    earlierStarted.Await();
    pool.Submit("later", {1, 1});
    pool.Submit("other", {2, 2}, nullptr, nullptr, &otherEnded);
    // A free worker passed the later piece of the busy route by.
    otherEnded.Await();
    EXPECT_EQ(pool.log.At("start later"), -1);
    release.Arrive();
    pool.executor.Finish();
    EXPECT_LT(pool.log.At("end earlier"), pool.log.At("start later"));
    EXPECT_EQ(pool.told, (std::vector<std::string>{"earlier", "later", "other"}));
}

TEST(OrderedExecutor, AFreeWorkerPrefersAGroupNoOtherWorkerIsIn) {
    Pool pool(2);
    Moment releaseBusy, busyStarted, releaseOther, otherStarted, sameGroupEnded;
    pool.Submit("busy", {1, 1}, &releaseBusy, &busyStarted);
    busyStarted.Await();
    pool.Submit("other", {4, 3}, &releaseOther, &otherStarted);
    otherStarted.Await();
    // Both workers are busy while these two wait; the one that comes free
    // takes the piece of a group nobody is in, though it came second.
    pool.Submit("same group", {2, 1}, nullptr, nullptr, &sameGroupEnded);
    pool.Submit("own group", {3, 2});
    releaseOther.Arrive();
    sameGroupEnded.Await();  // both ran on the worker that came free
    releaseBusy.Arrive();
    pool.executor.Finish();
    EXPECT_LT(pool.log.At("start own group"), pool.log.At("start same group"));
}

TEST(OrderedExecutor, OneWorkerRunsEachPieceOnTheSubmittingThreadAsItIsSubmitted) {
    Pool pool(1);
    std::thread::id ranOn;
    pool.executor.Submit([&] { ranOn = std::this_thread::get_id(); }, [&] { pool.told.push_back("told"); }, {1, 1});
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(pool.told, std::vector<std::string>{"told"});
    EXPECT_EQ(pool.executor.Workers(), 1);
}

TEST(OrderedExecutor, TheSubmitterRunsNoFurtherAheadThanItsWindow) {
    Pool pool(2, 1);  // a window of one piece per worker
    for (int piece = 0; piece < 5; ++piece) {
        pool.Submit("piece " + std::to_string(piece), {static_cast<std::size_t>(piece), 0});
        EXPECT_LE(piece + 1 - static_cast<int>(pool.told.size()), 2) << "submitted and not yet told";
    }
    pool.executor.Finish();
    EXPECT_EQ(pool.told.size(), 5u);
}

// Which waiting piece a free worker takes, given what the workers are on.
TEST(RouteSchedule, PicksTheFirstPieceOfAFreeRoutePreferringAFreeGroup) {
    struct Case {
        const char* what;
        std::vector<Keys> busy;     // what the workers are on
        std::vector<Keys> waiting;  // in submission order
        std::size_t picked;         // waiting.size() for none
    };
    const Case cases[] = {
        {"nothing busy: the first", {}, {{1, 1}, {2, 2}}, 0},
        {"its route busy: the next route", {{1, 9}}, {{1, 1}, {1, 1}, {2, 2}}, 2},
        {"its group busy: a later piece of a free group", {{9, 1}}, {{1, 1}, {2, 1}, {3, 2}}, 2},
        {"every group busy: the first free route", {{9, 1}, {8, 2}}, {{1, 1}, {2, 2}}, 0},
        {"every route busy: none", {{1, 1}, {2, 2}}, {{1, 1}, {2, 2}, {1, 3}}, 3},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        RouteSchedule schedule;
        for (const Keys& keys : test.busy) schedule.Started(keys);
        EXPECT_EQ(schedule.Pick(std::deque<Keys>(test.waiting.begin(), test.waiting.end())), test.picked);
        for (const Keys& keys : test.busy) schedule.Ended(keys);
        EXPECT_EQ(schedule.Pick(std::deque<Keys>(test.waiting.begin(), test.waiting.end())), 0u)
            << "with nothing busy, the first";
    }
}

}  // namespace
