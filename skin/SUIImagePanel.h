// A panel that shows a picture at its own size, stretched or tiled; the skinned track bar's thumb.
#pragma once

#include "platform/win/ExtCtrls.h"
#include "platform/win/Graphics.h"

#include <memory>

namespace skin {

enum TsuiDrawStyle { suiNormal, suiStretch, suiTile };
RTL_ENUM_INFO(TsuiDrawStyle, "suiNormal", "suiStretch", "suiTile")

// A panel without bevels whose background is its colour, or, when Transparent, whatever its
// parent paints where it lies.
class TsuiCustomPanel : public win::TCustomPanel {
    RTL_DECLARE_CLASS(TsuiCustomPanel, win::TCustomPanel)

public:
    explicit TsuiCustomPanel(rtl::TComponent* owner);

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v) { rtl::SetAndNotify(transparent_, v, this, &Self::Invalidate); }

protected:
    // The background and the caption; descendants draw between the two.
    void Paint() override;
    virtual void PaintContent(win::TCanvas& canvas) {}

private:
    bool transparent_ = false;
};

class TsuiImagePanel : public TsuiCustomPanel {
    RTL_DECLARE_CLASS(TsuiImagePanel, TsuiCustomPanel)

public:
    explicit TsuiImagePanel(rtl::TComponent* owner);
    ~TsuiImagePanel() override;

    win::TPicture* Picture() const { return picture_.get(); }
    void SetPicture(win::TPicture* v) { picture_->Assign(v); }
    TsuiDrawStyle DrawStyle() const { return drawStyle_; }
    void SetDrawStyle(TsuiDrawStyle v) { rtl::SetAndNotify(drawStyle_, v, this, &Self::Invalidate); }
    // The panel takes the picture's size, now and whenever the picture changes.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);

protected:
    void PaintContent(win::TCanvas& canvas) override;
    void AdjustSize() override;

private:
    void PictureChanged(rtl::TObject*);

    std::unique_ptr<win::TPicture> picture_;
    TsuiDrawStyle drawStyle_ = suiNormal;
    bool autoSize_ = false;
};

}  // namespace skin
