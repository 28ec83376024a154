// The argument processor on its own: wrapping, command names, values and required options.
#include <gtest/gtest.h>

#include <sstream>

#include "args/argument_processor.hpp"

using namespace ZELK;

namespace {

struct Recorder : ActionHandler {
    void help(const ArgumentProcessor&) override { events += "help;"; }
    void version(const ArgumentProcessor&) override { events += "version;"; }
    void error(const ArgumentProcessor&, const std::string& message) override {
        events += "error:" + message + ";";
    }
    std::string events;
};

} // namespace

TEST(WrappingWriter, WordsKeepTheirTrailingBlankAndLongItemsAreCut) {
    // "aaa bbb " is 8 wide, "cc " would end at column 11 > 10; a double blank is an empty word.
    std::ostringstream out, cut;
    WrappingWriter(out, "  ", 10, 0).words("aaa bbb cc  d");
    EXPECT_EQ(out.str(), "  aaa bbb \n  cc  d ");
    WrappingWriter narrow(cut, "..", 6, 3);
    narrow.item("abcdefghij"); // never fits after a 2-wide prefix: cut to fill the lines
    EXPECT_EQ(cut.str(), "abc\n..defg\n..hij");
}

TEST(ArgumentProcessor, CommandNameDropsFolderAndExtension) {
    for (auto [path, name] : {std::pair{"C:\\tools\\Penvex.exe", "Penvex"}, {"", "command"}})
        EXPECT_EQ(ArgumentProcessor::commandName(path), name) << path;
}

TEST(ArgumentProcessor, RequiredMessagesFallBackToHelpTextThenGenericText) {
    for (auto [valueName, help, message] :
         {std::tuple{"file", "the input", "The required value 'file' was not assigned. "},
          {"", "the input", "The required parameter 'the input' was not assigned. "},
          {"", "", "A required parameter was not assigned. "}}) {
        ArgumentProcessor p("Tool", "", "", 2, 16, 79);
        Option named;
        DirectValue value(valueName);
        named.required = true, named.help = help, named.values = {&value};
        p.addNamed("-f", named);
        Recorder r;
        const char* argv[] = {"tool"};
        EXPECT_FALSE(p.parse(1, argv, r));
        EXPECT_EQ(r.events, "error:" + std::string(message) + ";");
    }
}

TEST(ArgumentProcessor, ValuesInOrderEscapeTokenUsageAndHelp) {
    ArgumentProcessor p("", "Does things.", "1", 2, 16, 79);
    p.setEscapeToken("--");
    Option pair, required, positional;
    SimpleValue<float> a("a", 1.0f), b("b", 2.0f);
    DirectValue unnamed(""), name("");
    pair.values = {&a, &b}, required.values = {&unnamed}, positional.values = {&name};
    required.required = true;
    p.addNamed("-r", required);
    p.addNamed("-p", pair);
    p.addPositional(positional);
    Recorder r;
    const char* argv[] = {"tool", "-p", " 3.5", "-4", "-r", "x", "--", "-p"};
    ASSERT_TRUE(p.parse(8, argv, r)) << r.events;
    EXPECT_EQ(std::pair(a.value, b.value), std::pair(3.5f, -4.0f));
    EXPECT_EQ(name.value, "-p");

    std::ostringstream usage, help;
    p.writeUsage(usage);
    EXPECT_EQ(usage.str(), "Usage: tool [-p a b] <-r x> [--help] [--version] [arg1]\n");
    p.writeHelp(help);
    // The escape note is wrapped like a help text: it starts at the continuation column.
    const std::string note = "\n--" + std::string(14, ' ') +
                             "escapes the following value as an argument and does not match \n" +
                             std::string(16, ' ') + "it as an option. \n\n";
    EXPECT_EQ(help.str().substr(help.str().size() - note.size()), note) << help.str();
}
