#pragma once
// What the desktop tests share, with the headers they all use: a scratch
// folder, a queue the test drains itself, the recorded replies, and checks of
// rectangles and modifier-key events.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/Geometry.h"
#include "platform/Services.h"

namespace gm::testing {

// A scratch folder removed at the end of the test, with a helper to write files into it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "glidemark-desktop-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void write(const std::string& relative, std::string_view text) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative, std::ios::binary) << text;
    }

private:
    std::filesystem::path path_;
};

// Polls `done` until it holds or `limit` passes; true when it held.
inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    for (const auto deadline = std::chrono::steady_clock::now() + limit; !done();
         std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        if (std::chrono::steady_clock::now() > deadline) return false;
    return true;
}

// A dispatch queue that keeps the queued blocks until the test runs them, as the main queue would.
class TestQueue final : public gm::platform::DispatchQueue {
public:
    void async(std::function<void()> block) override {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
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
    // Runs blocks as they come until `done` or five seconds pass.
    bool drainUntil(const std::function<bool()>& done) {
        const auto drained = [&] {
            drain();
            return done();
        };
        return waitFor(drained, std::chrono::seconds(5));
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> blocks_;
};

// A recorded reply or file from the fuzzers' seed corpus, which the tests share.
inline std::string corpus(const std::string& relative) {
    std::ostringstream text;
    text << std::ifstream(std::string(GM_TEST_CORPUS "/") + relative).rdbuf();
    if (text.str().empty()) throw std::runtime_error("no " + relative + " in " GM_TEST_CORPUS);
    return text.str();
}

// A rectangle as {x, y, width, height}, to compare in one go.
inline std::array<double, 4> box(const gm::platform::Rect& r) { return {r.x, r.y, r.width, r.height}; }

// Modifier-key events, as the key code and flags of each.
using FlagChanges = std::vector<std::pair<std::int64_t, std::uint64_t>>;
inline void expectFlagsChanged(const std::vector<gm::platform::EventRef>& events, const FlagChanges& expected) {
    FlagChanges got;
    for (const auto& e : events) {
        EXPECT_EQ(e->type(), gm::platform::EventType::FlagsChanged);
        got.emplace_back(e->integerValue(gm::platform::field::keyboardKeycode), e->flags());
    }
    EXPECT_EQ(got, expected);
}

}  // namespace gm::testing
