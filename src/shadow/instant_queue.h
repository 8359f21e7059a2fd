// A short queue of instants handed from a counting pass's own thread to its counting threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace pimu::shadow {

// The queue is short, so the progress a pass shows runs at most a few instants ahead of the
// counting. Close() lets every waiting Pop return false once the queue is empty.
class InstantQueue {
public:
    explicit InstantQueue(std::size_t capacity) : capacity_(capacity) {}

    void Push(double time) {
        std::unique_lock lock(mutex_);
        space_.wait(lock, [&] { return times_.size() < capacity_; });
        times_.push_back(time);
        items_.notify_one();
    }
    bool Pop(double &time) {
        std::unique_lock lock(mutex_);
        items_.wait(lock, [&] { return !times_.empty() || closed_; });
        if (times_.empty()) return false;
        time = times_.front();
        times_.pop_front();
        space_.notify_one();
        return true;
    }
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        items_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable items_, space_;
    std::deque<double> times_;
    std::size_t capacity_;
    bool closed_ = false;
};

}  // namespace pimu::shadow
