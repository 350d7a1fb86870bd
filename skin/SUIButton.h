// Skinned push buttons: the shared base (mouse states, repeat while held, default and cancel
// keys, modal results, caption), the push button drawn from the skin's button bitmap, and the
// button drawn from four pictures of its own.
#pragma once

#include "platform/win/Controls.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Graphics.h"
#include "skin/SUIControl.h"

#include <array>
#include <cstdint>
#include <memory>

namespace skin {

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
RTL_ENUM_INFO(TButtonLayout, "blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom")

// The base of the skinned buttons. A left press repeats OnMouseContinuouslyDown every
// MouseContinuouslyDownInterval milliseconds while the button stays pressed; the repeating
// stops when the mouse is released anywhere, leaves the button, when the button loses the
// mouse capture, is disabled or hidden, and when it is clicked.
//
// AutoSize: the button takes the size of its normal face, one piece of the skin's button bitmap
// for a push button and PicNormal for an image button, from whichever source the style uses; a
// button without a face is 74 x 21.
class TsuiCustomButton : public win::TCustomControl {
    RTL_DECLARE_CLASS(TsuiCustomButton, win::TCustomControl)

public:
    explicit TsuiCustomButton(rtl::TComponent* owner);
    ~TsuiCustomButton() override;

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);
    // Esc presses the cancel button and Enter the default one, wherever the focus is on the form.
    bool Cancel() const { return cancel_; }
    void SetCancel(bool v) { cancel_ = v; }
    bool Default() const { return default_; }
    void SetDefault(bool v);
    // The face leaves its key-coloured pixels out, so the parent shows through.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    // Copied to the parent form's ModalResult when the button is clicked (mrNone: nothing).
    win::TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(win::TModalResult v) { modalResult_ = v; }
    TsuiUIStyle UIStyle() const { return link_.UIStyle(); }
    void SetUIStyle(TsuiUIStyle value);
    TsuiFileTheme* FileTheme() const { return link_.FileTheme(); }
    void SetFileTheme(TsuiFileTheme* value);
    // Below 1 counts as 0: the repeat timer then never fires.
    std::int32_t MouseContinuouslyDownInterval() const { return interval_; }
    void SetMouseContinuouslyDownInterval(std::int32_t v) { interval_ = v; }
    std::int32_t FocusedRectMargin() const { return focusedRectMargin_; }
    void SetFocusedRectMargin(std::int32_t v);

    rtl::TNotifyEvent OnMouseContinuouslyDown;

    bool MouseOver() const { return mouseOver_; }
    bool MouseIsDown() const { return mouseDown_; }
    // The repeat timer exists (the button is held).
    bool Repeating() const { return repeatTimer_ != nullptr; }

    void Click() override;
    void WndProc(win::TMessage& message) override;

protected:
    // The face of each state, in slot order normal, mouse on, mouse down, disabled; nullptr or
    // an empty graphic draws none.
    virtual win::TGraphic* NormalFace() { return nullptr; }
    virtual win::TGraphic* MouseOnFace() { return NormalFace(); }
    virtual win::TGraphic* MouseDownFace() { return NormalFace(); }
    virtual win::TGraphic* DisabledFace() { return NormalFace(); }
    // Loads the style's pictures and colours.
    virtual void ApplyUIStyle() {}
    virtual void DrawFace(win::TCanvas& canvas, win::TGraphic* face) {}
    // The caption measured and centred, wrapped at words, embossed when disabled.
    virtual void DrawCaption(win::TCanvas& canvas);
    virtual bool DrawsFocusRect() const { return !focusedBold_; }
    bool CaptionBold() { return Focused() && (focusedBold_ || default_); }
    // The caption's colour; the font's unless the style gives one.
    virtual win::TColor CaptionColor() { return Font()->Color(); }
    TSkinLink& Link() { return link_; }
    bool Pressed() const { return mouseDown_ && mouseOver_; }
    void SetFocusedBold(bool v) { focusedBold_ = v; }
    // Draws the caption in the canvas font's colour, or embossed white and grey when disabled.
    void DrawEmbossed(win::TCanvas& canvas, const std::string& text, win::TRect rect, UINT flags);

    void Paint() override;
    void AdjustSize() override;
    void MouseDown(win::TMouseButton button, win::TShiftState shift, int x, int y) override;
    void MouseMove(win::TShiftState shift, int x, int y) override;
    void MouseUp(win::TMouseButton button, win::TShiftState shift, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void KeyUp(std::uint16_t& key, win::TShiftState shift) override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    // The action's caption always, not only over an empty one.
    void ActionChange(win::TAction* sender, bool checkDefaults) override;

private:
    void StopRepeat();
    void RepeatTick(rtl::TObject*);

    TSkinLink link_;
    bool autoSize_ = false;
    bool cancel_ = false;
    bool default_ = false;
    bool transparent_ = false;
    win::TModalResult modalResult_ = win::mrNone;
    bool focusedBold_ = false;
    std::unique_ptr<win::TTimer> repeatTimer_;
    std::int32_t interval_ = 100;
    std::int32_t focusedRectMargin_ = 2;
    bool mouseOver_ = false;
    bool mouseDown_ = false;
    win::TBitmap buffer_;
};

// A push button whose face is the skin's button bitmap in nine parts, with an optional glyph
// (one image, or a normal and a disabled one side by side when twice as wide as high; the
// pixel at its bottom left is transparent).
class TsuiButton : public TsuiCustomButton {
    RTL_DECLARE_CLASS(TsuiButton, TsuiCustomButton)

public:
    explicit TsuiButton(rtl::TComponent* owner);
    ~TsuiButton() override;

    win::TBitmap* Glyph() const { return glyph_.get(); }
    void SetGlyph(win::TBitmap* v) { glyph_->Assign(v); }
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout v);
    // Pixels between glyph and caption.
    std::int32_t Spacing() const { return spacing_; }
    void SetSpacing(std::int32_t v);
    std::uint32_t ResHandle = 0;

protected:
    win::TGraphic* NormalFace() override { return faces_[0].get(); }
    win::TGraphic* MouseOnFace() override { return faces_[1].get(); }
    win::TGraphic* MouseDownFace() override { return faces_[2].get(); }
    void ApplyUIStyle() override;
    void DrawFace(win::TCanvas& canvas, win::TGraphic* face) override;
    void DrawCaption(win::TCanvas& canvas) override;
    // The style's button text colour. Kept apart from Font, so the button still takes its
    // parent's font.
    win::TColor CaptionColor() override { return captionColor_; }

private:
    std::array<std::unique_ptr<win::TBitmap>, 3> faces_;
    win::TColor captionColor_ = win::clBlack;
    std::unique_ptr<win::TBitmap> glyph_;
    TButtonLayout layout_ = blGlyphLeft;
    std::int32_t spacing_ = 4;
};

// A button drawn from its own four pictures; an empty mouse-on, mouse-down or disabled picture
// shows PicNormal instead. The skinned scroll bar's line buttons are such buttons.
class TsuiImageButton : public TsuiCustomButton {
    RTL_DECLARE_CLASS(TsuiImageButton, TsuiCustomButton)

public:
    explicit TsuiImageButton(rtl::TComponent* owner);
    ~TsuiImageButton() override;

    win::TPicture* PicNormal() const { return pictures_[0].get(); }
    void SetPicNormal(win::TPicture* v) { pictures_[0]->Assign(v); }
    win::TPicture* PicMouseOn() const { return pictures_[1].get(); }
    void SetPicMouseOn(win::TPicture* v) { pictures_[1]->Assign(v); }
    win::TPicture* PicMouseDown() const { return pictures_[2].get(); }
    void SetPicMouseDown(win::TPicture* v) { pictures_[2]->Assign(v); }
    win::TPicture* PicDisabled() const { return pictures_[3].get(); }
    void SetPicDisabled(win::TPicture* v) { pictures_[3]->Assign(v); }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool v);
    bool DrawFocused() const { return drawFocused_; }
    void SetDrawFocused(bool v);

protected:
    win::TGraphic* NormalFace() override { return Face(0); }
    win::TGraphic* MouseOnFace() override { return Face(1); }
    win::TGraphic* MouseDownFace() override { return Face(2); }
    win::TGraphic* DisabledFace() override { return Face(3); }
    void DrawFace(win::TCanvas& canvas, win::TGraphic* face) override;
    bool DrawsFocusRect() const override { return drawFocused_; }

private:
    win::TGraphic* Face(std::size_t slot);
    void PictureChanged(rtl::TObject*);

    std::array<std::unique_ptr<win::TPicture>, 4> pictures_;
    bool stretch_ = false;
    bool drawFocused_ = false;
};

}  // namespace skin
