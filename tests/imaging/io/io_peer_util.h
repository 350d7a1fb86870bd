// Running the peer tools of the format tests (native build only): commands with their output, a
// scratch folder per test process (the image core's), and the netpbm files the tools write.
#pragma once

#include "tests/imaging/core/peer_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace imaging::peer {

using Bytes = std::vector<std::uint8_t>;

// A folder of its own per test process.
using test::TempDir;

inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct RunResult {
    int status = -1;  // the exit code, -1 when the command did not end normally
    std::string out;
    std::string err;
};

// Runs a shell command; its error stream is kept apart from what it prints.
inline RunResult Run(const std::string& command)
{
    char errPath[] = "/tmp/va_peer_err_XXXXXX";
    const int fd = ::mkstemp(errPath);
    if (fd >= 0)
        ::close(fd);
    RunResult r;
    FILE* p = ::popen((command + " 2>" + errPath).c_str(), "r");
    if (!p)
        return r;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        r.out.append(buffer, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errPath, std::ios::binary);
    r.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    std::remove(errPath);
    return r;
}

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A netpbm image as 8-bit samples: P4 as 0 (black) and 255, P5 grey, P6 red, green, blue.
struct Pnm {
    int width = 0, height = 0, channels = 0;
    Bytes data;
    bool Empty() const { return channels == 0; }
};

inline Pnm ParsePnm(const std::string& file)
{
    Pnm img;
    std::istringstream in(file);
    std::string magic;
    in >> magic;
    auto field = [&]() {
        int v = -1;
        while (in >> std::ws && in.peek() == '#')
            in.ignore(1 << 20, '\n');
        in >> v;
        return v;
    };
    img.width = field();
    img.height = field();
    const int maxval = magic == "P4" ? 1 : field();
    in.get();
    if (!in || img.width <= 0 || img.height <= 0 || maxval != (magic == "P4" ? 1 : 255))
        return {};
    const std::size_t at = std::size_t(in.tellg());
    const std::size_t pixels = std::size_t(img.width) * std::size_t(img.height);
    if (magic == "P4") {
        const std::size_t stride = std::size_t(img.width + 7) / 8;
        if (file.size() < at + stride * std::size_t(img.height))
            return {};
        img.channels = 1;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                const auto byte = std::uint8_t(file[at + std::size_t(y) * stride + std::size_t(x) / 8]);
                img.data.push_back((byte >> (7 - x % 8)) & 1 ? 0 : 255);
            }
        return img;
    }
    img.channels = magic == "P5" ? 1 : magic == "P6" ? 3 : 0;
    if (img.channels == 0 || file.size() < at + pixels * std::size_t(img.channels))
        return {};
    img.data.assign(file.begin() + std::ptrdiff_t(at),
                    file.begin() + std::ptrdiff_t(at + pixels * img.channels));
    return img;
}

inline Pnm ReadPnm(const std::string& path)
{
    const Bytes b = ReadFile(path);
    return ParsePnm(std::string(b.begin(), b.end()));
}

}  // namespace imaging::peer
