// Progress record handed by reference to every image reader and writer.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "platform/rtl/Streams.h"

#include <atomic>
#include <cstdint>

namespace imaging {

// Built on the stack by each operation of the I/O component. Routines report Trunc(per * done)
// through Report and stop once *Aborting is set; Aborting points at the component's AbortFlag.
struct TProgressRecord {
    TIEProgressEvent fOnProgress;  // may be empty
    void* Sender = nullptr;        // not owned
    std::int32_t val = 0;          // free for the routine's own counting
    std::int32_t tot = 0;
    double per = 0;
    // Not owned; null means no one can abort. Atomic: the component's owner may abort from
    // another thread while a worker reads or writes.
    std::atomic<bool>* Aborting = nullptr;

    bool Aborted() const { return Aborting && Aborting->load(std::memory_order_relaxed); }
    void Abort() const
    {
        if (Aborting)
            Aborting->store(true);
    }
    void Report(int percent) const
    {
        if (fOnProgress)
            fOnProgress(Sender, percent);
    }
};

// The writers' stream write: a short write (a full disk, a closed pipe) sets the abort flag, and
// nothing more is written once it is set.
inline void IEWrite(rtl::TStream& Stream, TProgressRecord& Progress, const void* Buffer, std::int32_t Count)
{
    if (Count <= 0 || Progress.Aborted())
        return;
    if (Stream.Write(Buffer, Count) != Count)
        Progress.Abort();
}

}  // namespace imaging
