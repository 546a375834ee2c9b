// When the program started, handed on from `korvo` to the window program.
#include "app/ProgramStart.h"

#include <cstdlib>
#include <string>

namespace {

constexpr const char* kStartedVariable = "KORVO_STARTED_NS";

std::chrono::steady_clock::time_point& Started() {
    static std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    return started;
}

}  // namespace

void HandOnProgramStart() {
    const auto now = std::chrono::steady_clock::now();
    if (!std::getenv("KORVO_FIRST_PAINT_LOG")) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch());
    setenv(kStartedVariable, std::to_string(ns.count()).c_str(), 1);
}

void MarkProgramStart() {
    auto& started = Started();
    started = std::chrono::steady_clock::now();
    if (const char* handed = std::getenv(kStartedVariable)) {
        char* end = nullptr;
        const long long ns = std::strtoll(handed, &end, 10);
        const auto at = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
        // Only a start before now that parses whole is believed.
        if (end != handed && *end == '\0' && ns > 0 && at <= started) started = at;
        unsetenv(kStartedVariable);
    }
}

std::chrono::steady_clock::time_point ProgramStart() { return Started(); }
