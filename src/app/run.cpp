// Entry point and run sequence.
#include "app/run.hpp"

#include <exception>
#include <iostream>
#include <memory>

#include "app/stages.hpp"
#include "core/exceptions.hpp"
#include "core/thread_pool.hpp"
#include "vs/tcp_client.hpp"

namespace ZELK {

int run(RunContext& context) {
    CppOutStream standardOutput(std::cout);
    WriteStream* statusOutput = nullptr; // -q: status lines are discarded
    if (!context.options.quiet.given)
        statusOutput = &standardOutput;
    context.status.setOutput(statusOutput);
    setThreadCount(context.options.threadCount.value);

    // No command line can turn the visualization switch on (it is never registered), so every
    // run keeps the discarding sink; a build that sets it gets the viewer client.
    if (context.options.visualization.given)
        context.visualizationRoot.install(std::make_unique<VS::TCPClient>(VS::DiscoveryConfig{}));

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
    return exportResults(context) ? 0 : 1;
}

int entryPoint(int argc, const char* const* argv) {
    ExceptionWriter writer(std::cerr);
    try {
        ArgumentProcessor processor("Penvex", "Vectorization of line sketches.", "20230422", 2, 16,
                                    79);
        RunContext context;
        declareOptions(context.options, processor);
        DefaultActionHandler handler(std::cout, std::cerr);
        if (!processor.parse(argc, argv, handler))
            return handler.success() ? 0 : 2;
        applyAutomaticMode(context.options);
        int code = run(context);
        std::cout.flush();
        return code;
    } catch (const Exception& e) {
        std::cout.flush();
        writer.handle(e, {});
    } catch (const std::exception& e) {
        std::cout.flush();
        writer.handle(CppException::wrap(e), {});
    }
    return 1;
}

} // namespace ZELK
