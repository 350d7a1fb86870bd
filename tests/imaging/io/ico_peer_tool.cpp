// Command-line face of the icon and cursor reader and the icon writer for the peer suite
// (ico_peers.py):
//   ico_peer_tool read <ico|cur> <in> <out.pam> [index=N] [background=RRGGBB] [nomask]
//       writes the image as a PAM RGB_ALPHA (alpha from the mask, 255 without one) and prints the
//       parameters as key=value lines; exit 2 when the reader aborts; the peak memory on stderr
//   ico_peer_tool write <in.pam> <out.ico> <W>x<H>:<bits>... [dpi=N]
//       one image of each size and depth, from a PPM or PAM (its alpha as the alpha channel)
#include "imaging/io/icofilt.h"
#include "tests/imaging/io/peer_tool_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace imaging;

namespace {

int ReadCommand(int argc, char** argv)
{
    const bool cursor = std::strcmp(argv[2], "cur") == 0;
    TIOParamsVals params(nullptr);
    bool noMask = false;
    for (int i = 5; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string value = a.substr(a.find('=') + 1);
        if (a.rfind("index=", 0) == 0) {
            params.ICOImageIndex = params.CURImageIndex = std::atoi(value.c_str());
        } else if (a.rfind("background=", 0) == 0) {
            const unsigned long c = std::strtoul(value.c_str(), nullptr, 16);
            params.ICOBackground = params.CURBackground =
                TRGB{std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)};
        } else if (a == "nomask") {
            noMask = true;
        }
    }
    rtl::TMemoryStream file;
    file.LoadFromFile(argv[3]);
    TIEBitmap bitmap;
    test::Progress progress;
    std::unique_ptr<TIEMask> mask;
    if (cursor)
        ReadCURStream(file, &bitmap, params, progress.record, mask, noMask, false);
    else
        ReadICOStream(file, &bitmap, params, progress.record, mask, noMask, false);
    test::ReportPeakMemory();
    if (progress.Aborted())
        return 2;
    std::unique_ptr<TIEBitmap> alpha;
    if (mask) {
        alpha = TIEBitmap::CreateAlpha(mask->Width(), mask->Height(), ieMemory);
        alpha->CopyFromTIEMask(mask.get());
    }
    std::printf(
        "width=%d\nheight=%d\nformat=%d\nbits=%d\nsamples=%d\ndpix=%d\ndpiy=%d\ncolormap=%d\nmask=%s\n",
        bitmap.GetWidth(), bitmap.GetHeight(), int(bitmap.GetPixelFormat()), params.BitsPerSample,
        params.SamplesPerPixel, params.DpiX, params.DpiY, params.ColorMapCount(), mask ? "yes" : "no");
    if (cursor)
        std::printf("hotx=%d\nhoty=%d\n", params.CURXHotSpot, params.CURYHotSpot);
    else
        for (int i = 0; i < TIOParamsVals::kICOImageSlots && params.ICOSizes[std::size_t(i)].Width; ++i)
            std::printf("size=%dx%d:%d\n", params.ICOSizes[std::size_t(i)].Width,
                        params.ICOSizes[std::size_t(i)].Height, params.ICOBitCount[std::size_t(i)]);
    test::SavePam(argv[4], bitmap, alpha.get());
    return 0;
}

int WriteCommand(int argc, char** argv)
{
    TIEBitmap bitmap;
    std::unique_ptr<TIEBitmap> alpha;
    if (!test::LoadPnm(argv[2], bitmap, alpha))
        return 3;
    if (alpha)
        bitmap.GetAlphaChannel()->Assign(alpha.get());
    TIOParamsVals params(nullptr);
    params.SetDpiX(72);
    params.SetDpiY(72);
    std::vector<int> bits;
    std::vector<TIOParamsVals::TICOSize> sizes;
    for (int i = 4; i < argc; ++i) {
        int w = 0, h = 0, b = 0;
        if (std::sscanf(argv[i], "%dx%d:%d", &w, &h, &b) == 3) {
            sizes.push_back({w, h});
            bits.push_back(b);
        } else if (std::strncmp(argv[i], "dpi=", 4) == 0) {
            params.SetDpiX(std::atoi(argv[i] + 4));
            params.SetDpiY(std::atoi(argv[i] + 4));
        } else if (std::strcmp(argv[i], "mono") == 0) {
            bitmap.SetPixelFormat(ie1g);
        }
    }
    return test::WriteToFile(argv[3], [&](rtl::TStream& out, TProgressRecord& progress) {
        WriteICOStream(out, &bitmap, params, progress, bits, sizes);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    return test::ToolMain("ico_peer_tool",
                          "read ico|cur IN OUT.pam [index=N] [background=RRGGBB] [nomask] | "
                          "write IN.pam OUT.ico WxH:BITS... [dpi=N] [mono]",
                          [&] {
                              if (argc >= 5 && std::strcmp(argv[1], "read") == 0 &&
                                  (std::strcmp(argv[2], "ico") == 0 || std::strcmp(argv[2], "cur") == 0))
                                  return ReadCommand(argc, argv);
                              if (argc >= 5 && std::strcmp(argv[1], "write") == 0)
                                  return WriteCommand(argc, argv);
                              return -1;
                          });
}
