#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Runs submitted work on a pool of threads and tells what each piece did in
// the order the work was submitted, on the submitting thread: whatever the
// pool, the submitter hears exactly what it would have heard had it done
// each piece itself, in turn. Which waiting piece a free worker takes is
// the schedule's to say (RouteSchedule.h).
//
// Ownership:
// - The submitting thread submits, notes and tells. It alone adds to and
//   removes from the window of pieces submitted and not yet told, and it
//   alone calls each piece's `tell`, front first, once the front has run. It
//   waits for the front once it is `aheadPerWorker` pieces per worker ahead,
//   which bounds memory.
// - A worker owns the piece it took until it has run it.
// - Shared, and guarded by `guard_`: the pieces waiting and their keys, the
//   schedule, each piece's `done`, and how many have not yet run.
//
// With one worker no thread is started: each piece runs on the submitting
// thread the moment it is submitted. A worker the system will not start (a
// limit on threads) is done without: the pool goes on with those it has,
// at the least the submitting thread itself.
class OrderedExecutor {
public:
    // What the schedule knows of a piece of work.
    struct Keys {
        std::size_t route = 0;
        std::size_t group = 0;
    };
    class Schedule {
    public:
        // The position, in `waiting` (the keys of the pieces waiting, in
        // submission order), of the piece a free worker takes now;
        // `waiting.size()` when none may start yet.
        virtual std::size_t Pick(const std::deque<Keys>& waiting) const = 0;
        virtual void Started(const Keys& keys) = 0;
        virtual void Ended(const Keys& keys) = 0;

    protected:
        ~Schedule() = default;
    };
    using Run = std::function<void()>;   // on a worker
    using Tell = std::function<void()>;  // on the submitting thread, in order

    // `schedule` is used under the executor's lock and must outlive it.
    OrderedExecutor(int workers, Schedule& schedule, std::size_t aheadPerWorker = 32);
    // Joins the workers; pieces still waiting are neither run nor told (a
    // submitter that ends by an exception).
    ~OrderedExecutor();
    OrderedExecutor(const OrderedExecutor&) = delete;
    OrderedExecutor& operator=(const OrderedExecutor&) = delete;

    // How many run the work: those asked for, or as many as could start.
    int Workers() const { return static_cast<int>(workers_); }

    // Runs `run` once the schedule lets a worker take it, then `tell` in
    // its place.
    void Submit(Run run, Tell tell, Keys keys);
    // Something told in its place among the pieces, with nothing to run.
    void Note(Tell tell);
    // Waits until every piece submitted has run, told or not.
    void WaitForRunsDone();
    // Waits for every piece and tells all that is left to tell.
    void Finish();

private:
    struct Piece {
        Run run;  // empty for a note
        Tell tell;
        Keys keys;
        bool done = false;
    };

    void StartWorkers(std::size_t workers);
    void Work();
    // The piece the schedule picks, taken out of the waiting ones; null when
    // none may start. With `guard_` held.
    Piece* Take();
    // Tells the pieces at the front of the window that have run; with
    // `wait`, waits for the front first. Called with `lock` held; releases
    // it to tell.
    void TellFront(std::unique_lock<std::mutex>& lock, bool wait);
    void Stop();

    Schedule& schedule_;
    const std::size_t aheadPerWorker_;
    std::size_t workers_ = 1;  // set once, before anything is submitted
    // Submitted and not yet told, in submission order; only the submitting
    // thread adds and removes.
    std::deque<std::unique_ptr<Piece>> window_;
    std::mutex guard_;
    std::condition_variable pieceDone_;
    std::condition_variable pieceReady_;
    std::deque<Piece*> waiting_;     // in submission order
    std::deque<Keys> waitingKeys_;   // theirs, alike
    std::size_t notRun_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
