// Presses a message box of this process from a helper thread, as a user would, while the test's
// own thread sits in the modal call that shows it.
#pragma once

#include "platform/rtl/Win32.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace testing_win {

class TMessageBoxPresser {
public:
    // What the box showed when it was pressed.
    struct Seen {
        std::string Caption;
        std::string Text;
        bool HasYes = false, HasNo = false, HasOk = false, HasCancel = false;
    };

    // Starts watching for a visible dialog box of this process and presses `button` once it
    // shows. The modal call under test blocks its thread until then, so a box that never comes
    // (a loaded machine is no reason: the wait is long) ends the process with a message rather
    // than leaving the test hanging until the harness kills it.
    explicit TMessageBoxPresser(int button) : thread_([this, button] { Watch(button); }) {}
    ~TMessageBoxPresser() { Stop(); }
    TMessageBoxPresser(const TMessageBoxPresser&) = delete;
    TMessageBoxPresser& operator=(const TMessageBoxPresser&) = delete;

    // Call when the modal call has returned: stops watching.
    void Stop()
    {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool Pressed() const { return pressed_; }
    const Seen& Box() const { return seen_; }

private:
    static constexpr DWORD kPatienceMs = 60000;

    void Watch(int button)
    {
        const DWORD pid = ::GetCurrentProcessId();
        const DWORD start = ::GetTickCount();
        while (!done_) {
            HWND box = nullptr;
            while ((box = ::FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(box, &owner);
                if (owner == pid && ::IsWindowVisible(box))
                    break;
            }
            if (box) {
                char buffer[1024] = {};
                ::GetWindowTextA(box, buffer, sizeof buffer);
                seen_.Caption = buffer;
                ::GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
                seen_.Text = buffer;
                seen_.HasYes = ::GetDlgItem(box, IDYES) != nullptr;
                seen_.HasNo = ::GetDlgItem(box, IDNO) != nullptr;
                seen_.HasOk = ::GetDlgItem(box, IDOK) != nullptr;
                seen_.HasCancel = ::GetDlgItem(box, IDCANCEL) != nullptr;
                pressed_ = true;
                ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
                return;
            }
            if (::GetTickCount() - start > kPatienceMs) {
                std::fprintf(stderr, "FAILED: no message box appeared within %lu s\n",
                             static_cast<unsigned long>(kPatienceMs / 1000));
                std::fflush(stderr);
                std::_Exit(1);
            }
            ::Sleep(10);
        }
    }

    std::atomic<bool> done_{false};
    std::atomic<bool> pressed_{false};
    Seen seen_;
    std::thread thread_;
};

}  // namespace testing_win
