// Fuzz target: the skin reader on arbitrary archives, on arbitrary skin data, and its inflater.
#include "skin/SUI2Inflate.h"
#include "skin/SUI2SkinReader.h"

#include "platform/rtl/Streams.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define VA_GETPID _getpid
#else
#include <unistd.h>
#define VA_GETPID getpid
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A skin archive holding `data` in stored deflate blocks with its real CRC-32, so the fuzzer
// reaches the record chain without having to find valid compressed streams or checksums.
Bytes WrapAsSkin(const std::uint8_t* data, std::size_t size)
{
    const auto crc = static_cast<std::uint32_t>(crc32(0, data, static_cast<uInt>(size)));
    const std::string name = "SKINDATA.SK2";
    Bytes deflated;
    std::size_t at = 0;
    do {
        const std::size_t piece = std::min<std::size_t>(size - at, 65535);
        deflated.push_back(at + piece == size ? 1 : 0);
        Put16(deflated, static_cast<std::uint32_t>(piece));
        Put16(deflated, static_cast<std::uint32_t>(~piece & 0xFFFF));
        deflated.insert(deflated.end(), data + at, data + at + piece);
        at += piece;
    } while (at < size);

    Bytes zip = {'S', 'K', 3, 4};
    Put16(zip, 20);
    Put16(zip, 0);
    Put16(zip, 8);
    Put16(zip, 0);
    Put16(zip, 0);
    Put32(zip, crc);
    Put32(zip, static_cast<std::uint32_t>(deflated.size()));
    Put32(zip, static_cast<std::uint32_t>(size));
    Put16(zip, static_cast<std::uint32_t>(name.size()));
    Put16(zip, 0);
    zip.insert(zip.end(), name.begin(), name.end());
    zip.insert(zip.end(), deflated.begin(), deflated.end());
    const std::uint32_t central = static_cast<std::uint32_t>(zip.size());
    Put32(zip, 0x02014B50);
    Put16(zip, 20);
    Put16(zip, 20);
    Put16(zip, 0);
    Put16(zip, 8);
    Put16(zip, 0);
    Put16(zip, 0);
    Put32(zip, crc);
    Put32(zip, static_cast<std::uint32_t>(deflated.size()));
    Put32(zip, static_cast<std::uint32_t>(size));
    Put16(zip, static_cast<std::uint32_t>(name.size()));
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 0);
    Put32(zip, 0);
    Put32(zip, 0);
    zip.insert(zip.end(), name.begin(), name.end());
    const std::uint32_t centralSize = static_cast<std::uint32_t>(zip.size()) - central;
    Put32(zip, 0x06054B50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 1);
    Put16(zip, 1);
    Put32(zip, centralSize);
    Put32(zip, central);
    Put16(zip, 0);
    return zip;
}

// `plain`: the archive is known sound apart from its skin data, so the reader either reads it or
// refuses it with its message; "not loaded" is for passwords and damaged entries only.
void ReadSkin(const Bytes& archive, const std::string& password, bool plain = false)
{
    static const std::string path = skin::TempDir() + "skin_read_fuzz_" + std::to_string(VA_GETPID());
    {
        rtl::TFileStream f(path, rtl::fmCreate);
        if (!archive.empty())
            f.WriteBuffer(archive.data(), static_cast<std::int32_t>(archive.size()));
    }
    try {
        skin::Tsk2SkinFileReader reader(path, password);
        if (plain && !reader.Loaded())
            std::abort();
        if (reader.Loaded()) {
            for (std::int32_t i = 0; i < reader.Bitmaps().Count(); ++i)
                if (const auto* b = reader.GetBitmap(reader.Bitmaps()[i]))
                    (void)b->Data().size();
            for (std::int32_t i = 0; i < reader.Integers().Count(); ++i)
                (void)reader.GetInt(reader.Integers().Names(i));
            for (std::int32_t i = 0; i < reader.Bytes().Count(); ++i)
                (void)reader.GetBool(reader.Bytes().Names(i));
        }
    } catch (const rtl::Exception& e) {
        if (e.Message() != "Failed to read skin file!")
            std::abort();
    }
    std::remove(path.c_str());
}

}  // namespace

// First byte picks the mode: archive as given, encrypted archive as given, skin data wrapped
// in an archive, or raw inflate.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > (1u << 20))
        return 0;
    const std::uint8_t mode = data[0] % 4;
    ++data;
    --size;
    switch (mode) {
    case 0: ReadSkin(Bytes(data, data + size), ""); break;
    case 1: ReadSkin(Bytes(data, data + size), "skin-pw"); break;
    case 2: {
        const Bytes archive = WrapAsSkin(data, size);
        // The wrapping itself is sound: its entry always extracts, so whatever the reader refuses
        // was refused in the skin data's records, which is what this mode is for.
        rtl::TReadOnlyMemoryStream in(archive.data(), static_cast<std::int64_t>(archive.size()));
        std::vector<std::uint8_t> entry;
        if (size > 0 && skin::ExtractArchiveEntry(in, "SKINDATA.SK2", "", entry) != skin::kExtractOk)
            std::abort();
        ReadSkin(archive, "", true);
        break;
    }
    default: {
        rtl::TReadOnlyMemoryStream in(data, static_cast<std::int64_t>(size));
        rtl::TMemoryStream out;
        try {
            skin::Inflate(in, out, 1 << 20);
        } catch (const rtl::Exception&) {
        }
        break;
    }
    }
    return 0;
}
