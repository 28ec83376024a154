// Fuzz target: the inflater on arbitrary bytes, checked against the plain tree-walk decoder of
// the tests: both must produce the same output and the same error, and stop at the same byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/migration/inflate_reference.hpp"
#include "core/streams.hpp"
#include "migration/inflate.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> stream(data, data + size);

    std::vector<std::uint8_t> expected;
    std::string expectedError;
    ZELK::Migration::Testing::ReferenceInflater reference(stream);
    try {
        reference.run(expected);
    } catch (const ZELK::Exception& e) {
        expectedError = e.message();
    }

    static ZELK::Migration::Inflater inflater;
    ZELK::ConstBufferStream source(stream.data(), static_cast<std::uint32_t>(stream.size()));
    ZELK::IncrementalBuffer out;
    std::string error;
    try {
        inflater.inflate(source, out);
    } catch (const ZELK::Exception& e) {
        error = e.message();
    }

    const bool sameOutput =
        out.size() == expected.size() && std::equal(expected.begin(), expected.end(), out.data());
    const bool sameEnd = !error.empty() || source.tell() == reference.consumed();
    if (error != expectedError || !sameOutput || !sameEnd)
        std::abort();
    return 0;
}
