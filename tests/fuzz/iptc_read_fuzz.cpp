// Fuzz target: arbitrary bytes as an IPTC buffer. The saved form of whatever was read must read back
// as the same records and save to the same bytes again.
#include "imaging/core/hyieutils.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    imaging::TIEIPTCInfoList list;
    list.LoadFromStandardBuffer(data, std::int64_t(size));
    list.SaveToStandardBuffer(true);
    const std::vector<std::uint8_t> saved = list.SaveToStandardBuffer(false);

    imaging::TIEIPTCInfoList again;
    again.LoadFromStandardBuffer(saved.data(), std::int64_t(saved.size()));
    // The saved form leads with the version dataset 2:00 and leaves out the read one and empty records.
    int next = 1;
    for (int i = 0; i < list.Count(); ++i) {
        const auto& a = list.Record(i);
        if ((a.RecordNumber == 2 && a.DataSet == 0) || a.Data.empty())
            continue;
        if (next >= again.Count())
            std::abort();
        const auto& b = again.Record(next++);
        if (a.RecordNumber != b.RecordNumber || a.DataSet != b.DataSet || a.Data != b.Data)
            std::abort();
    }
    if ((list.Count() > 0 && next != again.Count()) || again.SaveToStandardBuffer(false) != saved)
        std::abort();
    return 0;
}
