#pragma once
// Log lines for the systemd journal, and the choice of sink for this system.
#include <memory>
#include <string>

#include "platform/Log.h"

namespace gm::platform {

// Sends each line to the journal with SYSLOG_IDENTIFIER=glidemark, a priority
// from the level, and the logger's subsystem and category as the SUBSYSTEM and
// CATEGORY fields. A line the journal refuses goes to standard error instead.
class JournalLogSink final : public LogSink {
public:
    void write(LogLevel level, std::string_view subsystem, std::string_view category,
               std::string_view message) override;

private:
    StderrLogSink fallback_;
};

inline constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// The journal when its socket exists (the system runs journald), standard error otherwise.
std::unique_ptr<LogSink> makeSystemLogSink(const std::string& journalSocket = kJournalSocket);

}  // namespace gm::platform
