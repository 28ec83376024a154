// Command-line parsing, usage line and help page.
#include "args/argument_processor.hpp"

#include <algorithm>

#include "core/exceptions.hpp"

namespace ZELK {

void DefaultActionHandler::help(const ArgumentProcessor& processor) {
    processor.writeHelp(out_);
    out_.flush();
}

void DefaultActionHandler::version(const ArgumentProcessor& processor) {
    processor.writeVersion(out_);
    out_.flush();
}

void DefaultActionHandler::error(const ArgumentProcessor& processor, const std::string& message) {
    err_ << message << "\n\n";
    processor.writeUsage(err_);
    err_.flush();
    success_ = false;
}

void WrappingWriter::newLine() {
    out_ << "\n" << prefix_;
    column_ = static_cast<std::uint32_t>(prefix_.size());
}

void WrappingWriter::item(const std::string& text) {
    const std::uint32_t prefixLength = static_cast<std::uint32_t>(prefix_.size());
    if (column_ < prefixLength) {
        out_ << prefix_.substr(column_);
        column_ = prefixLength;
    }
    const std::uint64_t length = text.size();
    if (prefixLength + length > width_) {
        // Too long for any line: cut it into pieces that fill the lines.
        if (prefixLength >= width_) {
            out_ << text;
            column_ += static_cast<std::uint32_t>(length);
            return;
        }
        std::size_t done = 0;
        while (done < text.size()) {
            if (column_ >= width_)
                newLine();
            std::size_t piece = std::min<std::size_t>(width_ - column_, text.size() - done);
            out_ << text.substr(done, piece);
            column_ += static_cast<std::uint32_t>(piece);
            done += piece;
        }
        return;
    }
    if (column_ + length > width_)
        newLine();
    out_ << text;
    column_ += static_cast<std::uint32_t>(length);
}

void WrappingWriter::words(const std::string& text) {
    std::size_t start = 0;
    for (;;) {
        std::size_t blank = text.find(' ', start);
        if (blank == std::string::npos) {
            item(text.substr(start) + " ");
            return;
        }
        item(text.substr(start, blank - start) + " ");
        start = blank + 1;
    }
}

ArgumentProcessor::ArgumentProcessor(std::string program, std::string description,
                                     std::string version, std::uint32_t entryIndent,
                                     std::uint32_t continuationIndent, std::uint32_t width)
    : program_(std::move(program)), version_(std::move(version)),
      description_(std::move(description)), command_("command"), entryIndent_(entryIndent),
      continuationIndent_(continuationIndent), width_(width) {}

void ArgumentProcessor::addPositional(Option& option) {
    positionals_.push_back(options_.size());
    options_.push_back(&option);
}

void ArgumentProcessor::addNamed(const std::string& name, Option& option) {
    names_[name] = options_.size();
    options_.push_back(&option);
}

std::string ArgumentProcessor::commandName(const std::string& path) {
    if (path.empty())
        return "command";
    std::string name = path;
    std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name = name.substr(0, dot);
    return name;
}

std::string ArgumentProcessor::assign(Option& option, const std::vector<std::string>& args,
                                      std::size_t i, std::size_t& consumed) const {
    consumed = 0;
    if (option.given) {
        if (option.help.empty())
            return "Parameter already assigned. ";
        return "Parameter (" + option.help + ") already assigned. ";
    }
    std::size_t v = 0;
    while (v < option.values.size() && i + consumed < args.size()) {
        option.values[v]->assign(args[i + consumed]);
        ++consumed;
        if (option.values[v]->isAssigned())
            ++v;
    }
    for (std::size_t rest = v; rest < option.values.size(); ++rest) {
        if (!option.values[rest]->isSatisfied()) {
            return "Could only assign " + std::to_string(consumed) + " of " +
                   std::to_string(option.values.size()) +
                   " values of option, end of argument list reached. ";
        }
    }
    option.given = true;
    return {};
}

std::string ArgumentProcessor::requiredError() const {
    for (const Option* option : options_) {
        if (!option->required || option->given)
            continue;
        if (!option->values.empty() && !option->values.front()->name.empty())
            return "The required value '" + option->values.front()->name + "' was not assigned. ";
        if (!option->help.empty())
            return "The required parameter '" + option->help + "' was not assigned. ";
        return "A required parameter was not assigned. ";
    }
    return {};
}

bool ArgumentProcessor::parse(int argc, const char* const* argv, ActionHandler& handler) {
    command_ = commandName(argc > 0 && argv[0] != nullptr ? argv[0] : "");
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    bool escaped = false;
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& arg = args[i];
        bool positional = escaped;
        escaped = false;
        if (!positional) {
            if (arg == escapeToken_) {
                escaped = true;
                ++i;
                continue;
            }
            if (arg == "--help") {
                handler.help(*this);
                return false;
            }
            if (!version_.empty() && arg == "--version") {
                handler.version(*this);
                return false;
            }
            auto named = names_.find(arg);
            if (named != names_.end()) {
                std::size_t consumed = 0;
                std::string error = assign(*options_[named->second], args, i + 1, consumed);
                if (!error.empty()) {
                    handler.error(*this, error);
                    return false;
                }
                i += 1 + consumed;
                continue;
            }
        }
        if (cursor >= positionals_.size() && extra_ != nullptr) {
            extra_->push_back(arg);
            ++i;
            continue;
        }
        if (cursor >= positionals_.size()) {
            handler.error(*this, "No more unnamed arguments to be processed, '" + echoed(arg) +
                                     "' ignored. ");
            return false;
        }
        std::size_t consumed = 0;
        std::string error = assign(*options_[positionals_[cursor]], args, i, consumed);
        if (!error.empty()) {
            handler.error(*this, error);
            return false;
        }
        ++cursor;
        i += consumed == 0 ? 1 : consumed;
    }
    std::string error = requiredError();
    if (!error.empty()) {
        handler.error(*this, error);
        return false;
    }
    return true;
}

std::string ArgumentProcessor::valueNames(const Option& option, std::uint32_t& unnamedCounter,
                                          bool forUsage) const {
    std::string text;
    for (const Value* value : option.values) {
        if (!text.empty() || forUsage)
            text += " ";
        text += value->name.empty() ? "arg" + std::to_string(++unnamedCounter) : value->name;
    }
    return text;
}

void ArgumentProcessor::writeUsage(std::ostream& out) const {
    out << "Usage: " << command_;
    WrappingWriter writer(out, std::string(7, ' '), width_,
                          static_cast<std::uint32_t>(7 + command_.size()));
    auto namedItem = [&](const std::string& name, const Option& option, char open, char close) {
        std::string item = " ";
        item += open;
        item += name;
        for (const Value* value : option.values)
            item += " " + (value->name.empty() ? std::string("x") : value->name);
        item += close;
        writer.item(item);
    };
    // Names in registration order, optional ones first, then the required ones.
    std::vector<std::pair<std::size_t, std::string>> named;
    for (const auto& [name, index] : names_)
        named.emplace_back(index, name);
    std::sort(named.begin(), named.end());
    for (const auto& [index, name] : named)
        if (!options_[index]->required)
            namedItem(name, *options_[index], '[', ']');
    for (const auto& [index, name] : named)
        if (options_[index]->required)
            namedItem(name, *options_[index], '<', '>');
    writer.item(" [--help]");
    if (!version_.empty())
        writer.item(" [--version]");
    std::uint32_t unnamed = 0;
    for (std::size_t index : positionals_) {
        const Option& option = *options_[index];
        std::string names = valueNames(option, unnamed, false);
        writer.item(option.required ? " " + names : " [" + names + "]");
    }
    out << "\n";
}

void ArgumentProcessor::writeEntry(std::ostream& out, const std::string& label,
                                   const std::string& help) const {
    out << std::string(entryIndent_, ' ') << label << "  ";
    WrappingWriter writer(out, std::string(continuationIndent_, ' '), width_,
                          static_cast<std::uint32_t>(entryIndent_ + label.size() + 2));
    writer.words(help);
    out << "\n";
}

void ArgumentProcessor::writeHelp(std::ostream& out) const {
    writeUsage(out);
    if (!program_.empty() || !description_.empty()) {
        out << "\n" << program_;
        std::uint32_t column = static_cast<std::uint32_t>(program_.size());
        if (!program_.empty() && !description_.empty()) {
            out << " -- ";
            column += 4;
        }
        if (!description_.empty()) {
            WrappingWriter writer(out, std::string(4, ' '), width_, column);
            writer.words(description_);
        }
        out << "\n";
    }
    if (!positionals_.empty()) {
        out << "\nPositional arguments: \n";
        std::uint32_t unnamed = 0;
        for (std::size_t index : positionals_)
            writeEntry(out, valueNames(*options_[index], unnamed, false), options_[index]->help);
    }
    out << "\nNamed options: \n";
    std::vector<std::pair<std::size_t, std::string>> named;
    for (const auto& [name, index] : names_)
        named.emplace_back(index, name);
    std::sort(named.begin(), named.end());
    for (const auto& [index, name] : named) {
        std::string label = name;
        for (const Value* value : options_[index]->values)
            label += " " + (value->name.empty() ? std::string("x") : value->name);
        writeEntry(out, label, options_[index]->help);
    }
    writeEntry(out, "--help", "print this help message");
    if (!version_.empty())
        writeEntry(out, "--version", "print version");
    if (!escapeToken_.empty()) {
        out << "\n" << escapeToken_ << " ";
        WrappingWriter writer(out, std::string(continuationIndent_, ' '), width_,
                              static_cast<std::uint32_t>(escapeToken_.size() + 1));
        writer.words("escapes the following value as an argument and does not match it as an "
                     "option.");
        out << "\n";
    }
    out << "\n";
}

void ArgumentProcessor::writeVersion(std::ostream& out) const {
    out << program_ << " -- " << version_ << "\n";
}

} // namespace ZELK
