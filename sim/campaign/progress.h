// The progress line of a campaign: cases done, failed, the rate and the time left. On a
// terminal one line on stderr keeps being rewritten; elsewhere a line at each tenth.
#pragma once

#include <chrono>
#include <cstdio>

namespace campaign {

class Progress {
public:
    // `out` nullptr: silent.
    Progress(long cases, bool terminal, std::FILE* out = stderr);
    void case_done(bool failed);
    // Redraws at most a few times a second unless `force`.
    void show(bool force = false);
    void finish();  // the last line

    long done() const { return done_; }

private:
    using Clock = std::chrono::steady_clock;
    long cases_;
    bool terminal_;
    std::FILE* out_;
    long done_ = 0, failed_ = 0;
    long last_tenth_ = 0;
    Clock::time_point start_ = Clock::now(), last_shown_{};
};

}  // namespace campaign
