#pragma once
// Screenshots of the virtual screen and what the demo's window shows in them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct VirtualDisplay;

struct Rgb {
    int r = 0, g = 0, b = 0;
};

struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // 8 bits per channel, rows top to bottom

    Rgb at(int x, int y) const;
};

// Parses a binary PPM (P6), 8 or 16 bits per channel; nullopt when malformed.
std::optional<ScreenImage> parsePpm(const std::string& bytes);
// The whole screen through xwd and xwdtopnm.
std::optional<ScreenImage> takeScreenshot(const VirtualDisplay& display);

// Within `tolerance` in every channel of the colour (r, g, b) given as 0..1 floats
// the way the program passes them to OpenGL.
bool looksLike(Rgb pixel, float r, float g, float b, int tolerance = 3);

// The body as seen in the 600 × 600 window whose top left is at (left, top):
// every pixel that is neither black, a box colour nor the drag line's white.
// Coordinates are relative to the window.
struct BodyView {
    int pixels = 0;
    double centreX = 0, centreY = 0;
    int top = 0, bottom = 0, left = 0, right = 0;
    int whitePixels = 0;  // the drag line
};
BodyView findBody(const ScreenImage& image, int windowLeft, int windowTop);
