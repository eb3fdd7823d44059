#include "copy/OrderedExecutor.h"

#include <system_error>
#include <utility>

OrderedExecutor::OrderedExecutor(int workers, Schedule& schedule, std::size_t aheadPerWorker)
    : schedule_(schedule), aheadPerWorker_(aheadPerWorker > 0 ? aheadPerWorker : 1) {
    if (workers > 1) StartWorkers(static_cast<std::size_t>(workers));
}

OrderedExecutor::~OrderedExecutor() { Stop(); }

void OrderedExecutor::StartWorkers(std::size_t workers) {
    try {
        while (threads_.size() < workers) threads_.emplace_back(&OrderedExecutor::Work, this);
    } catch (const std::system_error&) {
        // A limit on threads or processes: the pool goes on with the workers
        // it has. One alone would only add a thread to the submitter's own.
        if (threads_.size() == 1) Stop();
    } catch (...) {
        Stop();
        throw;
    }
    workers_ = threads_.empty() ? 1 : threads_.size();
}

void OrderedExecutor::Stop() {
    {
        const std::lock_guard<std::mutex> lock(guard_);
        stopping_ = true;
        waiting_.clear();
        waitingKeys_.clear();
    }
    pieceReady_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

OrderedExecutor::Piece* OrderedExecutor::Take() {
    const std::size_t at = schedule_.Pick(waitingKeys_);
    if (at >= waiting_.size()) return nullptr;
    Piece* const piece = waiting_[at];
    waiting_.erase(waiting_.begin() + static_cast<std::ptrdiff_t>(at));
    waitingKeys_.erase(waitingKeys_.begin() + static_cast<std::ptrdiff_t>(at));
    schedule_.Started(piece->keys);
    return piece;
}

void OrderedExecutor::Work() {
    std::unique_lock<std::mutex> lock(guard_);
    for (;;) {
        Piece* piece = nullptr;
        pieceReady_.wait(lock, [&] { return stopping_ || (piece = Take()) != nullptr; });
        if (stopping_) return;
        lock.unlock();
        piece->run();
        lock.lock();
        piece->done = true;
        --notRun_;
        schedule_.Ended(piece->keys);
        pieceDone_.notify_one();
        // A piece of the same route may be waiting for this one.
        if (!waiting_.empty()) pieceReady_.notify_one();
    }
}

void OrderedExecutor::Submit(Run run, Tell tell, Keys keys) {
    auto piece = std::make_unique<Piece>();
    piece->run = std::move(run);
    piece->tell = std::move(tell);
    piece->keys = keys;
    if (workers_ == 1) {
        piece->run();
        piece->done = true;
    }
    Piece* const submitted = piece.get();
    std::unique_lock<std::mutex> lock(guard_);
    window_.push_back(std::move(piece));
    if (workers_ > 1) {
        waiting_.push_back(submitted);
        waitingKeys_.push_back(keys);
        ++notRun_;
        pieceReady_.notify_one();
    }
    TellFront(lock, false);
    while (window_.size() > aheadPerWorker_ * workers_) TellFront(lock, true);
}

void OrderedExecutor::Note(Tell tell) {
    auto piece = std::make_unique<Piece>();
    piece->tell = std::move(tell);
    piece->done = true;
    std::unique_lock<std::mutex> lock(guard_);
    window_.push_back(std::move(piece));
    TellFront(lock, false);
}

void OrderedExecutor::WaitForRunsDone() {
    std::unique_lock<std::mutex> lock(guard_);
    pieceDone_.wait(lock, [&] { return notRun_ == 0; });
}

void OrderedExecutor::Finish() {
    std::unique_lock<std::mutex> lock(guard_);
    while (!window_.empty()) TellFront(lock, true);
}

void OrderedExecutor::TellFront(std::unique_lock<std::mutex>& lock, bool wait) {
    if (wait) pieceDone_.wait(lock, [&] { return window_.front()->done; });
    while (!window_.empty() && window_.front()->done) {
        std::unique_ptr<Piece> piece = std::move(window_.front());
        window_.pop_front();
        // Told without the lock: telling writes to the terminal, and the
        // workers go on meanwhile.
        lock.unlock();
        piece->tell();
        lock.lock();
    }
}
