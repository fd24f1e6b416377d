#include "synth_pictures.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace tw::tools {

namespace {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb operator*(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }
Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

double clamp01(double t) { return t < 0 ? 0 : t > 1 ? 1 : t; }
double smooth(double t)
{
    t = clamp01(t);
    return t * t * (3 - 2 * t);
}
// Triangle wave of period 1 between 0 and 1: stands in for a sine in
// marbling and wood rings.
double triangle(double t)
{
    double f = t - std::floor(t);
    return f < 0.5 ? 2 * f : 2 - 2 * f;
}

// h in [0, 1) turns around the colour wheel; s and v in 0..1; result 0..255.
Rgb hsv(double h, double s, double v)
{
    h = h - std::floor(h);
    s = clamp01(s);
    v = clamp01(v);
    double hh = h * 6;
    int sector = static_cast<int>(hh);
    double f = hh - sector;
    double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    Rgb c;
    switch (sector % 6) {
    case 0: c = {v, t, p}; break;
    case 1: c = {q, v, p}; break;
    case 2: c = {p, v, t}; break;
    case 3: c = {p, q, v}; break;
    case 4: c = {t, p, v}; break;
    default: c = {v, p, q}; break;
    }
    return c * 255.0;
}

std::uint64_t mix64(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t hash2(std::int64_t x, std::int64_t y, std::uint64_t seed)
{
    return mix64(seed ^ (static_cast<std::uint64_t>(x) * 0x9E3779B185EBCA87ull) ^
                 (static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full));
}

double latticeValue(std::int64_t x, std::int64_t y, std::uint64_t seed)
{
    return static_cast<double>(hash2(x, y, seed) >> 11) * 0x1.0p-53;
}

// Smooth value noise in 0..1.
double valueNoise(double x, double y, std::uint64_t seed)
{
    double fx = std::floor(x), fy = std::floor(y);
    auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    double a = latticeValue(ix, iy, seed), b = latticeValue(ix + 1, iy, seed);
    double c = latticeValue(ix, iy + 1, seed), d = latticeValue(ix + 1, iy + 1, seed);
    double top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

// Fractal noise in 0..1: octaves of value noise, each twice as fine and half as strong.
double fbm(double x, double y, std::uint64_t seed, int octaves)
{
    double sum = 0, amplitude = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * valueNoise(x, y, seed + static_cast<std::uint64_t>(i) * 0x632BE59BD9B4E019ull);
        norm += amplitude;
        amplitude *= 0.5;
        x *= 2.03;
        y *= 2.03;
    }
    return sum / norm;
}

// Fraction of a pixel covered by the side of an edge at signed distance d
// (in pixels, positive inside): a one-pixel ramp instead of jagged edges.
double coverage(double d) { return clamp01(d + 0.5); }

// A scene paints colour at normalised coordinates u (0 left .. 1 right) and
// v (0 top .. 1 bottom). px is the size of one pixel in v units, for edges.
class Scene {
public:
    virtual ~Scene() = default;
    virtual Rgb shade(double u, double v) const = 0;
    double aspect = 1;  // width / height
    double px = 0.001;
};

class LandscapeScene : public Scene {
public:
    explicit LandscapeScene(SplitMix& rng, std::uint64_t seed) : seed_(seed)
    {
        double hue = rng.uniform(0.5, 0.7);
        skyTop_ = hsv(hue, rng.uniform(0.45, 0.8), rng.uniform(0.5, 0.9));
        skyLow_ = hsv(hue + rng.uniform(-0.05, 0.05), rng.uniform(0.1, 0.3), rng.uniform(0.85, 1.0));
        horizon_ = rng.uniform(0.35, 0.62);
        farHill_ = hsv(rng.uniform(0.55, 0.7), rng.uniform(0.2, 0.4), rng.uniform(0.35, 0.6));
        double groundHue = rng.uniform(0.08, 0.33);
        nearHill_ = hsv(groundHue, rng.uniform(0.4, 0.8), rng.uniform(0.3, 0.6));
        ground_ = hsv(groundHue + rng.uniform(-0.04, 0.04), rng.uniform(0.4, 0.8), rng.uniform(0.45, 0.8));
        cloudiness_ = rng.uniform(0.0, 0.6);
        sun_ = rng.uniform(0, 1) < 0.5;
        sunU_ = rng.uniform(0.15, 0.85);
        sunV_ = rng.uniform(0.08, horizon_ - 0.1);
        sunR_ = rng.uniform(0.03, 0.07);
        hillAmp_ = rng.uniform(0.08, 0.22);
    }
    Rgb shade(double u, double v) const override
    {
        double x = u * aspect;
        double ridgeFar = horizon_ - hillAmp_ * fbm(x * 2.5, 0.5, seed_ + 1, 4);
        double ridgeNear = horizon_ + 0.04 - hillAmp_ * 0.6 * fbm(x * 4.0, 7.5, seed_ + 2, 4);
        Rgb sky = mix(skyTop_, skyLow_, smooth(v / horizon_));
        if (sun_) {
            double dx = (u - sunU_) * aspect, dy = v - sunV_;
            double d2 = (dx * dx + dy * dy) / (sunR_ * sunR_);
            sky = mix(sky, Rgb{255, 246, 215}, 0.55 / (1 + 0.6 * d2));
            sky = mix(sky, Rgb{255, 252, 238}, coverage((1 - std::sqrt(d2)) * sunR_ / px));
        }
        if (cloudiness_ > 0.05) {
            double c = fbm(x * 3, v * 7, seed_ + 3, 5);
            sky = mix(sky, Rgb{248, 248, 250}, smooth((c - 0.55 + cloudiness_ * 0.3) * 3) * cloudiness_);
        }
        double tex = fbm(x * 24, v * 48, seed_ + 4, 4);
        Rgb hillFar = mix(farHill_, skyLow_, 0.25) * (0.85 + 0.3 * tex);
        Rgb hillNear = nearHill_ * (0.75 + 0.5 * tex);
        double depth = clamp01((v - horizon_) / (1 - horizon_));
        Rgb field = mix(ground_ * 0.8, ground_ * 1.15, depth) * (0.7 + 0.6 * fbm(x * 40, v * 90, seed_ + 5, 4));
        Rgb c = sky;
        c = mix(c, hillFar, coverage((v - ridgeFar) / px));
        c = mix(c, hillNear, coverage((v - ridgeNear) / px));
        c = mix(c, field, coverage((v - (horizon_ + 0.1)) / px) * 0.6 + 0.4 * smooth((v - horizon_ - 0.1) * 8));
        return c;
    }

private:
    std::uint64_t seed_;
    Rgb skyTop_, skyLow_, farHill_, nearHill_, ground_;
    double horizon_, cloudiness_, sunU_, sunV_, sunR_, hillAmp_;
    bool sun_;
};

class TownScene : public Scene {
public:
    struct Building {
        double left, right, top;
        Rgb colour;
        double windowW, windowH;
        std::uint64_t seed;
    };
    TownScene(SplitMix& rng, std::uint64_t seed) : seed_(seed)
    {
        double hue = rng.uniform(0.0, 1.0);
        night_ = rng.uniform(0, 1) < 0.35;
        skyTop_ = night_ ? hsv(0.65, 0.6, rng.uniform(0.08, 0.2)) : hsv(rng.uniform(0.52, 0.64), 0.55, 0.85);
        skyLow_ = night_ ? hsv(0.08, 0.5, rng.uniform(0.25, 0.45)) : hsv(rng.uniform(0.52, 0.64), 0.15, 0.97);
        street_ = rng.uniform(0.82, 0.92);
        int n = rng.between(6, 14);
        double x = -0.05;
        for (int i = 0; i < n && x < 1.0; ++i) {
            Building b;
            b.left = x;
            b.right = x + rng.uniform(0.06, 0.22);
            b.top = rng.uniform(0.15, 0.6);
            b.colour = hsv(hue + rng.uniform(-0.1, 0.1), rng.uniform(0.05, 0.35), rng.uniform(night_ ? 0.12 : 0.35, night_ ? 0.3 : 0.85));
            b.windowW = rng.uniform(0.012, 0.025);
            b.windowH = rng.uniform(0.02, 0.04);
            b.seed = rng.next();
            buildings_.push_back(b);
            x = b.right - rng.uniform(0.0, 0.03);
        }
    }
    Rgb shade(double u, double v) const override
    {
        Rgb c = mix(skyTop_, skyLow_, smooth(v / street_));
        for (const Building& b : buildings_) {
            double inside = std::min({(u - b.left) * aspect, (b.right - u) * aspect, v - b.top});
            double cov = coverage(inside / px);
            if (cov <= 0)
                continue;
            double shadeAcross = 0.8 + 0.35 * (u - b.left) / (b.right - b.left);
            Rgb wall = b.colour * shadeAcross * (0.9 + 0.2 * fbm(u * aspect * 60, v * 60, b.seed, 3));
            // Windows on a regular grid, some lit, some dark.
            double gx = (u - b.left) * aspect / (b.windowW * 2), gy = (v - b.top - 0.02) / (b.windowH * 1.8);
            if (gx > 0.3 && gy > 0) {
                auto col = static_cast<std::int64_t>(gx), row = static_cast<std::int64_t>(gy);
                double fx = gx - static_cast<double>(col), fy = gy - static_cast<double>(row);
                if (fx > 0.25 && fx < 0.75 && fy > 0.2 && fy < 0.8 && (b.right - u) * aspect > b.windowW) {
                    double lit = latticeValue(col, row, b.seed);
                    Rgb glass = night_ ? (lit > 0.45 ? Rgb{250, 215, 120} : Rgb{30, 32, 40})
                                       : mix(Rgb{70, 90, 120}, skyLow_, lit * 0.6);
                    wall = glass * (0.85 + 0.3 * fy);
                }
            }
            c = mix(c, wall, cov);
        }
        if (v > street_) {
            double t = (v - street_) / (1 - street_);
            Rgb road = Rgb{60, 60, 64} * (0.7 + 0.5 * t) * (0.8 + 0.4 * fbm(u * aspect * 120, v * 200, seed_ + 9, 3));
            c = mix(c, road, coverage((v - street_) / px));
        }
        return c;
    }

private:
    std::uint64_t seed_;
    bool night_;
    Rgb skyTop_, skyLow_;
    double street_;
    std::vector<Building> buildings_;
};

class StillLifeScene : public Scene {
public:
    struct Fruit {
        double u, v, rx, ry;
        Rgb colour;
    };
    StillLifeScene(SplitMix& rng, std::uint64_t seed) : seed_(seed)
    {
        double hue = rng.uniform(0, 1);
        wallA_ = hsv(hue, rng.uniform(0.1, 0.4), rng.uniform(0.3, 0.8));
        wallB_ = hsv(hue + rng.uniform(-0.1, 0.1), rng.uniform(0.1, 0.4), rng.uniform(0.2, 0.6));
        table_ = rng.uniform(0.55, 0.75);
        wood_ = hsv(rng.uniform(0.05, 0.11), rng.uniform(0.5, 0.8), rng.uniform(0.35, 0.7));
        int n = rng.between(3, 8);
        for (int i = 0; i < n; ++i) {
            Fruit f;
            f.rx = rng.uniform(0.05, 0.14);
            f.ry = f.rx * rng.uniform(0.8, 1.25);
            f.u = rng.uniform(0.1, 0.9);
            f.v = table_ + rng.uniform(-0.05, 0.15) - f.ry * 0.7;
            f.colour = hsv(rng.uniform(0, 1), rng.uniform(0.55, 0.95), rng.uniform(0.55, 0.95));
            fruits_.push_back(f);
        }
        std::sort(fruits_.begin(), fruits_.end(), [](const Fruit& a, const Fruit& b) { return a.v < b.v; });
    }
    Rgb shade(double u, double v) const override
    {
        double x = u * aspect;
        Rgb c = mix(wallA_, wallB_, smooth(u * 0.7 + v * 0.5)) * (0.92 + 0.16 * fbm(x * 8, v * 8, seed_, 4));
        if (v > table_ - px) {
            double grain = triangle(v * 9 + fbm(x * 1.5, v * 30, seed_ + 1, 4) * 3);
            Rgb wood = wood_ * (0.75 + 0.35 * grain) * (0.9 + 0.2 * fbm(x * 90, v * 20, seed_ + 2, 3));
            c = mix(c, wood, coverage((v - table_) / px));
        }
        for (const Fruit& f : fruits_) {
            // Soft shadow on the table, then the fruit with a highlight.
            double sx = (u - f.u - f.rx * 0.25) * aspect / (f.rx * 1.3), sy = (v - f.v - f.ry * 0.75) / (f.ry * 0.35);
            double sd = sx * sx + sy * sy;
            if (sd < 1)
                c = c * (0.55 + 0.45 * sd);
            double dx = (u - f.u) * aspect / f.rx, dy = (v - f.v) / f.ry;
            double d2 = dx * dx + dy * dy;
            if (d2 < 1.2) {
                double hx = dx + 0.35, hy = dy + 0.4;
                double light = clamp01(1 - 0.45 * (hx * hx + hy * hy));
                Rgb body = f.colour * (0.35 + 0.75 * light);
                body = mix(body, Rgb{255, 255, 250}, smooth((0.05 - (hx * hx + hy * hy) * 0.25) * 20) * 0.8);
                double edge = (1 - std::sqrt(d2)) * std::min(f.rx, f.ry) / px;
                c = mix(c, body, coverage(edge));
            }
        }
        return c;
    }

private:
    std::uint64_t seed_;
    Rgb wallA_, wallB_, wood_;
    double table_;
    std::vector<Fruit> fruits_;
};

class TextureScene : public Scene {
public:
    TextureScene(SplitMix& rng, std::uint64_t seed) : seed_(seed)
    {
        double hue = rng.uniform(0, 1);
        a_ = hsv(hue, rng.uniform(0.1, 0.7), rng.uniform(0.15, 0.5));
        b_ = hsv(hue + rng.uniform(-0.08, 0.08), rng.uniform(0.1, 0.6), rng.uniform(0.55, 0.95));
        c_ = hsv(hue + rng.uniform(-0.3, 0.3), rng.uniform(0.2, 0.8), rng.uniform(0.3, 0.9));
        style_ = rng.between(0, 2);
        scale_ = rng.uniform(2, 6);
        cu_ = rng.uniform(-0.5, 1.5);
        cv_ = rng.uniform(-0.5, 1.5);
    }
    Rgb shade(double u, double v) const override
    {
        double x = u * aspect * scale_, y = v * scale_;
        double n = fbm(x, y, seed_, 5);
        double t;
        if (style_ == 0) {  // marble
            t = triangle(x * 0.6 + y * 0.3 + n * 4);
        } else if (style_ == 1) {  // wood rings around a far centre
            double dx = (u - cu_) * aspect, dy = v - cv_;
            t = triangle(std::sqrt(dx * dx + dy * dy) * scale_ * 6 + n * 2.5);
        } else {  // stone
            t = smooth((n - 0.3) * 2.5);
        }
        Rgb base = mix(a_, b_, t);
        base = mix(base, c_, smooth((fbm(x * 0.5, y * 0.5, seed_ + 7, 3) - 0.55) * 4) * 0.5);
        return base * (0.85 + 0.3 * fbm(x * 12, y * 12, seed_ + 3, 3));
    }

private:
    std::uint64_t seed_;
    Rgb a_, b_, c_;
    int style_;
    double scale_, cu_, cv_;
};

class FieldScene : public Scene {
public:
    struct Flower {
        double u, v, r;
        Rgb colour;
    };
    FieldScene(SplitMix& rng, std::uint64_t seed) : seed_(seed)
    {
        horizon_ = rng.uniform(0.0, 0.35);
        sky_ = hsv(rng.uniform(0.5, 0.65), rng.uniform(0.2, 0.6), rng.uniform(0.7, 1.0));
        grass_ = hsv(rng.uniform(0.2, 0.36), rng.uniform(0.45, 0.85), rng.uniform(0.3, 0.7));
        double hue = rng.uniform(0, 1);
        int n = rng.between(25, 60);
        for (int i = 0; i < n; ++i) {
            Flower f;
            f.v = rng.uniform(horizon_ + 0.05, 1.0);
            f.u = rng.uniform(0, 1);
            f.r = (0.008 + 0.05 * (f.v - horizon_)) * rng.uniform(0.7, 1.3);
            f.colour = hsv(hue + rng.uniform(-0.08, 0.08), rng.uniform(0.5, 1.0), rng.uniform(0.7, 1.0));
            flowers_.push_back(f);
        }
        std::sort(flowers_.begin(), flowers_.end(), [](const Flower& a, const Flower& b) { return a.v < b.v; });
    }
    Rgb shade(double u, double v) const override
    {
        double x = u * aspect;
        Rgb c = sky_ * (0.9 + 0.15 * v);
        double blades = fbm(x * 160, v * 18, seed_, 3);
        double depth = clamp01((v - horizon_) / (1 - horizon_ + 1e-9));
        Rgb grass = grass_ * (0.55 + 0.6 * blades) * (0.8 + 0.4 * depth) * (0.9 + 0.2 * fbm(x * 6, v * 6, seed_ + 1, 3));
        c = mix(c, grass, coverage((v - horizon_ - 0.02 * fbm(x * 10, 0, seed_ + 2, 3)) / px));
        for (const Flower& f : flowers_) {
            double dx = (u - f.u) * aspect, dy = v - f.v;
            double d2 = (dx * dx + dy * dy) / (f.r * f.r);
            if (d2 > 1.3)
                continue;
            double centre = smooth((0.12 - d2) * 12);
            Rgb petal = f.colour * (0.75 + 0.3 * (1 - d2));
            petal = mix(petal, Rgb{240, 190, 40}, centre);
            c = mix(c, petal, coverage((1 - std::sqrt(d2)) * f.r / px));
        }
        return c;
    }

private:
    std::uint64_t seed_;
    double horizon_;
    Rgb sky_, grass_;
    std::vector<Flower> flowers_;
};

class SunsetScene : public Scene {
public:
    SunsetScene(SplitMix& rng, std::uint64_t seed) : seed_(seed)
    {
        horizon_ = rng.uniform(0.45, 0.7);
        top_ = hsv(rng.uniform(0.68, 0.8), rng.uniform(0.4, 0.7), rng.uniform(0.25, 0.5));
        mid_ = hsv(rng.uniform(0.92, 1.02), rng.uniform(0.4, 0.7), rng.uniform(0.6, 0.85));
        low_ = hsv(rng.uniform(0.05, 0.12), rng.uniform(0.6, 0.9), rng.uniform(0.85, 1.0));
        sunU_ = rng.uniform(0.2, 0.8);
        sunR_ = rng.uniform(0.04, 0.09);
        land_ = rng.uniform(0, 1) < 0.6;
    }
    Rgb sky(double u, double v) const
    {
        double t = clamp01(v / horizon_);
        Rgb c = t < 0.6 ? mix(top_, mid_, smooth(t / 0.6)) : mix(mid_, low_, smooth((t - 0.6) / 0.4));
        double dx = (u - sunU_) * aspect, dy = v - (horizon_ - sunR_ * 0.6);
        double d2 = (dx * dx + dy * dy) / (sunR_ * sunR_);
        c = mix(c, Rgb{255, 230, 160}, 0.6 / (1 + 0.4 * d2));
        c = mix(c, Rgb{255, 240, 200}, coverage((1 - std::sqrt(d2)) * sunR_ / px));
        double streak = fbm(u * aspect * 2, v * 14, seed_ + 1, 4);
        c = mix(c, mid_ * 0.8, smooth((streak - 0.58) * 5) * 0.6 * (1 - t));
        return c;
    }
    Rgb shade(double u, double v) const override
    {
        if (v < horizon_) {
            Rgb c = sky(u, v);
            if (land_) {
                double ridge = horizon_ - 0.08 * fbm(u * aspect * 3, 0.3, seed_ + 2, 4);
                c = mix(c, Rgb{25, 18, 30}, coverage((v - ridge) / px));
            }
            return c;
        }
        // Water: the sky mirrored, broken by ripples, darker with depth.
        double depth = (v - horizon_) / (1 - horizon_ + 1e-9);
        double ripple = (fbm(u * aspect * 3, v * 80, seed_ + 3, 4) - 0.5) * 0.05 * (0.3 + depth);
        double mv = std::max(0.0, 2 * horizon_ - v);
        Rgb c = sky(u + ripple, mv) * (0.75 - 0.3 * depth);
        return c * (0.9 + 0.2 * fbm(u * aspect * 40, v * 300, seed_ + 4, 3));
    }

private:
    std::uint64_t seed_;
    double horizon_, sunU_, sunR_;
    Rgb top_, mid_, low_;
    bool land_;
};

std::unique_ptr<Scene> makeScene(SceneKind kind, SplitMix& rng, std::uint64_t seed)
{
    switch (kind) {
    case SceneKind::Landscape: return std::make_unique<LandscapeScene>(rng, seed);
    case SceneKind::Town: return std::make_unique<TownScene>(rng, seed);
    case SceneKind::StillLife: return std::make_unique<StillLifeScene>(rng, seed);
    case SceneKind::Texture: return std::make_unique<TextureScene>(rng, seed);
    case SceneKind::Field: return std::make_unique<FieldScene>(rng, seed);
    case SceneKind::Sunset: return std::make_unique<SunsetScene>(rng, seed);
    }
    return std::make_unique<LandscapeScene>(rng, seed);
}

std::uint8_t toByte(double value)
{
    value = std::floor(value + 0.5);
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Exposure, a gentle vignette and sensor grain, as a camera would add.
void develop(const Scene& scene, Picture& picture, std::uint64_t seed, double exposure, double warmth, double grain)
{
    const int w = picture.width(), h = picture.height();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = picture.row(y);
        double v = (y + 0.5) / h;
        for (int x = 0; x < w; ++x) {
            double u = (x + 0.5) / w;
            Rgb c = scene.shade(u, v);
            double du = u - 0.5, dv = v - 0.5;
            double vignette = 1 - 0.35 * (du * du + dv * dv);
            c = c * (exposure * vignette);
            c.r *= 1 + warmth;
            c.b *= 1 - warmth;
            std::uint64_t n = hash2(x, y, seed ^ 0xA5A5A5A5A5A5A5A5ull);
            double p0 = static_cast<double>(n & 0xFFFF), p1 = static_cast<double>((n >> 16) & 0xFFFF);
            double p2 = static_cast<double>((n >> 32) & 0xFFFF), p3 = static_cast<double>(n >> 48);
            // Three uniforms summed: roughly normal with standard deviation 0.5.
            double luma = ((p0 + p1 + p2) / 65535.0 - 1.5) * 2 * grain;
            double chroma = (p3 / 65535.0 - 0.5) * grain * 0.8;
            row[3 * x + 0] = toByte(c.b + luma - chroma);
            row[3 * x + 1] = toByte(c.g + luma);
            row[3 * x + 2] = toByte(c.r + luma + chroma);
        }
    }
}

} // namespace

const char* sceneKindName(SceneKind kind)
{
    switch (kind) {
    case SceneKind::Landscape: return "landscape";
    case SceneKind::Town: return "town";
    case SceneKind::StillLife: return "stilllife";
    case SceneKind::Texture: return "texture";
    case SceneKind::Field: return "field";
    case SceneKind::Sunset: return "sunset";
    }
    return "picture";
}

SceneKind sceneKindForSeed(std::uint64_t seed)
{
    return static_cast<SceneKind>(mix64(seed * 0x2545F4914F6CDD1Dull) % kSceneKindCount);
}

Picture makePhoto(const PhotoRecipe& recipe)
{
    SplitMix rng(recipe.seed);
    std::unique_ptr<Scene> scene = makeScene(recipe.kind, rng, rng.next());
    scene->aspect = static_cast<double>(recipe.width) / recipe.height;
    scene->px = 1.0 / recipe.height;
    double exposure = rng.uniform(0.6, 1.2);
    double warmth = rng.uniform(-0.08, 0.08);
    Picture picture(recipe.width, recipe.height);
    develop(*scene, picture, rng.next(), exposure, warmth, recipe.grain);
    return picture;
}

namespace {

// The sample main picture's scene: sunset lake, hills, a house and a tree.
class SampleMainScene : public Scene {
public:
    Rgb shade(double u, double v) const override
    {
        const double horizon = 0.58;
        auto skyAt = [&](double su, double sv) {
            double t = clamp01(sv / horizon);
            Rgb c = t < 0.55 ? mix(Rgb{40, 60, 140}, Rgb{200, 90, 120}, smooth(t / 0.55))
                             : mix(Rgb{200, 90, 120}, Rgb{255, 170, 60}, smooth((t - 0.55) / 0.45));
            double dx = su - 0.68, dy = sv - 0.47;
            double d2 = (dx * dx + dy * dy) / (0.075 * 0.075);
            c = mix(c, Rgb{255, 220, 150}, 0.5 / (1 + 0.5 * d2));
            c = mix(c, Rgb{255, 245, 210}, coverage((1 - std::sqrt(d2)) * 0.075 / px));
            double cloud = fbm(su * 3, sv * 12, 11, 4);
            c = mix(c, Rgb{120, 60, 110}, smooth((cloud - 0.6) * 5) * 0.7 * (1 - t));
            return c;
        };
        Rgb c;
        if (v < horizon) {
            c = skyAt(u, v);
            double ridgeFar = horizon - 0.05 - 0.12 * fbm(u * 2.2, 0.2, 21, 4);
            c = mix(c, Rgb{70, 50, 95}, coverage((v - ridgeFar) / px));
            double ridgeNear = horizon - 0.02 - 0.1 * smooth((0.45 - u) * 3) - 0.03 * fbm(u * 6, 0.9, 22, 3);
            Rgb hill = Rgb{45, 80, 40} * (0.8 + 0.4 * fbm(u * 40, v * 40, 23, 3));
            c = mix(c, hill, coverage((v - ridgeNear) / px));
        } else {
            double depth = (v - horizon) / (1 - horizon);
            double ripple = (fbm(u * 3, v * 90, 31, 4) - 0.5) * 0.04 * (0.3 + depth);
            c = skyAt(u + ripple, 2 * horizon - v) * (0.7 - 0.3 * depth);
            c = c * (0.9 + 0.2 * fbm(u * 50, v * 300, 32, 3));
            // Near shore along the bottom left.
            double shore = 0.9 - 0.25 * smooth((0.5 - u) * 2.5) + 0.02 * fbm(u * 12, 0, 33, 3);
            Rgb sand = Rgb{150, 120, 80} * (0.8 + 0.4 * fbm(u * 80, v * 80, 34, 3));
            c = mix(c, sand, coverage((v - shore) / px));
        }
        // The house on the near hill: walls, roof, door and a lit window.
        const double wl = 0.14, wr = 0.3, wt = 0.47, wb = 0.6;
        double wall = std::min({u - wl, wr - u, v - wt, wb - v});
        c = mix(c, Rgb{225, 205, 170} * (0.85 + 0.2 * (u - wl) / (wr - wl)), coverage(wall / px));
        // Roof: a triangle above the walls.
        double roofTop = 0.38, roofL = 0.12, roofR = 0.32;
        double half = (roofR - roofL) / 2, mid = roofL + half;
        double roofInside = std::min(wt + 0.005 - v, (v - roofTop) - std::abs(u - mid) * (wt - roofTop) / half);
        c = mix(c, Rgb{160, 40, 35} * (0.8 + 0.3 * fbm(u * 60, v * 60, 41, 3)), coverage(roofInside / px * 0.7));
        double door = std::min({u - 0.2, 0.235 - u, v - 0.53, wb - v});
        c = mix(c, Rgb{90, 55, 30}, coverage(door / px));
        double window = std::min({u - 0.255, 0.285 - u, v - 0.5, 0.54 - v});
        c = mix(c, Rgb{255, 215, 110}, coverage(window / px));
        // The tree: trunk and a crown of three overlapping discs.
        double trunk = std::min({u - 0.375, 0.395 - u, v - 0.46, 0.62 - v});
        c = mix(c, Rgb{85, 60, 35}, coverage(trunk / px));
        const double crown[3][3] = {{0.385, 0.40, 0.07}, {0.35, 0.44, 0.05}, {0.42, 0.44, 0.05}};
        for (const auto& disc : crown) {
            double dx = u - disc[0], dy = v - disc[1];
            double d = std::sqrt(dx * dx + dy * dy);
            double light = clamp01(1 - ((dx + 0.02) * (dx + 0.02) + (dy + 0.03) * (dy + 0.03)) / (disc[2] * disc[2]));
            Rgb leaves = Rgb{40, 110, 45} * (0.6 + 0.5 * light) * (0.8 + 0.4 * fbm(u * 90, v * 90, 51, 3));
            c = mix(c, leaves, coverage((disc[2] - d) / px));
        }
        return c;
    }
};

} // namespace

Picture makeSampleMain(int size)
{
    SampleMainScene scene;
    scene.aspect = 1;
    scene.px = 1.0 / size;
    Picture picture(size, size);
    develop(scene, picture, 0x5EED, 1.0, 0.0, 2.0);
    return picture;
}

} // namespace tw::tools
