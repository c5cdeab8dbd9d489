#include "images.h"

#include <cmath>

namespace {

Colour mixColour(Colour a, Colour b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, 1.0};
}

void addLight(Colour &c, Colour light, double amount)
{
    c.r += light.r * amount;
    c.g += light.g * amount;
    c.b += light.b * amount;
}

} // namespace

Picture drawNightSky(int width, int height)
{
    Picture sky = makePicture(width, height, {0, 0, 0, 1});
    // The picture is stretched to 800 x 600: one image pixel is sx by sy screen pixels.
    double sx = 800.0 / width, sy = 600.0 / height;
    const Colour zenith{0.010, 0.022, 0.095, 1}, middle{0.035, 0.085, 0.250, 1}, horizon{0.17, 0.29, 0.52, 1};
    const Colour aurora{0.12, 0.85, 0.50, 1}, moonGlow{0.30, 0.38, 0.60, 1};
    const double moonX = 0.79 * width, moonY = 0.19 * height, moonRadius = 30.0;  // screen pixels

    for (int y = 0; y < height; ++y) {
        double v = (y + 0.5) / height;
        Colour base = v < 0.55 ? mixColour(zenith, middle, smoothStep(0.0, 0.55, v))
                               : mixColour(middle, horizon, smoothStep(0.55, 1.0, v));
        for (int x = 0; x < width; ++x) {
            Colour c = base;
            // Aurora: a bright lower seam with faint rays rising from it.
            double u = (x + 0.5) / width;
            double seam = 0.36 + 0.07 * std::sin(u * 7.5 + 0.8) + 0.03 * std::sin(u * 17.0 + 2.0);
            double d = v - seam;
            // Curtains: brightest along a wavering seam, rays fading upwards, a soft glow below.
            double band = d < 0 ? std::exp(d / 0.09) : std::exp(-(d / 0.06) * (d / 0.06)) * 0.7 + 0.3 * std::exp(-d / 0.02);
            double rays = 0.35 + 0.65 * valueNoise(u * 140.0, 7u) * (0.6 + 0.4 * valueNoise(u * 23.0, 9u));
            double fade = smoothStep(0.02, 0.3, u) * (1.0 - smoothStep(0.6, 0.92, u));
            addLight(c, aurora, 0.13 * band * rays * fade);
            // Moon glow.
            double dx = (x + 0.5 - moonX) * sx, dy = (y + 0.5 - moonY) * sy;
            double r = std::sqrt(dx * dx + dy * dy);
            addLight(c, moonGlow, 0.45 * std::exp(-r / (moonRadius * 2.2)));
            pixelAt(sky, x, y) = c;
        }
    }

    // Stars, denser high up, fading into the haze at the horizon.
    Random random{424242u};
    for (int i = 0; i < 520; ++i) {
        double x = randomBetween(random, 0, width);
        double y = std::pow(nextRandom(random), 1.5) * height * 0.9;
        double bright = std::pow(nextRandom(random), 2.2) * 0.9 + 0.12;
        double size = nextRandom(random) < 0.08 ? 1.1 : 0.6;  // a few bright, larger ones
        double dxMoon = (x - moonX) * sx, dyMoon = (y - moonY) * sy;
        if (std::sqrt(dxMoon * dxMoon + dyMoon * dyMoon) < moonRadius * 2.5)
            continue;
        bright *= 1.0 - smoothStep(0.35, 0.75, y / height);
        Colour tint = nextRandom(random) < 0.3 ? Colour{1.0, 0.9, 0.75, 1} : Colour{0.85, 0.92, 1.0, 1};
        for (int py = int(y) - 3; py <= int(y) + 3; ++py)
            for (int px = int(x) - 3; px <= int(x) + 3; ++px) {
                if (px < 0 || py < 0 || px >= width || py >= height)
                    continue;
                double ddx = (px + 0.5 - x) * sx, ddy = (py + 0.5 - y) * sy;
                double g = std::exp(-(ddx * ddx + ddy * ddy) / (2.0 * size * size * 1.6));
                addLight(pixelAt(sky, px, py), tint, bright * g);
            }
    }

    // The moon: a pale disc with darker seas, anti-aliased at its rim.
    struct Sea {
        double x, y, r, depth;
    };
    const Sea seas[] = {{-0.32, -0.22, 0.38, 0.07}, {-0.05, -0.38, 0.22, 0.05}, {0.28, -0.05, 0.34, 0.06},
                        {0.12, 0.38, 0.30, 0.05}, {-0.38, 0.28, 0.20, 0.04}, {0.45, 0.40, 0.15, 0.04}};
    for (int y = int(moonY - moonRadius / sy) - 2; y <= int(moonY + moonRadius / sy) + 2; ++y)
        for (int x = int(moonX - moonRadius / sx) - 2; x <= int(moonX + moonRadius / sx) + 2; ++x) {
            int inside = 0;
            double shade = 0.0;
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 4; ++i) {
                    double dx = (x + (i + 0.5) / 4 - moonX) * sx / moonRadius;
                    double dy = (y + (j + 0.5) / 4 - moonY) * sy / moonRadius;
                    if (dx * dx + dy * dy >= 1.0)
                        continue;
                    ++inside;
                    double s = 1.0;
                    for (const Sea &sea : seas) {
                        double ex = dx - sea.x, ey = dy - sea.y;
                        s -= sea.depth * (1.0 - smoothStep(sea.r * 0.2, sea.r, std::sqrt(ex * ex + ey * ey)));
                    }
                    shade += s * (1.0 - 0.12 * (dx + dy));  // lit from the upper left
                }
            if (inside == 0)
                continue;
            double cover = inside / 16.0;
            Colour &c = pixelAt(sky, x, y);
            double s = shade / inside;
            Colour moon{0.95 * s, 0.94 * s, 0.86 * s, 1};
            c = mixColour(c, moon, cover);
        }

    for (Colour &c : sky.pixels) {
        c.r = std::fmin(c.r, 1.0);
        c.g = std::fmin(c.g, 1.0);
        c.b = std::fmin(c.b, 1.0);
        c.a = 1.0;
    }
    return sky;
}
