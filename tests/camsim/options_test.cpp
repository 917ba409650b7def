#include "camsim/options.h"

#include <gtest/gtest.h>

namespace fotolyx::camsim {
namespace {

// The line and timing options of fotolyx-camsim: milliseconds on the command line, microseconds
// in the camera and the line model.
TEST(CamsimOptions, LineAndTimingOptionsSetTheCameraAndTheLine) {
    ServerOptions options;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--pictures", "0", "--ready-delay", "400", "--fall-back-after",
                              "1500", "--jitter", "250", "--latency", "16", "--line-seed", "9"},
                             options, error))
        << error;
    EXPECT_EQ(options.camera.speedAnswerDelay, 400'000);
    EXPECT_EQ(options.camera.fallBackAfterSilence, 1'500'000);
    EXPECT_EQ(options.line.jitter, 250);
    EXPECT_EQ(options.line.adapterLatency, 16'000);
    EXPECT_EQ(options.line.seed, 9u);
    ServerOptions defaults;
    ASSERT_TRUE(ParseOptions({"--pictures", "0"}, defaults, error));
    EXPECT_EQ(defaults.camera.speedAnswerDelay, 100'000);
    EXPECT_FALSE(defaults.camera.fallBackAfterSilence.has_value());
    EXPECT_EQ(defaults.line.jitter, 0);
    EXPECT_EQ(defaults.line.adapterLatency, 0);
}

TEST(CamsimOptions, OutOfRangeLineOptionsAreRefused) {
    const std::vector<std::vector<std::string>> bad = {
        {"--ready-delay", "60001"}, {"--ready-delay", "-1"}, {"--fall-back-after", "0"},
        {"--latency", "x"},         {"--jitter", "1000001"}, {"--line-seed", ""},
    };
    for (const auto& arguments : bad) {
        ServerOptions options;
        std::string error;
        EXPECT_FALSE(ParseOptions(arguments, options, error)) << arguments[0] << arguments[1];
        EXPECT_NE(error.find(arguments[0]), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace fotolyx::camsim
