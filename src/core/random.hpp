// Random numbers as a byte stream: the RandomSource interface and the MT19937 generator that the
// demo renderer seeds with constants so that its noise and clutter repeat from run to run.
#pragma once

#include <array>
#include <cstdint>

#include "core/buffers.hpp"
#include "core/streams.hpp"

namespace ZELK {

// A source of random values. Reading from it yields random bytes and never reaches an end.
class RandomSource : public ReadStream {
public:
    // Restarts the sequence from a seed given as bytes.
    virtual void seed(const Buffer& seed) = 0;
    // n values y * scale / maximum, in [0, scale].
    virtual void fill(double* out, std::uint32_t n, double scale) = 0;
    virtual void fill(float* out, std::uint32_t n, float scale) = 0;
    // n values y mod bound; a bound of 0 is an unexpected-value error.
    virtual void fillModulo(std::uint8_t* out, std::uint32_t n, std::uint8_t bound) = 0;
    virtual void fillModulo(std::uint32_t* out, std::uint32_t n, std::uint32_t bound) = 0;
    // n raw 32-bit values.
    virtual void fill(std::uint32_t* out, std::uint32_t n) = 0;

    // Seeds with the four little-endian bytes of a word, the form every caller in the program
    // uses ("seeded with the 4-byte value 1337").
    void seedWord(std::uint32_t value);
};

// The 32-bit Mersenne Twister (MT19937). Its seeding adds the index before the multiplication,
// unlike the reference initialisation, so its sequences differ from a std::mt19937 constructed
// with the same number; once the state is loaded the outputs are the standard ones.
class MersenneTwister : public RandomSource {
public:
    static constexpr std::uint32_t stateWords = 624;

    // Seeds from the system clock; every user in the program re-seeds with a constant.
    MersenneTwister();
    explicit MersenneTwister(const Buffer& seedBytes) { seed(seedBytes); }

    // Little-endian bytes of successive outputs; a count that is not a multiple of four uses
    // only the low bytes of the last output.
    void read(void* dest, std::uint64_t count) override;
    bool atEnd() override { return false; }

    // The seed is the XOR of the buffer's little-endian 32-bit words, a trailing partial word
    // padded with zero bytes. The first output after seeding twists the fresh state.
    void seed(const Buffer& seedBytes) override;
    void fill(double* out, std::uint32_t n, double scale) override;
    void fill(float* out, std::uint32_t n, float scale) override;
    void fillModulo(std::uint8_t* out, std::uint32_t n, std::uint8_t bound) override;
    void fillModulo(std::uint32_t* out, std::uint32_t n, std::uint32_t bound) override;
    void fill(std::uint32_t* out, std::uint32_t n) override;

    // One tempered output.
    std::uint32_t next();

    // The raw state and position, for tests that load them into another implementation.
    const std::array<std::uint32_t, stateWords>& state() const { return state_; }
    std::uint32_t position() const { return position_; }

private:
    void twist();

    std::array<std::uint32_t, stateWords> state_{};
    std::uint32_t position_ = stateWords;
    // Largest output; the floating-point fills divide by it.
    std::uint32_t maxValue_ = 0xFFFFFFFFu;
};

} // namespace ZELK
