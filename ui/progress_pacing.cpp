#include "ui/progress_pacing.h"

namespace ui {

ProgressPacing::Action ProgressPacing::Update(int filledPixels, bool atEnd, double nowMs) {
    if (filledPixels == shownFilled_ && !atEnd) {
        pending_ = false;  // back to what the bar shows: nothing to catch up
        return Action::kNothing;
    }
    if (atEnd || DelayMs(nowMs) <= 0) {
        Shown(filledPixels, nowMs);
        return Action::kShow;
    }
    pending_ = true;
    return Action::kLater;
}

double ProgressPacing::DelayMs(double nowMs) const {
    if (shownFilled_ < 0) return 0;  // never shown
    const double left = shownAtMs_ + kIntervalMs - nowMs;
    return left > 0 ? left : 0;
}

bool ProgressPacing::CatchUp(int filledPixels, double nowMs) {
    if (!pending_) return false;
    Shown(filledPixels, nowMs);
    return true;
}

void ProgressPacing::Shown(int filledPixels, double nowMs) {
    shownFilled_ = filledPixels;
    shownAtMs_ = nowMs;
    pending_ = false;
}

int FilledPixels(int position, int min, int max, int width) {
    const long long span = static_cast<long long>(max) - min;
    if (span <= 0 || width <= 0) return 0;
    return static_cast<int>((static_cast<long long>(position) - min) * width / span);
}

}  // namespace ui
