#pragma once
// Owns one event tap and its run-loop source, and keeps the tap alive: the
// system switches a tap off when its callback is too slow or on certain user
// input, and a watchdog timer (the keeper) notices and re-installs it.
#include <memory>
#include <stdexcept>
#include <string_view>

#include "platform/Platform.h"

namespace gm::engine {

class Interceptor : public std::enable_shared_from_this<Interceptor> {
public:
    static constexpr double kKeeperInterval = 5.0;
    static constexpr double kRestartDelay = 0.5;

    class InterceptorError : public std::runtime_error {
    public:
        enum class Code { eventTapCreationFailed, eventTapEnableFailed };
        explicit InterceptorError(Code code) : std::runtime_error(std::string(name(code))), code_(code) {}
        Code code() const { return code_; }
        static std::string_view name(Code code) {
            return code == Code::eventTapCreationFailed ? "eventTapCreationFailed" : "eventTapEnableFailed";
        }

    private:
        Code code_;
    };

    // Creates the tap and starts it; throws InterceptorError.
    static std::shared_ptr<Interceptor> create(platform::Platform& platform, std::uint64_t mask,
                                               platform::TapCallback callback, void* userInfo,
                                               platform::TapLocation location, platform::TapPlacement placement,
                                               platform::TapOptions options);
    ~Interceptor();
    Interceptor(const Interceptor&) = delete;
    Interceptor& operator=(const Interceptor&) = delete;

    void start();  // throws InterceptorError(eventTapEnableFailed)
    void stop();
    void check();

    bool hasKeeper() const { return keeper_ != nullptr; }
    const platform::EventTap* tap() const { return eventTapRef_.get(); }

private:
    explicit Interceptor(platform::Platform& platform) : platform_(platform) {}

    platform::Platform& platform_;
    std::shared_ptr<platform::Timer> keeper_;
    std::shared_ptr<platform::EventTap> eventTapRef_;
    std::shared_ptr<platform::RunLoopSource> runLoopSourceRef_;
};

}  // namespace gm::engine
