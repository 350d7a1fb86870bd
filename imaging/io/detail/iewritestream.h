// A stream in front of a writer's target that turns every short write into the abort flag, for
// encoders that write to a stream themselves (LZW, CCITT) and report write failures only there.
#pragma once

#include "imaging/io/ieprogress.h"
#include "platform/rtl/Streams.h"

#include <cstdint>

namespace imaging::detail {

class TIECheckedStream : public rtl::TStream {
public:
    TIECheckedStream(rtl::TStream& Target, TProgressRecord& Progress) : target_(Target), progress_(Progress)
    {
    }

    std::int32_t Read(void* Buffer, std::int32_t Count) override { return target_.Read(Buffer, Count); }
    // Nothing more is written once the flag is set.
    std::int32_t Write(const void* Buffer, std::int32_t Count) override
    {
        if (Count <= 0 || progress_.Aborted())
            return 0;
        const std::int32_t done = target_.Write(Buffer, Count);
        if (done != Count)
            progress_.Abort();
        return done;
    }
    std::int64_t Seek(std::int64_t Offset, rtl::TSeekOrigin Origin) override
    {
        return target_.Seek(Offset, Origin);
    }
    std::int64_t Size() override { return target_.Size(); }

private:
    rtl::TStream& target_;       // not owned
    TProgressRecord& progress_;  // not owned
};

}  // namespace imaging::detail
