// Minimal classic-TIFF strip reader and writer for the codec tests: just enough to take strips out
// of files libtiff wrote and to wrap our strips so libtiff can read them.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace codectest {

inline std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string DataPath(const std::string& name)
{
    return std::string(VA_TEST_DATA_DIR) + "/imaging/io/" + name;
}

struct TiffImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bitsPerSample = 1;
    std::uint32_t samples = 1;
    std::uint32_t compression = 1;
    std::uint32_t photometric = 0;
    std::uint32_t fillOrder = 1;
    std::uint32_t t4Options = 0;
    std::uint32_t rowsPerStrip = 0;
    std::vector<std::vector<std::uint8_t>> strips;

    std::uint32_t RowBytes() const { return (width * bitsPerSample * samples + 7) / 8; }
    std::uint32_t RowsInStrip(std::size_t strip) const
    {
        const std::uint32_t first = static_cast<std::uint32_t>(strip) * rowsPerStrip;
        return std::min(rowsPerStrip, height - first);
    }
};

inline TiffImage ParseTiff(const std::vector<std::uint8_t>& f)
{
    if (f.size() < 8)
        throw std::runtime_error("short tiff");
    const bool le = f[0] == 'I';
    auto u16 = [&](std::size_t o) -> std::uint32_t {
        if (o + 2 > f.size())
            throw std::runtime_error("tiff offset out of range");
        return le ? f[o] | (f[o + 1] << 8) : (f[o] << 8) | f[o + 1];
    };
    auto u32 = [&](std::size_t o) -> std::uint32_t {
        return le ? u16(o) | (u16(o + 2) << 16) : (u16(o) << 16) | u16(o + 2);
    };
    std::map<std::uint32_t, std::vector<std::uint32_t>> tags;
    const std::uint32_t ifd = u32(4);
    const std::uint32_t n = u16(ifd);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::size_t e = ifd + 2 + i * 12;
        const std::uint32_t tag = u16(e), type = u16(e + 2), count = u32(e + 4);
        const std::uint32_t size = type == 3 ? 2 : 4;
        if (type != 3 && type != 4)
            continue;
        const std::size_t at = count * size <= 4 ? e + 8 : u32(e + 8);
        for (std::uint32_t k = 0; k < count; ++k)
            tags[tag].push_back(type == 3 ? u16(at + k * 2) : u32(at + k * 4));
    }
    TiffImage img;
    auto one = [&](std::uint32_t tag, std::uint32_t def) { return tags.count(tag) ? tags[tag][0] : def; };
    img.width = one(256, 0);
    img.height = one(257, 0);
    img.bitsPerSample = one(258, 1);
    img.compression = one(259, 1);
    img.photometric = one(262, 0);
    img.fillOrder = one(266, 1);
    img.samples = one(277, 1);
    img.rowsPerStrip = std::min(one(278, img.height), img.height);
    img.t4Options = one(292, 0);
    const auto& offs = tags[273];
    const auto& counts = tags[279];
    for (std::size_t i = 0; i < offs.size() && i < counts.size(); ++i) {
        if (static_cast<std::uint64_t>(offs[i]) + counts[i] > f.size())
            throw std::runtime_error("strip out of range");
        img.strips.emplace_back(f.begin() + offs[i], f.begin() + offs[i] + counts[i]);
    }
    return img;
}

// Little-endian TIFF around the given strips.
inline std::vector<std::uint8_t> BuildTiff(const TiffImage& img)
{
    std::vector<std::uint8_t> out{'I', 'I', 42, 0, 0, 0, 0, 0};
    auto put16 = [&](std::uint32_t v) {
        out.push_back(v & 0xFF);
        out.push_back((v >> 8) & 0xFF);
    };
    auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    std::vector<std::uint32_t> offsets, counts;
    for (const auto& s : img.strips) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        counts.push_back(static_cast<std::uint32_t>(s.size()));
        out.insert(out.end(), s.begin(), s.end());
        if (out.size() & 1)
            out.push_back(0);
    }
    const std::uint32_t offArray = static_cast<std::uint32_t>(out.size());
    for (auto v : offsets)
        put32(v);
    const std::uint32_t cntArray = static_cast<std::uint32_t>(out.size());
    for (auto v : counts)
        put32(v);
    const std::uint32_t ifd = static_cast<std::uint32_t>(out.size());
    out[4] = ifd & 0xFF;
    out[5] = (ifd >> 8) & 0xFF;
    out[6] = (ifd >> 16) & 0xFF;
    out[7] = ifd >> 24;
    struct Tag {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    const std::uint32_t ns = static_cast<std::uint32_t>(img.strips.size());
    std::vector<Tag> tags = {{256, 4, 1, img.width},
                             {257, 4, 1, img.height},
                             {258, 3, 1, img.bitsPerSample},
                             {259, 3, 1, img.compression},
                             {262, 3, 1, img.photometric},
                             {266, 3, 1, img.fillOrder},
                             {273, 4, ns, ns == 1 ? offsets[0] : offArray},
                             {277, 3, 1, img.samples},
                             {278, 4, 1, img.rowsPerStrip},
                             {279, 4, ns, ns == 1 ? counts[0] : cntArray}};
    if (img.compression == 3)
        tags.push_back({292, 4, 1, img.t4Options});
    if (img.compression == 4)
        tags.push_back({293, 4, 1, 0});
    put16(static_cast<std::uint32_t>(tags.size()));
    for (const auto& t : tags) {
        put16(t.tag);
        put16(t.type);
        put32(t.count);
        if (t.type == 3 && t.count == 1) {
            put16(t.value);
            put16(0);
        } else
            put32(t.value);
    }
    put32(0);
    return out;
}

}  // namespace codectest
