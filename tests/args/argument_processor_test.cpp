// The argument processor on its own: wrapping, command names, values and required options.
#include <gtest/gtest.h>

#include <sstream>

#include "args/argument_processor.hpp"

using namespace ZELK;

TEST(WrappingWriter, WordsKeepTheirTrailingBlankWithinTheWidth) {
    std::ostringstream out;
    WrappingWriter writer(out, "  ", 10, 0);
    writer.words("aaa bbb cc dddd");
    // "aaa bbb " is 8 wide; "cc " would end at column 11 > 10, so it wraps.
    EXPECT_EQ(out.str(), "  aaa bbb \n  cc dddd ");
    EXPECT_EQ(writer.column(), 10u);
}

TEST(WrappingWriter, DoubleBlanksGiveEmptyWordsAndLongItemsAreCut) {
    std::ostringstream out;
    WrappingWriter writer(out, "", 8, 0);
    writer.words("a  b");
    EXPECT_EQ(out.str(), "a  b ");
    std::ostringstream cut;
    WrappingWriter narrow(cut, "..", 6, 3);
    narrow.item("abcdefghij"); // never fits after a 2-wide prefix: cut to fill the lines
    EXPECT_EQ(cut.str(), "abc\n..defg\n..hij");
    EXPECT_EQ(narrow.column(), 5u);
}

TEST(ArgumentProcessor, CommandNameDropsFolderAndExtension) {
    EXPECT_EQ(ArgumentProcessor::commandName("./penvex"), "penvex");
    EXPECT_EQ(ArgumentProcessor::commandName("/usr/local/bin/penvex"), "penvex");
    EXPECT_EQ(ArgumentProcessor::commandName("C:\\tools\\Penvex.exe"), "Penvex");
    EXPECT_EQ(ArgumentProcessor::commandName("a.b/tool"), "tool");
    EXPECT_EQ(ArgumentProcessor::commandName(""), "command");
}

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

TEST(ArgumentProcessor, RequiredMessagesFallBackToHelpTextThenGenericText) {
    for (int variant = 0; variant < 3; ++variant) {
        ArgumentProcessor p("Tool", "", "", 2, 16, 79);
        Option named;
        named.required = true;
        DirectValue value(variant == 0 ? "file" : "");
        if (variant < 2)
            named.values = {&value};
        if (variant < 2)
            named.help = "the input";
        p.addNamed("-f", named);
        Recorder r;
        const char* argv[] = {"tool"};
        EXPECT_FALSE(p.parse(1, argv, r));
        const char* expected[] = {"error:The required value 'file' was not assigned. ;",
                                  "error:The required parameter 'the input' was not assigned. ;",
                                  "error:A required parameter was not assigned. ;"};
        EXPECT_EQ(r.events, expected[variant]);
    }
}

TEST(ArgumentProcessor, ValuesAreAssignedInOrderAndEscapeTokenWorks) {
    ArgumentProcessor p("Tool", "Does things.", "1", 2, 16, 79);
    p.setEscapeToken("--");
    Option pair, flag, positional;
    SimpleValue<float> a("a", 1.0f), b("b", 2.0f);
    pair.values = {&a, &b};
    DirectValue name("name");
    positional.values = {&name};
    p.addNamed("-p", pair);
    p.addNamed("-f", flag);
    p.addPositional(positional);
    Recorder r;
    const char* argv[] = {"tool", "-p", " 3.5", "-4", "--", "-f", "-f"};
    ASSERT_TRUE(p.parse(7, argv, r)) << r.events;
    EXPECT_FLOAT_EQ(a.value, 3.5f);
    EXPECT_FLOAT_EQ(b.value, -4.0f);
    EXPECT_EQ(name.value, "-f");
    EXPECT_TRUE(flag.given);
    EXPECT_TRUE(positional.given);

    std::ostringstream help;
    p.writeHelp(help);
    // The escape note is wrapped like a help text: it starts at the continuation column.
    const std::string note = "\n--" + std::string(14, ' ') +
                             "escapes the following value as an argument and does not match \n" +
                             std::string(16, ' ') + "it as an option. \n\n";
    EXPECT_EQ(help.str().substr(help.str().size() - note.size()), note) << help.str();
}

TEST(ArgumentProcessor, UsageBracketsOptionalRequiredAndUnnamedValues) {
    ArgumentProcessor p("", "", "", 2, 16, 79);
    Option optional, required, positional;
    DirectValue unnamed1(""), unnamed2("");
    DirectValue value("v");
    optional.values = {&value};
    required.required = true;
    required.values = {&unnamed1};
    positional.values = {&unnamed2};
    p.addNamed("-r", required);
    p.addNamed("-o", optional);
    p.addPositional(positional);
    std::ostringstream usage;
    p.writeUsage(usage);
    EXPECT_EQ(usage.str(), "Usage: command [-o v] <-r x> [--help] [arg1]\n");
}
