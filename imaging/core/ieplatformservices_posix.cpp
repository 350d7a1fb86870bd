// Free memory, the user language, colours and memory-backed bitmaps on POSIX systems.
#include "imaging/core/detail/ieplatformservices.h"

#include "imaging/core/ieplatformbitmap.h"
#include "platform/rtl/Exceptions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

namespace imaging::detail {

std::int64_t PlatformAvailableMemory()
{
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return std::int64_t(pages) * pageSize;
}

int PlatformPrimaryLanguage()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value)
            continue;
        const std::string code(value, std::min<std::size_t>(2, std::strlen(value)));
        struct TCode {
            const char* code;
            int id;
        };
        static constexpr TCode kCodes[] = {{"de", 7},  {"el", 8},  {"es", 10}, {"fr", 12},
                                           {"it", 16}, {"ja", 17}, {"nl", 19}, {"pl", 21},
                                           {"pt", 22}, {"ru", 25}, {"sv", 29}};
        for (const auto& c : kCodes)
            if (code == c.code)
                return c.id;
        return 9;
    }
    return 9;
}

std::int32_t PlatformResolveColor(std::int32_t color)
{
    // No system palette here: keep the colour bytes.
    return color & 0x00FFFFFF;
}

std::unique_ptr<TIEPlatformBitmap> PlatformCreateBitmap()
{
    return std::make_unique<TIEMemoryPlatformBitmap>();
}

namespace {

// No device context here: the rows alone, so the row logic runs under the sanitizers.
class TIEHeapDibSection : public TIEDibSection {
public:
    explicit TIEHeapDibSection(std::size_t size) : bits_(new (std::nothrow) std::uint8_t[size]())
    {
        if (!bits_)
            throw rtl::EOutOfMemory("Out of memory");
    }
    std::uint8_t* Bits() override { return bits_.get(); }
    void* DC() const override { return nullptr; }
    void* Handle() const override { return nullptr; }

private:
    std::unique_ptr<std::uint8_t[]> bits_;
};

}  // namespace

std::unique_ptr<TIEDibSection> PlatformCreateDibSection(int, int Height, int, int RowLen)
{
    return std::make_unique<TIEHeapDibSection>(std::size_t(Height) * std::size_t(RowLen));
}

}  // namespace imaging::detail
