// PackBits run-length coding.
#include "imaging/io/detail/iepackbits.h"

namespace imaging::detail {

namespace {

constexpr std::size_t kMaxRun = 128;

// The equal bytes from At on, counted up to Limit.
std::size_t RunAt(const std::uint8_t* data, std::size_t count, std::size_t at, std::size_t limit)
{
    std::size_t run = 1;
    while (at + run < count && run < limit && data[at + run] == data[at])
        ++run;
    return run;
}

}  // namespace

void IEPackBits(const std::uint8_t* Data, std::size_t Count, std::size_t MinRun,
                std::vector<std::uint8_t>& Out)
{
    std::size_t i = 0;
    while (i < Count) {
        const std::size_t run = RunAt(Data, Count, i, kMaxRun);
        if (run >= MinRun) {
            Out.push_back(std::uint8_t(257 - run));
            Out.push_back(Data[i]);
            i += run;
            continue;
        }
        // A literal stretch ends where a run long enough to repeat begins.
        std::size_t len = 1;
        while (i + len < Count && len < kMaxRun && RunAt(Data, Count, i + len, MinRun) < MinRun)
            ++len;
        Out.push_back(std::uint8_t(len - 1));
        Out.insert(Out.end(), Data + i, Data + i + len);
        i += len;
    }
}

}  // namespace imaging::detail
