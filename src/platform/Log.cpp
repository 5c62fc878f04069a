#include "platform/Log.h"

#include <cstdio>

namespace gm::platform {

std::string_view toString(LogLevel level) {
    switch (level) {
    case LogLevel::Debug: return "debug";
    case LogLevel::Info: return "info";
    case LogLevel::Default: return "default";
    case LogLevel::Error: return "error";
    case LogLevel::Fault: return "fault";
    }
    return "default";
}

void StderrLogSink::write(LogLevel level, std::string_view, std::string_view category,
                          std::string_view message) {
    std::string line = "glidemark[";
    line.append(category).append("] ");
    if (level >= LogLevel::Error) line.append(toString(level)).append(": ");
    line.append(message).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void MemoryLogSink::write(LogLevel level, std::string_view subsystem, std::string_view category,
                          std::string_view message) {
    std::lock_guard lock(mutex_);
    lines_.push_back({level, std::string(subsystem), std::string(category), std::string(message)});
}

std::vector<MemoryLogSink::Line> MemoryLogSink::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool MemoryLogSink::contains(std::string_view message) const {
    std::lock_guard lock(mutex_);
    for (const auto& line : lines_)
        if (line.message == message) return true;
    return false;
}

void MemoryLogSink::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

Logger::Logger(std::string subsystem, std::string category, LogSink* sink)
    : subsystem_(std::move(subsystem)), category_(std::move(category)), sink_(sink) {}

void Logger::log(LogLevel level, std::string_view message) const {
    std::lock_guard lock(mutex_);
    if (sink_) sink_->write(level, subsystem_, category_, message);
}

void Logger::forward(LogLevel level, std::string_view subsystem, std::string_view category,
                     std::string_view message) const {
    std::lock_guard lock(mutex_);
    if (sink_) sink_->write(level, subsystem, category, message);
}

void Logger::setSink(LogSink* sink) {
    std::lock_guard lock(mutex_);
    sink_ = sink;
}

LogSink& stderrLogSink() {
    static StderrLogSink sink;
    return sink;
}

LogSink& programLogSink() {
    class ProgramLogSink final : public LogSink {
    public:
        void write(LogLevel level, std::string_view subsystem, std::string_view category,
                   std::string_view message) override {
            log().forward(level, subsystem, category, message);
        }
    };
    static ProgramLogSink sink;
    return sink;
}

Logger& log() {
    static Logger logger(std::string(kDefaultSubsystem), "general", &stderrLogSink());
    return logger;
}

}  // namespace gm::platform
