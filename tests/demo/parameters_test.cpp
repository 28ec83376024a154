// Demo parameters and figures: typed reads, presets, the refusals that keep user-typed values
// drawable (exact messages), the request text, and the figure catalogue.
#include "demo/parameters.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/exceptions.hpp"
#include "support/message_of.hpp"
#include "demo/catalogue.hpp"
#include "demo/render.hpp"

using ZELK::Parameters;

namespace {

std::string refusal(std::initializer_list<std::pair<const char*, const char*>> overrides) {
    Parameters p = ZELK::defaultDemoParameters();
    for (const auto& [key, value] : overrides)
        p.set(key, value);
    return messageOf<ZELK::Exception>([&] {
        ZELK::applyDemoPresets(p);
        ZELK::DemoSettings::from(p);
    });
}

} // namespace

TEST(DemoParameters, TypedReadsPresetsRefusalsAndOverrides) {
    Parameters p = ZELK::defaultDemoParameters();
    p.set("colour", "7fD0d080"); // only the low 24 bits are a colour
    p.set("quality", "acceptable");
    p.set("coloring", "whiteboard");
    p.set("noise", 0.0f);
    ZELK::applyDemoPresets(p);
    EXPECT_EQ(p.color("colour"), (ZELK::Color{208 / 255.0f, 208 / 255.0f, 128 / 255.0f}));
    EXPECT_EQ(p.color("colorstroke"), (ZELK::Color{16 / 255.0f, 128 / 255.0f, 16 / 255.0f}));
    EXPECT_EQ(p.real("noise"), 0.25f) << "presets overwrite the user's values";
    EXPECT_EQ(messageOf<ZELK::NotFoundException<std::string>>([&] { p.text("missing"); }),
              "Could not find missing in demo parameters. ");

    // Quality is checked first; its message keeps the historic list, without "geometrical".
    EXPECT_EQ(refusal({{"quality", "Poor"}, {"coloring", "y"}}),
              "Poor is not <empty>, poor or acceptable. ");
    EXPECT_EQ(refusal({{"coloring", "true"}}), "true is not <empty>, whiteboard, postit or rgb. ");
    EXPECT_EQ(refusal({{"size", "8193"}}), "size=8193 is not a size from 1 to 8192 pixels. ");
    EXPECT_EQ(refusal({{"thickness", "-0.5"}}),
              "thickness=-0.5 is not a thickness of 0 or more pixels. ");
    EXPECT_EQ(refusal({{"clutter", "1.01"}}),
              "clutter=1.01 is not a clutter amount of at most 1. ");
    EXPECT_EQ(refusal({{"thickness", "1e99"}}), "Failed to convert \"1e99\" to float.");
    EXPECT_EQ(refusal({{"colorstroke", "ghost"}}), "Failed to convert \"ghost\" to unsigned int.");

    // Overrides of a request stop at the first unknown key, which is reported.
    p = ZELK::defaultDemoParameters();
    std::string unknown;
    EXPECT_FALSE(ZELK::applyDemoOverrides(
        p, ZELK::DemoRequest::parse("x,thickness=9,Size=1,size=2"), unknown));
    EXPECT_EQ(unknown, "Size");
    EXPECT_EQ(p.real("thickness"), 9.0f);
    EXPECT_EQ(p.integer("size"), 256) << "nothing after the unknown key is applied";
}

TEST(DemoCatalogue, FiguresInCatalogueOrderWithTheirSegmentAndStrokeCounts) {
    std::string found;
    for (const std::string& name : ZELK::demoFigureNames()) {
        ZELK::DemoDrawing d;
        EXPECT_TRUE(ZELK::findDemoFigure(name, d));
        found += name + " " + std::to_string(d.segments().size()) + "/" +
                 std::to_string(d.strokeCount()) + " ";
    }
    EXPECT_EQ(found, "diagonal 1/1 double 2/2 L 2/1 plus 2/2 X 2/2 asterisk 3/3 T 2/2 square 4/1 "
                     "circle 16/1 wave 10/1 wobbly 170/5 spiral 33/1 gaps 7/7 ");
}
