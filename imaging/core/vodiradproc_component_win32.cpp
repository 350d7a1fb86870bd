// The processing component's attachments: a view followed through its callbacks (and its selection),
// a platform image control, a platform bitmap.
#include "imaging/core/vodiradproc_component.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieview_win32.h"
#include "platform/rtl/TypeInfo.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Graphics.h"

namespace imaging {

void TVodirAdProc::Publish(Table& t)
{
    t.Property(RTL_GET_SET(AttachedVodirAd));
    t.Property(RTL_MEMBER(AutoUndo)).Default(true);
    t.Property(RTL_GET_SET(Background)).Type(win::ColorTypeInfo());
    t.Event(RTL_MEMBER(OnProgress));
    t.Property(RTL_MEMBER(MsgLanguage)).Default(msSystem);
    t.Property(RTL_MEMBER(PreviewsParams)).Default(TPRPreviewsParams{});
    t.Property(RTL_GET_SET(PreviewFont));
    t.Property(RTL_GET_SET(AttachedTImage));
    t.Event(RTL_MEMBER(OnPreview));
    t.Property(RTL_GET_SET(UndoLimit)).Default(1);
    t.Creatable();
}

std::unique_ptr<win::TFont, TVodirAdProc::TFontDeleter> TVodirAdProc::NewPreviewFont()
{
    return std::unique_ptr<win::TFont, TFontDeleter>(new win::TFont());
}

void TVodirAdProc::TFontDeleter::operator()(win::TFont* Font) const { delete Font; }

void TVodirAdProc::SetPreviewFont(win::TFont* Value)
{
    if (Value && previewFont_)
        previewFont_->Assign(Value);
}

void TVodirAdProc::DetachView()
{
    if (view_) {
        view_->RemoveBitmapChangeCallback(callback_);
        RemoveFreeNotification(view_);
    }
    callback_ = kIENoCallback;
    view_ = nullptr;
}

void TVodirAdProc::SetAttachedVodirAd(TIEView* View)
{
    if (View == view_)
        return;
    DetachView();
    if (!View) {
        UseOwnBitmap();
        return;
    }
    if (image_) {
        RemoveFreeNotification(image_);
        image_ = nullptr;
    }
    owned_.reset();
    bitmap_ = nullptr;
    attachedBitmap_ = View->GetTBitmap();
    if (TIEBitmap* shown = View->GetIEBitmap()) {
        bitmap_ = shown;
        attachedBitmap_ = nullptr;
    } else {
        owned_ = std::make_unique<TIEBitmap>();
        owned_->EncapsulateTBitmap(attachedBitmap_, true);
        bitmap_ = owned_.get();
    }
    view_ = View;
    FreeNotification(View);
    callback_ = View->AddBitmapChangeCallback([this](rtl::TObject* s, bool d) { BitmapChangeEvent(s, d); });
}

void TVodirAdProc::BitmapChangeEvent(rtl::TObject*, bool Destroying)
{
    if (!view_)
        return;
    if (Destroying) {
        // The view is going away and has already unlinked this callback: drop it without calling
        // back into it, and keep an image of our own.
        RemoveFreeNotification(view_);
        view_ = nullptr;
        callback_ = kIENoCallback;
        UseOwnBitmap();
        return;
    }
    attachedBitmap_ = view_->GetTBitmap();
    if (owned_) {
        owned_->EncapsulateTBitmap(attachedBitmap_, true);
    } else if (TIEBitmap* shown = view_->GetIEBitmap()) {
        bitmap_ = shown;
        attachedBitmap_ = nullptr;
    }
}

void TVodirAdProc::SetAttachedTImage(win::TImage* Image)
{
    if (Image == image_)
        return;
    DetachView();
    if (image_)
        RemoveFreeNotification(image_);
    image_ = Image;
    if (!Image) {
        // The image's bitmap may go with it: nothing of it is kept.
        UseOwnBitmap();
        return;
    }
    FreeNotification(Image);
    UseOwnBitmap();
    attachedBitmap_ = Image->Picture()->Bitmap();
    owned_->EncapsulateTBitmap(attachedBitmap_, true);
}

void TVodirAdProc::SetAttachedBitmap(win::TBitmap* Bitmap)
{
    if (!Bitmap && (view_ || image_))
        return;
    if (Bitmap) {
        DetachView();
        if (image_) {
            RemoveFreeNotification(image_);
            image_ = nullptr;
        }
    }
    UseOwnBitmap();
    attachedBitmap_ = Bitmap;
    if (Bitmap)
        owned_->EncapsulateTBitmap(Bitmap, true);
}

void TVodirAdProc::RewrapAttachedBitmap()
{
    // The platform bitmap may have been resized since it was wrapped.
    if (attachedBitmap_ && owned_)
        owned_->EncapsulateTBitmap(attachedBitmap_, true);
}

void TVodirAdProc::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation)
{
    rtl::TComponent::Notification(AComponent, Operation);
    if (Operation != rtl::opRemove)
        return;
    if (view_ && AComponent == view_) {
        view_->RemoveBitmapChangeCallback(callback_);
        callback_ = kIENoCallback;
        view_ = nullptr;
        UseOwnBitmap();
    } else if (image_ && AComponent == image_) {
        // The picture's bitmap dies with the image: never keep working on it.
        image_ = nullptr;
        UseOwnBitmap();
    }
}

void TVodirAdProc::Update()
{
    if (attachedBitmap_ && bitmap_)
        bitmap_->RemoveAlphaChannel();
    if (view_) {
        view_->Update();
        view_->ImageChange();
    } else if (attachedBitmap_) {
        attachedBitmap_->SetModified(true);
    }
}

TIEMask* TVodirAdProc::ViewSelection(bool& Selected, const TIESelectionPoints*& Points) const
{
    Selected = view_ && view_->Selected();
    Points = view_ ? view_->GetSelectionPoints() : nullptr;
    return view_ ? view_->GetSelectionMask() : nullptr;
}

bool TVodirAdProc::SaveViewSelection(rtl::TStream& Stream)
{
    if (!view_ || !view_->GetSelectionMask())
        return false;
    view_->SaveSelectionToStream(Stream);
    return true;
}

void TVodirAdProc::LoadViewSelection(rtl::TStream& Stream)
{
    if (view_)
        view_->LoadSelectionFromStream(Stream);
}

TColor TVodirAdProc::Background() const { return view_ ? view_->Background() : background_; }

void TVodirAdProc::SetBackground(TColor Value)
{
    if (view_)
        view_->SetBackground(Value);
    else
        background_ = Value;
}

}  // namespace imaging
