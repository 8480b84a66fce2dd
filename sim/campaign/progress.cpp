#include "progress.h"

#include <cstdio>

namespace campaign {

namespace {

constexpr double kRedrawInterval = 0.25;  // s
constexpr long kTenths = 10;

}  // namespace

Progress::Progress(long cases, bool terminal, std::FILE* out) : cases_(cases), terminal_(terminal), out_(out) {}

void Progress::case_done(bool failed) {
    ++done_;
    if (failed) ++failed_;
    show();
}

void Progress::show(bool force) {
    if (out_ == nullptr) return;
    const Clock::time_point now = Clock::now();
    const long tenth = cases_ > 0 ? done_ * kTenths / cases_ : kTenths;
    if (terminal_) {
        if (!force && std::chrono::duration<double>(now - last_shown_).count() < kRedrawInterval) return;
    } else if (!force && tenth == last_tenth_) {
        return;
    }
    last_shown_ = now;
    last_tenth_ = tenth;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double rate = elapsed > 0.0 ? static_cast<double>(done_) / elapsed : 0.0;
    char left[32] = "?";
    if (rate > 0.0) std::snprintf(left, sizeof left, "%.0f s", static_cast<double>(cases_ - done_) / rate);
    std::fprintf(out_, "%scases %ld/%ld done, %ld failed, %.2f cases/s, %s left%s", terminal_ ? "\r" : "", done_,
                 cases_, failed_, rate, left, terminal_ ? "\033[K" : "\n");
    std::fflush(out_);
}

void Progress::finish() {
    if (terminal_ || last_tenth_ < kTenths || done_ == 0) show(true);
    if (terminal_ && out_ != nullptr) std::fputc('\n', out_);
}

}  // namespace campaign
