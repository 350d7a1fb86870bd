// Without the GUI layer there are no views, images or platform bitmaps to attach to: the component
// always works on its own bitmap.
#include "imaging/core/vodiradprocc.h"

#include "imaging/core/iebitmap.h"
#include "platform/rtl/TypeInfo.h"

namespace imaging {

const rtl::TClassInfo& TVodirAdProc::StaticClassInfo()
{
    static const rtl::TClassInfo info =
        rtl::TClassBuilder<TVodirAdProc, rtl::TComponent>("TVodirAdProc")
            .Property("AutoUndo", &TVodirAdProc::AutoUndo)
            .Default(true)
            .Property("Background", &TVodirAdProc::Background, &TVodirAdProc::SetBackground)
            .Property("UndoLimit", &TVodirAdProc::UndoLimit, &TVodirAdProc::SetUndoLimit)
            .Default(1)
            .Creatable()
            .Build();
    return info;
}

void TVodirAdProc::SetAttachedVodirAd(TIEView*) {}
void TVodirAdProc::SetAttachedTImage(win::TImage*) {}
void TVodirAdProc::SetAttachedBitmap(win::TBitmap*) {}
void TVodirAdProc::DetachView() {}
void TVodirAdProc::BitmapChangeEvent(rtl::TObject*, bool) {}
void TVodirAdProc::RewrapAttachedBitmap() {}
void TVodirAdProc::Update() {}
void TVodirAdProc::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation)
{
    rtl::TComponent::Notification(AComponent, Operation);
}
TColor TVodirAdProc::Background() const { return background_; }
void TVodirAdProc::SetBackground(TColor Value) { background_ = Value; }

}  // namespace imaging
