// The ZELK exception family: every error raised by the library, each class knowing its own
// message, and the writer that turns any of them into one line on a text stream.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

namespace ZELK {

// Source location of a throw. Every throw in the program passes the empty location, so it is
// never printed, but the writer still honours a filled one.
struct SourceLocation {
    const char* file = nullptr;
    std::uint32_t line = 0xFFFFFFFFu;
};

class Exception {
public:
    explicit Exception(SourceLocation where = {}) : location(where) {}
    virtual ~Exception() = default;

    // Writes the class's message (without type name or line end).
    virtual void write(std::ostream& out) const = 0;
    virtual std::unique_ptr<Exception> clone() const = 0;

    // The message as written by write(); convenient for tests and callers that keep text.
    std::string message() const;

    SourceLocation location;
};

// Adds clone() to a concrete class without repeating it everywhere.
template <typename Derived, typename Base> class ExceptionImpl : public Base {
public:
    using Base::Base;
    std::unique_ptr<Exception> clone() const override {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }
};

// A value echoed in an error line: at most Limits::maxEchoedBytes of it (cut where a character
// starts), followed by a note of the full length when it was cut, so that a 100 MB attribute
// does not become a 100 MB error line. Shorter values are returned unchanged.
std::string echoed(std::string_view value);

class WhatException : public Exception {
public:
    explicit WhatException(std::string_view text) : text(echoed(text)) {}
    void write(std::ostream& out) const override;
    std::unique_ptr<Exception> clone() const override;

    std::string text;
};

#define ZELK_WHAT_EXCEPTION(Name)                                                                  \
    class Name : public ExceptionImpl<Name, WhatException> {                                       \
    public:                                                                                        \
        using ExceptionImpl::ExceptionImpl;                                                        \
    }

ZELK_WHAT_EXCEPTION(StreamException);
ZELK_WHAT_EXCEPTION(PerformanceCounterException);
ZELK_WHAT_EXCEPTION(XMLEntityIterationException);
ZELK_WHAT_EXCEPTION(XMLAttributeIterationException);

namespace Migration {
ZELK_WHAT_EXCEPTION(InsufficientMetaException);
}

template <typename T> class BoundException : public Exception {
public:
    BoundException(T value, T bound) : value(value), bound(bound) {}
    void write(std::ostream& out) const override {
        out << "Value (" << +value << ") out of bound (" << +bound << "). ";
    }
    std::unique_ptr<Exception> clone() const override {
        return std::make_unique<BoundException>(*this);
    }

    T value;
    T bound;
};

extern template class BoundException<unsigned char>;
extern template class BoundException<int>;
extern template class BoundException<unsigned int>;
extern template class BoundException<unsigned long long>;

template <typename T> class SpaceException : public BoundException<T> {
public:
    SpaceException(T requested, T available) : BoundException<T>(requested, available) {}
    void write(std::ostream& out) const override {
        out << "More space requested (" << +this->value << ") than what is available ("
            << +this->bound << "). ";
    }
    std::unique_ptr<Exception> clone() const override {
        return std::make_unique<SpaceException>(*this);
    }
};

class AccessException : public ExceptionImpl<AccessException, Exception> {
public:
    AccessException(std::string what, std::string reason)
        : what(echoed(std::move(what))), reason(echoed(std::move(reason))) {}
    void write(std::ostream& out) const override;
    std::string what, reason;
};

class AllocateException : public ExceptionImpl<AllocateException, Exception> {
public:
    explicit AllocateException(std::string what) : what(echoed(std::move(what))) {}
    void write(std::ostream& out) const override;
    std::string what;
};

class AcquireException : public ExceptionImpl<AcquireException, Exception> {
public:
    explicit AcquireException(std::string what) : what(echoed(std::move(what))) {}
    void write(std::ostream& out) const override;
    std::string what;
};

// Releasing deliberately reports with the same wording as acquiring.
class ReleaseException : public ExceptionImpl<ReleaseException, Exception> {
public:
    explicit ReleaseException(std::string what) : what(echoed(std::move(what))) {}
    void write(std::ostream& out) const override;
    std::string what;
};

// A standard exception carried through the ZELK reporting path.
class CppException : public ExceptionImpl<CppException, Exception> {
public:
    CppException(std::string message, std::string type)
        : message_(echoed(std::move(message))), type(echoed(std::move(type))) {}
    // Wraps a caught standard exception, naming its run-time type.
    static CppException wrap(const std::exception& e);
    void write(std::ostream& out) const override;
    std::string message_, type;
};

class IteratorException : public ExceptionImpl<IteratorException, Exception> {
public:
    void write(std::ostream& out) const override;
};

class SignalSizeException : public ExceptionImpl<SignalSizeException, Exception> {
public:
    void write(std::ostream& out) const override;
};

class SupportException : public ExceptionImpl<SupportException, Exception> {
public:
    explicit SupportException(std::string what) : what(echoed(std::move(what))) {}
    void write(std::ostream& out) const override;
    std::string what;
};

class UnexpectedValueException : public ExceptionImpl<UnexpectedValueException, Exception> {
public:
    UnexpectedValueException(std::string found, std::string expected)
        : found(echoed(std::move(found))), expected(echoed(std::move(expected))) {}
    void write(std::ostream& out) const override;
    std::string found, expected;
};

namespace Text {
class ConversionException : public ExceptionImpl<ConversionException, Exception> {
public:
    ConversionException(std::string_view text, std::string_view type)
        : text(echoed(text)), type(echoed(type)) {}
    void write(std::ostream& out) const override;
    std::string text, type;
};
} // namespace Text

class ParseException : public ExceptionImpl<ParseException, Exception> {
public:
    ParseException(std::string text, std::string target)
        : text(echoed(std::move(text))), target(echoed(std::move(target))) {}
    void write(std::ostream& out) const override;
    std::string text, target;
};

template <typename Key> class NotFoundException : public Exception {
public:
    NotFoundException(Key what, std::string where)
        : what(echoedKey(std::move(what))), where(echoed(std::move(where))) {}
    void write(std::ostream& out) const override {
        out << "Could not find " << what << " in " << where << ". ";
    }
    std::unique_ptr<Exception> clone() const override {
        return std::make_unique<NotFoundException>(*this);
    }
    Key what;
    std::string where;

private:
    static Key echoedKey(Key key) {
        if constexpr (std::is_same_v<Key, std::string>)
            return echoed(std::move(key));
        else
            return key;
    }
};

class PathException : public ExceptionImpl<PathException, Exception> {
public:
    PathException(std::string path, std::string reason)
        : path(echoed(std::move(path))), reason(echoed(std::move(reason))) {}
    void write(std::ostream& out) const override;
    std::string path, reason;
};

class MatrixSingularException : public ExceptionImpl<MatrixSingularException, Exception> {
public:
    void write(std::ostream& out) const override;
};

class MatrixDimensionException : public ExceptionImpl<MatrixDimensionException, Exception> {
public:
    static constexpr std::uint32_t Any = 0xFFFFFFFFu;
    MatrixDimensionException(std::uint32_t rows, std::uint32_t columns, std::uint32_t expectedRows,
                             std::uint32_t expectedColumns, std::string expectedText = {})
        : rows(rows), columns(columns), expectedRows(expectedRows),
          expectedColumns(expectedColumns), expectedText(echoed(std::move(expectedText))) {}
    void write(std::ostream& out) const override;
    std::uint32_t rows, columns, expectedRows, expectedColumns;
    std::string expectedText;
};

namespace Migration {
class FormatException : public ExceptionImpl<FormatException, Exception> {
public:
    FormatException(std::string format, std::string detail)
        : format(echoed(std::move(format))), detail(echoed(std::move(detail))) {}
    void write(std::ostream& out) const override;
    std::string format, detail;
};

class StreamException : public ExceptionImpl<StreamException, Exception> {
public:
    void write(std::ostream& out) const override;
};
} // namespace Migration

class SocketException : public ExceptionImpl<SocketException, Exception> {
public:
    explicit SocketException(std::string text) : text(echoed(std::move(text))) {}
    void write(std::ostream& out) const override;
    std::string text;
};

class ConnectionIOException : public ExceptionImpl<ConnectionIOException, Exception> {
public:
    ConnectionIOException(std::string from, std::string to)
        : from(echoed(std::move(from))), to(echoed(std::move(to))) {}
    void write(std::ostream& out) const override;
    std::string from, to;
};

class UDPIOException : public ExceptionImpl<UDPIOException, Exception> {
public:
    explicit UDPIOException(std::string endpoint) : endpoint(echoed(std::move(endpoint))) {}
    void write(std::ostream& out) const override;
    std::string endpoint;
};

class ConnectionClosedException : public ExceptionImpl<ConnectionClosedException, Exception> {
public:
    void write(std::ostream& out) const override;
};

// Readable, fully qualified name of a run-time type ("ZELK::Text::ConversionException").
std::string demangledTypeName(const std::type_info& type);

// Name of T as the conversion messages spell it ("float", "unsigned int").
template <typename T> std::string typeNameOf() {
    return demangledTypeName(typeid(T));
}

class ExceptionHandler {
public:
    virtual ~ExceptionHandler() = default;
    virtual void handle(const Exception& exception, const std::string& context) = 0;
};

// Writes each exception as one line "ZELK <type>: <message>" and counts them. The mutex keeps
// lines from interleaving if several threads ever report through one writer.
class ExceptionWriter : public ExceptionHandler {
public:
    explicit ExceptionWriter(std::ostream& out) : out_(out) {}
    void handle(const Exception& exception, const std::string& context) override;
    std::uint32_t count() const { return count_; }

    // The exact line handle() writes, without the context prefix.
    static std::string format(const Exception& exception);

private:
    std::ostream& out_;
    std::mutex mutex_;
    std::uint32_t count_ = 0;
};

} // namespace ZELK
