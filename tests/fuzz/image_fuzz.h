// What the image fuzz targets share: a failed check ends the run the way the fuzzer reports a fault,
// and a reader or writer runs with an abort flag of its own.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "tests/imaging/io/io_test_util.h"

#include <atomic>
#include <cstdlib>
#include <memory>

namespace fuzz {

inline void Check(bool ok)
{
    if (!ok)
        std::abort();
}

using imaging::test::Progress;

// One run of a reader or writer: its bitmap, parameters, alpha mask and abort flag.
struct Job {
    imaging::TIEBitmap bitmap;
    imaging::TIOParamsVals params{nullptr};
    std::unique_ptr<imaging::TIEMask> mask;
    std::atomic<bool> abort{false};
    imaging::TProgressRecord progress;
    Job() { progress.Aborting = &abort; }
};

}  // namespace fuzz
