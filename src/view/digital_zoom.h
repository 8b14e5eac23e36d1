// Digital zoom of the enlarged pane: which part of the picture fills the pane. The mouse
// wheel zooms about the cursor (the picture point under it stays under it), a drag pans, and
// the view never leaves the picture. Plain state, owned by the UI thread; the renderers only
// read the source rectangle it gives for the picture they draw, so zooming costs no work per
// frame beyond drawing from a different rectangle.
#pragma once

namespace orvel::view {

// A rectangle of picture pixels, fractional (GPU texture coordinates and scaled drawing
// both take fractions).
struct SourceRect {
    double left = 0, top = 0, width = 0, height = 0;
};

class DigitalZoom {
public:
    static constexpr double kMinFactor = 1.0;
    static constexpr double kMaxFactor = 8.0;
    // One wheel notch multiplies (or divides) the factor by this; 1x to 8x in 8 notches.
    static constexpr double kStepFactor = 1.2968395546510096;  // 8^(1/8)

    // `steps` wheel notches (positive: closer) about the cursor, given as a fraction of the
    // pane's width and height (0..1 from its top-left corner). True when the view changed.
    bool wheel(int steps, double cursor_x, double cursor_y);
    // Moves the picture with the cursor by a fraction of the pane's width and height (a drag
    // to the right shows more of the picture's left). True when the view changed.
    bool drag(double dx, double dy);
    void reset() { *this = DigitalZoom{}; }

    double factor() const { return factor_; }
    bool zoomed() const { return factor_ > kMinFactor; }
    // The part of a width x height picture the pane shows; the whole picture at 1x.
    SourceRect source_rect(double width, double height) const;

    bool operator==(const DigitalZoom&) const = default;

private:
    void clamp_centre();

    double factor_ = kMinFactor;
    // Centre of the view as a fraction of the picture.
    double centre_x_ = 0.5, centre_y_ = 0.5;
};

}  // namespace orvel::view
