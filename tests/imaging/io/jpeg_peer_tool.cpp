// Command-line face of the JPEG decoder and encoder for the peer suite (jpeg_peers.py):
//   jpeg_peer_tool read <in.jpg> <out.pam> [scale=N] [dct=N] [want=WxH]  exit 2 when it aborts; the
//                  process's peak memory goes to stderr
//   jpeg_peer_tool write <in.pnm> <out.jpg> [quality=N] [space=N] [progressive=N] [dpi=N] [dpiy=N]
//                  [optimal=N] [dct=N] [smooth=N]
//   jpeg_peer_tool copy <in.jpg> <out.jpg> [same options]  reads, then writes with what it read
//   jpeg_peer_tool exif <in.jpg>  loads through the I/O component and prints the EXIF fields
//   jpeg_peer_tool relay <in> <out.jpg> [Field=value...]  loads any image through the I/O
//                  component, sets the named EXIF fields (which sets HasEXIF) and saves through it
// A read prints what the parameters say (key=value lines, markers as type:length).
#include "imaging/io/jpegfilt.h"
#include "imaging/io/vodiradio.h"
#include "tests/imaging/io/peer_tool_util.h"

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
    test::Progress progress;
    DecodeJpegStream(file, nullptr, &bitmap, false, false, progress.record, params);
    return !progress.Aborted();
}

// The tool's exit code: 0, or 2 when the encoder aborts.
int Write(const char* out, TIEBitmap& bitmap, TIOParamsVals& params)
{
    return test::WriteToFile(out, [&](rtl::TStream& file, TProgressRecord& progress) {
        EncodeJpegStream(file, &bitmap, params, progress);
    });
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
    return Write(argv[3], bitmap, params);
}

int CopyCommand(int argc, char** argv)
{
    TIEBitmap bitmap;
    TIOParamsVals params(nullptr);
    if (!Read(argv[2], bitmap, params))
        return 2;
    Options(argc, argv, 4, params);
    return Write(argv[3], bitmap, params);
}

}  // namespace

// The EXIF fields the peer suite sets and reads, by the names it gives them; each is text, a real
// number or a whole one.
struct TExifField {
    const char* name;
    std::string TIOParamsVals::*text = nullptr;
    double TIOParamsVals::*real = nullptr;
    int TIOParamsVals::*whole = nullptr;
};

using P = TIOParamsVals;
const TExifField kExifFields[] = {
    {"ImageDescription", &P::EXIF_ImageDescription},
    {"Make", &P::EXIF_Make},
    {"Model", &P::EXIF_Model},
    {"Software", &P::EXIF_Software},
    {"DateTime", &P::EXIF_DateTime},
    {"Copyright", &P::EXIF_Copyright},
    {"DateTimeOriginal", &P::EXIF_DateTimeOriginal},
    {"DateTimeDigitized", &P::EXIF_DateTimeDigitized},
    {"SubsecTime", &P::EXIF_SubsecTime},
    {"ExifVersion", &P::EXIF_ExifVersion},
    {"FlashPixVersion", &P::EXIF_FlashPixVersion},
    {"XResolution", nullptr, &P::EXIF_XResolution},
    {"YResolution", nullptr, &P::EXIF_YResolution},
    {"ExposureTime", nullptr, &P::EXIF_ExposureTime},
    {"FNumber", nullptr, &P::EXIF_FNumber},
    {"ShutterSpeedValue", nullptr, &P::EXIF_ShutterSpeedValue},
    {"ApertureValue", nullptr, &P::EXIF_ApertureValue},
    {"ExposureBiasValue", nullptr, &P::EXIF_ExposureBiasValue},
    {"MaxApertureValue", nullptr, &P::EXIF_MaxApertureValue},
    {"FocalLength", nullptr, &P::EXIF_FocalLength},
    {"Orientation", nullptr, nullptr, &P::EXIF_Orientation},
    {"ResolutionUnit", nullptr, nullptr, &P::EXIF_ResolutionUnit},
    {"ExposureProgram", nullptr, nullptr, &P::EXIF_ExposureProgram},
    {"MeteringMode", nullptr, nullptr, &P::EXIF_MeteringMode},
    {"LightSource", nullptr, nullptr, &P::EXIF_LightSource},
    {"Flash", nullptr, nullptr, &P::EXIF_Flash},
    {"ColorSpace", nullptr, nullptr, &P::EXIF_ColorSpace},
    {"ExifImageWidth", nullptr, nullptr, &P::EXIF_ExifImageWidth},
    {"ExifImageHeight", nullptr, nullptr, &P::EXIF_ExifImageHeight},
    {"YCbCrPositioning", nullptr, nullptr, &P::EXIF_YCbCrPositioning},
};

int ExifCommand(char** argv)
{
    TVodirAdIO io(nullptr);
    io.LoadFromFile(argv[2]);
    if (io.AbortFlag)
        return 2;
    const TIOParamsVals& p = io.Params();
    std::printf("dpix=%d\ndpiy=%d\nhasexif=%d\n", p.DpiX, p.DpiY, int(p.HasEXIF));
    for (const TExifField& f : kExifFields) {
        if (f.text)
            std::printf("%s=%s\n", f.name, (p.*f.text).c_str());
        else if (f.real)
            std::printf("%s=%.10g\n", f.name, p.*f.real);
        else
            std::printf("%s=%d\n", f.name, p.*f.whole);
    }
    std::printf("ISO=%d\n", p.EXIF_ISOSpeedRatings(0));
    TIEBitmap* thumb = p.EXIF_Bitmap();
    std::printf("thumbnail=%dx%d\n", thumb ? thumb->GetWidth() : 0, thumb ? thumb->GetHeight() : 0);
    return 0;
}

bool SetField(TIOParamsVals& p, const std::string& name, const std::string& value)
{
    if (name == "ISO") {
        p.SetEXIF_ISOSpeedRatings(0, std::atoi(value.c_str()));
        return true;
    }
    for (const TExifField& f : kExifFields)
        if (name == f.name) {
            if (f.text)
                p.*f.text = value;
            else if (f.real)
                p.*f.real = std::strtod(value.c_str(), nullptr);
            else
                p.*f.whole = std::atoi(value.c_str());
            return true;
        }
    return false;
}

int RelayCommand(int argc, char** argv)
{
    TVodirAdIO io(nullptr);
    io.LoadFromFile(argv[2]);
    if (io.AbortFlag)
        return 2;
    for (int i = 4; i < argc; ++i) {
        const std::string a = argv[i];
        const std::size_t eq = a.find('=');
        if (eq == std::string::npos || !SetField(io.Params(), a.substr(0, eq), a.substr(eq + 1))) {
            std::fprintf(stderr, "jpeg_peer_tool: unknown field %s\n", a.c_str());
            return 1;
        }
        io.Params().HasEXIF = true;
    }
    io.SaveToFile(argv[3]);
    return io.AbortFlag ? 2 : 0;
}

int main(int argc, char** argv)
{
    return test::ToolMain("jpeg_peer_tool", "read|write|copy|relay IN OUT [options], or exif IN", [&] {
        if (argc >= 4 && std::strcmp(argv[1], "read") == 0)
            return ReadCommand(argc, argv);
        if (argc >= 4 && std::strcmp(argv[1], "write") == 0)
            return WriteCommand(argc, argv);
        if (argc >= 4 && std::strcmp(argv[1], "copy") == 0)
            return CopyCommand(argc, argv);
        if (argc == 3 && std::strcmp(argv[1], "exif") == 0)
            return ExifCommand(argv);
        if (argc >= 4 && std::strcmp(argv[1], "relay") == 0)
            return RelayCommand(argc, argv);
        return -1;
    });
}
