// Skinned panels: the transparent-capable base and the picture panel.
#include "skin/SUIImagePanel.h"

#include "platform/rtl/Win32.h"
#include "skin/SUIPublic.h"

namespace skin {

// ---- TsuiCustomPanel ----

void TsuiCustomPanel::Publish(Table& t)
{
    t.Property(RTL_GET_SET(BevelOuter)).Default(win::bvNone);
    t.Property(RTL_GET_SET(Transparent)).Default(false);
}

TsuiCustomPanel::TsuiCustomPanel(rtl::TComponent* owner) : win::TCustomPanel(owner)
{
    SetBevelOuter(win::bvNone);
}

void TsuiCustomPanel::Paint()
{
    win::TCanvas& canvas = *Canvas();
    const win::TRect client = ClientRect();
    if (transparent_) {
        PaintParentBackground(&canvas, this);
    } else {
        canvas.Brush()->SetStyle(win::bsSolid);
        canvas.Brush()->SetColor(Color());
        canvas.FillRect(client);
    }
    PaintContent(canvas);
    const std::string caption = Caption();
    if (!caption.empty()) {
        static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
        win::TRect r = client;
        canvas.Brush()->SetStyle(win::bsClear);
        canvas.Font()->Assign(Font());
        canvas.DrawText(caption, r, DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS | kAlign[Alignment()]);
    }
}

// ---- TsuiImagePanel ----

void TsuiImagePanel::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Picture));
    t.Property(RTL_GET_SET(AutoSize)).Default(false);
    t.Property(RTL_GET_SET(DrawStyle)).Default(suiNormal);
    t.Creatable();
}

TsuiImagePanel::TsuiImagePanel(rtl::TComponent* owner)
    : TsuiCustomPanel(owner), picture_(std::make_unique<win::TPicture>())
{
    picture_->OnChange = [this](rtl::TObject* sender) { PictureChanged(sender); };
}

TsuiImagePanel::~TsuiImagePanel() { picture_->OnChange = nullptr; }

void TsuiImagePanel::SetAutoSize(bool v)
{
    autoSize_ = v;
    AdjustSize();
    Invalidate();
}

void TsuiImagePanel::PictureChanged(rtl::TObject*)
{
    AdjustSize();
    Invalidate();
}

void TsuiImagePanel::AdjustSize()
{
    if (!autoSize_ || ComponentState().Contains(rtl::csReading))
        return;
    if (win::TGraphic* g = picture_->Graphic(); g && !g->Empty())
        SetBounds(Left(), Top(), g->Width(), g->Height());
}

void TsuiImagePanel::PaintContent(win::TCanvas& canvas)
{
    win::TGraphic* g = picture_->Graphic();
    if (!g || g->Empty())
        return;
    switch (drawStyle_) {
    case suiNormal: canvas.Draw(0, 0, g); break;
    case suiStretch: canvas.StretchDraw(ClientRect(), g); break;
    case suiTile: TileGraphic(&canvas, picture_.get(), ClientRect()); break;
    }
}

}  // namespace skin
