// Messages of the ZELK exception family and the one-line exception writer.
#include "core/exceptions.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <sstream>
#include <system_error>

#include "core/limits.hpp"

namespace ZELK {

template class BoundException<unsigned char>;
template class BoundException<int>;
template class BoundException<unsigned int>;
template class BoundException<unsigned long long>;

std::string echoed(std::string_view value) {
    if (value.size() <= Limits::maxEchoedBytes)
        return std::string(value);
    std::size_t cut = Limits::maxEchoedBytes;
    // Not inside a UTF-8 sequence: continuation bytes are 10xxxxxx.
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0u) == 0x80u)
        --cut;
    // Only the part kept is copied: the value may be a 100 MB attribute.
    return std::string(value.substr(0, cut)) + "[... cut, " + std::to_string(value.size()) +
           " bytes in all]";
}

std::string Exception::message() const {
    std::ostringstream text;
    write(text);
    return text.str();
}

void WhatException::write(std::ostream& out) const {
    out << text;
}
std::unique_ptr<Exception> WhatException::clone() const {
    return std::make_unique<WhatException>(*this);
}

void AccessException::write(std::ostream& out) const {
    out << "Failed to access " << what << " because " << reason << ". ";
}
void AllocateException::write(std::ostream& out) const {
    out << "Failed to allocate " << what << ". ";
}
void AcquireException::write(std::ostream& out) const {
    out << "Failed to acquire " << what << ". ";
}
void ReleaseException::write(std::ostream& out) const {
    out << "Failed to acquire " << what << ". ";
}

CppException CppException::wrap(const std::exception& e) {
    return CppException(e.what(), demangledTypeName(typeid(e)));
}
void CppException::write(std::ostream& out) const {
    out << "Wrapped C++ exception (" << type << "): " << message_;
}

void IteratorException::write(std::ostream& out) const {
    out << "Invalid iterator. ";
}
void SignalSizeException::write(std::ostream& out) const {
    out << "Missmatching signal size. ";
}
void SupportException::write(std::ostream& out) const {
    out << "No support for " << what << ". ";
}
void UnexpectedValueException::write(std::ostream& out) const {
    out << found << " is not " << expected << ". ";
}

void Text::ConversionException::write(std::ostream& out) const {
    out << "Failed to convert \"" << text << "\" to " << type << ".";
}

void ParseException::write(std::ostream& out) const {
    out << "String \"" << text << "\" could not be parsed into \"" << target << "\". ";
}

void PathException::write(std::ostream& out) const {
    out << reason << " (" << path << ")";
}

void MatrixSingularException::write(std::ostream& out) const {
    out << "Non-singular matrix. ";
}

void MatrixDimensionException::write(std::ostream& out) const {
    auto number = [&out](std::uint32_t n) {
        if (n == Any)
            out << "[ANY]";
        else
            out << n;
    };
    out << "Got matrix dimension ";
    number(rows);
    out << "x";
    number(columns);
    out << " while expecting ";
    if (!expectedText.empty()) {
        out << expectedText;
    } else {
        number(expectedRows);
        out << "x";
        number(expectedColumns);
    }
    out << ".";
}

void Migration::FormatException::write(std::ostream& out) const {
    out << format << " : " << detail;
}
void Migration::StreamException::write(std::ostream& out) const {
    out << "Migrator was not associated with a stream. ";
}

void SocketException::write(std::ostream& out) const {
    out << "Socket error: " << text;
}
void ConnectionIOException::write(std::ostream& out) const {
    out << "Failed to transport data from " << from << " to " << to << ". ";
}
void UDPIOException::write(std::ostream& out) const {
    out << "Failed to transport data, " << endpoint << ". ";
}
void ConnectionClosedException::write(std::ostream& out) const {
    out << "Connection closed. ";
}

std::string demangledTypeName(const std::type_info& type) {
    int status = 0;
    char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    if (status != 0 || name == nullptr)
        return type.name();
    std::string result(name);
    std::free(name);
    return result;
}

std::string ExceptionWriter::format(const Exception& exception) {
    std::ostringstream text;
    text << "ZELK " << demangledTypeName(typeid(exception));
    if (exception.location.file != nullptr && exception.location.line != 0xFFFFFFFFu)
        text << " (" << exception.location.file << ", " << exception.location.line << " )";
    text << ": ";
    exception.write(text);
    text << "\n";
    return text.str();
}

void ExceptionWriter::handle(const Exception& exception, const std::string& context) {
    std::string line = format(exception);
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    try {
        lock.lock();
    } catch (const std::system_error&) {
        // Reported in the family's own terms, like every other failure of the library.
        throw AcquireException("mutex");
    }
    if (!context.empty())
        out_ << "context: " << context << "> ";
    out_ << line;
    out_.flush();
    ++count_;
}

} // namespace ZELK
