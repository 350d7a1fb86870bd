// The list through which components follow an image view: who is told when the view's bitmap changes
// and when the view goes away. Portable; the view control itself is in ieview_win32.h.
#pragma once

#include "platform/rtl/Object.h"

#include <functional>
#include <memory>
#include <vector>

namespace imaging {

// Called with the view as Sender; Destroying is true once, when the view is going away, and the
// follower must then drop every reference it holds to the view.
using TIEBitmapChangeEvent = std::function<void(rtl::TObject* Sender, bool Destroying)>;

// Handle of a registered callback: an opaque id, never an address. kIENoCallback stands for none.
using TIECallbackHandle = int;
inline constexpr TIECallbackHandle kIENoCallback = -1;

// Callbacks in the order they were added. A callback may add or remove entries (itself included)
// while it runs: an entry is looked up again before each call, so a removed entry is never called
// and the rest are neither skipped nor called twice; entries added during a dispatch wait for the
// next one.
class TIEBitmapChangeList {
public:
    TIEBitmapChangeList() = default;
    TIEBitmapChangeList(const TIEBitmapChangeList&) = delete;
    TIEBitmapChangeList& operator=(const TIEBitmapChangeList&) = delete;

    // An empty callback is not stored and gives kIENoCallback.
    TIECallbackHandle Add(TIEBitmapChangeEvent Callback);
    // kIENoCallback, an unknown handle and a handle already removed are ignored.
    void Remove(TIECallbackHandle Handle);
    bool Contains(TIECallbackHandle Handle) const;
    int Count() const { return int(entries_.size()); }

    // Every entry, in order, with Destroying false; the entries stay registered.
    void CallChanged(rtl::TObject* Sender);
    // Every entry, in order, with Destroying true, each unlinked before it is called: a follower
    // hears it exactly once and the list is empty afterwards.
    void CallDestroying(rtl::TObject* Sender);

private:
    struct TEntry {
        TIECallbackHandle handle;
        // Shared so that the callback stays alive while it runs even when it removes itself.
        std::shared_ptr<const TIEBitmapChangeEvent> callback;
    };
    int IndexOf(TIECallbackHandle handle) const;

    std::vector<TEntry> entries_;
    TIECallbackHandle next_ = 0;
};

class TIEView;

}  // namespace imaging
