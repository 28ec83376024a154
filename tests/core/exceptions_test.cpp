// The exact text of exception messages users can see, each kind also cloned, raised where
// possible by the code that raises it in practice (messages that the codec and end-to-end tests
// pin are not repeated), and the one-line writer format.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <stdexcept>

#include "core/exceptions.hpp"
#include "core/histogram.hpp"
#include "core/matrix.hpp"
#include "core/random.hpp"
#include "core/signal.hpp"
#include "core/streams.hpp"
#include "core/text.hpp"
#include "core/transformation.hpp"

using namespace ZELK;

TEST(Exceptions, MessagesCarryTheirValues) {
    std::uint8_t bytes[16] = {};
    std::ostringstream bad;
    bad.setstate(std::ios::badbit);
    Signal<2, short> threeByTwo(Tuple<2, unsigned>(3u, 2u)), twoByThree(Tuple<2, unsigned>(2u, 3u));
    Transformation<2, float>::Scale scale(2.0f);
    NullWriteStream null;
    std::uint32_t word = 0;
    const std::pair<std::function<void()>, std::string> cases[] = {
        // clang-format off
        {[] { throw BoundException<unsigned char>(200, 65); }, "Value (200) out of bound (65). "},
        {[&] { SignalBorrow<3, std::uint8_t>(bytes, 15).resize(Tuple<3, unsigned>(2u, 2u, 4u)); },
         "More space requested (16) than what is available (15). "},
        {[] { Matrix<float>(0, 8).appendRow({1, 2, 3}); },
         "Got matrix dimension 1x3 while expecting 1x8."},
        {[] { transposedProduct(Matrix<float>(3, 2), Matrix<float>(2, 1)); },
         "Got matrix dimension 2x1 while expecting 3x[ANY]."},
        {[] { throw MatrixDimensionException(2, 4, 8, 8, "square"); },
         "Got matrix dimension 2x4 while expecting square."},
        {[&] { BorrowConstBuffer view(bytes, 3); static_cast<Buffer&>(view).data(); },
         "Failed to access buffer fully because it is const. "},
        {[] { throw ReleaseException("mutex"); }, "Failed to acquire mutex. "},
        {[] { throw ParseException("x", "y"); }, "String \"x\" could not be parsed into \"y\". "},
        {[] { throw PathException("a.xml", "Not found. "); }, "Not found.  (a.xml)"},
        {[] { throw Migration::FormatException("png", "signature missmatch"); },
         "png : signature missmatch"},
        {[] { throw NotFoundException<unsigned int>(4, "list"); }, "Could not find 4 in list. "},
        {[] { throw UDPIOException("1.2.3.4:5"); }, "Failed to transport data, 1.2.3.4:5. "},
        {[] { Text::convert<unsigned int>("x1"); }, "Failed to convert \"x1\" to unsigned int."},
        {[&] { threeByTwo -= twoByThree; }, "Missmatching signal size. "},
        {[] { DenseHistogram<unsigned char>().begin()->value(); }, "Invalid iterator. "},
        {[] { inverseNonSingular(MatrixSquareLight<2, float>{1, 2, 2, 4}); },
         "Non-singular matrix. "},
        {[&] { CppOutStream out(bad); }, "Wrapping bad output stream. "},
        {[&] { MersenneTwister().fillModulo(&word, 1, 0u); }, "0 is not a nonzero bound. "},
        {[&] { LineWriter(null, LineWriter::LineEnd::LF).special(3); },
         "3 is not a known special text sequence. "},
        {[] { throw CppException::wrap(std::runtime_error("boom")); },
         "Wrapped C++ exception (std::runtime_error): boom"},
        {[&] { Transformation<2, float>::asComposite(scale); },
         "Class not composite detected where ZELK::Transformation<2u, float>::Composite was "
         "expected. "},
        // clang-format on
    };
    for (const auto& [raise, message] : cases) {
        SCOPED_TRACE(message);
        try {
            raise();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.message(), message);
            EXPECT_EQ(e.clone()->message(), message);
        }
    }
}

TEST(Exceptions, WriterFormatsOneLineWithTheQualifiedTypeName) {
    std::ostringstream out;
    ExceptionWriter writer(out);
    writer.handle(Text::ConversionException("abc", "float"), {});
    writer.handle(BoundException<unsigned int>(1, 0), "loading");
    EXPECT_EQ(out.str(), "ZELK ZELK::Text::ConversionException: Failed to convert \"abc\" to "
                         "float.\ncontext: loading> ZELK ZELK::BoundException<unsigned int>: "
                         "Value (1) out of bound (0). \n");
    EXPECT_EQ(writer.count(), 2u);

    // A filled location is printed; the program itself never fills one.
    SupportException located("x");
    located.location = {"file.cpp", 12};
    EXPECT_EQ(ExceptionWriter::format(located),
              "ZELK ZELK::SupportException (file.cpp, 12 ): No support for x. \n");
}

// An echoed value is kept up to 256 bytes; a longer one is cut there, or before a character
// that would be split, and says how long it was.
TEST(Exceptions, LongValuesAreCutInTheLine) {
    const std::string fits(256, 'a'), note = "[... cut, 257 bytes in all])";
    for (const auto& [value, shown] : {std::pair{fits, fits + ")"},
                                       {fits + "b", fits + note},
                                       {fits.substr(1) + "\xC3\xA9", fits.substr(1) + note}})
        EXPECT_EQ(PathException(value, "Not found. ").message(), "Not found.  (" + shown);
}
