// Off Windows there is no WIA: the object never has a device manager.
#include "imaging/io/iewia.h"

namespace imaging {

TIEWia::TIEWia(TVodirAdIO* Owner) : owner_(Owner)
{
    creation_ = std::int32_t(0x80040154);  // class not registered
}

TIEWia::~TIEWia() = default;

}  // namespace imaging
