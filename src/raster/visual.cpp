// Message building for the extraction items; nothing is built while the sink discards.
#include "raster/visual.hpp"

#include "core/buffers.hpp"
#include "migration/image.hpp"

namespace ZELK {

namespace {

template <typename T>
void sendTyped(const VS::Context& context, const Signal<2, T>& signal,
               Migration::TypeDescriptor type) {
    if (!context.active())
        return;
    Migration::ImageMetadata meta;
    meta.width = signal.width();
    meta.height = signal.height();
    meta.channels = 1;
    meta.type = type;
    const BorrowConstBuffer data(reinterpret_cast<const std::uint8_t*>(signal.data()),
                                 checkedU32(checkedMul(signal.count(), sizeof(T))));
    context.sendImage(data, meta);
}

} // namespace

void sendSignal(const VS::Context& context, const Signal<2, unsigned char>& signal) {
    if (context.active())
        context.sendGrey(signal.data(), signal.width(), signal.height());
}

void sendSignal(const VS::Context& context, const Signal<2, short>& signal) {
    sendTyped(context, signal, {16, Migration::TypeDescriptor::TwoComplement, false});
}

void sendSignal(const VS::Context& context, const Signal<2, float>& signal) {
    sendTyped(context, signal, {32, Migration::TypeDescriptor::FloatingPoint, false});
}

void sendMask(const VS::Context& context, const BinarySignal<2, unsigned>& mask) {
    if (!context.active())
        return;
    Signal<2, unsigned char> image(mask.sizes());
    for (unsigned y = 0; y < mask.height(); ++y)
        for (unsigned x = 0; x < mask.width(); ++x)
            image(x, y) = mask.get(x, y) ? 255 : 0;
    sendSignal(context, image);
}

void sendHistogram(const VS::Context& context, const std::uint32_t* counts, std::uint32_t bins) {
    if (!context.active())
        return;
    Signal<2, std::uint32_t> line(Tuple<2, unsigned>(bins, 1u));
    std::copy_n(counts, bins, line.data());
    sendTyped(context, line, {32, Migration::TypeDescriptor::Unsigned, false});
}

void sendClosedPolyline(const VS::Context& context, const std::vector<Point<2, float>>& points) {
    if (!context.active() || points.empty())
        return;
    VS::Visualize::Overlay overlay;
    std::vector<VS::OverlayPoint> polyline;
    for (const auto& p : points)
        polyline.push_back({p[0], p[1]});
    polyline.push_back({points[0][0], points[0][1]});
    overlay.add(polyline);
    context.sendOverlay(overlay);
}

void sendPointOverlay(const VS::Context& context, const std::vector<Point<2, float>>& points) {
    if (!context.active())
        return;
    VS::Visualize::Overlay overlay;
    for (const auto& p : points)
        overlay.add({{p[0], p[1]}});
    context.sendOverlay(overlay);
}

} // namespace ZELK
