// The loop of a counting pass (the isochrones' fine pass, the wall's pass): its instants announced
// in order on the pass's own thread and counted there or by a pool of counting threads fed
// through a short queue.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "base/progress.h"
#include "shadow/instants.h"
#include "shadow/touji_raster.h"
#include "solar/sun.h"
#include "solar/timetext.h"

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

// Counts the instants of a pass: instant i (i < summary.Maximum) at InstantTime(startHour,
// stepMinutes, i) is announced on the calling thread, in order (status "H:MM", position i + 1,
// then the stop test: a stop leaves exactly the announced instants counted), passed over when the
// sun casts no shadows, else handed to `count(worker, time)`, which returns whether it counted
// the instant. With workers > 1 that many threads count, worker k only ever on thread k, so each
// worker's own state needs no lock; the first error of a counting thread is rethrown once every
// thread has ended. The counted and passed-over instants and the stop are added to `summary`.
template <class Count>
void CountInstants(const solar::SolarState &sun, double startHour, double stepMinutes, int workers,
                   Progress &progress, PassSummary &summary, Count &&count) {
    struct Thread {
        int counted = 0;
        std::exception_ptr error;
        std::thread thread;
    };
    std::vector<std::unique_ptr<Thread>> pool;
    std::optional<InstantQueue> queue;
    if (workers > 1) {
        queue.emplace(2 * static_cast<std::size_t>(workers));
        for (int k = 0; k < workers; ++k) {
            Thread &me = *pool.emplace_back(std::make_unique<Thread>());
            me.thread = std::thread([&, &me = me, k] {
                double time = 0.0;
                try {
                    while (queue->Pop(time))
                        if (count(k, time)) ++me.counted;
                } catch (...) {
                    me.error = std::current_exception();
                    while (queue->Pop(time)) {
                    }  // keep draining so the announcing thread never blocks
                }
            });
        }
    }
    const auto finish = [&] {
        if (!queue) return;
        queue->Close();
        for (auto &t : pool)
            if (t->thread.joinable()) t->thread.join();
    };
    try {
        for (int i = 0; i < summary.Maximum; ++i) {
            const double time = InstantTime(startHour, stepMinutes, i);
            progress.Status(solar::FormatHM(time));
            progress.Position(i + 1);
            if (!progress.KeepRunning()) {
                summary.Stopped = true;
                break;
            }
            if (!CastsShadows(solar::SunPosition(sun, time))) {
                ++summary.SkippedNoSun;
                continue;
            }
            if (queue)
                queue->Push(time);
            else if (count(0, time))
                ++summary.Counted;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    for (auto &t : pool)
        if (t->error) std::rethrow_exception(t->error);
    for (auto &t : pool) summary.Counted += t->counted;
}

}  // namespace pimu::shadow
