#pragma once

#include <cstdint>

namespace alder {

// A sine tone for a channel, continuous across calls.
class ToneGenerator {
public:
    explicit ToneGenerator(double frequencyHz) : frequencyHz_(frequencyHz) {}
    void Generate(int16_t* samples, int count);

private:
    double frequencyHz_;
    double phase_ = 0.0;
};

}  // namespace alder
