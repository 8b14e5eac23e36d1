#include "view/digital_zoom.h"

#include <algorithm>
#include <cmath>

namespace orvel::view {

bool DigitalZoom::wheel(int steps, double cursor_x, double cursor_y) {
    if (steps == 0 || !std::isfinite(cursor_x) || !std::isfinite(cursor_y)) return false;
    steps = std::clamp(steps, -64, 64);
    const double next = std::clamp(factor_ * std::pow(kStepFactor, steps), kMinFactor, kMaxFactor);
    // Rounding must not leave the factor a hair above 1x or below 8x after a round trip.
    const double factor = std::abs(next - kMinFactor) < 1e-9   ? kMinFactor
                          : std::abs(next - kMaxFactor) < 1e-9 ? kMaxFactor
                                                               : next;
    if (factor == factor_) return false;
    cursor_x = std::clamp(cursor_x, 0.0, 1.0);
    cursor_y = std::clamp(cursor_y, 0.0, 1.0);
    // The picture point under the cursor, kept under it at the new factor.
    const double px = centre_x_ + (cursor_x - 0.5) / factor_;
    const double py = centre_y_ + (cursor_y - 0.5) / factor_;
    factor_ = factor;
    centre_x_ = px - (cursor_x - 0.5) / factor_;
    centre_y_ = py - (cursor_y - 0.5) / factor_;
    clamp_centre();
    return true;
}

bool DigitalZoom::drag(double dx, double dy) {
    if (!zoomed() || !std::isfinite(dx) || !std::isfinite(dy)) return false;
    const DigitalZoom before = *this;
    centre_x_ -= dx / factor_;
    centre_y_ -= dy / factor_;
    clamp_centre();
    return !(*this == before);
}

void DigitalZoom::clamp_centre() {
    const double half = 0.5 / factor_;
    centre_x_ = std::clamp(centre_x_, half, 1.0 - half);
    centre_y_ = std::clamp(centre_y_, half, 1.0 - half);
}

SourceRect DigitalZoom::source_rect(double width, double height) const {
    if (!zoomed()) return {0, 0, width, height};
    const double w = width / factor_, h = height / factor_;
    return {centre_x_ * width - w / 2, centre_y_ * height - h / 2, w, h};
}

}  // namespace orvel::view
