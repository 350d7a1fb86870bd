// Waiting for what the message loop delivers, in tests of controls and forms.
#pragma once

#include "platform/win/Forms.h"

#include <functional>

namespace wintest {

// Dispatches messages until `done` holds or `timeoutMs` passes; false on timeout.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        win::Application->ProcessMessages();
        ::Sleep(1);
    }
    return true;
}

inline void Pump()
{
    for (int i = 0; i < 5; ++i)
        win::Application->ProcessMessages();
}

}  // namespace wintest
