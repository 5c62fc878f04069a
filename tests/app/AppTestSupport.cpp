#include "AppTestSupport.h"

#include <QTemporaryDir>

namespace gm::app::test {

platform::MemoryLogSink& logLines() {
    static platform::MemoryLogSink sink;
    return sink;
}

namespace {
// Everything the program logs during the tests goes to logLines().
[[maybe_unused]] const bool logging = (platform::log().setSink(&logLines()), true);
}  // namespace

QString makeTempDir() {
    static std::vector<std::unique_ptr<QTemporaryDir>> dirs;  // removed at exit
    return dirs.emplace_back(std::make_unique<QTemporaryDir>())->path();
}

}  // namespace gm::app::test
