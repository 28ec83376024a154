#include "core/random.hpp"

#include <chrono>

namespace ZELK {

namespace {

// Days from 0000-01-01 to 1970-01-01 in the proleptic Gregorian calendar: the clock seed counts
// from the calendar origin, the system clock from the Unix epoch.
constexpr std::int64_t daysFromYearZeroToEpoch = 719528;

// The bounded fills divide by the bound; 0 has no meaning and must not reach the division.
void checkBound(std::uint32_t bound) {
    if (bound == 0)
        throw UnexpectedValueException("0", "a nonzero bound");
}

} // namespace

void RandomSource::seedWord(std::uint32_t value) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    seed(BorrowConstBuffer(bytes, 4));
}

MersenneTwister::MersenneTwister() {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<microseconds>(system_clock::now().time_since_epoch());
    const auto sinceYearZero =
        sinceEpoch + duration_cast<microseconds>(hours(24) * daysFromYearZeroToEpoch);
    // Truncation to 32 bits keeps the fast-changing low part of the microsecond count.
    seedWord(static_cast<std::uint32_t>(sinceYearZero.count()));
}

void MersenneTwister::seed(const Buffer& seedBytes) {
    const std::uint8_t* bytes = seedBytes.data();
    const std::uint32_t size = seedBytes.size();
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < size; i += 4) {
        std::uint32_t word = 0;
        for (std::uint32_t k = 0; k < 4 && i + k < size; ++k)
            word |= static_cast<std::uint32_t>(bytes[i + k]) << (8 * k);
        value ^= word;
    }
    state_[0] = value;
    for (std::uint32_t i = 1; i < stateWords; ++i) {
        const std::uint32_t previous = state_[i - 1];
        state_[i] = ((previous ^ (previous >> 30)) + i) * 1812433253u;
    }
    position_ = stateWords;
}

void MersenneTwister::twist() {
    constexpr std::uint32_t shift = 397;
    constexpr std::uint32_t matrix = 0x9908B0DFu;
    constexpr std::uint32_t upper = 0x80000000u;
    constexpr std::uint32_t lower = 0x7FFFFFFFu;
    for (std::uint32_t i = 0; i < stateWords; ++i) {
        const std::uint32_t y = (state_[i] & upper) | (state_[(i + 1) % stateWords] & lower);
        state_[i] = state_[(i + shift) % stateWords] ^ (y >> 1) ^ ((y & 1u) ? matrix : 0u);
    }
    position_ = 0;
}

std::uint32_t MersenneTwister::next() {
    if (position_ >= stateWords)
        twist();
    std::uint32_t y = state_[position_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

void MersenneTwister::read(void* dest, std::uint64_t count) {
    auto* out = static_cast<std::uint8_t*>(dest);
    while (count > 0) {
        const std::uint32_t y = next();
        for (unsigned k = 0; k < 4 && count > 0; ++k, --count)
            *out++ = static_cast<std::uint8_t>(y >> (8 * k));
    }
}

void MersenneTwister::fill(double* out, std::uint32_t n, double scale) {
    const double maximum = maxValue_;
    for (std::uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<double>(next()) * scale / maximum;
}

void MersenneTwister::fill(float* out, std::uint32_t n, float scale) {
    const float maximum = static_cast<float>(maxValue_);
    for (std::uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<float>(next()) * scale / maximum;
}

void MersenneTwister::fillModulo(std::uint8_t* out, std::uint32_t n, std::uint8_t bound) {
    checkBound(bound);
    for (std::uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(next() % bound);
}

void MersenneTwister::fillModulo(std::uint32_t* out, std::uint32_t n, std::uint32_t bound) {
    checkBound(bound);
    for (std::uint32_t i = 0; i < n; ++i)
        out[i] = next() % bound;
}

void MersenneTwister::fill(std::uint32_t* out, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i)
        out[i] = next();
}

} // namespace ZELK
