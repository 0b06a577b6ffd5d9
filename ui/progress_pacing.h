// When a progress bar tells its native window a new position. A bar stepped once per record
// would repaint hundreds of times a second, and a repaint is the dearest thing in a merge's
// loop (under Wine a trip to the display, about a millisecond): the native bar is told only
// when the filled part changes by a pixel, at most once every kIntervalMs, and always at
// either end. A change held back waits for CatchUp, which the bar calls from a timer when the
// interval has passed, so that the bar never stays behind once the steps stop.
#pragma once

namespace ui {

class ProgressPacing {
  public:
    static constexpr double kIntervalMs = 25;

    enum class Action {
        kNothing,  // nothing visible changed
        kShow,     // tell the native bar now
        kLater,    // held back: call CatchUp after DelayMs
    };

    // A new position, as pixels filled (0 or more); `atEnd` when it is Min or Max. `nowMs` is
    // any steady clock in milliseconds.
    Action Update(int filledPixels, bool atEnd, double nowMs);
    // The milliseconds until a held-back position may be shown (0 when it may be now).
    double DelayMs(double nowMs) const;
    // True when a held-back position is to be shown now; it then counts as shown, with these
    // pixels.
    bool CatchUp(int filledPixels, double nowMs);
    // The native bar was told directly (a new range): it shows these pixels now.
    void Shown(int filledPixels, double nowMs);
    bool Pending() const { return pending_; }

  private:
    int shownFilled_ = -1;  // -1 until the first show
    double shownAtMs_ = 0;
    bool pending_ = false;
};

// Pixels of a bar `width` wide filled at `position` within [min, max]; 0 for an empty range.
int FilledPixels(int position, int min, int max, int width);

}  // namespace ui
