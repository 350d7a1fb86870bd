// The marker steps around JPEG files: APP13 keeps the resource blocks that are not IPTC, and the
// EXIF step replaces only the APP1 marker that holds EXIF (an XMP packet stays).
#include "imaging/io/iejpegmarkers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace imaging;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// One image-resource block: "8BIM", the id, an empty name, the size, the data padded to even.
Bytes Resource(std::uint16_t id, const Bytes& data)
{
    Bytes b = Text("8BIM");
    b.insert(b.end(), {std::uint8_t(id >> 8), std::uint8_t(id), 0, 0});
    const auto n = std::uint32_t(data.size());
    b.insert(b.end(), {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1)
        b.push_back(0);
    return b;
}

Bytes App13(const std::vector<Bytes>& blocks)
{
    Bytes b = Text("Photoshop 3.0");
    b.push_back(0);
    for (const Bytes& r : blocks)
        b.insert(b.end(), r.begin(), r.end());
    return b;
}

Bytes Marker(const TIOParamsVals& p, int index)
{
    const std::uint8_t* d = p.JPEGMarkerList.MarkerData(index);
    return Bytes(d, d + p.JPEGMarkerList.MarkerLength(index));
}

const Bytes kIptcRecord = {0x1C, 0x02, 0x78, 0x00, 0x03, 'o', 'l', 'd'};  // caption "old"
const Bytes kResolution = Resource(0x03ED, Bytes(16, 0x48));
const Bytes kThumbnail = Resource(0x040C, Bytes(5, 0x77));

TEST(JpegMarkers, IptcReplacesOnlyItsOwnResourceBlock)
{
    struct Case {
        const char* what;
        std::vector<Bytes> blocks;
        bool newRecords;
        std::vector<Bytes> kept;  // blocks that must survive, in order
        bool markerLeft;
    };
    const Case cases[] = {
        {"IPTC between others",
         {kResolution, Resource(0x0404, kIptcRecord), kThumbnail},
         true,
         {kResolution, kThumbnail},
         true},
        {"others only, new IPTC added", {kResolution}, true, {kResolution}, true},
        {"IPTC removed, others kept",
         {kResolution, Resource(0x0404, kIptcRecord)},
         false,
         {kResolution},
         true},
        {"IPTC alone removed with the marker", {Resource(0x0404, kIptcRecord)}, false, {}, false},
    };
    for (const Case& c : cases) {
        TIOParamsVals p(nullptr);
        p.JPEGMarkerList.AddMarker(kJpegApp13, App13(c.blocks).data(), std::uint16_t(App13(c.blocks).size()));
        p.IPTCInfoList.Clear();
        if (c.newRecords)
            p.IPTCInfoList.AddBufferItem(2, 0x78, "new", 3);
        ASSERT_TRUE(IEStoreIPTCMarker(p)) << c.what;
        const int index = p.JPEGMarkerList.IndexOf(kJpegApp13);
        ASSERT_EQ(index >= 0, c.markerLeft) << c.what;
        if (!c.markerLeft)
            continue;
        const Bytes marker = Marker(p, index);
        std::size_t at = 14;
        for (const Bytes& k : c.kept) {
            ASSERT_LE(at + k.size(), marker.size()) << c.what;
            EXPECT_EQ(Bytes(marker.begin() + at, marker.begin() + at + k.size()), k) << c.what;
            at += k.size();
        }
        IELoadIPTCMarker(p);
        ASSERT_EQ(p.IPTCInfoList.Count(), c.newRecords ? 1 : 0) << c.what;
        if (c.newRecords) {
            EXPECT_EQ(p.IPTCInfoList.Record(0).Data, Text("new")) << c.what;
        }
    }
}

TEST(JpegMarkers, ExifReplacesTheExifApp1AndLeavesXmp)
{
    const Bytes xmp = Text(std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta/>");
    Bytes oldExif = Text(std::string("Exif\0\0", 6) + "II*old");
    Bytes newExif = Text(std::string("Exif\0\0", 6) + "II*new!");
    for (bool hadExif : {true, false}) {
        TIOParamsVals p(nullptr);
        p.JPEGMarkerList.AddMarker(kJpegApp1, xmp.data(), std::uint16_t(xmp.size()));
        if (hadExif)
            p.JPEGMarkerList.AddMarker(kJpegApp1, oldExif.data(), std::uint16_t(oldExif.size()));
        ASSERT_TRUE(IEStoreEXIFMarker(p, newExif));
        EXPECT_EQ(p.JPEGMarkerList.Count(), 2);
        EXPECT_EQ(Marker(p, 0), xmp);
        EXPECT_EQ(IEFindEXIFMarker(p), 1);
        EXPECT_EQ(Marker(p, 1), newExif);
    }
    TIOParamsVals p(nullptr);
    EXPECT_FALSE(IEStoreEXIFMarker(p, xmp));  // not an EXIF block
    EXPECT_EQ(p.JPEGMarkerList.Count(), 0);
}

TEST(JpegMarkers, DamagedResourceBlocksAreNeitherReadPastNorKeptBeyondTheirEnd)
{
    Bytes truncated = App13({kResolution, Resource(0x0404, kIptcRecord)});
    truncated.resize(truncated.size() - 4);  // the IPTC block claims more than is there
    for (std::size_t n = 0; n <= truncated.size(); ++n) {
        TIOParamsVals p(nullptr);
        if (n)
            p.JPEGMarkerList.AddMarker(kJpegApp13, truncated.data(), std::uint16_t(n));
        IELoadIPTCMarker(p);
        EXPECT_EQ(p.IPTCInfoList.Count(), 0) << n;
        p.IPTCInfoList.AddBufferItem(2, 5, "t", 1);
        EXPECT_TRUE(IEStoreIPTCMarker(p)) << n;
        IELoadIPTCMarker(p);
        EXPECT_EQ(p.IPTCInfoList.Count(), 1) << n;
    }
}

}  // namespace
