// TIEView: the windowed control every image view stands on, and the face through which the I/O and
// processing components reach the image a view shows. Windows build only.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/ieview.h"
#include "platform/win/Controls.h"

#include <cstdint>

namespace rtl {
class TStream;
}

namespace imaging {

class TIEBitmap;
class TIEMask;
class TIESelectionPoints;

// The view's bitmap is reached through GetIEBitmap (and GetTBitmap for a view that shows a platform
// bitmap); a component that changes it calls ImageChange and Update. Components that keep a pointer
// to the view or its bitmap register a bitmap-change callback and drop both when it reports
// Destroying. Abstract: a descendant gives the alpha channel and the update lock.
class TIEView : public win::TCustomControl {
    RTL_DECLARE_CLASS(TIEView, win::TCustomControl)

public:
    explicit TIEView(rtl::TComponent* owner);
    // Tells every remaining follower, once, that the view is going away.
    ~TIEView() override;

    TColor Background() const { return background_; }
    virtual void SetBackground(TColor Value) { background_ = Value; }
    win::TBorderStyle BorderStyle() const { return BorderStyleProp(); }
    // Recreates the window on a change.
    void SetBorderStyle(win::TBorderStyle Value);
    bool Ctl3D() const { return ctl3D_; }
    // Recreates the window on a change; clears ParentCtl3D.
    void SetCtl3D(bool Value);
    bool ParentCtl3D() const { return parentCtl3D_; }
    void SetParentCtl3D(bool Value) { parentCtl3D_ = Value; }

    // The shown image as a platform bitmap and as a library bitmap; nullptr when the view has none.
    // Owned by the view.
    virtual win::TBitmap* GetTBitmap() { return nullptr; }
    virtual TIEBitmap* GetIEBitmap() { return nullptr; }
    virtual TIEBitmap* GetAlphaChannel() = 0;
    virtual bool HasAlphaChannel() = 0;
    virtual void RemoveAlphaChannel(bool Merge) = 0;
    // Repaints are held while the lock count is above 0.
    virtual void LockUpdate() = 0;
    virtual void UnlockUpdate() = 0;
    virtual void UnlockUpdateNoRefresh() = 0;

    std::int32_t DpiX() const { return dpiX_; }
    std::int32_t DpiY() const { return dpiY_; }
    // 0 keeps the previous value.
    virtual void SetDpiX(std::int32_t Value);
    virtual void SetDpiY(std::int32_t Value);
    void SetDpi(std::int32_t X, std::int32_t Y);

    // The selection of a view that keeps one, for the processing component's undo entries and
    // its operations inside the selection. A view without selections has no mask (nullptr), never
    // holds a selection, writes nothing and loads nothing.
    virtual TIEMask* GetSelectionMask() { return nullptr; }
    virtual const TIESelectionPoints* GetSelectionPoints() const { return nullptr; }
    virtual bool Selected() const { return false; }
    virtual void SaveSelectionToStream(rtl::TStream&) {}
    // False, with nothing changed, for a snapshot the view cannot take.
    virtual bool LoadSelectionFromStream(rtl::TStream&) { return false; }

    // 800 Hz for 50 ms.
    virtual void Beep();
    // The image content changed; descendants tell their own listeners.
    virtual void ImageChange() {}
    // Tells every follower that the view's bitmap changed (Destroying false).
    virtual void CallBitmapChangeEvents();

    // Returns the handle to remove it with later; kIENoCallback for an empty callback.
    TIECallbackHandle AddBitmapChangeCallback(TIEBitmapChangeEvent Callback);
    // kIENoCallback, unknown and already removed handles are ignored.
    void RemoveBitmapChangeCallback(TIECallbackHandle Handle);
    int BitmapChangeCallbackCount() const { return callbacks_.Count(); }

protected:
    void CreateParams(win::TCreateParams& params) override;
    // For descendants' destructors: tells the followers while the descendant's state still exists.
    // Later calls find the list empty.
    void NotifyDestroying() { callbacks_.CallDestroying(this); }

private:
    TIEBitmapChangeList callbacks_;
    TColor background_ = win::clBtnFace;
    bool ctl3D_ = true;
    bool parentCtl3D_ = false;
    std::int32_t dpiX_ = 0;
    std::int32_t dpiY_ = 0;
};

}  // namespace imaging
