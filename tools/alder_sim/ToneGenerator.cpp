#include "tools/alder_sim/ToneGenerator.h"

#include <cmath>

namespace alder {

void ToneGenerator::Generate(int16_t* samples, int count)
{
    const double step = 2.0 * M_PI * frequencyHz_ / 8000.0;
    for (int i = 0; i < count; ++i) {
        samples[i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(phase_)));
        phase_ += step;
        if (phase_ > 2.0 * M_PI)
            phase_ -= 2.0 * M_PI;
    }
}

}  // namespace alder
