// Command-line face of the BMP reader and writer for the peer suite (bmp_peers.py):
//   bmp_peer_tool read <in.bmp> <out.ppm> [io|runtime|dib]        exit 2 when the reader refuses
//   bmp_peer_tool write <in.ppm> <out.bmp> <bits> <version> <rle>  bits 1, 4, 8 or 24
// The three roads into a file: the I/O component's reader (the default), the runtime reader
// TBitmap goes through (a file sized from a stream, then decoded), and DIB import of the bytes
// after the file header.
#include "imaging/core/vodiradproc.h"
#include "imaging/io/bmpfilt.h"
#include "platform/rtl/BmpReader.h"
#include "tests/imaging/io/peer_tool_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace imaging;

namespace {

// False when the road refuses the file.
bool ReadWith(const std::string& road, rtl::TMemoryStream& file, TIEBitmap& bitmap)
{
    if (road == "runtime") {
        try {
            const std::vector<std::uint8_t> bytes = rtl::ReadBmpFile(file);
            const rtl::TBmpImage image = rtl::DecodeBmp(bytes.data(), bytes.size());
            bitmap.Allocate(image.Header.Width, image.Header.Height, ie24RGB);
            for (int y = 0; y < image.Header.Height; ++y)
                rtl::BmpRowToBgr(image.Header, image.Row(y), bitmap.ScanLine(y));
            return true;
        } catch (const rtl::EInvalidGraphic&) {
            return false;
        }
    }
    if (road == "dib") {
        const std::vector<std::uint8_t>& bytes = file.Bytes();
        return bytes.size() > 14 && DIBToBitmap(bytes.data() + 14, bytes.size() - 14, &bitmap) != 0;
    }
    TIOParamsVals params(nullptr);
    test::Progress progress;
    ReadBMPStream(file, &bitmap, 0, params, progress.record, false, false);
    return !progress.Aborted();
}

int ReadCommand(const char* in, const char* out, const std::string& road)
{
    rtl::TMemoryStream file;
    file.LoadFromFile(in);
    TIEBitmap bitmap;
    if (!ReadWith(road, file, bitmap))
        return 2;
    test::SavePpm(out, bitmap);
    return 0;
}

int WriteCommand(char** argv)
{
    TIEBitmap bitmap;
    std::unique_ptr<TIEBitmap> alpha;
    if (!test::LoadPnm(argv[2], bitmap, alpha))
        return 3;
    TIOParamsVals params(nullptr);
    const int bits = std::atoi(argv[4]);
    params.BitsPerSample = bits == 24 ? 8 : bits;
    params.SamplesPerPixel = bits == 24 ? 3 : 1;
    params.BMPVersion = std::uint8_t(std::atoi(argv[5]));
    params.BMPCompression = std::uint8_t(std::atoi(argv[6]));
    params.SetDpiX(72);
    params.SetDpiY(72);
    // Black-and-white and grey sources go in as the formats such pictures have: black and white at
    // 1 and 4 bits as the 1-bit format, grey at 4 and 8 bits as 8-bit grey.
    bool bw = true, grey = true;
    for (int y = 0; y < bitmap.GetHeight(); ++y)
        for (int x = 0; x < bitmap.GetWidth(); ++x) {
            const TRGB c = bitmap.GetPixel24(x, y);
            grey = grey && c.r == c.g && c.g == c.b;
            bw = bw && grey && (c.r == 0 || c.r == 255);
        }
    if (bw && (bits == 1 || bits == 4)) {
        // Bit for bit, white as 1: not through a conversion, whose threshold is its own business.
        TIEBitmap mono;
        mono.Allocate(bitmap.GetWidth(), bitmap.GetHeight(), ie1g);
        for (int y = 0; y < bitmap.GetHeight(); ++y)
            for (int x = 0; x < bitmap.GetWidth(); ++x)
                SetPixelBit(mono.ScanLine(y), x, bitmap.GetPixel24(x, y).r == 255);
        mono.MoveTo(&bitmap);
    } else if (grey && (bits == 4 || bits == 8))
        bitmap.SetPixelFormat(ie8g);
    return test::WriteToFile(argv[3], [&](rtl::TStream& out, TProgressRecord& progress) {
        WriteBMPStream(out, &bitmap, params, progress);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    return test::ToolMain("bmp_peer_tool", "read IN OUT [io|runtime|dib] | write IN OUT BITS VERSION RLE",
                          [&] {
                              if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "read") == 0)
                                  return ReadCommand(argv[2], argv[3], argc == 5 ? argv[4] : "io");
                              if (argc == 7 && std::strcmp(argv[1], "write") == 0)
                                  return WriteCommand(argv);
                              return -1;
                          });
}
