// Demo parameters: defaults, typed reads and their errors, presets, and the checks that keep
// user-typed values inside what the renderer can draw.
#include "demo/parameters.hpp"

#include <gtest/gtest.h>

#include "core/exceptions.hpp"
#include "demo/render.hpp"

using ZELK::Color;
using ZELK::Parameters;

namespace {

template <typename E, typename F> std::string messageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.message();
    }
    return "no exception";
}

Parameters withPresets(std::initializer_list<std::pair<const char*, const char*>> overrides) {
    Parameters p = ZELK::defaultDemoParameters();
    for (const auto& [key, value] : overrides)
        p.set(key, value);
    ZELK::applyDemoPresets(p);
    return p;
}

} // namespace

TEST(DemoParameters, DefaultsAreListedByNameWithTheirValues) {
    const Parameters p = ZELK::defaultDemoParameters();
    const std::vector<std::string> expected = {"background",  "backgroundborder",
                                               "clutter",     "colorbackground",
                                               "colorclear",  "coloring",
                                               "colorstroke", "contrast",
                                               "gradient",    "noise",
                                               "perspective", "quality",
                                               "r2",          "size",
                                               "thickness"};
    EXPECT_EQ(p.names(), expected);
    EXPECT_FALSE(p.boolean("background"));
    EXPECT_FALSE(p.boolean("perspective"));
    EXPECT_EQ(p.integer("size"), 256);
    EXPECT_EQ(p.real("thickness"), 5.0f);
    EXPECT_EQ(p.real("contrast"), 1.0f);
    for (const char* zero : {"clutter", "r2", "noise", "gradient"})
        EXPECT_EQ(p.real(zero), 0.0f) << zero;
    EXPECT_EQ(p.text("quality"), "");
    EXPECT_EQ(p.text("coloring"), "");
    EXPECT_EQ(p.color("colorclear"), (Color{0, 0, 0}));
    EXPECT_EQ(p.color("colorstroke"), (Color{1, 1, 1}));
    const float grey = 128.0f / 255.0f;
    EXPECT_EQ(p.color("colorbackground"), (Color{grey, grey, grey}));
}

TEST(DemoParameters, TypedReadsAndTheirErrors) {
    Parameters p;
    p.set("flag", "true");
    EXPECT_TRUE(p.boolean("flag"));
    for (const char* notTrue : {"True", "1", "yes", "", "true "}) {
        p.set("flag", notTrue);
        EXPECT_FALSE(p.boolean("flag")) << notTrue;
    }

    p.set("colour", "108010");
    EXPECT_EQ(p.color("colour"), (Color{16 / 255.0f, 128 / 255.0f, 16 / 255.0f}));
    // Only the low 24 bits are a colour; higher digits are ignored.
    p.set("colour", "7fD0d080");
    EXPECT_EQ(p.color("colour"), (Color{208 / 255.0f, 208 / 255.0f, 128 / 255.0f}));
    p.set("colour", "ghost");
    EXPECT_EQ(messageOf<ZELK::Text::ConversionException>([&] { p.color("colour"); }),
              "Failed to convert \"ghost\" to unsigned int.");

    // Numbers are stored as their text and read by stream extraction.
    p.set("n", 0.75f);
    EXPECT_EQ(p.text("n"), "0.75");
    p.set("n", 512);
    EXPECT_EQ(p.text("n"), "512");
    p.set("n", " 12px");
    EXPECT_EQ(p.integer("n"), 12);
    p.set("n", "many");
    EXPECT_EQ(messageOf<ZELK::Text::ConversionException>([&] { p.integer("n"); }),
              "Failed to convert \"many\" to int.");
    EXPECT_EQ(messageOf<ZELK::Text::ConversionException>([&] { p.real("n"); }),
              "Failed to convert \"many\" to float.");

    EXPECT_EQ(messageOf<ZELK::NotFoundException<std::string>>([&] { p.text("missing"); }),
              "Could not find missing in demo parameters. ");
    EXPECT_THROW(p.real("missing"), ZELK::NotFoundException<std::string>);
    EXPECT_FALSE(p.has("missing"));
}

TEST(DemoParameters, QualityPresetsOverwriteTheUsersValues) {
    Parameters acceptable = withPresets({{"quality", "acceptable"}, {"contrast", "0.9"}});
    EXPECT_EQ(acceptable.real("contrast"), 0.75f);
    EXPECT_EQ(acceptable.real("noise"), 0.25f);
    EXPECT_EQ(acceptable.real("gradient"), 0.25f);

    Parameters poor = withPresets({{"quality", "poor"}, {"size", "512"}, {"noise", "0"}});
    EXPECT_EQ(poor.integer("size"), 512);
    EXPECT_EQ(poor.real("contrast"), 0.5f);
    EXPECT_EQ(poor.real("noise"), 0.5f);
    EXPECT_EQ(poor.real("gradient"), 1.0f);

    Parameters geometrical = withPresets({{"quality", "geometrical"}, {"perspective", "no"}});
    EXPECT_EQ(geometrical.real("r2"), 0.5f);
    EXPECT_TRUE(geometrical.boolean("perspective"));
    EXPECT_EQ(geometrical.real("contrast"), 1.0f);

    // The message keeps its historic list, without "geometrical".
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>([] {
                  withPresets({{"quality", "Poor"}});
              }),
              "Poor is not <empty>, poor or acceptable. ");
}

TEST(DemoParameters, ColoringPresetsSetAllThreeColours) {
    struct Case {
        const char* name;
        const char* clear;
        const char* sheet;
        const char* stroke;
    };
    for (const Case& c : {Case{"whiteboard", "000000", "e0e0e0", "108010"},
                          Case{"postit", "000000", "d0d080", "202060"},
                          Case{"rgb", "ff0000", "00ff00", "0000ff"}}) {
        Parameters p = withPresets({{"coloring", c.name}, {"colorstroke", "123456"}});
        EXPECT_EQ(p.text("colorclear"), c.clear) << c.name;
        EXPECT_EQ(p.text("colorbackground"), c.sheet) << c.name;
        EXPECT_EQ(p.text("colorstroke"), c.stroke) << c.name;
    }
    // Without a colouring preset the user's colours stay.
    EXPECT_EQ(withPresets({{"colorstroke", "123456"}}).text("colorstroke"), "123456");
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>([] {
                  withPresets({{"coloring", "true"}});
              }),
              "true is not <empty>, whiteboard, postit or rgb. ");
    // Quality comes first: a bad quality is reported even when the colouring is bad too.
    EXPECT_EQ(messageOf<ZELK::UnexpectedValueException>([] {
                  withPresets({{"quality", "x"}, {"coloring", "y"}});
              }),
              "x is not <empty>, poor or acceptable. ");
}

TEST(DemoParameters, SettingsRefuseWhatCannotBeDrawn) {
    auto settings = [](const char* key, const char* value) {
        Parameters p = ZELK::defaultDemoParameters();
        p.set(key, value);
        return ZELK::DemoSettings::from(p);
    };
    auto refusal = [&](const char* key, const char* value) {
        return messageOf<ZELK::UnexpectedValueException>([&] { settings(key, value); });
    };
    EXPECT_EQ(refusal("size", "0"), "size=0 is not a size from 1 to 8192 pixels. ");
    EXPECT_EQ(refusal("size", "-5"), "size=-5 is not a size from 1 to 8192 pixels. ");
    EXPECT_EQ(refusal("size", "8193"), "size=8193 is not a size from 1 to 8192 pixels. ");
    EXPECT_EQ(settings("size", "1").size, 1u);
    EXPECT_EQ(settings("size", "8192").size, 8192u);
    EXPECT_EQ(refusal("thickness", "-0.5"),
              "thickness=-0.5 is not a thickness of 0 or more pixels. ");
    EXPECT_EQ(settings("thickness", "0").thickness, 0.0f);
    EXPECT_EQ(refusal("clutter", "1.01"), "clutter=1.01 is not a clutter amount of at most 1. ");
    EXPECT_EQ(settings("clutter", "1").clutter, 1.0f);
    EXPECT_EQ(settings("clutter", "-1").clutter, -1.0f);
    // Text that is no number at all is the conversion error, not a range error.
    EXPECT_THROW(settings("size", "big"), ZELK::Text::ConversionException);
    EXPECT_THROW(settings("thickness", "1e99"), ZELK::Text::ConversionException);

    const ZELK::DemoSettings s = settings("background", "true");
    EXPECT_TRUE(s.background);
    EXPECT_FALSE(s.backgroundBorder);
    EXPECT_EQ(s.sheet, (Color{128 / 255.0f, 128 / 255.0f, 128 / 255.0f}));
}

TEST(DemoParameters, RequestTextSplitsIntoNameAndOverrides) {
    const ZELK::DemoRequest r = ZELK::DemoRequest::parse("plus,size=64,background,r2=,a=b=c,,x");
    EXPECT_EQ(r.name, "plus");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"size", "64"}, {"background", ""}, {"r2", ""}, {"a", "b=c"}, {"", ""}, {"x", ""}};
    EXPECT_EQ(r.overrides, expected);
    EXPECT_EQ(ZELK::DemoRequest::parse("").name, "");
    EXPECT_TRUE(ZELK::DemoRequest::parse("").overrides.empty());
    EXPECT_EQ(ZELK::DemoRequest::parse(",").overrides.size(), 1u);

    // Overrides apply in order, an empty value meaning "true"; the first unknown key stops
    // them and is reported.
    Parameters p = ZELK::defaultDemoParameters();
    std::string unknown;
    EXPECT_TRUE(ZELK::applyDemoOverrides(
        p, ZELK::DemoRequest::parse("x,size=64,perspective=,background,size=32"), unknown));
    EXPECT_EQ(p.integer("size"), 32);
    EXPECT_TRUE(p.boolean("perspective"));
    EXPECT_TRUE(p.boolean("background"));
    EXPECT_FALSE(ZELK::applyDemoOverrides(
        p, ZELK::DemoRequest::parse("x,thickness=9,Size=1,size=2"), unknown));
    EXPECT_EQ(unknown, "Size");
    EXPECT_EQ(p.real("thickness"), 9.0f);
    EXPECT_EQ(p.integer("size"), 32) << "nothing after the unknown key is applied";
}
