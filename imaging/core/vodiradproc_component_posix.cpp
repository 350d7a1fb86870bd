// Without the GUI layer there are no views, images or platform bitmaps to attach to: the component
// always works on its own bitmap.
#include "imaging/core/vodiradproc_component.h"

#include "imaging/core/iebitmap.h"
#include "platform/rtl/TypeInfo.h"

namespace imaging {

// The published properties that need no GUI classes, in the same order.
void TVodirAdProc::Publish(Table& t)
{
    t.Property(RTL_MEMBER(AutoUndo)).Default(true);
    t.Property(RTL_GET_SET(Background));
    t.Event(RTL_MEMBER(OnProgress));
    t.Property(RTL_MEMBER(MsgLanguage)).Default(msSystem);
    t.Property(RTL_MEMBER(PreviewsParams)).Default(TPRPreviewsParams{});
    t.Event(RTL_MEMBER(OnPreview));
    t.Property(RTL_GET_SET(UndoLimit)).Default(1);
    t.Creatable();
}

std::unique_ptr<win::TFont, TVodirAdProc::TFontDeleter> TVodirAdProc::NewPreviewFont() { return nullptr; }
// No font is ever made here.
void TVodirAdProc::TFontDeleter::operator()(win::TFont*) const {}
void TVodirAdProc::SetPreviewFont(win::TFont*) {}

void TVodirAdProc::SetAttachedVodirAd(TIEView*) {}
void TVodirAdProc::SetAttachedTImage(win::TImage*) {}
void TVodirAdProc::SetAttachedBitmap(win::TBitmap*) {}
void TVodirAdProc::DetachView() {}
void TVodirAdProc::BitmapChangeEvent(rtl::TObject*, bool) {}
void TVodirAdProc::RewrapAttachedBitmap() {}
void TVodirAdProc::Update() {}
TIEMask* TVodirAdProc::ViewSelection(bool& Selected, const TIESelectionPoints*& Points) const
{
    Selected = false;
    Points = nullptr;
    return nullptr;
}
bool TVodirAdProc::SaveViewSelection(rtl::TStream&) { return false; }
void TVodirAdProc::LoadViewSelection(rtl::TStream&) {}
void TVodirAdProc::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation)
{
    rtl::TComponent::Notification(AComponent, Operation);
}
TColor TVodirAdProc::Background() const { return background_; }
void TVodirAdProc::SetBackground(TColor Value) { background_ = Value; }

}  // namespace imaging
