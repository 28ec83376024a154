// Command-line parser: options with typed values, positional arguments, usage and help pages
// laid out by a wrapping writer, and the handler that reports help, version and errors.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/text.hpp"

namespace ZELK {

// One value of an option: converts its own text and remembers that it was assigned.
class Value {
public:
    explicit Value(std::string name) : name(std::move(name)) {}
    virtual ~Value() = default;
    virtual bool isAssigned() const { return assigned; }
    virtual bool isSatisfied() const { return assigned; }
    // Converts and stores the text; a text that does not convert raises the conversion error.
    virtual void assign(const std::string& text) = 0;

    std::string name; // placeholder shown in usage and help
    bool assigned = false;
};

class SingleArgumentValue : public Value {
public:
    using Value::Value;
};

// A text value, stored unchanged.
class DirectValue : public SingleArgumentValue {
public:
    DirectValue(std::string name, std::string initial = {})
        : SingleArgumentValue(std::move(name)), value(std::move(initial)) {}
    void assign(const std::string& text) override {
        value = text;
        assigned = true;
    }
    std::string value;
};

// A number read by stream extraction.
template <typename T> class SimpleValue : public SingleArgumentValue {
public:
    SimpleValue(std::string name, T initial)
        : SingleArgumentValue(std::move(name)), value(initial) {}
    void assign(const std::string& text) override {
        value = Text::convert<T>(text);
        assigned = true;
    }
    T value;
};

// A number, or instead one word that asks the program to choose the value itself: the word
// sets `automatic` and leaves the number alone; any other text converts (and fails) exactly as
// a plain number would.
template <typename T> class NumberOrWord : public SimpleValue<T> {
public:
    NumberOrWord(std::string name, T initial, std::string word)
        : SimpleValue<T>(std::move(name), initial), word(std::move(word)) {}
    void assign(const std::string& text) override {
        automatic = text == word;
        if (automatic)
            this->assigned = true;
        else
            SimpleValue<T>::assign(text);
    }
    std::string word;
    bool automatic = false;
};

// An option as declared by the program; the values belong to the caller.
struct Option {
    bool given = false;
    bool required = false;
    std::string help;
    std::vector<Value*> values;
};

class ArgumentProcessor;

class ActionHandler {
public:
    virtual ~ActionHandler() = default;
    virtual void help(const ArgumentProcessor& processor) = 0;
    virtual void version(const ArgumentProcessor& processor) = 0;
    virtual void error(const ArgumentProcessor& processor, const std::string& message) = 0;
};

// Help and version to the output stream; errors, then the usage line, to the error stream.
class DefaultActionHandler : public ActionHandler {
public:
    DefaultActionHandler(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    void help(const ArgumentProcessor& processor) override;
    void version(const ArgumentProcessor& processor) override;
    void error(const ArgumentProcessor& processor, const std::string& message) override;
    bool success() const { return success_; }

private:
    std::ostream& out_;
    std::ostream& err_;
    bool success_ = true;
};

// Writes words and items within a line width, continuing lines after a prefix.
class WrappingWriter {
public:
    WrappingWriter(std::ostream& out, std::string prefix, std::uint32_t width, std::uint32_t column)
        : out_(out), prefix_(std::move(prefix)), width_(width), column_(column) {}
    // Appends one unit that is never broken unless it cannot fit even on a fresh line.
    void item(const std::string& text);
    // Appends every blank-separated word of the text, each followed by one blank.
    void words(const std::string& text);
    std::uint32_t column() const { return column_; }

private:
    void newLine();

    std::ostream& out_;
    std::string prefix_;
    std::uint32_t width_;
    std::uint32_t column_;
};

class ArgumentProcessor {
public:
    ArgumentProcessor(std::string program, std::string description, std::string version,
                      std::uint32_t entryIndent, std::uint32_t continuationIndent,
                      std::uint32_t width);

    void addPositional(Option& option);
    void addNamed(const std::string& name, Option& option);
    void setEscapeToken(std::string token) { escapeToken_ = std::move(token); }
    // Unnamed arguments beyond the declared positionals are collected here instead of being
    // refused (none when not set).
    void collectExtraPositionals(std::vector<std::string>* extra) { extra_ = extra; }

    // Walks argv and assigns values. Returns false when the program should stop: help or
    // version was printed, or an error was reported through the handler.
    bool parse(int argc, const char* const* argv, ActionHandler& handler);

    void writeUsage(std::ostream& out) const;
    void writeHelp(std::ostream& out) const;
    void writeVersion(std::ostream& out) const;

    const std::string& program() const { return program_; }
    const std::string& version() const { return version_; }

    // The command name shown in the usage line, from a program path.
    static std::string commandName(const std::string& path);

private:
    // Assigns the option's values from args[i...]; returns an error text or empty on success.
    // `consumed` receives the number of arguments taken.
    std::string assign(Option& option, const std::vector<std::string>& args, std::size_t i,
                       std::size_t& consumed) const;
    std::string requiredError() const;
    void writeEntry(std::ostream& out, const std::string& label, const std::string& help) const;
    std::string valueNames(const Option& option, std::uint32_t& unnamedCounter,
                           bool forUsage) const;

    std::vector<Option*> options_;
    std::map<std::string, std::size_t> names_;
    std::vector<std::size_t> positionals_;
    std::vector<std::string>* extra_ = nullptr;
    std::string escapeToken_;
    std::string program_, version_, description_;
    std::string command_;
    std::uint32_t entryIndent_, continuationIndent_, width_;
};

} // namespace ZELK
