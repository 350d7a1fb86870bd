// Shared helpers of the image core's peer tests: ImageMagick runs, PNM files and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace imaging::test {

// A folder of its own per test process, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& name)
        : path_(std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

#ifdef VA_JUDGE_CONVERT
// ImageMagick's convert, found at configure time; a missing one fails the configure.
inline int Convert(const std::string& args)
{
    const std::string command = std::string(VA_JUDGE_CONVERT) + " " + args;
    return std::system(command.c_str());
}
#endif

// Pixels of a binary PGM (1 channel) or PPM (3 channels, red first), 8 bits per sample; a PBM
// reads as one channel of 0 (black) and 255.
struct TPnm {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> data;
    bool Empty() const { return channels == 0; }
};

inline void WritePnm(const std::string& path, const TPnm& image)
{
    std::ofstream out(path, std::ios::binary);
    out << (image.channels == 1 ? "P5" : "P6") << "\n" << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.data.data()), std::streamsize(image.data.size()));
}

// The bytes of a binary PBM, or of an 8-bit PGM or PPM; an empty result for anything else. Comments
// in the header are skipped.
inline TPnm ParsePnm(const std::string& file)
{
    TPnm img;
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

inline TPnm ReadPnm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return ParsePnm(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

}  // namespace imaging::test
