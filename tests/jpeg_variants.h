#pragma once
// JPEG files of every kind the decoders meet, written with libjpeg directly:
// chroma subsampling 4:2:0, 4:2:2, 4:4:0, 4:1:1 and none, baseline and
// progressive, restart markers, greyscale, Adobe CMYK and YCCK. The program
// itself only ever writes baseline 4:2:0 colour files.
#include "imaging/picture.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace tw::test {

enum class JpegKind { Colour, Grey, Cmyk, Ycck };

struct JpegVariant {
    const char* name;
    JpegKind kind = JpegKind::Colour;
    int hSampling = 2, vSampling = 2;  // of the first component; the others 1 x 1
    bool progressive = false;
    int restartRows = 0;               // restart interval in MCU rows, 0 = none
    int quality = 90;
};

// Every variant worth decoding differently.
inline const std::vector<JpegVariant>& jpegVariants()
{
    static const std::vector<JpegVariant> all = {
        {"Baseline420", JpegKind::Colour, 2, 2, false, 0, 90},
        {"Baseline422", JpegKind::Colour, 2, 1, false, 0, 85},
        {"Baseline440", JpegKind::Colour, 1, 2, false, 0, 90},
        {"Baseline444", JpegKind::Colour, 1, 1, false, 0, 95},
        {"Baseline411", JpegKind::Colour, 4, 1, false, 0, 90},
        {"Progressive420", JpegKind::Colour, 2, 2, true, 0, 90},
        {"Progressive444", JpegKind::Colour, 1, 1, true, 0, 80},
        {"Restarts420", JpegKind::Colour, 2, 2, false, 1, 90},
        {"Grey", JpegKind::Grey, 1, 1, false, 0, 90},
        {"GreyProgressive", JpegKind::Grey, 1, 1, true, 0, 90},
        {"AdobeCmyk", JpegKind::Cmyk, 1, 1, false, 0, 90},
        {"AdobeYcck", JpegKind::Ycck, 2, 2, false, 0, 90},
    };
    return all;
}

// The picture compressed as the variant says. Grey files get the luma of
// each pixel; CMYK files the inverted inks Adobe writes.
inline Bytes encodeJpegVariant(const Picture& picture, const JpegVariant& v)
{
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(picture.width());
    c.image_height = JDIMENSION(picture.height());
    int components = 3;
    switch (v.kind) {
    case JpegKind::Colour:
        c.in_color_space = JCS_RGB;
        break;
    case JpegKind::Grey:
        c.in_color_space = JCS_GRAYSCALE;
        components = 1;
        break;
    case JpegKind::Cmyk:
    case JpegKind::Ycck:
        c.in_color_space = JCS_CMYK;
        components = 4;
        break;
    }
    c.input_components = components;
    jpeg_set_defaults(&c);
    if (v.kind == JpegKind::Cmyk)
        jpeg_set_colorspace(&c, JCS_CMYK);
    if (v.kind == JpegKind::Ycck)
        jpeg_set_colorspace(&c, JCS_YCCK);
    if (v.kind == JpegKind::Cmyk || v.kind == JpegKind::Ycck)
        c.write_Adobe_marker = TRUE;
    jpeg_set_quality(&c, v.quality, TRUE);
    if (v.kind != JpegKind::Grey) {
        c.comp_info[0].h_samp_factor = v.hSampling;
        c.comp_info[0].v_samp_factor = v.vSampling;
        for (int ci = 1; ci < c.num_components; ++ci)
            c.comp_info[ci].h_samp_factor = c.comp_info[ci].v_samp_factor = 1;
        if (v.kind == JpegKind::Ycck)
            c.comp_info[3].h_samp_factor = v.hSampling, c.comp_info[3].v_samp_factor = v.vSampling;
    }
    if (v.progressive)
        jpeg_simple_progression(&c);
    c.restart_in_rows = v.restartRows;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(picture.width()) * std::size_t(components));
    while (c.next_scanline < c.image_height) {
        const std::uint8_t* p = picture.row(int(c.next_scanline));
        for (int x = 0; x < picture.width(); ++x, p += 3) {
            JSAMPLE* o = row.data() + std::size_t(x) * std::size_t(components);
            if (components == 3) {
                o[0] = p[2];
                o[1] = p[1];
                o[2] = p[0];
            } else if (components == 1) {
                o[0] = JSAMPLE((p[2] * 299 + p[1] * 587 + p[0] * 114) / 1000);
            } else {
                // Inverted inks (Adobe): 255 = no ink. Black ink from the
                // darkest channel, so every ink varies.
                const int k = std::min({255 - p[2], 255 - p[1], 255 - p[0]});
                o[0] = JSAMPLE(255 - (255 - p[2] - k));
                o[1] = JSAMPLE(255 - (255 - p[1] - k));
                o[2] = JSAMPLE(255 - (255 - p[0] - k));
                o[3] = JSAMPLE(255 - k);
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

} // namespace tw::test
