// Every test, and every program it starts, has a settings file of its own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>

#include "support/fakes.h"

namespace fotolyx::testing {
namespace {

class IsolatedSettings final : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        folder_.emplace();
        ::setenv("FOTOLYX_SETTINGS", (folder_->path() / "snapcfg.ini").c_str(), 1);
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        ::unsetenv("FOTOLYX_SETTINGS");
        folder_.reset();
    }

    std::optional<TempDir> folder_;
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new IsolatedSettings);
    return true;
}();

}  // namespace
}  // namespace fotolyx::testing
