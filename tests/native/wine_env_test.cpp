// The test environment's private X display: runs started at the same moment on
// one machine each get a display of their own, served by their own Xvfb.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string RunShell(const std::string& script) {
    std::string out;
    FILE* pipe = popen(("bash -c '" + script + "'").c_str(), "r");
    if (!pipe) return out;
    char buf[256];
    while (std::fgets(buf, sizeof(buf), pipe)) out += buf;
    pclose(pipe);
    return out;
}

TEST(WineEnv, RunsStartedTogetherGetDisplaysOfTheirOwn) {
    // Each run prints its display and whether its own Xvfb still serves it a
    // moment later (an Xvfb that lost a race for a number exits at once).
    const std::string one =
        "( . \"" VRENN_SOURCE_DIR "/scripts/wine-env.sh\" \"$tmp/$i\"; "
        "  vrenn_xvfb_up || exit 1; sleep 1; "
        "  if kill -0 $vrenn_xvfb_pid 2>/dev/null; then a=alive; else a=dead; fi; "
        "  echo \"$DISPLAY $a\"; kill $vrenn_xvfb_pid ) &";
    const std::string script = "tmp=$(mktemp -d); for i in 1 2 3 4; do " + one + " done; wait; rm -rf \"$tmp\"";
    std::istringstream lines(RunShell(script));
    std::vector<std::string> displays;
    std::string display, alive;
    while (lines >> display >> alive) {
        EXPECT_EQ(alive, "alive") << display;
        displays.push_back(display);
    }
    ASSERT_EQ(displays.size(), 4u);
    EXPECT_EQ(std::set<std::string>(displays.begin(), displays.end()).size(), 4u);
}

}  // namespace
