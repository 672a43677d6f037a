// The About box title's pulse and the size of its fitted type. Kept apart
// from the window code so the arithmetic can be run and checked anywhere.
#ifndef VELTMOR_ABOUT_TITLEPULSE_H
#define VELTMOR_ABOUT_TITLEPULSE_H

namespace about {

// The frame grows one pixel per side per tick and turns around every 50
// ticks. The state is process-wide in the program (Shared()), so a later
// opening of the box carries on where the last one stopped.
class TitlePulse {
public:
    static constexpr int kTicksPerTurn = 50;

    // Counts one tick and returns how far each side of the frame moves
    // outward on it (negative: inward).
    int Tick();

    int Counter() const { return m_counter; }
    int Step() const { return m_step; }

    // The one pulse the About box uses; lives for the whole process.
    static TitlePulse& Shared();

private:
    int m_counter = 0;
    int m_step = 1;
};

// Heavy type sized to a frame: as tall as the frame less one pixel, and each
// character a share of the width with room for one more on either side.
struct FittedFontSize {
    long height;
    long width;
};

constexpr long kTitleFontWeight = 900;

// clientRight and clientBottom are the frame's client extent; textLength is
// the number of characters in the title (0 to 259).
FittedFontSize FitTitleFont(long clientRight, long clientBottom, int textLength);

}  // namespace about

#endif
