// Messages of the exceptions that carry values, and the one-line writer format.
#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <stdexcept>

#include "core/exceptions.hpp"
#include "core/text.hpp"

using namespace ZELK;

TEST(Exceptions, MessagesCarryTheirValues) {
    EXPECT_EQ(BoundException<unsigned int>(7, 5).message(), "Value (7) out of bound (5). ");
    // Byte-sized values print as numbers, not as characters.
    EXPECT_EQ(BoundException<unsigned char>(200, 65).message(), "Value (200) out of bound (65). ");
    EXPECT_EQ(BoundException<int>(-3, 2).message(), "Value (-3) out of bound (2). ");
    EXPECT_EQ(SpaceException<unsigned int>(60, 59).message(),
              "More space requested (60) than what is available (59). ");
    EXPECT_EQ(MatrixDimensionException(3, 3, 0xFFFFFFFF, 1).message(),
              "Got matrix dimension 3x3 while expecting [ANY]x1.");
    EXPECT_EQ(MatrixDimensionException(2, 4, 8, 8, "square").message(),
              "Got matrix dimension 2x4 while expecting square.");
    EXPECT_EQ(AccessException("buffer fully", "it is const").message(),
              "Failed to access buffer fully because it is const. ");
    EXPECT_EQ(ReleaseException("mutex").message(), AcquireException("mutex").message());
    EXPECT_EQ(ParseException("x", "y").message(), "String \"x\" could not be parsed into \"y\". ");
    EXPECT_EQ(PathException("a.xml", "Not found. ").message(), "Not found.  (a.xml)");
    EXPECT_EQ(UnexpectedValueException("5", "7").message(), "5 is not 7. ");
    EXPECT_EQ(Migration::FormatException("png", "signature missmatch").message(),
              "png : signature missmatch");
    EXPECT_EQ(NotFoundException<unsigned int>(4, "list").message(), "Could not find 4 in list. ");
    EXPECT_EQ(UDPIOException("1.2.3.4:5").message(), "Failed to transport data, 1.2.3.4:5. ");
}

TEST(Exceptions, WriterFormatsOneLineWithTheQualifiedTypeName) {
    std::ostringstream out;
    ExceptionWriter writer(out);
    try {
        Text::convert<float>("abc");
        FAIL() << "conversion of abc must fail";
    } catch (const Exception& e) {
        writer.handle(e, {});
    }
    EXPECT_EQ(out.str(),
              "ZELK ZELK::Text::ConversionException: Failed to convert \"abc\" to float.\n");

    out.str("");
    writer.handle(BoundException<unsigned int>(1, 0), "loading");
    EXPECT_EQ(out.str(),
              "context: loading> ZELK ZELK::BoundException<unsigned int>: Value (1) out of "
              "bound (0). \n");
    EXPECT_EQ(writer.count(), 2u);

    // A filled location is printed; the program itself never fills one.
    SupportException located("x");
    located.location = {"file.cpp", 12};
    EXPECT_EQ(ExceptionWriter::format(located),
              "ZELK ZELK::SupportException (file.cpp, 12 ): No support for x. \n");
}

TEST(Exceptions, ConversionNamesTheTargetTypeAndAcceptsLeadingBlanks) {
    EXPECT_EQ(Text::convert<unsigned int>("  42abc"), 42u);
    EXPECT_FLOAT_EQ(Text::convert<float>("2.5px"), 2.5f);
    try {
        Text::convert<unsigned int>("x1");
        FAIL();
    } catch (const Text::ConversionException& e) {
        EXPECT_EQ(e.message(), "Failed to convert \"x1\" to unsigned int.");
    }
    try {
        Text::convert<int>("");
        FAIL();
    } catch (const Text::ConversionException& e) {
        EXPECT_EQ(e.type, "int");
    }
}

TEST(Exceptions, StandardExceptionsAreWrappedWithTheirTypeName) {
    try {
        throw std::bad_alloc();
    } catch (const std::exception& e) {
        std::string text = CppException::wrap(e).message();
        EXPECT_EQ(text.rfind("Wrapped C++ exception (std::bad_alloc): ", 0), 0u) << text;
    }
    std::runtime_error runtime("boom");
    EXPECT_EQ(CppException::wrap(runtime).message(),
              "Wrapped C++ exception (std::runtime_error): boom");
}

TEST(Exceptions, CloneKeepsTheClassAndFields) {
    SpaceException<unsigned int> original(9, 3);
    std::unique_ptr<Exception> copy = original.clone();
    EXPECT_NE(dynamic_cast<SpaceException<unsigned int>*>(copy.get()), nullptr);
    EXPECT_EQ(copy->message(), original.message());
    StreamException stream("Failed to read from input stream. ");
    EXPECT_NE(dynamic_cast<StreamException*>(stream.clone().get()), nullptr);
}
