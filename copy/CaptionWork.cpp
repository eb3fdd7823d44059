#include "copy/CaptionWork.h"

#include <new>
#include <system_error>
#include <utility>

#include "copy/DirectoryPath.h"

namespace {

// How many captions each worker may have handed out and not yet told: the
// walk runs ahead of the workers by no more than that, so the memory a run
// takes does not grow with the tree.
constexpr std::size_t kAheadPerWorker = 32;

}  // namespace

CaptionWork::CaptionWork(int workers, TellCaption tellCaption) : tellCaption_(std::move(tellCaption)), workers_(1) {
    if (workers > 1) StartWorkers(static_cast<std::size_t>(workers));
}

void CaptionWork::StartWorkers(std::size_t workers) {
    try {
        while (threads_.size() < workers) threads_.emplace_back(&CaptionWork::Work, this);
    } catch (const std::system_error&) {
        // A limit on threads or processes: the run goes on with the workers
        // it has. One alone would only add a thread to the walk's own.
        if (threads_.size() == 1) Stop();
    } catch (...) {
        Stop();
        throw;
    }
    workers_ = threads_.empty() ? 1 : threads_.size();
}

CaptionWork::~CaptionWork() { Stop(); }

void CaptionWork::Stop() {
    {
        const std::lock_guard<std::mutex> lock(guard_);
        stopping_ = true;
        waiting_.clear();
    }
    captionReady_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

CaptionWork::Result CaptionWork::Do(const Caption& caption) {
    Result result;
    try {
        CreateDirectoryPath(caption.captionFolder);
        result.copied = CopyFileW(caption.source, caption.target, FALSE) != FALSE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        result.copied = false;
    }
    if (!result.copied) result.error = SavedLastError::Take();
    return result;
}

CaptionWork::Slot* CaptionWork::Take() {
    // A caption of a route that a worker is on waits, and so does every
    // later one of that route, as none of them comes first.
    auto eligible = waiting_.end();
    for (auto at = waiting_.begin(); at != waiting_.end(); ++at) {
        if (routesOn_.count((*at)->route) != 0) continue;
        if (eligible == waiting_.end()) eligible = at;
        if (groupsIn_.count((*at)->group) == 0) {
            eligible = at;
            break;
        }
    }
    if (eligible == waiting_.end()) return nullptr;
    Slot* const slot = *eligible;
    waiting_.erase(eligible);
    routesOn_.insert(slot->route);
    groupsIn_.insert(slot->group);
    return slot;
}

void CaptionWork::Work() {
    std::unique_lock<std::mutex> lock(guard_);
    for (;;) {
        Slot* slot = nullptr;
        captionReady_.wait(lock, [&] { return stopping_ || (slot = Take()) != nullptr; });
        if (stopping_) return;
        lock.unlock();
        Result result = Do(slot->caption);
        lock.lock();
        slot->result = std::move(result);
        slot->done = true;
        --undone_;
        routesOn_.erase(slot->route);
        groupsIn_.erase(groupsIn_.find(slot->group));
        slotDone_.notify_one();
        // A caption of the same route may be waiting for this one.
        if (!waiting_.empty()) captionReady_.notify_one();
    }
}

void CaptionWork::Hand(Caption caption, std::size_t route, std::size_t group) {
    auto slot = std::make_unique<Slot>();
    slot->caption = std::move(caption);
    slot->route = route;
    slot->group = group;
    if (workers_ == 1) {
        slot->result = Do(slot->caption);
        slot->done = true;
    }
    Slot* const handed = slot.get();
    std::unique_lock<std::mutex> lock(guard_);
    window_.push_back(std::move(slot));
    if (workers_ > 1) {
        waiting_.push_back(handed);
        ++undone_;
        captionReady_.notify_one();
    }
    TellFront(lock, false);
    while (window_.size() > kAheadPerWorker * workers_) TellFront(lock, true);
}

void CaptionWork::Note(TellNote note) {
    auto slot = std::make_unique<Slot>();
    slot->note = std::move(note);
    slot->done = true;
    std::unique_lock<std::mutex> lock(guard_);
    window_.push_back(std::move(slot));
    TellFront(lock, false);
}

void CaptionWork::WaitForWorkDone() {
    std::unique_lock<std::mutex> lock(guard_);
    slotDone_.wait(lock, [&] { return undone_ == 0; });
}

void CaptionWork::Finish() {
    std::unique_lock<std::mutex> lock(guard_);
    while (!window_.empty()) TellFront(lock, true);
}

void CaptionWork::TellFront(std::unique_lock<std::mutex>& lock, bool wait) {
    if (wait) slotDone_.wait(lock, [&] { return window_.front()->done; });
    while (!window_.empty() && window_.front()->done) {
        std::unique_ptr<Slot> slot = std::move(window_.front());
        window_.pop_front();
        // Told without the lock: telling writes to the terminal, and the
        // workers go on meanwhile.
        lock.unlock();
        if (slot->note) {
            slot->note();
        } else {
            tellCaption_(slot->caption, slot->result);
        }
        lock.lock();
    }
}
