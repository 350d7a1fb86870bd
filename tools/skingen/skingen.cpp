// skingen: build-host tool that draws the program's skin pictures and packs them.
//
//   skingen skin OUTPUT          the program's own skin file (the window's "SkinData"): a skin
//                                archive holding SKINDATA.SK2 with every SKIN2_ bitmap, colour,
//                                integer and flag the skinned controls read
//   skingen builtin OUTPUT.cpp   the five built-in styles' bitmaps and the shared ones, as BMP
//                                files in C++ arrays (see skin/SUIBuiltInBitmaps.h)
//   skingen bmps FOLDER          every picture as a BMP file, to look at
//   skingen fuzzseeds FOLDER     seeds for the skin reader's fuzz target: the skin file and its
//                                skin data, each behind the byte that picks the target's mode
//
// Exit code 0 on success, 1 on a failure (message on stderr), 2 on bad usage.
#include "tools/skingen/Parts.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using skingen::FromTColor;
using skingen::Put16;
using skingen::Put32;

struct Record {
    std::string Name;
    std::uint8_t Type;  // 0 bitmap, 1 32-bit integer, 2 byte
    Bytes Value;
};

Record Int(const std::string& name, std::int32_t v)
{
    Bytes b;
    Put32(b, static_cast<std::uint32_t>(v));
    return {name, 1, b};
}
Record Flag(const std::string& name, bool v) { return {name, 2, {static_cast<std::uint8_t>(v ? 1 : 0)}}; }

// The skin data: a 24-byte header, then each 77-byte record followed by its value, ended by an
// empty-named byte record whose next offset is 0.
Bytes SkinData(const std::vector<Record>& records)
{
    const char tag[] = "VARNELO SKIN";
    Bytes out(tag, tag + 12);
    Put32(out, 24);
    Put32(out, 2);
    Put32(out, 24);
    auto put = [&](const std::string& name, std::uint8_t type, const Bytes& value, bool last) {
        const std::size_t at = out.size();
        out.resize(at + 64, 0);
        std::memcpy(out.data() + at, name.data(), std::min<std::size_t>(name.size(), 63));
        out.push_back(type);
        const std::uint32_t valueAt = static_cast<std::uint32_t>(at + 77);
        Put32(out, last ? 0 : valueAt);
        Put32(out, static_cast<std::uint32_t>(value.size()));
        Put32(out, last ? 0 : valueAt + static_cast<std::uint32_t>(value.size()));
        out.insert(out.end(), value.begin(), value.end());
    };
    for (const Record& r : records)
        put(r.Name, r.Type, r.Value, false);
    put("", 2, {}, true);
    return out;
}

Bytes Deflate(const Bytes& data)
{
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate did not finish");
    return out;
}

// A skin archive: one deflated entry, its local header signed "SK" 3 4 where a ZIP has "PK",
// then the ordinary central directory and end record. Times are 0 so the build is repeatable.
Bytes SkinArchive(const std::string& entryName, const Bytes& data)
{
    const Bytes packed = Deflate(data);
    const std::uint32_t crc =
        static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
    auto header = [&](Bytes& b, bool central) {
        Put32(b, central ? 0x02014B50u : 0x04034B53u);
        if (central)
            Put16(b, 20);
        Put16(b, 20);
        Put16(b, 0);  // flags
        Put16(b, 8);  // deflate
        Put16(b, 0);
        Put16(b, 0);
        Put32(b, crc);
        Put32(b, static_cast<std::uint32_t>(packed.size()));
        Put32(b, static_cast<std::uint32_t>(data.size()));
        Put16(b, static_cast<std::uint32_t>(entryName.size()));
        Put16(b, 0);
        if (central) {
            Put16(b, 0);
            Put16(b, 0);
            Put16(b, 0);
            Put32(b, 0);
            Put32(b, 0);  // local header at 0
        }
        b.insert(b.end(), entryName.begin(), entryName.end());
    };
    Bytes zip;
    header(zip, false);
    zip.insert(zip.end(), packed.begin(), packed.end());
    const std::uint32_t central = static_cast<std::uint32_t>(zip.size());
    header(zip, true);
    const std::uint32_t centralSize = static_cast<std::uint32_t>(zip.size()) - central;
    Put32(zip, 0x06054B50u);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 1);
    Put16(zip, 1);
    Put32(zip, centralSize);
    Put32(zip, central);
    Put16(zip, 0);
    return zip;
}

std::vector<Record> SkinRecords()
{
    const skingen::Look look = skingen::SkinFileLook();
    std::vector<Record> records;
    for (const auto& [name, picture] : skingen::SkinFilePictures(look))
        records.push_back({name, 0, picture.Bmp()});
    // Colours as TColor values (0x00BBGGRR), in the order of the SKIN2_ colour names.
    const std::pair<const char*, std::uint32_t> colours[] = {
        {"SKIN2_TRANSCOLOR", 0x00FF00FF},
        {"SKIN2_TITLEFONTCOLOR", 0x00FFFFFF},
        {"SKIN2_FORMCOLOR", 0x00F1F1EE},
        {"SKIN2_MENUBARSTARTCOLOR", 0x00F1F1EE},
        {"SKIN2_MENUBARENDCOLOR", 0x00E2E2DC},
        {"SKIN2_TOPSELECTEDMENUCOLOR", 0x00D8E6C8},
        {"SKIN2_TOPSELECTEDMENUBORDERCOLOR", 0x00868A2E},
        {"SKIN2_TOPSELECTEDMENUFONTCOLOR", 0x00000000},
        {"SKIN2_TOPMENUFONTCOLOR", 0x00000000},
        {"SKIN2_LEFTBARSTARTCOLOR", 0x00E2E8E8},
        {"SKIN2_LEFTBARENDCOLOR", 0x00C8D2D2},
        {"SKIN2_MENUITEMCOLOR", 0x00FFFFFF},
        {"SKIN2_MENUITEMFONTCOLOR", 0x00000000},
        {"SKIN2_SELECTEDMENUCOLOR", 0x00868A2E},
        {"SKIN2_SELECTEDMENUBORDERCOLOR", 0x00555A1F},
        {"SKIN2_SELECTEDMENUFONTCOLOR", 0x00FFFFFF},
        {"SKIN2_TOOLBARSTARTCOLOR", 0x00F8F8F6},
        {"SKIN2_TOOLBARENDCOLOR", 0x00E2E2DC},
        {"SKIN2_TOOLBARONCOLOR", 0x00D8E6C8},
        {"SKIN2_TOOLBARBORDERCOLOR", 0x00868A2E},
        {"SKIN2_TOOLBARDOWNCOLOR", 0x00B8CCA0},
        {"SKIN2_CONTROLCOLOR", 0x00E2E8E8},
        {"SKIN2_CONTROLBORDERCOLOR", 0x005A5424},
        {"SKIN2_CONTROLFONTCOLOR", 0x00202020},
        {"SKIN2_BUTTONFONTCOLOR", 0x00202020},
        {"SKIN2_SCROLLBARCOLOR", 0x00E8E8E2},
        {"SKIN2_TABCONTROLCOLOR", 0x00F1F1EE},
        {"SKIN2_TABCONTROLBORDERCOLOR", 0x009A9A8A},
        {"SKIN2_TABCONTROLACTIVEFONTCOLOR", 0x00000000},
        {"SKIN2_TABCONTROLINACTIVEFONTCOLOR", 0x00606060},
        {"SKIN2_SIDECHANNELCOLOR", 0x00F1F1EE},
        {"SKIN2_SIDECHANNELBORDERCOLOR", 0x009A9A8A},
        {"SKIN2_SYSTEMCOLOR1", 0x00868A2E},
        {"SKIN2_SYSTEMCOLOR2", 0x00555A1F},
    };
    for (const auto& [name, value] : colours)
        records.push_back(Int(name, static_cast<std::int32_t>(value)));
    // Title bar layout for a 30-pixel bar with 20-pixel buttons 5 pixels down; the top five rows
    // of the title pictures shape the window's rounded corners.
    records.push_back(Int("SKIN2_TITLEBARICONPOSX", 8));
    records.push_back(Int("SKIN2_TITLEBARICONPOSY", 7));
    records.push_back(Int("SKIN2_TITLEBARCAPTIONTOP", 8));
    records.push_back(Int("SKIN2_TITLEBARBUTTONPOSX", 8));
    records.push_back(Int("SKIN2_TITLEBARBUTTONPOSY", look.ButtonTop));
    records.push_back(Int("SKIN2_TITLEBARREGIONMINY", 0));
    records.push_back(Int("SKIN2_TITLEBARREGIONMAXY", 5));
    records.push_back(Int("SKIN2_BOTTOMREGIONMINY", -1));
    records.push_back(Int("SKIN2_BOTTOMREGIONMAXY", -1));
    records.push_back(Flag("SKIN2_TITLEFIVESECT", false));
    records.push_back(Flag("SKIN2_BOTTOMBORDERTHREESECT", false));
    records.push_back(Flag("SKIN2_TITLEBARNEEDREGION", true));
    records.push_back(Flag("SKIN2_BOTTOMBORDERNEEDREGION", false));
    records.push_back(Flag("SKIN2_TITLEBTNTRANS", look.TitleButtonsTransparent));
    records.push_back(Flag("SKIN2_BUTTONTRANS", look.ButtonTransparent));
    records.push_back(Flag("SKIN2_CHECKBOXTRANS", false));
    records.push_back(Flag("SKIN2_RADIOBUTTONTRANS", false));
    records.push_back(Flag("SKIN2_TABCONTROLTRANS", false));
    return records;
}

std::vector<std::pair<std::string, skingen::Picture>> BuiltInPictures()
{
    const std::vector<skingen::Look> looks = skingen::BuiltInLooks();
    std::vector<std::pair<std::string, skingen::Picture>> all;
    for (const skingen::Look& look : looks)
        for (auto& named : skingen::StylePictures(look))
            all.push_back(std::move(named));
    for (auto& named : skingen::SharedPictures(looks))
        all.push_back(std::move(named));
    return all;
}

std::string BuiltInSource()
{
    std::string s =
        "// Generated by skingen: the built-in styles' bitmaps. Do not edit.\n"
        "#include \"skin/SUIBuiltInBitmaps.h\"\n\nnamespace skin {\nnamespace {\n";
    const auto pictures = BuiltInPictures();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const Bytes bmp = pictures[i].second.Bmp();
        s += "const unsigned char kBitmap" + std::to_string(i) + "[] = {";
        for (std::size_t k = 0; k < bmp.size(); ++k) {
            if (k % 24 == 0)
                s += "\n";
            s += std::to_string(bmp[k]) + ",";
        }
        s += "\n};\n";
    }
    s += "}  // namespace\n\nconst TBuiltInBitmapData kBuiltInBitmaps[] = {\n";
    for (std::size_t i = 0; i < pictures.size(); ++i)
        s += "    {\"" + pictures[i].first + "\", kBitmap" + std::to_string(i) + ", sizeof kBitmap" +
             std::to_string(i) + "},\n";
    s += "};\nconst std::size_t kBuiltInBitmapCount = " + std::to_string(pictures.size()) +
         ";\n\n}  // namespace skin\n";
    return s;
}

// Writes through a temporary name, so a failed run never leaves a half-written output that a
// later build would take for finished.
void WriteFile(const std::string& path, const void* data, std::size_t size)
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        f.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!f)
            throw std::runtime_error("cannot write " + temp);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw std::runtime_error("cannot rename " + temp + " to " + path);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: skingen skin OUTPUT | builtin OUTPUT.cpp | bmps FOLDER | fuzzseeds FOLDER\n");
        return 2;
    }
    const std::string command = argv[1];
    const std::string output = argv[2];
    try {
        if (command == "skin") {
            const Bytes zip = SkinArchive("SKINDATA.SK2", SkinData(SkinRecords()));
            WriteFile(output, zip.data(), zip.size());
        } else if (command == "fuzzseeds") {
            const Bytes data = SkinData(SkinRecords());
            Bytes file = {0};  // mode 0: a skin file as it is
            const Bytes zip = SkinArchive("SKINDATA.SK2", data);
            file.insert(file.end(), zip.begin(), zip.end());
            WriteFile(output + "/skin_file", file.data(), file.size());
            Bytes raw = {2};  // mode 2: skin data the target packs itself
            raw.insert(raw.end(), data.begin(), data.end());
            WriteFile(output + "/skin_data", raw.data(), raw.size());
        } else if (command == "builtin") {
            const std::string source = BuiltInSource();
            WriteFile(output, source.data(), source.size());
        } else if (command == "bmps") {
            auto all = BuiltInPictures();
            for (auto& named : skingen::SkinFilePictures(skingen::SkinFileLook()))
                all.push_back(std::move(named));
            for (const auto& [name, picture] : all) {
                const Bytes bmp = picture.Bmp();
                WriteFile(output + "/" + name + ".bmp", bmp.data(), bmp.size());
            }
        } else {
            std::fprintf(stderr, "skingen: unknown command %s\n", command.c_str());
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "skingen: %s\n", e.what());
        return 1;
    }
    return 0;
}
