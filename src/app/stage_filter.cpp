// The filtering part of line extraction: median and top-hat filtering of a copy of the grey
// image and local-mean subtraction, each with its status line, leaving the signed filtered
// image for segmentation.
#include "app/stages.hpp"
#include "raster/filters.hpp"
#include "raster/visual.hpp"
#include "strokes/enhance.hpp"

namespace ZELK {

void filterForSegmentation(RunContext& context, Signal<2, short>& filtered) {
    Signal<2, unsigned char>& grey = context.extraction.filteredGrey;
    const unsigned medianSize = context.options.medianSize.value;
    if (medianSize != 0) {
        context.status.begin("Median filtering");
        medianFilter(context.input.grey, Tuple<2, unsigned>(medianSize, medianSize), grey);
        context.status.end(true);
    } else {
        grey = context.input.grey;
    }

    if (context.options.topHat.given) {
        context.status.begin("Top-hat filtering");
        topHatTransform(grey);
        context.status.end(true);
    }

    const unsigned meanSize = context.options.localMeanSize.value;
    if (meanSize == 0) {
        filtered.resize(grey.sizes());
        std::copy_n(grey.data(), grey.count(), filtered.data());
    } else {
        context.status.begin("Subtracting local mean");
        // Outside a found sheet the desk would pull the mean of the sheet's margin; it is
        // replaced by the mean of the sheet's own border first.
        Signal<2, unsigned char> source;
        const bool filled = context.background.corners &&
                            fillOutsideWithBorderMean(grey, context.background.mask, source);
        subtractLocalMean(filled ? source : grey, Tuple<2, unsigned>(meanSize, meanSize), filtered);
        context.status.end(true);
        sendSignal(context.visualizationRoot.child("Image zero local mean"), filtered);
    }
    sendSignal(context.visualizationRoot.child("Image filtered"), filtered);
}

} // namespace ZELK
