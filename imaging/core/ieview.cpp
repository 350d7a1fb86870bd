// The bitmap-change list of the image views.
#include "imaging/core/ieview.h"

#include <algorithm>
#include <limits>

namespace imaging {

int TIEBitmapChangeList::IndexOf(TIECallbackHandle handle) const
{
    if (handle < 0)
        return -1;
    auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const TEntry& e) { return e.handle == handle; });
    return it == entries_.end() ? -1 : int(it - entries_.begin());
}

TIECallbackHandle TIEBitmapChangeList::Add(TIEBitmapChangeEvent Callback)
{
    if (!Callback)
        return kIENoCallback;
    // Ids count up; after two billion registrations they start again at 0, skipping live ones.
    constexpr TIECallbackHandle kLast = std::numeric_limits<TIECallbackHandle>::max();
    TIECallbackHandle handle = next_;
    while (IndexOf(handle) >= 0)
        handle = handle == kLast ? 0 : handle + 1;
    next_ = handle == kLast ? 0 : handle + 1;
    entries_.push_back({handle, std::make_shared<const TIEBitmapChangeEvent>(std::move(Callback))});
    return handle;
}

void TIEBitmapChangeList::Remove(TIECallbackHandle Handle)
{
    const int index = IndexOf(Handle);
    if (index >= 0)
        entries_.erase(entries_.begin() + index);
}

bool TIEBitmapChangeList::Contains(TIECallbackHandle Handle) const { return IndexOf(Handle) >= 0; }

void TIEBitmapChangeList::CallChanged(rtl::TObject* Sender)
{
    std::vector<TIECallbackHandle> order;
    order.reserve(entries_.size());
    for (const TEntry& e : entries_)
        order.push_back(e.handle);
    for (TIECallbackHandle handle : order) {
        const int index = IndexOf(handle);
        if (index < 0)
            continue;
        const auto callback = entries_[std::size_t(index)].callback;
        (*callback)(Sender, false);
    }
}

void TIEBitmapChangeList::CallDestroying(rtl::TObject* Sender)
{
    while (!entries_.empty()) {
        const auto callback = entries_.front().callback;
        entries_.erase(entries_.begin());
        (*callback)(Sender, true);
    }
}

}  // namespace imaging
