#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "framework/CString.h"
#include "platform/LastError.h"

// The work for each caption, making its folder path and copying it, done by
// a pool of workers while the walk goes on listing; and everything the walk
// tells, told in walk order, on the walk's thread.
//
// Ownership:
// - The walk's thread hands out captions and notes in walk order. It alone
//   keeps the window of what it handed out and not yet told, and it alone
//   tells (`Tell` callbacks), front first, once the front is done: counts,
//   reasons, verbose lines and the progress line come out exactly as a
//   sequential walk would give them.
// - Each worker owns the caption it has taken, until it is done. A worker
//   takes the first caption handed out whose route no other worker is on:
//   captions with the same target (the caller routes by the target) are
//   copied one after another, in walk order, the later replacing the
//   earlier or refused by a read-only copy made earlier, as in a sequential
//   run; and every other caption goes to whichever worker is free, so that
//   no worker is left with more than its share. Of those, it takes one
//   whose group (the caller groups by content folder) no worker is in,
//   where there is one: the folders of one content folder's captions are
//   made in one folder, and the file system makes one entry in a folder at
//   a time, on a network share a round trip or two each; workers spread
//   over several content folders do not wait on each other there.
// - Shared between the walk and the workers, and guarded by `guard_`: the
//   captions waiting, the routes being worked on, and each caption's result
//   until it is marked done. The folder stack, the last error and the other
//   per-thread state of the file services stay with the thread that uses
//   them.
//
// With one worker no thread is started: each caption is done on the walk's
// thread the moment it is handed out, exactly as the walk always did. A
// worker that the system will not start (a limit on threads) is done
// without: the pool goes on with those it has, at the least the walk's own
// thread, and the outcome is the same.
class CaptionWork {
public:
    struct Caption {
        CString folder;         // where the walk listed it
        CString name;           // as listed
        CString captionFolder;  // made first, with every folder above it
        CString source;
        CString target;
    };
    struct Result {
        bool copied = false;
        SavedLastError error;  // the failed call's, when not copied
    };
    // Runs on the walk's thread, in walk order.
    using TellCaption = std::function<void(const Caption&, const Result&)>;
    using TellNote = std::function<void()>;

    CaptionWork(int workers, TellCaption tellCaption);
    // Joins the workers; a walk that ends by an exception leaves the work
    // still queued undone and untold.
    ~CaptionWork();
    CaptionWork(const CaptionWork&) = delete;
    CaptionWork& operator=(const CaptionWork&) = delete;

    // How many do the work: those asked for, or as many as could be started.
    int Workers() const { return static_cast<int>(workers_); }

    // Hands out a caption's work; captions with the same `route` are done
    // one at a time, in the order handed out; captions of one `group` are
    // done by one worker at a time while other groups have captions to do.
    void Hand(Caption caption, std::size_t route, std::size_t group);
    // Something the walk itself tells, in its place among the captions.
    void Note(TellNote note);
    // Waits until every caption handed out is done, told or not: before the
    // walk lists a folder that the work may be writing into.
    void WaitForWorkDone();
    // Waits for every caption handed out and tells what is left to tell.
    void Finish();

private:
    struct Slot {
        Caption caption;
        std::size_t route = 0;
        std::size_t group = 0;
        TellNote note;  // set for a note; empty for a caption
        Result result;
        bool done = false;
    };

    static Result Do(const Caption& caption);
    // Starts up to `workers` threads; as many as the system allows.
    void StartWorkers(std::size_t workers);
    void Work();
    // The first waiting caption whose route no worker is on, taken out of
    // the waiting ones; null when there is none. With `guard_` held.
    Slot* Take();
    // Tells the done slots at the front of the window; with `wait`, waits
    // for the front first. Called with `lock` held; releases it to tell.
    void TellFront(std::unique_lock<std::mutex>& lock, bool wait);
    void Stop();

    const TellCaption tellCaption_;
    std::size_t workers_;  // set once, before any caption is handed out
    // Slots handed out and not yet told, in walk order; only the walk's
    // thread adds and removes them.
    std::deque<std::unique_ptr<Slot>> window_;
    std::mutex guard_;
    std::condition_variable slotDone_;
    std::condition_variable captionReady_;
    std::deque<Slot*> waiting_;               // in walk order
    std::unordered_set<std::size_t> routesOn_;      // the routes workers are on
    std::unordered_multiset<std::size_t> groupsIn_;  // the groups workers are in
    std::size_t undone_ = 0;                         // captions handed out and not yet done
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
