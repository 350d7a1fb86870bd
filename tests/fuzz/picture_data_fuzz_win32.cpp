// Fuzz target (Windows code, replayed under Wine with generated copies): the stored picture data of
// window descriptions, as the form reader hands it to a picture ("Picture.Data"), a bitmap
// ("Bitmap.Data") or one of the image library's pictures. The first byte picks which. What reads
// is drawn, written and read again; a framed block is read to its end and no further.
#include "app/Units.h"
#include "imaging/io/iegraphic_win32.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/Units.h"
#include "platform/win/Graphics.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// A length-framed block: after a successful read the stream stands right after it.
void CheckFraming(const std::uint8_t* data, std::size_t size, rtl::TStream& stream)
{
    if (size < 4)
        return;
    const auto length =
        static_cast<std::int32_t>(data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24);
    const std::int64_t end = length > 0 ? 4 + std::int64_t(length) : 4;
    if (stream.Position() != end)
        std::abort();
}

void Exercise(win::TGraphic& graphic)
{
    win::TBitmap canvas;
    canvas.SetPixelFormat(win::pf24bit);
    canvas.SetWidth(16);
    canvas.SetHeight(12);
    if (graphic.Width() > 0 && graphic.Height() > 0)
        graphic.Draw(*canvas.Canvas(), win::TRect(0, 0, 16, 12));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const rtl::TUnitScope units(app::UnitTable());
    if (size < 1 || size > (1u << 20))
        return 0;
    const std::uint8_t mode = data[0] % 3;
    ++data;
    --size;
    try {
        rtl::TReadOnlyMemoryStream in(data, static_cast<std::int64_t>(size));
        rtl::TMemoryStream out;
        switch (mode) {
        case 0: {
            win::TPicture picture;
            picture.ReadData(in);
            if (win::TGraphic* g = picture.Graphic())
                Exercise(*g);
            picture.WriteData(out);
            out.SetPosition(0);
            win::TPicture again;
            again.ReadData(out);
            if ((picture.Graphic() == nullptr) != (again.Graphic() == nullptr))
                std::abort();
            break;
        }
        case 1: {
            win::TBitmap bitmap;
            bitmap.ReadData(in);
            CheckFraming(data, size, in);
            Exercise(bitmap);
            bitmap.WriteData(out);
            out.SetPosition(0);
            win::TBitmap again;
            again.ReadData(out);
            if (again.Width() != bitmap.Width() || again.Height() != bitmap.Height())
                std::abort();
            break;
        }
        default: {
            imaging::TIEBMPImage image;
            image.ReadData(in);
            CheckFraming(data, size, in);
            Exercise(image);
            image.WriteData(out);
            out.SetPosition(0);
            imaging::TIEBMPImage again;
            again.ReadData(out);
            break;
        }
        }
    } catch (const rtl::Exception&) {
        // A clear refusal is the sound answer to bad data.
    }
    return 0;
}
