// Command-line face of the PNG reader and writer for the peer suite (png_peers.py):
//   png_peer_tool read <in.png> <out.pam> [native] [blend]     exit 2 when the reader aborts
//   png_peer_tool write <in.pnm> <out.png> <samples> <bits> <interlaced> [format=8p|8g|16g|32f|1g]
//                 [filter=N] [dpi=N] [background=RRGGBB]
// The read prints what the parameters say (key=value lines); the PAM holds the pixels in 24 bits
// and the alpha mask (255 where the reader gave none).
#include "imaging/io/pngfilt.h"
#include "imaging/io/pngfiltw.h"
#include "tests/imaging/io/peer_tool_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace imaging;

namespace {

int ReadCommand(int argc, char** argv)
{
    bool native = false, blend = false;
    for (int i = 4; i < argc; ++i) {
        native = native || std::strcmp(argv[i], "native") == 0;
        blend = blend || std::strcmp(argv[i], "blend") == 0;
    }
    rtl::TMemoryStream file;
    file.LoadFromFile(argv[2]);
    TIEBitmap bitmap;
    TIOParamsVals params(nullptr);
    params.NativePixelFormat = native;
    params.PNGBackground = TRGB{0x33, 0x22, 0x11};
    test::Progress progress;
    std::unique_ptr<TIEMask> mask;
    ReadPNGStream(file, &bitmap, params, progress.record, mask, blend, false);
    if (progress.Aborted())
        return 2;
    std::unique_ptr<TIEBitmap> alpha;
    if (mask && !mask->Full) {
        alpha = TIEBitmap::CreateAlpha(mask->Width(), mask->Height(), ieMemory);
        alpha->CopyFromTIEMask(mask.get());
    }
    std::printf(
        "format=%d\nbits=%d\nsamples=%d\ndpix=%d\ndpiy=%d\ninterlaced=%d\ncolormap=%d\n"
        "background=%02x%02x%02x\nmask=%s\n",
        int(bitmap.GetPixelFormat()), params.BitsPerSample, params.SamplesPerPixel, params.DpiX, params.DpiY,
        params.PNGInterlaced, params.ColorMapCount(), params.PNGBackground.r, params.PNGBackground.g,
        params.PNGBackground.b,
        !mask        ? "none"
        : mask->Full ? "full"
                     : "partial");
    test::SavePam(argv[3], bitmap, alpha.get());
    return 0;
}

int WriteCommand(int argc, char** argv)
{
    TIEBitmap bitmap;
    std::unique_ptr<TIEBitmap> alpha;
    if (!test::LoadPnm(argv[2], bitmap, alpha))
        return 3;
    TIOParamsVals params(nullptr);
    params.SamplesPerPixel = std::atoi(argv[4]);
    params.BitsPerSample = std::atoi(argv[5]);
    params.PNGInterlaced = std::uint8_t(std::atoi(argv[6]));
    params.PNGFilter = 3;
    params.SetDpiX(72);
    params.SetDpiY(72);
    for (int i = 7; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string value = a.substr(a.find('=') + 1);
        if (a.rfind("format=", 0) == 0) {
            const TIEPixelFormat f = value == "8p"    ? ie8p
                                     : value == "8g"  ? ie8g
                                     : value == "16g" ? ie16g
                                     : value == "32f" ? ie32f
                                     : value == "1g"  ? ie1g
                                                      : ie24RGB;
            bitmap.SetPixelFormat(f);
        } else if (a.rfind("filter=", 0) == 0) {
            params.PNGFilter = std::uint8_t(std::atoi(value.c_str()));
        } else if (a.rfind("dpi=", 0) == 0) {
            params.SetDpiX(std::atoi(value.c_str()));
            params.SetDpiY(std::atoi(value.c_str()));
        } else if (a.rfind("background=", 0) == 0) {
            const unsigned long c = std::strtoul(value.c_str(), nullptr, 16);
            params.PNGBackground = TRGB{std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)};
        }
    }
    std::unique_ptr<TIEMask> mask;
    if (alpha) {
        mask = std::make_unique<TIEMask>();
        alpha->CopyToTIEMask(mask.get());
    }
    return test::WriteToFile(argv[3], [&](rtl::TStream& out, TProgressRecord& progress) {
        WritePNGStream(out, &bitmap, params, progress, mask.get());
    });
}

}  // namespace

int main(int argc, char** argv)
{
    return test::ToolMain("png_peer_tool",
                          "read IN OUT [native] [blend] | write IN OUT SAMPLES BITS INTERLACED ...", [&] {
                              if (argc >= 4 && std::strcmp(argv[1], "read") == 0)
                                  return ReadCommand(argc, argv);
                              if (argc >= 7 && std::strcmp(argv[1], "write") == 0)
                                  return WriteCommand(argc, argv);
                              return -1;
                          });
}
