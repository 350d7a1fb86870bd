// What the peer tools share: the netpbm files (PPM, PGM and PAM) through which the suites and the
// peers exchange pixels, a writer's run into a file, and the tools' exit codes.
#pragma once

#include "imaging/core/iebitmap.h"
#include "platform/rtl/Streams.h"
#include "tests/imaging/io/io_test_util.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace imaging::test {

// A binary PGM (P5), PPM (P6) or PAM (P7, depth 1 to 4) with maxval 255 into a 24-bit bitmap; a
// grey-alpha or RGB_ALPHA file's alpha goes to Alpha (an ie8g plane), which stays null otherwise.
// A PGM with maxval 65535 becomes an ie16g bitmap. False for anything else.
inline bool LoadPnm(const std::string& path, TIEBitmap& bitmap, std::unique_ptr<TIEBitmap>& alpha)
{
    rtl::TMemoryStream file;
    file.LoadFromFile(path);
    const std::string text(file.Bytes().begin(), file.Bytes().end());
    int w = 0, h = 0, max = 0, depth = 0, consumed = 0;
    if (text.compare(0, 2, "P7") == 0) {
        std::size_t end = text.find("ENDHDR\n");
        if (end == std::string::npos)
            return false;
        auto field = [&](const char* name) {
            const std::size_t at = text.find(name);
            return at < end ? std::atoi(text.c_str() + at + std::strlen(name)) : 0;
        };
        w = field("WIDTH ");
        h = field("HEIGHT ");
        depth = field("DEPTH ");
        max = field("MAXVAL ");
        consumed = int(end + 7);
    } else {
        char magic = 0;
        if (std::sscanf(text.c_str(), "P%c %d %d %d%n", &magic, &w, &h, &max, &consumed) != 4 ||
            (magic != '5' && magic != '6'))
            return false;
        depth = magic == '5' ? 1 : 3;
        ++consumed;  // the one whitespace after maxval
    }
    if (max == 65535 && depth == 1 && w > 0 && h > 0 &&
        text.size() >= std::size_t(consumed) + std::size_t(w) * h * 2) {
        bitmap.Allocate(w, h, ie16g);
        alpha.reset();
        const auto* p = reinterpret_cast<const std::uint8_t*>(text.data()) + consumed;
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<std::uint16_t*>(bitmap.ScanLine(y));
            for (int x = 0; x < w; ++x, p += 2)
                row[x] = std::uint16_t(p[0] << 8 | p[1]);
        }
        return true;
    }
    if (max != 255 || w < 1 || h < 1 || depth < 1 || depth > 4 ||
        text.size() < std::size_t(consumed) + std::size_t(w) * h * depth)
        return false;
    bitmap.Allocate(w, h, ie24RGB);
    const bool hasAlpha = depth == 2 || depth == 4;
    alpha.reset();
    if (hasAlpha)
        alpha = TIEBitmap::CreateAlpha(w, h, ieMemory);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        const auto* p =
            reinterpret_cast<const std::uint8_t*>(text.data()) + consumed + std::size_t(y) * w * depth;
        for (int x = 0; x < w; ++x, p += depth) {
            const bool grey = depth <= 2;
            row[3 * x] = grey ? p[0] : p[2];
            row[3 * x + 1] = grey ? p[0] : p[1];
            row[3 * x + 2] = p[0];
        }
        if (hasAlpha) {
            std::uint8_t* a = alpha->ScanLine(y);
            const auto* q =
                reinterpret_cast<const std::uint8_t*>(text.data()) + consumed + std::size_t(y) * w * depth;
            for (int x = 0; x < w; ++x)
                a[x] = q[std::size_t(x) * depth + depth - 1];
        }
    }
    return true;
}

inline void SaveBytes(const std::string& path, const std::string& bytes)
{
    rtl::TMemoryStream o;
    o.WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
    o.SaveToFile(path);
}

// The bitmap, converted to 24 bits in place, as a binary PPM.
inline void SavePpm(const std::string& path, TIEBitmap& bitmap)
{
    bitmap.SetPixelFormat(ie24RGB);
    const int w = bitmap.GetWidth();
    const int h = bitmap.GetHeight();
    std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int y = 0; y < h; ++y) {
        const TRGB* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
        for (int x = 0; x < w; ++x)
            ppm += {char(row[x].r), char(row[x].g), char(row[x].b)};
    }
    SaveBytes(path, ppm);
}

// The bitmap (any format, shown in 24 bits) and an alpha plane (255 where null) as a PAM RGB_ALPHA.
inline void SavePam(const std::string& path, TIEBitmap& bitmap, TIEBitmap* alpha)
{
    TIEBitmap rgb;
    rgb.AssignImage(&bitmap);
    rgb.SetPixelFormat(ie24RGB);
    const int w = rgb.GetWidth();
    const int h = rgb.GetHeight();
    std::string out = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) +
                      "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    out.reserve(out.size() + std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = rgb.ScanLine(y);
        const std::uint8_t* a = alpha ? alpha->ScanLine(y) : nullptr;
        for (int x = 0; x < w; ++x)
            out += {char(row[3 * x + 2]), char(row[3 * x + 1]), char(row[3 * x]), char(a ? a[x] : 255)};
    }
    SaveBytes(path, out);
}

// Runs Write(stream, progress record) into memory and saves what it made at Path. The tool's exit
// code: 0, or 2 when the writer aborted (nothing is saved then).
template <class Write>
int WriteToFile(const std::string& path, Write write)
{
    rtl::TMemoryStream out;
    Progress progress;
    write(out, progress.record);
    if (progress.Aborted())
        return 2;
    out.SaveToFile(path);
    return 0;
}

// A tool's main: the exit code Command returns, which is -1 when no command fits the arguments
// (the usage is printed and the code is 1); an exception is printed and the code is 4.
template <class Command>
int ToolMain(const char* name, const char* usage, Command command)
{
    try {
        const int code = command();
        if (code >= 0)
            return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 4;
    }
    std::fprintf(stderr, "usage: %s %s\n", name, usage);
    return 1;
}

// The process's peak resident memory, from the kernel's own count, as "peak_kb=N" on stderr (Linux).
inline void ReportPeakMemory()
{
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "VmHWM:", 6) == 0)
                std::fprintf(stderr, "peak_kb=%ld\n", std::strtol(line + 6, nullptr, 10));
        std::fclose(f);
    }
}

}  // namespace imaging::test
