#include "screen_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gui_harness.h"

Rgb ScreenImage::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
    size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

std::optional<ScreenImage> parsePpm(const std::string& bytes) {
    int width = 0, height = 0, maxValue = 0, header = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &width, &height, &maxValue, &header) != 3 || maxValue <= 0 ||
        maxValue > 65535 || width <= 0 || height <= 0)
        return std::nullopt;
    size_t start = static_cast<size_t>(header) + 1, samples = static_cast<size_t>(width) * height * 3;
    size_t sampleBytes = maxValue > 255 ? 2 : 1;
    if (bytes.size() < start + samples * sampleBytes) return std::nullopt;
    ScreenImage image{width, height, std::vector<uint8_t>(samples)};
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + start);
    for (size_t i = 0; i < samples; ++i) {
        long value = sampleBytes == 2 ? (p[2 * i] << 8 | p[2 * i + 1]) : p[i];
        image.rgb[i] = static_cast<uint8_t>((value * 255 + maxValue / 2) / maxValue);
    }
    return image;
}

std::optional<ScreenImage> takeScreenshot(const VirtualDisplay& display) {
    return parsePpm(display.run("xwd -root -silent | xwdtopnm"));
}

bool looksLike(Rgb pixel, float r, float g, float b, int tolerance) {
    auto near = [tolerance](int value, float channel) {
        return std::abs(value - static_cast<int>(std::lround(channel * 255.0f))) <= tolerance;
    };
    return near(pixel.r, r) && near(pixel.g, g) && near(pixel.b, b);
}

BodyView findBody(const ScreenImage& image, int windowLeft, int windowTop) {
    // The unlit colours the box is drawn in.
    static const float boxColours[4][3] = {
        {0.44f, 0.53f, 0.62f}, {0.14f, 0.23f, 0.48f}, {0.44f, 0.43f, 0.62f}, {0.44f, 0.43f, 0.52f}};
    BodyView view;
    view.top = view.left = 1 << 30;
    view.bottom = view.right = -1;
    double sumX = 0, sumY = 0;
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 600; ++x) {
            Rgb pixel = image.at(windowLeft + x, windowTop + y);
            if (pixel.r < 10 && pixel.g < 10 && pixel.b < 10) continue;
            if (pixel.r >= 250 && pixel.g >= 250 && pixel.b >= 250) {
                ++view.whitePixels;
                continue;
            }
            bool box = std::any_of(std::begin(boxColours), std::end(boxColours),
                                   [&](const float* c) { return looksLike(pixel, c[0], c[1], c[2]); });
            if (box) continue;
            ++view.pixels;
            sumX += x;
            sumY += y;
            view.top = std::min(view.top, y);
            view.bottom = std::max(view.bottom, y);
            view.left = std::min(view.left, x);
            view.right = std::max(view.right, x);
        }
    }
    if (view.pixels > 0) {
        view.centreX = sumX / view.pixels;
        view.centreY = sumY / view.pixels;
    }
    return view;
}
