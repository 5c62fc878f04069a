#include "AppTestSupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace gm::app::test {
namespace {

std::vector<std::unique_ptr<QTemporaryDir>> temporaryDirs;

class QtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        platform::log().setSink(&logLines());
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        temporaryDirs.clear();
        app_.reset();
    }

private:
    int argc_ = 1;
    char name_[16] = "glidemark_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

platform::MemoryLogSink& logLines() {
    static platform::MemoryLogSink sink;
    return sink;
}

QString makeTempDir() {
    return temporaryDirs.emplace_back(std::make_unique<QTemporaryDir>())->path();
}

}  // namespace gm::app::test
