// The conditioning part of line extraction: median, top-hat and local-mean subtraction of the
// grey image, each with its status line, leaving the signed filtered image.
#include "app/stages.hpp"
#include "extract/conditioning.hpp"
#include "extract/filters.hpp"
#include "extract/visual.hpp"

namespace ZELK {

void conditionForExtraction(RunContext& context, Signal<2, short>& filtered) {
    Signal<2, unsigned char>& grey = context.grey;
    const unsigned medianSize = context.medianSize.value;
    if (medianSize != 0) {
        context.status.begin("Median filtering");
        medianFilter(grey, Tuple<2, unsigned>(medianSize, medianSize), grey);
        context.status.end(true);
    }

    if (context.topHat.given) {
        context.status.begin("Top-hat filtering");
        topHatTransform(grey);
        context.status.end(true);
    }

    const unsigned meanSize = context.localMeanSize.value;
    if (meanSize == 0) {
        filtered.resize(grey.sizes());
        std::copy_n(grey.data(), grey.count(), filtered.data());
    } else {
        context.status.begin("Subtracting local mean");
        // Outside a found sheet the desk would pull the mean of the sheet's margin; it is
        // replaced by the mean of the sheet's own border first.
        Signal<2, unsigned char> source;
        const bool filled = context.backgroundFound &&
                            fillOutsideWithBorderMean(grey, context.backgroundMask, source);
        subtractLocalMean(filled ? source : grey, Tuple<2, unsigned>(meanSize, meanSize), filtered);
        context.status.end(true);
        sendSignal(context.visualizationRoot.child("Image zero local mean"), filtered);
    }
    sendSignal(context.visualizationRoot.child("Image filtered"), filtered);
}

} // namespace ZELK
