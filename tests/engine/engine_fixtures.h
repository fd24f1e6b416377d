#pragma once
// Shared helpers of the engine tests: an observer that records what the
// stages report, settings and projects built in one line, grid pictures and
// signatures made directly, and library folders of small picture files.
#include "engine/observer.h"
#include "engine/project.h"
#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "imaging/picture.h"
#include "imaging/signature.h"
#include "library/cell_pic_lib.h"
#include "jpeg_variants.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tw::test {

// ---------------------------------------------------------------- observer

// Records every report of a stage as one event, in order.
class RecordingObserver final : public ProgressObserver {
public:
    enum class Kind { Label, Progress, Pump };
    struct Event {
        Kind kind;
        std::string text;  // Label
        int value = 0;     // Progress
        friend bool operator==(const Event&, const Event&) = default;
    };

    void setJobLabel(const std::string& text) override { events.push_back({Kind::Label, text, 0}); }
    void setProgress(int value) override { events.push_back({Kind::Progress, {}, value}); }
    void pump() override
    {
        events.push_back({Kind::Pump, {}, 0});
        if (onPump)
            onPump();
    }

    // Runs inside pump(), like a window handler nested in a stage.
    std::function<void()> onPump;
    std::vector<Event> events;

    std::vector<std::string> labels() const
    {
        std::vector<std::string> out;
        for (const Event& e : events)
            if (e.kind == Kind::Label)
                out.push_back(e.text);
        return out;
    }
    std::vector<int> gauges() const
    {
        std::vector<int> out;
        for (const Event& e : events)
            if (e.kind == Kind::Progress)
                out.push_back(e.value);
        return out;
    }
    int pumpCount() const
    {
        int n = 0;
        for (const Event& e : events)
            n += e.kind == Kind::Pump;
        return n;
    }
    // The events that follow the label text (up to the next label), for
    // checking one stage of a pipeline run.
    std::vector<Event> stageEvents(const std::string& label) const
    {
        std::vector<Event> out;
        bool in = false;
        for (const Event& e : events) {
            if (e.kind == Kind::Label) {
                if (in)
                    break;
                in = e.text == label;
                continue;
            }
            if (in)
                out.push_back(e);
        }
        return out;
    }
    // "L:<text> P:<n> U" tokens separated by blanks, for readable failures.
    std::string transcript() const
    {
        std::ostringstream s;
        for (const Event& e : events) {
            if (e.kind == Kind::Label)
                s << "L:" << e.text << ' ';
            else if (e.kind == Kind::Progress)
                s << "P:" << e.value << ' ';
            else
                s << "U ";
        }
        return s.str();
    }
    void clear() { events.clear(); }
};

// ---------------------------------------------------------------- settings

// The settings the New Project wizard starts with (48 x 48 cells of 32 x 32
// pixels, standard mode, loom, random level 4, enhance 50, use-all, crop
// cells, both flips, radius 4, max repeat 10 not limited, no border).
inline tmosaicproject wizardDefaults()
{
    tmosaicproject s;
    s.cellsX = 48;
    s.cellsY = 48;
    s.cellWidth = 32;
    s.cellHeight = 32;
    s.mosaicWidth = s.cellsX * s.cellWidth;
    s.mosaicHeight = s.cellsY * s.cellHeight;
    s.dpi = 72;
    s.widthInch = double(s.mosaicWidth) / s.dpi;
    s.heightInch = double(s.mosaicHeight) / s.dpi;
    s.widthCm = s.widthInch * 2.54;
    s.heightCm = s.heightInch * 2.54;
    s.renderMode = RenderMode::Standard;
    s.stitchMode = StitchMode::Loom;
    s.randomLevel = 4;
    s.colorEnhance = 50;
    s.useAllPhotos = 1;
    s.cropCell = 1;
    s.monoCell = 0;
    s.allowHFlip = 1;
    s.allowVFlip = 1;
    s.repeatRadius = 4;
    s.limitRepeat = 0;
    s.maxRepeat = 10;
    s.repeatLimitOff = 0;
    s.borderSize = 0;
    s.borderColor = 0;
    return s;
}

// Wizard defaults with the grid and cell size replaced (mosaic size kept
// consistent).
inline tmosaicproject gridSettings(int cellsX, int cellsY, int cellWidth = 8, int cellHeight = 8)
{
    tmosaicproject s = wizardDefaults();
    s.cellsX = cellsX;
    s.cellsY = cellsY;
    s.cellWidth = cellWidth;
    s.cellHeight = cellHeight;
    s.mosaicWidth = cellsX * cellWidth;
    s.mosaicHeight = cellsY * cellHeight;
    return s;
}

// A project is large (the grid alone is 12.8 MB): keep it on the heap.
inline std::unique_ptr<MosaicProject> makeProject(const tmosaicproject& settings = wizardDefaults())
{
    auto p = std::make_unique<MosaicProject>();
    p->settings = settings;
    p->viewScale = 1;
    p->toolMode = ToolMode::Hand;
    return p;
}

// ---------------------------------------------------------------- pictures

// A picture whose pixel (x, y) is f(x, y).
inline Picture patternPicture(int w, int h, const std::function<Bgr(int, int)>& f)
{
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, f(x, y));
    return p;
}

// A picture where every pixel is distinct enough to follow it through moves:
// blue = x, green = y, red = a small hash of both.
inline Picture coordinatePicture(int w, int h)
{
    return patternPicture(w, h, [](int x, int y) {
        return Bgr{std::uint8_t(x & 0xFF), std::uint8_t(y & 0xFF), std::uint8_t((x * 7 + y * 13) & 0xFF)};
    });
}

// Sets GridImage to 2 cellsX x 2 cellsY pixels with pixel (px, py) = f(px, py),
// as if the grid stage had run.
inline void makeGridImage(MosaicProject& project, const std::function<Bgr(int, int)>& f)
{
    project.GridImage = patternPicture(2 * project.settings.cellsX, 2 * project.settings.cellsY, f);
}

// Sets the four grid pixels of cell (x, y): top-left, top-right, bottom-left,
// bottom-right.
inline void setCellPixels(MosaicProject& project, int x, int y, Bgr tl, Bgr tr, Bgr bl, Bgr br)
{
    Picture& g = project.GridImage;
    g.setPixel(2 * x, 2 * y, tl);
    g.setPixel(2 * x + 1, 2 * y, tr);
    g.setPixel(2 * x, 2 * y + 1, bl);
    g.setPixel(2 * x + 1, 2 * y + 1, br);
}

// ---------------------------------------------------------------- signatures

inline SignatureColor sigColor(Bgr c) { return SignatureColor{c.b, c.g, c.r, signatureLuma(c.r, c.g, c.b)}; }

// A signature with the four quadrants given and their floor mean.
inline ColorSignature signatureOf(Bgr tl, Bgr tr, Bgr bl, Bgr br)
{
    ColorSignature s;
    s.c[TopLeft] = sigColor(tl);
    s.c[TopRight] = sigColor(tr);
    s.c[BottomLeft] = sigColor(bl);
    s.c[BottomRight] = sigColor(br);
    Bgr m{std::uint8_t((tl.b + tr.b + bl.b + br.b) / 4), std::uint8_t((tl.g + tr.g + bl.g + br.g) / 4),
          std::uint8_t((tl.r + tr.r + bl.r + br.r) / 4)};
    s.c[Mean] = sigColor(m);
    return s;
}

inline ColorSignature uniformSignature(Bgr c) { return signatureOf(c, c, c, c); }

// A cell sample (luma bytes 0, as the grid reader leaves them).
inline CellSample sampleOf(Bgr tl, Bgr tr, Bgr bl, Bgr br)
{
    CellSample s = signatureOf(tl, tr, bl, br);
    for (SignatureColor& c : s.c)
        c.luma = 0;
    return s;
}

// Writes the signatures into table entries 0..n-1 with usage 0.
inline void fillTable(MosaicProject& project, const std::vector<ColorSignature>& signatures)
{
    for (std::size_t i = 0; i < signatures.size(); ++i) {
        project.CellPicTable[i].signature = signatures[i];
        project.CellPicTable[i].usageCount = 0;
        project.CellPicTable[i].reserved = 0;
    }
}

// A library of n entries whose paths are never opened (matching reads only
// the count and the table).
inline CellPicLib pathOnlyLibrary(std::size_t n)
{
    CellPicLib lib;
    for (std::size_t i = 0; i < n; ++i)
        lib.append("/nonexistent/picture" + std::to_string(i) + ".bmp");
    return lib;
}

// ---------------------------------------------------------------- files

// Jpeg is what the program writes (baseline 4:2:0); the others are the
// kinds of JPEG file cameras and other programs write.
enum class FileKind { Bmp, Jpeg, GreyJpeg, CmykJpeg, ProgressiveJpeg, Jpeg422, Jpeg444 };

// Writes picture as a .bmp or .jpg file named base in folder; returns its path.
inline std::string writePictureFile(const std::filesystem::path& folder, const std::string& base,
                                    const Picture& picture, FileKind kind = FileKind::Bmp)
{
    std::filesystem::path path = folder / (base + (kind == FileKind::Bmp ? ".bmp" : ".jpg"));
    const auto variant = [&](const char* name) {
        for (const JpegVariant& v : jpegVariants())
            if (std::string(v.name) == name)
                return v;
        return jpegVariants().front();
    };
    auto write = [&](const JpegVariant& v) {
        const Bytes bytes = encodeJpegVariant(picture, v);
        std::FILE* f = std::fopen(path.string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    };
    switch (kind) {
    case FileKind::Bmp:
        saveBmp(picture, path.string());
        break;
    case FileKind::Jpeg:
        saveJpeg(picture, path.string(), 95);
        break;
    case FileKind::GreyJpeg:
        write(variant("Grey"));
        break;
    case FileKind::CmykJpeg:
        write(variant("AdobeCmyk"));
        break;
    case FileKind::ProgressiveJpeg:
        write(variant("Progressive420"));
        break;
    case FileKind::Jpeg422:
        write(variant("Baseline422"));
        break;
    case FileKind::Jpeg444:
        write(variant("Baseline444"));
        break;
    }
    return path.string();
}

// A fresh scratch folder holding one w x h solid picture per colour, named
// pic000, pic001, ...; the library lists them in that order.
inline CellPicLib makeSolidLibrary(const std::string& scratchName, const std::vector<Bgr>& colors, int w = 16,
                                   int h = 16, FileKind kind = FileKind::Bmp)
{
    std::filesystem::path dir = scratchDir(scratchName);
    CellPicLib lib;
    for (std::size_t i = 0; i < colors.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "pic%03zu", i);
        lib.append(writePictureFile(dir, name, solidPicture(w, h, colors[i]), kind));
    }
    return lib;
}

// A left-to-right gradient from one colour to another, w x h.
inline Picture gradientPicture(int w, int h, Bgr from, Bgr to)
{
    return patternPicture(w, h, [&](int x, int) {
        auto mix = [&](std::uint8_t a, std::uint8_t b) {
            return std::uint8_t(w <= 1 ? a : a + (int(b) - int(a)) * x / (w - 1));
        };
        return Bgr{mix(from.b, to.b), mix(from.g, to.g), mix(from.r, to.r)};
    });
}

// A fresh scratch folder holding n gradient pictures of varied colours
// (deterministic), named pic000...; the library lists them in order.
inline CellPicLib makeGradientLibrary(const std::string& scratchName, int n, int w = 24, int h = 16,
                                      FileKind kind = FileKind::Bmp)
{
    std::filesystem::path dir = scratchDir(scratchName);
    CellPicLib lib;
    for (int i = 0; i < n; ++i) {
        Bgr from{std::uint8_t((i * 37) & 0xFF), std::uint8_t((i * 71 + 40) & 0xFF), std::uint8_t((i * 113 + 90) & 0xFF)};
        Bgr to{std::uint8_t(255 - from.r), std::uint8_t(255 - from.b), std::uint8_t(255 - from.g)};
        char name[32];
        std::snprintf(name, sizeof name, "pic%03d", i);
        lib.append(writePictureFile(dir, name, gradientPicture(w, h, from, to), kind));
    }
    return lib;
}

// ---------------------------------------------------------------- grid checks

// How many cells of the used grid area hold picture p (placed cells only).
inline int cellsHolding(const MosaicProject& project, int p)
{
    int n = 0;
    for (int x = 0; x < project.settings.cellsX; ++x)
        for (int y = 0; y < project.settings.cellsY; ++y) {
            const MosaicCell& c = project.MosaicGrid.at(x, y);
            n += c.placed && c.picture == p;
        }
    return n;
}

inline int placedCells(const MosaicProject& project)
{
    int n = 0;
    for (int x = 0; x < project.settings.cellsX; ++x)
        for (int y = 0; y < project.settings.cellsY; ++y)
            n += project.MosaicGrid.at(x, y).placed != 0;
    return n;
}

} // namespace tw::test
