// IPTC and EXIF markers of JPEG files.
#include "imaging/io/iejpegmarkers.h"

#include "platform/rtl/Endian.h"

#include <cstring>
#include <optional>

namespace imaging {

namespace {

constexpr char kPhotoshop[] = "Photoshop 3.0";  // and its NUL: 14 bytes
constexpr std::size_t kPhotoshopSize = sizeof kPhotoshop;
constexpr std::uint16_t kIptcResource = 0x0404;
constexpr std::size_t kMaxSegment = 65533;
constexpr std::uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};

struct TResource {
    std::uint16_t id = 0;
    const std::uint8_t* begin = nullptr;  // the whole block, from "8BIM"
    std::size_t size = 0;
    const std::uint8_t* data = nullptr;
    std::size_t dataSize = 0;
};

// The resource blocks of an APP13 payload; nothing when it is not an image-resource marker. A
// block that runs past the payload ends the list.
std::optional<std::vector<TResource>> Resources(const std::uint8_t* p, std::size_t n)
{
    if (n < kPhotoshopSize || std::memcmp(p, kPhotoshop, kPhotoshopSize) != 0)
        return std::nullopt;
    std::vector<TResource> blocks;
    std::size_t at = kPhotoshopSize;
    while (n - at >= 12 && std::memcmp(p + at, "8BIM", 4) == 0) {
        TResource r;
        r.begin = p + at;
        r.id = rtl::LoadBE16(p + at + 4);
        std::size_t name = 1 + std::size_t(p[at + 6]);
        name += name & 1;
        std::size_t sizeAt = at + 6 + name;
        if (sizeAt + 4 > n)
            break;
        r.dataSize = rtl::LoadBE32(p + sizeAt);
        r.data = p + sizeAt + 4;
        if (r.dataSize > n - sizeAt - 4)
            break;
        const std::size_t end = sizeAt + 4 + r.dataSize + (r.dataSize & 1);
        r.size = std::min(end, n) - at;
        blocks.push_back(r);
        at = std::min(end, n);
    }
    return blocks;
}

}  // namespace

bool IEStoreIPTCMarker(TIOParamsVals& Params)
{
    TIEMarkerList& markers = Params.JPEGMarkerList;
    const int index = markers.IndexOf(kJpegApp13);
    std::vector<std::uint8_t> kept;
    if (index >= 0) {
        const std::uint8_t* p = markers.MarkerData(index);
        const auto blocks = Resources(p, std::size_t(markers.MarkerLength(index)));
        if (blocks)
            for (const TResource& r : *blocks)
                if (r.id != kIptcResource)
                    kept.insert(kept.end(), r.begin, r.begin + r.size);
    }
    // The list's own buffer carries the header and one IPTC block.
    const std::vector<std::uint8_t> iptc = Params.IPTCInfoList.SaveToStandardBuffer(true);
    std::vector<std::uint8_t> payload(kPhotoshop, kPhotoshop + kPhotoshopSize);
    payload.insert(payload.end(), kept.begin(), kept.end());
    if (!iptc.empty())
        payload.insert(payload.end(), iptc.begin() + kPhotoshopSize, iptc.end());
    if (payload.size() > kMaxSegment)
        return false;
    if (kept.empty() && iptc.empty()) {
        if (index >= 0)
            markers.DeleteMarker(index);
        return true;
    }
    if (index >= 0)
        markers.SetMarker(index, kJpegApp13, payload.data(), std::uint16_t(payload.size()));
    else
        markers.AddMarker(kJpegApp13, payload.data(), std::uint16_t(payload.size()));
    return true;
}

int IEFindEXIFMarker(const TIOParamsVals& Params)
{
    const TIEMarkerList& markers = Params.JPEGMarkerList;
    for (int i = 0; i < markers.Count(); ++i)
        if (markers.MarkerType(i) == kJpegApp1 && markers.MarkerLength(i) >= int(sizeof kExifHeader) &&
            std::memcmp(markers.MarkerData(i), kExifHeader, sizeof kExifHeader) == 0)
            return i;
    return -1;
}

bool IEStoreEXIFMarker(TIOParamsVals& Params, const std::vector<std::uint8_t>& Block)
{
    if (Block.size() > kMaxSegment || Block.size() < sizeof kExifHeader ||
        std::memcmp(Block.data(), kExifHeader, sizeof kExifHeader) != 0)
        return false;
    const int index = IEFindEXIFMarker(Params);
    if (index >= 0)
        Params.JPEGMarkerList.SetMarker(index, kJpegApp1, Block.data(), std::uint16_t(Block.size()));
    else
        Params.JPEGMarkerList.AddMarker(kJpegApp1, Block.data(), std::uint16_t(Block.size()));
    return true;
}

void IELoadIPTCMarker(TIOParamsVals& Params)
{
    const TIEMarkerList& markers = Params.JPEGMarkerList;
    const int index = markers.IndexOf(kJpegApp13);
    Params.IPTCInfoList.Clear();
    if (index < 0)
        return;
    const auto blocks = Resources(markers.MarkerData(index), std::size_t(markers.MarkerLength(index)));
    if (!blocks)
        return;
    for (const TResource& r : *blocks)
        if (r.id == kIptcResource) {
            Params.IPTCInfoList.LoadFromStandardBuffer(r.data, std::int64_t(r.dataSize));
            return;
        }
}

}  // namespace imaging
