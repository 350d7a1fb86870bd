// Command-line face of the JPEG decoder and encoder for the peer suite (jpeg_peers.py):
//   jpeg_peer_tool read <in.jpg> <out.pam> [scale=N] [dct=N] [want=WxH]  exit 2 when it aborts; the
//                  process's peak memory goes to stderr
//   jpeg_peer_tool write <in.pnm> <out.jpg> [quality=N] [space=N] [progressive=N] [dpi=N] [dpiy=N]
//                  [optimal=N] [dct=N] [smooth=N]
//   jpeg_peer_tool copy <in.jpg> <out.jpg> [same options]  reads, then writes with what it read
// A read prints what the parameters say (key=value lines, markers as type:length).
#include "imaging/io/jpegfilt.h"
#include "tests/imaging/io/pnm_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace imaging;

namespace {

void Options(int argc, char** argv, int first, TIOParamsVals& params)
{
    for (int i = first; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string key = a.substr(0, a.find('='));
        const int v = std::atoi(a.substr(a.find('=') + 1).c_str());
        if (key == "scale")
            params.JPEGScale = v;
        else if (key == "dct")
            params.JPEGDCTMethod = std::uint8_t(v);
        else if (key == "quality")
            params.JPEGQuality = v;
        else if (key == "space")
            params.JPEGColorSpace = std::uint8_t(v);
        else if (key == "progressive")
            params.JPEGProgressive = std::uint8_t(v);
        else if (key == "optimal")
            params.JPEGOptimalHuffman = std::uint8_t(v);
        else if (key == "smooth")
            params.JPEGSmooth = v;
        else if (key == "dpi") {
            params.SetDpiX(v);
            params.SetDpiY(v);
        } else if (key == "dpiy")
            params.SetDpiY(v);
        else if (key == "want") {
            params.Width = v;
            params.Height = std::atoi(a.substr(a.find('x') + 1).c_str());
        }
    }
}

bool Read(const char* in, TIEBitmap& bitmap, TIOParamsVals& params)
{
    rtl::TMemoryStream file;
    file.LoadFromFile(in);
    std::atomic<bool> abort{false};
    TProgressRecord progress;
    progress.Aborting = &abort;
    DecodeJpegStream(file, nullptr, &bitmap, false, false, progress, params);
    return !abort;
}

bool Write(const char* out, TIEBitmap& bitmap, TIOParamsVals& params)
{
    rtl::TMemoryStream file;
    std::atomic<bool> abort{false};
    TProgressRecord progress;
    progress.Aborting = &abort;
    EncodeJpegStream(file, &bitmap, params, progress);
    if (abort)
        return false;
    file.SaveToFile(out);
    return true;
}

int ReadCommand(int argc, char** argv)
{
    TIEBitmap bitmap;
    TIOParamsVals params(nullptr);
    params.JPEGScale = 1;
    Options(argc, argv, 4, params);
    const bool read = Read(argv[2], bitmap, params);
    test::ReportPeakMemory();
    if (!read)
        return 2;
    std::printf(
        "width=%d\nheight=%d\nsamples=%d\ncolorspace=%d\ndpix=%d\ndpiy=%d\nprogressive=%d\n"
        "scaleused=%d\noriginal=%dx%d\nwarnings=%d\nmarkers=",
        params.Width, params.Height, params.SamplesPerPixel, params.JPEGColorSpace, params.DpiX, params.DpiY,
        params.JPEGProgressive, params.JPEGScaleUsed, params.JPEGOriginalWidth, params.JPEGOriginalHeight,
        params.JPEGWarningCount);
    for (int i = 0; i < params.JPEGMarkerList.Count(); ++i)
        std::printf("%s%d:%d", i ? "," : "", params.JPEGMarkerList.MarkerType(i),
                    params.JPEGMarkerList.MarkerLength(i));
    std::printf("\n");
    test::SavePam(argv[3], bitmap, nullptr);
    return 0;
}

int WriteCommand(int argc, char** argv)
{
    TIEBitmap bitmap;
    std::unique_ptr<TIEBitmap> alpha;
    if (!test::LoadPnm(argv[2], bitmap, alpha))
        return 3;
    TIOParamsVals params(nullptr);
    Options(argc, argv, 4, params);
    return Write(argv[3], bitmap, params) ? 0 : 2;
}

int CopyCommand(int argc, char** argv)
{
    TIEBitmap bitmap;
    TIOParamsVals params(nullptr);
    if (!Read(argv[2], bitmap, params))
        return 2;
    Options(argc, argv, 4, params);
    return Write(argv[3], bitmap, params) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc >= 4 && std::strcmp(argv[1], "read") == 0)
            return ReadCommand(argc, argv);
        if (argc >= 4 && std::strcmp(argv[1], "write") == 0)
            return WriteCommand(argc, argv);
        if (argc >= 4 && std::strcmp(argv[1], "copy") == 0)
            return CopyCommand(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "jpeg_peer_tool: %s\n", e.what());
        return 4;
    }
    std::fprintf(stderr, "usage: jpeg_peer_tool read|write|copy IN OUT [options]\n");
    return 1;
}
