#include "imaging/picture_region.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "imaging/load_picture.h"
#include "imaging/transforms.h"
#include "platform/errors.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

Rect regionOf(int width, int height, const RegionRequest& request)
{
    if (request.aspectWidth > 0 && request.aspectHeight > 0)
        return aspectCropRect(width, height, request.aspectWidth, request.aspectHeight);
    return Rect{0, 0, width, height};
}

// Makes the region's new rows grey (in the buffer, which is ours) and
// passes them on.
void finishRows(const RegionRequest& request, RegionRowSink* sink, const PictureView& view, int first, int count)
{
    if (request.grey)
        for (int y = first; y < first + count; ++y)
            toGreyScaleRow(const_cast<std::uint8_t*>(view.row(y)), view.width);
    if (sink)
        sink->rows(view, first, count);
}

class JpegRegion final : public JpegRowReceiver {
public:
    JpegRegion(const RegionRequest& request, RegionRowSink* sink, DecodeBudget::Reservation& reservation)
        : request_(request), sink_(sink), reservation_(reservation), fileBytes_(reservation.bytes())
    {
    }

    Rect region(int width, int height) override
    {
        width_ = width;
        height_ = height;
        const Rect r = regionOf(width, height, request_);
        if (sink_)
            sink_->begin(r.width(), r.height());
        return r;
    }

    std::uint8_t* memory(std::size_t bufferBytes, std::uint64_t workingBytes) override
    {
        reservation_.resize(fileBytes_ + workingBytes, bufferBytes, pictureOfSize(width_, height_));
        return reservation_.buffer();
    }

    void rowsReady(const PictureView& view, int count) override
    {
        view_ = view;
        finishRows(request_, sink_, view, done_, count - done_);
        done_ = count;
    }

    const PictureView& view() const { return view_; }

private:
    const RegionRequest& request_;
    RegionRowSink* sink_;
    DecodeBudget::Reservation& reservation_;
    std::uint64_t fileBytes_;
    int width_ = 0, height_ = 0;
    int done_ = 0;
    PictureView view_;
};

// Rows handed on at a time from a picture decoded whole.
constexpr int kRowBatch = 16;

} // namespace

Picture DecodedRegion::toPicture() const
{
    Picture p;
    p.resizeUninitialized(view_.width, view_.height);
    const std::size_t rowBytes = static_cast<std::size_t>(view_.width) * 3;
    for (int y = 0; y < p.height(); ++y)
        std::memcpy(p.row(y), view_.row(y), rowBytes);
    return p;
}

DecodedRegion decodePictureRegion(const std::string& path, const RegionRequest& request, RegionRowSink* sink,
                                  DecodeBudget& budget)
{
    const PictureFormat format = namingFile(path, [&] { return pictureFormatFor(path); });
    DecodeBudget::Reservation reservation = budget.reserve(0);
    Bytes bytes = readPictureFile(path, reservation);
    return decodePictureRegion(path, format, std::move(bytes), std::move(reservation), request, sink);
}

DecodedRegion decodePictureRegion(const std::string& path, PictureFormat format, Bytes fileBytes,
                                  DecodeBudget::Reservation reservation, const RegionRequest& request,
                                  RegionRowSink* sink)
{
    DecodedRegion out;
    out.reservation_ = std::move(reservation);
    {
        const Bytes bytes = std::move(fileBytes);
        namingFile(path, [&] {
            if (format == PictureFormat::Jpeg) {
                JpegRegion receiver(request, sink, out.reservation_);
                decodeJpegRows(bytes.data(), bytes.size(), receiver);
                out.view_ = receiver.view();
                return;
            }
            decodeBmp(bytes.data(), bytes.size(), out.owned_, out.reservation_);
            const Rect r = regionOf(out.owned_.width(), out.owned_.height(), request);
            if (sink)
                sink->begin(r.width(), r.height());
            if (out.owned_.empty())
                return;
            out.view_ = PictureView(out.owned_.row(r.top) + static_cast<std::size_t>(r.left) * 3,
                                    out.owned_.stride(), r.width(), r.height());
            for (int y = 0; y < r.height(); y += kRowBatch)
                finishRows(request, sink, out.view_, y, std::min(kRowBatch, r.height() - y));
        });
    }
    // The file's bytes and the decoder's working memory are gone; the
    // pixels stay held.
    const std::uint64_t pixels = format == PictureFormat::Jpeg
                                     ? out.reservation_.bufferSize()
                                     : static_cast<std::uint64_t>(out.owned_.byteSize());
    out.reservation_.shrinkTo(pixels);
    return out;
}

} // namespace tw
