// Entry point and run sequence.
#include "app/run.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "app/stages.hpp"
#include "core/exceptions.hpp"
#include "core/thread_pool.hpp"
#include "export/dxf.hpp"
#include "vs/tcp_client.hpp"

namespace ZELK {

namespace {

// The output options that name a file, with their file names.
std::vector<std::pair<const Option*, DirectValue*>> outputFiles(RunOptions& o) {
    return {{&o.svgOutput, &o.svgFile},
            {&o.xmlOutput, &o.xmlFile},
            {&o.editorSvgOutput, &o.editorSvgFile},
            {&o.dxfOutput, &o.dxfFile},
            {&o.previewOutput, &o.previewFile},
            {&o.maskOutput, &o.maskFile},
            {&o.imageOutput, &o.imageFile}};
}

// {name} in an output file name becomes the input's file name without folder and extension.
void nameOutputs(RunOptions& options) {
    const std::string& input = options.inputName.value;
    const std::string stem = input == "-" ? "stdin" : std::filesystem::path(input).stem().string();
    constexpr std::string_view marker = "{name}";
    for (auto& [option, file] : outputFiles(options))
        for (std::size_t at = file->value.find(marker); option->given && at != std::string::npos;
             at = file->value.find(marker, at + stem.size()))
            file->value.replace(at, marker.size(), stem);
}

const char* const writingOptions = "-os, -ox, -se, -od, -op, -om or -oi";

} // namespace

int run(RunContext& context) {
    // With an output on standard output the status lines move to standard error.
    bool toStandardOutput = false;
    bool writes = false;
    for (auto& [option, file] : outputFiles(context.options)) {
        writes = writes || option->given;
        toStandardOutput = toStandardOutput || (option->given && file->value == "-");
    }
    CppOutStream standardOutput(toStandardOutput ? std::cerr : std::cout);
    WriteStream* statusOutput = nullptr; // -q: status lines are discarded
    if (!context.options.quiet.given)
        statusOutput = &standardOutput;
    context.status.setOutput(statusOutput);
    setThreadCount(context.options.threadCount.value);

    // No command line can turn the visualization switch on (it is never registered), so every
    // run keeps the discarding sink; a build that sets it gets the viewer client.
    if (context.options.visualization.given)
        context.visualizationRoot.install(std::make_unique<VS::TCPClient>(VS::DiscoveryConfig{}));

    // A unit no writer knows would only show after the whole run.
    DrawingUnit unit;
    if (!parseDrawingUnit(context.options.rectifyUnitName.value, unit)) {
        std::cerr << "Invalid unit " << context.options.rectifyUnitName.value
                  << ", must be one of: px mm cm in\n";
        return 1;
    }
    if (!loadInput(context))
        return 1;
    if (context.input.isImage) {
        if (!detectBackground(context))
            return 1;
        if (!extractLines(context))
            return 1;
        if (!rectify(context))
            return 1;
    }
    refinePolylines(context);
    if (!exportResults(context))
        return 1;
    // A picture traced for nothing is most likely a forgotten output option (a demo writes its
    // picture and reference drawing anyway).
    if (!writes && context.input.isImage && context.options.inputName.value.rfind("demo:", 0) != 0)
        std::cerr << "Nothing was written: " << writingOptions << " write the results to files.\n";
    return 0;
}

namespace {

ArgumentProcessor makeProcessor() {
    return ArgumentProcessor("Penvex", "Vectorization of line sketches.", "20230422", 2, 16, 79);
}

// Runs body and returns its exit code; an error it raises is reported as one line on standard
// error (after the status lines written so far) and gives 1.
int reportingErrors(const std::function<int()>& body) {
    ExceptionWriter writer(std::cerr);
    try {
        return body();
    } catch (const Exception& e) {
        std::cout.flush();
        writer.handle(e, {});
    } catch (const std::exception& e) {
        std::cout.flush();
        writer.handle(CppException::wrap(e), {});
    }
    return 1;
}

// While alive, every line written to the stream starts with a prefix, so that the error lines
// of several inputs say which input they belong to even without status lines (-q).
class PrefixedLines : public std::streambuf {
public:
    PrefixedLines(std::ostream& stream, std::string prefix)
        : stream_(stream), target_(stream.rdbuf()), prefix_(std::move(prefix)) {
        stream_.rdbuf(this);
    }
    ~PrefixedLines() override { stream_.rdbuf(target_); }
    PrefixedLines(const PrefixedLines&) = delete;
    PrefixedLines& operator=(const PrefixedLines&) = delete;

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        if (lineStart_ && target_->sputn(prefix_.data(), std::streamsize(prefix_.size())) !=
                              std::streamsize(prefix_.size()))
            return traits_type::eof();
        lineStart_ = traits_type::to_char_type(c) == '\n';
        return target_->sputc(traits_type::to_char_type(c));
    }
    int sync() override { return target_->pubsync(); }

private:
    std::ostream& stream_;
    std::streambuf* target_;
    std::string prefix_;
    bool lineStart_ = true;
};

// One of several inputs, from its own parse of the command line to its exit code; an error
// ends this input only, and its lines on standard error start with the input's name.
int runInput(int argc, const char* const* argv, const std::string& input, bool oneThread) {
    const PrefixedLines named(std::cerr, input + ": ");
    return reportingErrors([&] {
        ArgumentProcessor processor = makeProcessor();
        RunContext context;
        declareOptions(context.options, processor);
        std::vector<std::string> others;
        processor.collectExtraPositionals(&others);
        std::ostringstream ignored;
        DefaultActionHandler handler(ignored, ignored);
        processor.parse(argc, argv, handler); // parsed once before, without error
        context.options.inputName.value = input;
        if (oneThread)
            context.options.threadCount.value = 1;
        applyAutomaticMode(context.options);
        nameOutputs(context.options);
        const int code = run(context);
        std::cout.flush();
        return code;
    });
}

// Runs the inputs `slots` at a time, each in a process of its own on one thread, and prints
// each one's status and error lines when it has ended, in input order, so that lines of
// different inputs never mix. Returns the number that failed.
std::size_t runSideBySide(int argc, const char* const* argv, const std::vector<std::string>& inputs,
                          unsigned slots) {
    struct Child {
        pid_t pid = -1;
        std::FILE* out = nullptr;
        std::FILE* err = nullptr;
    };
    std::vector<Child> children(inputs.size());
    std::size_t failed = 0, started = 0;
    const auto start = [&](std::size_t i) {
        Child& c = children[i];
        c.out = std::tmpfile();
        c.err = std::tmpfile();
        std::cout.flush();
        std::cerr.flush();
        c.pid = c.out && c.err ? fork() : -1;
        if (c.pid == 0) {
            dup2(fileno(c.out), STDOUT_FILENO);
            dup2(fileno(c.err), STDERR_FILENO);
            const int code = runInput(argc, argv, inputs[i], true);
            std::cout.flush();
            std::cerr.flush();
            std::_Exit(code);
        }
    };
    const auto copy = [](std::FILE* from, std::ostream& to) {
        if (from == nullptr)
            return;
        std::rewind(from);
        char chunk[1 << 14];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, from)) > 0;)
            to.write(chunk, std::streamsize(n));
        std::fclose(from);
        to.flush();
    };
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        while (started < inputs.size() && started < i + slots)
            start(started++);
        Child& c = children[i];
        int status = 0;
        const bool ran = c.pid > 0 && waitpid(c.pid, &status, 0) == c.pid;
        copy(c.out, std::cout);
        copy(c.err, std::cerr);
        if (!ran) {
            std::cerr << "Cannot start a process for " << inputs[i] << "\n";
            ++failed;
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++failed;
        }
    }
    return failed;
}

} // namespace

int entryPoint(int argc, const char* const* argv) {
    std::vector<std::string> inputs;
    bool quiet = false;
    unsigned slots = 1;
    // One input runs here and gives the exit code; several are collected for the loop below.
    constexpr int several = -1;
    const int code = reportingErrors([&] {
        ArgumentProcessor processor = makeProcessor();
        RunContext context;
        declareOptions(context.options, processor);
        std::vector<std::string> more;
        processor.collectExtraPositionals(&more);
        DefaultActionHandler handler(std::cout, std::cerr);
        if (!processor.parse(argc, argv, handler))
            return handler.success() ? 0 : 2;
        if (more.empty()) {
            applyAutomaticMode(context.options);
            nameOutputs(context.options);
            int code = run(context);
            std::cout.flush();
            return code;
        }
        // Several inputs would write over each other's files without {name}.
        for (auto& [option, file] : outputFiles(context.options))
            if (option->given && file->value.find("{name}") == std::string::npos) {
                handler.error(processor, "Several inputs need {name} in the output file name '" +
                                             file->value + "'. ");
                return 2;
            }
        inputs.push_back(context.options.inputName.value);
        inputs.insert(inputs.end(), more.begin(), more.end());
        quiet = context.options.quiet.given;
        // -j runs that many inputs at once (one per core by default).
        slots = context.options.threadCount.value;
        if (slots == 0)
            slots = std::max(1u, std::thread::hardware_concurrency());
        return several;
    });
    if (code != several)
        return code;
    std::size_t failed = 0;
    if (slots > 1) {
        failed = runSideBySide(argc, argv, inputs, slots);
    } else {
        for (const std::string& input : inputs)
            if (runInput(argc, argv, input, false) != 0)
                ++failed;
    }
    if (!quiet || failed > 0)
        (failed > 0 ? std::cerr : std::cout)
            << inputs.size() << " inputs: " << inputs.size() - failed << " done, " << failed
            << " failed\n";
    return failed > 0 ? 1 : 0;
}

} // namespace ZELK
