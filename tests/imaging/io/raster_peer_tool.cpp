// Command-line face of the PNM, WBMP, TGA and PCX readers and writers for the peer suite
// (raster_peers.py):
//   raster_peer_tool read <pxm|wbmp|tga|pcx> <in> <out>
//       writes <out>.ppm (and <out>.alpha.pgm when the file had alpha) and prints the parameters
//       as key=value lines; exit 2 when the reader aborts
//   raster_peer_tool write <pxm|wbmp|tga|pcx> <in.ppm> <out> [key=value...]
//       keys: bits (1, 4, 8, 24), rle, grey, alpha (a PGM of the mask), version, comment, desc
#include "imaging/io/ietgafil.h"
#include "imaging/io/pcxfilter.h"
#include "imaging/io/pxmfilt.h"
#include "imaging/io/wbmpfilt.h"
#include "tests/imaging/io/peer_tool_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

using namespace imaging;

namespace {

int ReadCommand(const std::string& format, const char* in, const std::string& out)
{
    rtl::TMemoryStream file;
    file.LoadFromFile(in);
    TIEBitmap bitmap;
    TIOParamsVals params(nullptr);
    test::Progress progress;
    std::unique_ptr<TIEMask> mask;
    if (format == "pxm")
        ReadPXMStream(file, &bitmap, params, progress.record, false);
    else if (format == "wbmp")
        ReadWBMPStream(file, &bitmap, params, false, progress.record);
    else if (format == "tga")
        ReadTGAStream(file, &bitmap, params, mask, false, false, progress.record);
    else
        ReadPCXStream(file, &bitmap, params, 0, progress.record, false);
    if (progress.Aborted())
        return 2;
    std::printf("width=%d\nheight=%d\nbits=%d\nsamples=%d\nformat=%d\ncolormap=%d\n", params.Width,
                params.Height, params.BitsPerSample, params.SamplesPerPixel, int(bitmap.GetPixelFormat()),
                params.ColorMapCount());
    for (int i = 0; i < params.ImageDescriptions.Count(); ++i)
        std::printf("comment=%s\n", params.ImageDescriptions[i].c_str());
    if (format == "tga")
        std::printf("desc=%s\nx=%d\ny=%d\ngrey=%d\nrle=%d\n", params.TGADescription.c_str(), params.TGAXPos,
                    params.TGAYPos, params.TGAGrayLevel, params.TGACompressed);
    if (format == "pcx")
        std::printf("version=%d\ndpix=%d\ndpiy=%d\n", params.PCXVersion, params.DpiX, params.DpiY);
    test::SavePpm(out + ".ppm", bitmap);
    const int w = bitmap.GetWidth();
    const int h = bitmap.GetHeight();
    if (mask) {
        std::string pgm = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        for (int y = 0; y < h; ++y)
            pgm.append(reinterpret_cast<const char*>(mask->ScanLine(y)), std::size_t(w));
        test::SaveBytes(out + ".alpha.pgm", pgm);
    }
    return 0;
}

int WriteCommand(const std::string& format, int argc, char** argv)
{
    TIEBitmap bitmap;
    std::unique_ptr<TIEBitmap> none;
    if (!test::LoadPnm(argv[3], bitmap, none))
        return 3;
    std::map<std::string, std::string> opt;
    for (int i = 5; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        if (eq)
            opt[std::string(argv[i], std::size_t(eq - argv[i]))] = eq + 1;
    }
    auto number = [&](const char* key, int fallback) {
        return opt.count(key) ? std::atoi(opt[key].c_str()) : fallback;
    };
    TIOParamsVals params(nullptr);
    const int bits = number("bits", 24);
    params.BitsPerSample = bits == 24 ? 8 : bits;
    params.SamplesPerPixel = bits == 24 ? 3 : 1;
    params.TGACompressed = std::uint8_t(number("rle", 0));
    params.PCXCompression = std::uint8_t(number("rle", 0));
    params.TGAGrayLevel = std::uint8_t(number("grey", 0));
    params.PCXVersion = number("version", 5);
    params.SetDpiX(number("dpi", 72));
    params.SetDpiY(number("dpi", 72));
    if (opt.count("comment"))
        params.ImageDescriptions.Add(opt["comment"]);
    params.TGADescription = opt.count("desc") ? opt["desc"] : "";
    std::unique_ptr<TIEMask> mask;
    if (opt.count("alpha")) {
        // A PGM: its grey, which the loader spreads to three channels, is the alpha.
        TIEBitmap grey;
        if (!test::LoadPnm(opt["alpha"], grey, none))
            return 3;
        TIEBitmap alpha;
        alpha.Allocate(grey.GetWidth(), grey.GetHeight(), ie8g);
        for (int y = 0; y < grey.GetHeight(); ++y)
            for (int x = 0; x < grey.GetWidth(); ++x)
                alpha.ScanLine(y)[x] = grey.ScanLine(y)[3 * x];
        mask = std::make_unique<TIEMask>();
        alpha.CopyToTIEMask(mask.get());
    }
    if (number("mono", 0))
        bitmap.SetPixelFormat(ie1g);
    return test::WriteToFile(argv[4], [&](rtl::TStream& out, TProgressRecord& progress) {
        if (format == "pxm")
            WritePXMStream(out, &bitmap, params, progress);
        else if (format == "wbmp")
            WriteWBMPStream(out, &bitmap, progress);
        else if (format == "tga")
            WriteTGAStream(out, &bitmap, params, progress, mask.get());
        else
            WritePCXStream(out, &bitmap, params, progress);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    return test::ToolMain(
        "raster_peer_tool", "read FORMAT IN OUT | write FORMAT IN.ppm OUT [key=value...]", [&] {
            const std::string format = argc > 2 ? argv[2] : "";
            const bool known = format == "pxm" || format == "wbmp" || format == "tga" || format == "pcx";
            if (known && argc == 5 && std::strcmp(argv[1], "read") == 0)
                return ReadCommand(format, argv[3], argv[4]);
            if (known && argc >= 5 && std::strcmp(argv[1], "write") == 0)
                return WriteCommand(format, argc, argv);
            return -1;
        });
}
