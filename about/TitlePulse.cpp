#include "about/TitlePulse.h"

namespace about {

int TitlePulse::Tick()
{
    ++m_counter;
    if (m_counter % kTicksPerTurn == 0)
        m_step = -m_step;
    return m_step;
}

TitlePulse& TitlePulse::Shared()
{
    static TitlePulse pulse;
    return pulse;
}

FittedFontSize FitTitleFont(long clientRight, long clientBottom, int textLength)
{
    return FittedFontSize{clientBottom - 1, clientRight / (textLength + 2)};
}

}  // namespace about
