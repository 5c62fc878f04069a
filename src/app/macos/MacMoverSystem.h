#pragma once
// The real system under the bundle mover: NSBundle, NSFileManager,
// NSWorkspace and processes started without a shell. The alert is left to
// the shell's own alert presenter.
#include "app/macos/BundleMover.h"

namespace gm::app::macos {

class MacMoverSystem : public MoverSystem {
public:
    std::string bundlePath() const override;
    std::vector<std::string> applicationsFolders() const override;
    std::vector<std::string> destinationCandidates() const override;
    bool isFolder(const std::string& path) const override;
    std::size_t entryCount(const std::string& folder) const override;
    bool exists(const std::string& path) const override;
    bool isWritable(const std::string& path) const override;
    std::string displayName() const override;
    std::int64_t processID() const override;
    void activate() override;
    CopyResult run(const std::vector<std::string>& command) override;
    bool spawn(const std::vector<std::string>& command) override;
    bool isRunningFrom(const std::string& bundle) const override;
    void open(const std::string& bundle) override;
    bool moveToTrash(const std::string& path) override;
    bool copy(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;
};

// Blocks until process `pid` has ended or `timeoutMs` has passed; true when it has ended.
bool waitForProcessToEnd(std::int64_t pid, int timeoutMs);

}  // namespace gm::app::macos
