// Shared helpers of the image core's peer tests: ImageMagick runs, PNM files and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Pixels of a binary PGM (1 channel) or PPM (3 channels, red first), 8 bits per sample.
struct TPnm {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> data;
};

inline void WritePnm(const std::string& path, const TPnm& image)
{
    std::ofstream out(path, std::ios::binary);
    out << (image.channels == 1 ? "P5" : "P6") << "\n" << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.data.data()), std::streamsize(image.data.size()));
}

// An empty result for anything but an 8-bit P5 or P6 file.
inline TPnm ReadPnm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    TPnm image;
    int maxval = 0;
    in >> magic >> image.width >> image.height >> maxval;
    in.get();
    image.channels = magic == "P5" ? 1 : magic == "P6" ? 3 : 0;
    if (!in || image.channels == 0 || maxval != 255 || image.width <= 0 || image.height <= 0)
        return {};
    image.data.resize(std::size_t(image.width) * image.height * image.channels);
    in.read(reinterpret_cast<char*>(image.data.data()), std::streamsize(image.data.size()));
    return in ? image : TPnm{};
}

}  // namespace imaging::test
