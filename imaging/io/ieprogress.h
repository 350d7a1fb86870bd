// Progress record handed by reference to every image reader and writer.
#pragma once

#include "imaging/core/hyiedefs.h"

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
    bool* Aborting = nullptr;  // not owned; null means no one can abort

    bool Aborted() const { return Aborting && *Aborting; }
    void Abort() const
    {
        if (Aborting)
            *Aborting = true;
    }
    void Report(int percent) const
    {
        if (fOnProgress)
            fOnProgress(Sender, percent);
    }
};

}  // namespace imaging
