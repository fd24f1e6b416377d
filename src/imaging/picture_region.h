#pragma once
// One pass over a picture file for analysis: only the part of the picture
// that is wanted (the centred region of an aspect), optionally turned grey,
// decoded into a buffer of the decode budget and handed on row by row while
// each row is still in the cache. The pixels are exactly those of
// loadPicture followed by the crop (aspectCropRect) and toGreyScale.
#include "imaging/decode_budget.h"
#include "imaging/load_picture.h"
#include "imaging/picture.h"
#include "platform/files.h"

#include <string>

namespace tw {

struct RegionRequest {
    // Both positive: keep the centred region of aspect
    // aspectWidth : aspectHeight (as cropToAspect cuts it); otherwise the
    // whole picture.
    int aspectWidth = 0;
    int aspectHeight = 0;
    // Turn the region grey (toGreyScale).
    bool grey = false;
};

// Told about the region as it is decoded.
class RegionRowSink {
public:
    virtual ~RegionRowSink() = default;
    // Once, before any row: the region's size (0 x 0 for an empty picture).
    virtual void begin(int width, int height) = 0;
    // Rows [first, first + count) of the region are final in view.
    virtual void rows(const PictureView& view, int first, int count) = 0;
};

// The decoded region; its pixels live as long as the object (their memory
// is held in the decode budget until then).
class DecodedRegion {
public:
    DecodedRegion() = default;
    DecodedRegion(DecodedRegion&&) noexcept = default;
    DecodedRegion& operator=(DecodedRegion&&) noexcept = default;

    const PictureView& view() const { return view_; }
    // A copy of the region as a picture of its own.
    Picture toPicture() const;

private:
    friend DecodedRegion decodePictureRegion(const std::string&, PictureFormat, Bytes, DecodeBudget::Reservation,
                                             const RegionRequest&, RegionRowSink*);
    DecodeBudget::Reservation reservation_;
    Picture owned_;  // the whole decoded picture, for readers that make one
    PictureView view_;
};

// Reads and decodes the file at path (chosen by extension as loadPicture
// chooses) keeping only the requested region, calling sink (when given) as
// rows become final. Fails as loadPicture fails, with the same texts and
// the file named; a picture larger than the budget allows is refused
// before its pixels are allocated.
DecodedRegion decodePictureRegion(const std::string& path, const RegionRequest& request, RegionRowSink* sink,
                                  DecodeBudget& budget = sharedDecodeBudget());

// The same from the file's bytes, already read with readPictureFile into
// reservation (which keeps holding the pixels), and the reader that
// pictureFormatFor(path) chose; path only names the file in errors. The
// pixels are exactly those the file at path gives when it holds bytes.
DecodedRegion decodePictureRegion(const std::string& path, PictureFormat format, Bytes bytes,
                                  DecodeBudget::Reservation reservation, const RegionRequest& request,
                                  RegionRowSink* sink);

} // namespace tw
