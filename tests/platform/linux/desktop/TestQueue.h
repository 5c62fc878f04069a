#pragma once
// A dispatch queue for tests: keeps the queued blocks until the test runs
// them, as the main queue would.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/Services.h"

namespace gm::testing {

class TestQueue final : public gm::platform::DispatchQueue {
public:
    void async(std::function<void()> block) override {
        {
            std::lock_guard lock(mutex_);
            blocks_.push_back(std::move(block));
        }
        cv_.notify_all();
    }
    void asyncAfter(double, std::function<void()> block) override { async(std::move(block)); }
    // Runs the blocks queued so far; returns how many there were.
    std::size_t drain() {
        std::vector<std::function<void()>> blocks;
        {
            std::lock_guard lock(mutex_);
            blocks.swap(blocks_);
        }
        for (auto& b : blocks) b();
        return blocks.size();
    }
    // Runs blocks as they come until `done` or the bound runs out.
    bool drainUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 500 && !done(); ++i) {
            std::unique_lock lock(mutex_);
            cv_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !blocks_.empty(); });
            lock.unlock();
            drain();
        }
        return done();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::function<void()>> blocks_;
};

}  // namespace gm::testing
