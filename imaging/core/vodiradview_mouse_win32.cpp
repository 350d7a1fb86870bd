// The image view's selection and mouse interaction: rectangles, ellipses, polygons, lassos, the magic
// wand and the zoom rectangle; grips, moves, automatic scrolling, click and wheel zoom, scrolling by
// dragging, and moving and resizing layers.
#include "imaging/core/vodiradview_win32.h"

#include "imaging/core/vodiradproc.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"

#include <algorithm>
#include <cmath>

namespace imaging {

namespace {

// Cursor numbers of the view's table (kIEFirstViewCursor + index).
constexpr win::TCursor kCursorMove2 = 1786, kCursorMoveY = 1787, kCursorMove1 = 1788, kCursorMoveX = 1789,
                       kCursorMove = 1790;

win::TCursor GripCursor(TIEGrip grip)
{
    switch (grip) {
    case ieTopLeft:
    case ieBottomRight: return kCursorMove1;
    case ieTopRight:
    case ieBottomLeft: return kCursorMove2;
    case ieLeftSide:
    case ieRightSide: return kCursorMoveX;
    case ieTopSide:
    case ieBottomSide: return kCursorMoveY;
    default: return win::crDefault;
    }
}

bool SelectionMode(TIEMouseInteract m)
{
    return m.Contains(miSelect) || m.Contains(miSelectPolygon) || m.Contains(miSelectCircle) ||
           m.Contains(miSelectMagicWand) || m.Contains(miSelectLasso);
}

}  // namespace

// ---- selection operations --------------------------------------------------------------------------

TIEPoint TVodirAdView::ToImage(int X, int Y) const
{
    if (selectionBase_ == iesbBitmap)
        return {X, Y};
    return {viewport_.XScr2Bmp(X), viewport_.YScr2Bmp(Y)};
}

void TVodirAdView::AddPoint(int X, int Y)
{
    points_.Add(X, Y);
    selected_ = true;
}

void TVodirAdView::RedrawSelection()
{
    InvalidateBackBuffer();
    RefreshTimer();
}

void TVodirAdView::Select(int X1, int Y1, int X2, int Y2, bool Add)
{
    if (X1 == X2 || Y1 == Y2)
        return;
    const TIEPoint a = ToImage(X1, Y1), b = ToImage(X2, Y2);
    if (Add && points_.Count() > 0) {
        points_.AddSeparator();
    } else {
        points_.Clear();
        mask_.Empty();
    }
    TIEPoint corners[4];
    if (IESelectionRectangle(a.X, a.Y, b.X, b.Y, viewport_.ImageWidth(), viewport_.ImageHeight(),
                             SelectionKeepAspect, SelectionAspectRatio, corners))
        for (const TIEPoint& c : corners)
            AddPoint(c.X, c.Y);
    points_.DropTrailingSeparators();
    EndSelect();
    RedrawSelection();
}

void TVodirAdView::AddSelPoint(int X, int Y)
{
    TIEPoint p = ToImage(X, Y);
    p.X = std::clamp(p.X, 0, viewport_.ImageWidth());
    p.Y = std::clamp(p.Y, 0, viewport_.ImageHeight());
    AddPoint(p.X, p.Y);
    if (points_.Count() > 2) {
        mask_.Empty();
        EndSelect();
    }
    RedrawSelection();
}

void TVodirAdView::EndSelect()
{
    const int w = bitmap_->GetWidth(), h = bitmap_->GetHeight();
    if (mask_.Width() != w || mask_.Height() != h)
        mask_.AllocateBits(w, h, 1);
    mask_.FillPolygons(SelectionMaskValue, points_.Data(), points_.Count());
    if (mask_.IsEmpty()) {
        selected_ = false;
        points_.Clear();
    } else {
        selected_ = true;
    }
    RefreshTimer();
}

void TVodirAdView::Deselect()
{
    selected_ = false;
    points_.Clear();
    mask_.Empty();
    rectDrawing_ = ellipseDrawing_ = polygonDrawing_ = lassoDrawing_ = zoomRectDrawing_ = false;
    moving_ = -1;
    grip_ = ieNone;
    gestureCursor_ = win::crDefault;
    if (HandleAllocated())
        ShowCursorNow();
    RedrawSelection();
}

void TVodirAdView::MoveSelection(int DX, int DY)
{
    const bool cut = selectionOptions_.Contains(iesoCutBorders);
    const int w = viewport_.ImageWidth(), h = viewport_.ImageHeight();
    if (!points_.IsRectangle()) {
        // A rectangle's mask is rebuilt from its points when the move ends; any other shape moves
        // its mask now.
        mask_.Translate(DX, DY, cut);
    }
    int x1, y1, x2, y2;
    if (!cut && points_.Box(x1, y1, x2, y2)) {
        DX = std::clamp(DX, -x1, std::max(w - x2, -x1));
        DY = std::clamp(DY, -y1, std::max(h - y2, -y1));
    }
    points_.Offset(DX, DY);
    selectionChanged_ = true;
    RedrawSelection();
}

bool TVodirAdView::HitsSelection(int X, int Y) const
{
    const TIEPoint p = ToImage(X, Y);
    return selected_ && mask_.IsPointInside(p.X, p.Y);
}

void TVodirAdView::SelectMagicWand(int X, int Y, bool Add)
{
    const TIEPoint p = ToImage(X, Y);
    // Only a pixel of the image can be a seed: the width and height themselves lie outside.
    if (p.X < 0 || p.Y < 0 || p.X >= bitmap_->GetWidth() || p.Y >= bitmap_->GetHeight())
        return;
    const int w = bitmap_->GetWidth(), h = bitmap_->GetHeight();
    if (mask_.Width() != w || mask_.Height() != h)
        mask_.AllocateBits(w, h, 1);
    if (!Add) {
        points_.Clear();
        mask_.Empty();
    }
    switch (MagicWandMode) {
    case 0: {
        const std::vector<TIEPoint> outline =
            MagicWandPolygon(bitmap_, p.X, p.Y, MagicWandTolerance, MagicWandOptions);
        if (!outline.empty()) {
            if (Add)
                points_.AddSeparator();
            for (const TIEPoint& q : outline)
                AddPoint(std::clamp(q.X, 0, w), std::clamp(q.Y, 0, h));
            EndSelect();
        }
        break;
    }
    case 1: MagicWandFill(bitmap_, p.X, p.Y, MagicWandTolerance, &mask_, MagicWandOptions); break;
    default: MagicWandSelectAll(bitmap_, p.X, p.Y, &mask_, MagicWandTolerance); break;
    }
    selected_ = !mask_.IsEmpty();
    if (!selected_)
        points_.Clear();
    selectionChanged_ = true;
    RedrawSelection();
}

// ---- snapshots ------------------------------------------------------------------------------------

void TVodirAdView::SaveSelectionToStream(rtl::TStream& Stream)
{
    IEWriteSelection(Stream, bitmap_->GetWidth(), bitmap_->GetHeight(), points_, selected_, mask_);
}

bool TVodirAdView::LoadSelectionFromStream(rtl::TStream& Stream)
{
    if (!IEReadSelection(Stream, bitmap_->GetWidth(), bitmap_->GetHeight(), points_, selected_, mask_))
        return false;
    RedrawSelection();
    Update();
    return true;
}

void TVodirAdView::PushSelection()
{
    auto stream = std::make_unique<rtl::TMemoryStream>();
    SaveSelectionToStream(*stream);
    selectionStack_.push_back(std::move(stream));
}

bool TVodirAdView::PopSelection()
{
    if (selectionStack_.empty())
        return false;
    std::unique_ptr<rtl::TMemoryStream> stream = std::move(selectionStack_.back());
    selectionStack_.pop_back();
    stream->SetPosition(0);
    return LoadSelectionFromStream(*stream);
}

// ---- mouse modes ----------------------------------------------------------------------------------

void TVodirAdView::SetMouseInteract(TIEMouseInteract Value)
{
    if (Value == mouseInteract_)
        return;
    if (polygonDrawing_)
        ClosePolygon(true);
    mouseInteract_ = IEReduceMouseInteract(mouseInteract_, Value);
    gestureCursor_ = win::crDefault;
    InvalidateBackBuffer();
}

void TVodirAdView::SelectionChanging()
{
    selectionChanged_ = true;
    OnSelectionChanging(this);
}

void TVodirAdView::BeginGesture()
{
    rectDrawing_ = ellipseDrawing_ = lassoDrawing_ = zoomRectDrawing_ = false;
    scrolling_ = false;
    grip_ = ieNone;
    moving_ = -1;
    draggedLayer_ = nullptr;
    layerGrip_ = ieNone;
    addedPoints_ = -1;
    maskAtPress_.reset();
}

void TVodirAdView::DropSelectionGesture()
{
    // The repaint that follows a new image size takes the rubber line off the screen.
    rubberShown_ = false;
    grip_ = ieNone;
    moving_ = -1;
    rectDrawing_ = ellipseDrawing_ = polygonDrawing_ = lassoDrawing_ = false;
    addedPoints_ = -1;
    maskAtPress_.reset();
}

void TVodirAdView::MouseDown(win::TMouseButton button, win::TShiftState shift, int x, int y)
{
    TIEView::MouseDown(button, shift, x, y);
    if (CanFocus() && !Focused())
        SetFocus();
    if (button == win::mbRight && shift.Contains(win::ssLeft))
        return;
    if (button != win::mbLeft && !mouseInteract_.Contains(miZoom))
        return;
    // The second press of a double click belongs to the double click.
    if (shift.Contains(win::ssDouble) && mouseInteract_.Contains(miSelectPolygon))
        return;
    // A press while a gesture still runs (its release went elsewhere) ends that one first, so the
    // filter it suspended is the one kept for this.
    CancelGesture();
    BeginGesture();
    mouseDown_ = true;
    downButton_ = button;
    downX_ = lastX_ = x;
    downY_ = lastY_ = y;
    moveLast_ = ToImage(x, y);
    downViewX_ = viewport_.ViewX;
    downViewY_ = viewport_.ViewY;
    selectionChanged_ = false;
    savedFilter_ = zoomFilter_;
    if (!mouseInteract_.Contains(miScroll) && delayZoomFilter_)
        zoomFilter_ = rfNone;
    addMode_ = shift.Contains(win::ssShift) && SelectionAddWithShift;
    if (button != win::mbLeft)
        return;

    const bool alt = shift.Contains(win::ssAlt);
    const auto pickGrip = [&] {
        grip_ = shift.Contains(win::ssShift) ? ieNone : SelectionGripAt(x, y);
        if (grip_ != ieNone)
            for (int i = 0; i < 4; ++i)
                gripStart_[i] = points_[i];
        return grip_ != ieNone;
    };
    const auto keepForAdding = [&] {
        if (!addMode_)
            return;
        addedPoints_ = points_.Count();
        maskAtPress_ = std::make_unique<TIEMask>();
        maskAtPress_->AllocateBits(mask_.Width(), mask_.Height(), std::max(mask_.BitsPerPixel(), 1));
        for (int r = 0; r < mask_.Height(); ++r)
            std::copy_n(mask_.ScanLine(r), mask_.RowLen(), maskAtPress_->ScanLine(r));
        if (!mask_.IsEmpty())
            maskAtPress_->SetBox(mask_.X1(), mask_.Y1(), mask_.X2(), mask_.Y2());
    };

    if (mouseInteract_.Contains(miSelectPolygon) || mouseInteract_.Contains(miSelectLasso)) {
        OnBeforeSelectionChange(this);
        if (!pickGrip()) {
            if ((alt || SelectionKeepPolygons) && points_.Count() > 0 && !points_.EndsWithSeparator()) {
                points_.AddSeparator();
            } else if (!polygonDrawing_) {
                if (addMode_) {
                    points_.AddSeparator();
                } else {
                    points_.Clear();
                    mask_.Empty();
                    selected_ = false;
                }
            }
            if (rubberShown_)
                DrawRubberLine(rubberX_, rubberY_);
            AddSelPoint(x, y);
            polygonDrawing_ = true;
            lassoDrawing_ = mouseInteract_.Contains(miSelectLasso);
            SelectionChanging();
        }
    } else if (mouseInteract_.Contains(miSelect)) {
        OnBeforeSelectionChange(this);
        if (!pickGrip()) {
            if (HitsSelection(x, y) && selectionOptions_.Contains(iesoMoveable)) {
                moving_ = 0;
            } else {
                rectDrawing_ = true;
                keepForAdding();
                SelectionChanging();
            }
        }
    } else if (mouseInteract_.Contains(miSelectZoom)) {
        PushSelection();
        zoomRectDrawing_ = true;
        rectDrawing_ = true;
    } else if (mouseInteract_.Contains(miSelectCircle)) {
        OnBeforeSelectionChange(this);
        if (!pickGrip()) {
            ellipseDrawing_ = true;
            keepForAdding();
            SelectionChanging();
        }
    } else if (mouseInteract_.Contains(miSelectMagicWand)) {
        OnBeforeSelectionChange(this);
        pickGrip();
    } else if (mouseInteract_.Contains(miMoveLayers) || mouseInteract_.Contains(miResizeLayers)) {
        TIELayer* current = Layers(currentLayer_);
        const TIEGrip g = mouseInteract_.Contains(miResizeLayers) && current && !current->Locked
                              ? current->GripAt(x, y)
                              : ieNone;
        if (g != ieNone) {
            layerGrip_ = g;
            draggedLayer_ = current;
        } else if (const int index = FindLayerAt(x, y); index >= 0) {
            // The followers of the new current bitmap and the handler may change the layers; the
            // pressed layer is cleared when one of them removes it.
            draggedLayer_ = Layers(index);
            if (index != currentLayer_)
                SetLayersCurrent(index);
            if (draggedLayer_)
                DoLayerNotify(IndexOfLayer(draggedLayer_), ielSelected);
            if (draggedLayer_ && draggedLayer_->Locked)
                draggedLayer_ = nullptr;
        }
        if (draggedLayer_) {
            const TIELayer& l = *draggedLayer_;
            layerStartX_ = l.PosX;
            layerStartY_ = l.PosY;
            layerStartW_ = l.DisplayWidth();
            layerStartH_ = l.DisplayHeight();
        }
    }
    if (mouseInteract_.Contains(miScroll)) {
        int mx, my;
        viewport_.MaxOrigin(mx, my);
        scrolling_ = mx > 0 || my > 0;
    }
}

void TVodirAdView::MouseMove(win::TShiftState shift, int x, int y)
{
    TIEView::MouseMove(shift, x, y);
    shiftDown_ = shift.Contains(win::ssShift);
    const int oldX = lastX_, oldY = lastY_;
    lastX_ = x;
    lastY_ = y;
    if (!mouseDown_) {
        gestureCursor_ = win::crDefault;
        if (SelectionMode(mouseInteract_)) {
            const TIEGrip g = shift.Contains(win::ssShift) ? ieNone : SelectionGripAt(x, y);
            if (g != ieNone) {
                OnMouseInResizingGrip(this, g);
                gestureCursor_ = GripCursor(g);
            } else if (mouseInteract_.Contains(miSelect) && selectionOptions_.Contains(iesoMoveable) &&
                       HitsSelection(x, y)) {
                gestureCursor_ = kCursorMove;
            }
        } else if (mouseInteract_.Contains(miMoveLayers) || mouseInteract_.Contains(miResizeLayers)) {
            TIELayer* current = Layers(currentLayer_);
            const TIEGrip g = mouseInteract_.Contains(miResizeLayers) && current && !current->Locked
                                  ? current->GripAt(x, y)
                                  : ieNone;
            const int under = FindLayerAt(x, y);
            if (g != ieNone)
                gestureCursor_ = GripCursor(g);
            else if (under >= 0 && !Layers(under)->Locked)
                gestureCursor_ = kCursorMove;
        }
        ShowCursorNow();
        if (polygonDrawing_ && !lassoDrawing_) {
            if (rubberShown_)
                DrawRubberLine(rubberX_, rubberY_);
            DrawRubberLine(x, y);
        }
    } else if (scrolling_) {
        SetViewXY(downViewX_ - (x - downX_), downViewY_ - (y - downY_));
    } else if (grip_ != ieNone) {
        DragGrip(x, y, shift.Contains(win::ssAlt) || SelectionKeepAspect);
        selectionChanged_ = true;
        OnSelectionChanging(this);
    } else if (moving_ == 0) {
        if (selectionOptions_.Contains(iesoCanScroll))
            AutoScroll(x, y);
        const TIEPoint p = ToImage(x, y);
        if (p.X != moveLast_.X || p.Y != moveLast_.Y) {
            MoveSelection(p.X - moveLast_.X, p.Y - moveLast_.Y);
            moveLast_ = p;
            OnSelectionChanging(this);
        }
    } else if (rectDrawing_) {
        AutoScroll(x, y);
        DragRectangle(x, y, shift.Contains(win::ssAlt) || SelectionCentered);
    } else if (ellipseDrawing_) {
        AutoScroll(x, y);
        DragEllipse(x, y, shift.Contains(win::ssAlt) || SelectionCentered);
    } else if (lassoDrawing_) {
        if (x != oldX || y != oldY) {
            AddSelPoint(x, y);
            OnSelectionChanging(this);
        }
    } else if (draggedLayer_) {
        TIELayer& l = *draggedLayer_;
        const double scale = 100 / viewport_.Zoom();
        const int dx = int(std::lround((x - downX_) * scale)), dy = int(std::lround((y - downY_) * scale));
        if (layerGrip_ != ieNone)
            l.ResizeByGrip(layerGrip_, dx, dy, layerStartX_, layerStartY_, layerStartW_, layerStartH_);
        else {
            l.PosX = layerStartX_ + dx;
            l.PosY = layerStartY_ + dy;
        }
        InvalidateBackBuffer();
        DoLayerNotify(IndexOfLayer(draggedLayer_), layerGrip_ != ieNone ? ielResizing : ielMoving);
    }
    const TIEPoint p = ToImage(x, y);
    if (selected_ && mask_.IsPointInside(p.X, p.Y))
        OnMouseInSel(this);
}

void TVodirAdView::DragGrip(int x, int y, bool keepAspect)
{
    const int w = viewport_.ImageWidth(), h = viewport_.ImageHeight();
    const TIEPoint p = ToImage(x, y);
    int left = gripStart_[0].X, top = gripStart_[0].Y, right = gripStart_[2].X, bottom = gripStart_[2].Y;
    const double ratio = double(right - left) / std::max(bottom - top, 1);
    TIEGrip g = grip_;
    if (keepAspect) {
        // With the aspect kept a side acts as the neighbouring corner.
        if (g == ieRightSide || g == ieBottomSide)
            g = ieBottomRight;
        else if (g == ieLeftSide || g == ieTopSide)
            g = ieTopLeft;
    }
    const int px = std::clamp(p.X, 0, w), py = std::clamp(p.Y, 0, h);
    switch (g) {
    case ieTopLeft: left = px, top = py; break;
    case ieTopRight: right = px + 1, top = py; break;
    case ieBottomRight: right = px + 1, bottom = py + 1; break;
    case ieBottomLeft: left = px, bottom = py + 1; break;
    case ieLeftSide: left = px; break;
    case ieRightSide: right = px + 1; break;
    case ieTopSide: top = py; break;
    case ieBottomSide: bottom = py + 1; break;
    default: break;
    }
    // A side stops one pixel short of the opposite one.
    left = std::clamp(left, 0, std::max(gripStart_[2].X - 1, 0));
    top = std::clamp(top, 0, std::max(gripStart_[2].Y - 1, 0));
    right = std::clamp(right, gripStart_[0].X + 1, std::max(w, gripStart_[0].X + 1));
    bottom = std::clamp(bottom, gripStart_[0].Y + 1, std::max(h, gripStart_[0].Y + 1));
    if (g == ieTopLeft || g == ieBottomLeft || g == ieTopRight || g == ieBottomRight) {
        if (keepAspect && ratio > 0) {
            const int width = right - left;
            const int height = std::max(int(std::lround(width / ratio)), 1);
            if (g == ieTopLeft || g == ieTopRight)
                top = std::max(bottom - height, 0);
            else
                bottom = std::min(top + height, h);
        }
    }
    points_.Assign({{left, top}, {right, top}, {right, bottom}, {left, bottom}});
    mask_.Empty();
    EndSelect();
    RedrawSelection();
}

void TVodirAdView::DragRectangle(int x, int y, bool centred)
{
    int x1 = downX_, y1 = downY_;
    if (centred && !(SelectionKeepAspect && SelectionAspectRatio > 0)) {
        x1 = downX_ - (x - downX_);
        y1 = downY_ - (y - downY_);
    }
    if (selectionBase_ == iesbBitmap) {
        // The press point is kept in client pixels; Select takes image pixels here.
        const TIEPoint a = {viewport_.XScr2Bmp(x1), viewport_.YScr2Bmp(y1)},
                       b = {viewport_.XScr2Bmp(x), viewport_.YScr2Bmp(y)};
        x1 = a.X, y1 = a.Y, x = b.X, y = b.Y;
    }
    if (addMode_ && addedPoints_ >= 0) {
        // The rectangle this drag added before goes first; a mask reallocated since the press (a
        // handler changed the image) has nothing of it to take back.
        points_.Truncate(addedPoints_);
        if (maskAtPress_ && maskAtPress_->Width() == mask_.Width() &&
            maskAtPress_->Height() == mask_.Height() && maskAtPress_->RowLen() == mask_.RowLen()) {
            for (int r = 0; r < mask_.Height(); ++r)
                std::copy_n(maskAtPress_->ScanLine(r), mask_.RowLen(), mask_.ScanLine(r));
            if (!maskAtPress_->IsEmpty())
                mask_.SetBox(maskAtPress_->X1(), maskAtPress_->Y1(), maskAtPress_->X2(), maskAtPress_->Y2());
            else
                mask_.RecomputeBox();
        }
    }
    Select(x1, y1, x, y, addMode_);
    OnSelectionChanging(this);
}

void TVodirAdView::DragEllipse(int x, int y, bool centred)
{
    double x1 = downX_, y1 = downY_, x2 = x, y2 = y;
    if (centred) {
        x1 = downX_ - (x - downX_);
        y1 = downY_ - (y - downY_);
    }
    if (SelectionKeepAspect) {
        const double w = std::abs(x2 - x1);
        const double hgt = SelectionAspectRatio > 0 ? w * SelectionAspectRatio : w;
        y2 = y1 + (y2 < y1 ? -hgt : hgt);
    }
    if (addMode_ && addedPoints_ >= 0)
        points_.Truncate(addedPoints_);
    else
        points_.Clear();
    if (addMode_ && points_.Count() > 0)
        points_.AddSeparator();
    const int w = viewport_.ImageWidth(), h = viewport_.ImageHeight();
    for (auto [px, py] : IEEllipsePoints(x1, y1, x2, y2)) {
        const int sx = int(std::lround(px)), sy = int(std::lround(py));
        AddPoint(std::clamp(viewport_.XScr2Bmp(sx), 0, w), std::clamp(viewport_.YScr2Bmp(sy), 0, h));
    }
    selectionChanged_ = true;
    OnSelectionChanging(this);
    RedrawSelection();
}

void TVodirAdView::ClosePolygon(bool keepMask)
{
    if (rubberShown_)
        DrawRubberLine(rubberX_, rubberY_);
    polygonDrawing_ = false;
    lassoDrawing_ = false;
    points_.DropTrailingSeparators();
    if (!keepMask)
        mask_.Empty();
    EndSelect();
    selectionChanged_ = true;
    RedrawSelection();
    Update();
}

void TVodirAdView::DblClick()
{
    TIEView::DblClick();
    if (polygonDrawing_ && mouseInteract_.Contains(miSelectPolygon)) {
        ClosePolygon(shiftDown_ && SelectionAddWithShift);
        OnSelectionChange(this);
        selectionChanged_ = false;
    }
}

void TVodirAdView::ZoomToRectangle()
{
    int x1, y1, x2, y2;
    const bool has = points_.Box(x1, y1, x2, y2);
    const int w = viewport_.ImageWidth(), h = viewport_.ImageHeight();
    if (!has || x1 < 0 || y1 < 0 || x1 >= w || y1 >= h || x2 - x1 <= 1 || y2 - y1 <= 1)
        return;
    points_.Clear();
    mask_.Empty();
    selected_ = false;
    const double zoom = std::min(viewport_.ClientHeight() / ((y2 - y1) / 100.0),
                                 viewport_.ClientWidth() / ((x2 - x1) / 100.0));
    SetZoom(zoom);
    SetViewXY(int(std::trunc(x1 * Zoom() / 100)), int(std::trunc(y1 * Zoom() / 100)));
}

TResampleFilter TVodirAdView::StopGesture()
{
    mouseDown_ = false;
    autoScrolling_ = false;
    if (scrollTimer_)
        scrollTimer_->SetEnabled(false);
    const TResampleFilter during = zoomFilter_;
    zoomFilter_ = savedFilter_;
    return during;
}

void TVodirAdView::MouseUp(win::TMouseButton button, win::TShiftState shift, int x, int y)
{
    TIEView::MouseUp(button, shift, x, y);
    if (!mouseDown_)
        return;
    const bool click = x == downX_ && y == downY_ && button == downButton_;
    const TResampleFilter filterDuring = StopGesture();

    if (click && mouseInteract_.Contains(miZoom)) {
        double zoom = button == win::mbLeft ? IEClickZoomIn(Zoom()) : IEClickZoomOut(Zoom());
        if (button == win::mbLeft)
            OnZoomIn(this, zoom);
        else
            OnZoomOut(this, zoom);
        if (zoom != Zoom())
            SetZoomAtPoint(zoom, x, y);
        if (zoomRectDrawing_) {
            PopSelection();
            zoomRectDrawing_ = rectDrawing_ = false;
        }
    } else if (button == win::mbLeft) {
        scrolling_ = false;
        if (zoomRectDrawing_) {
            ZoomToRectangle();
            PopSelection();
            zoomRectDrawing_ = rectDrawing_ = false;
        } else if (mouseInteract_.Contains(miSelect)) {
            if (click && grip_ == ieNone && moving_ < 0 && !HitsSelection(x, y)) {
                if (selected_ || points_.Count() > 0)
                    selectionChanged_ = true;
                Deselect();
            } else if (rectDrawing_ && !click) {
                if (!addMode_)
                    mask_.Empty();
                EndSelect();
                Update();
            }
        } else if (mouseInteract_.Contains(miSelectCircle) && ellipseDrawing_) {
            if (!addMode_)
                mask_.Empty();
            EndSelect();
            Update();
        } else if (mouseInteract_.Contains(miSelectLasso) && lassoDrawing_) {
            polygonDrawing_ = lassoDrawing_ = false;
            if (!addMode_)
                mask_.Empty();
            EndSelect();
            Update();
        } else if (mouseInteract_.Contains(miSelectMagicWand) && grip_ == ieNone) {
            SelectMagicWand(x, y, addMode_);
        }
    }
    FinishGesture(filterDuring);
}

void TVodirAdView::CancelGesture()
{
    if (!mouseDown_)
        return;
    const bool moved = lastX_ != downX_ || lastY_ != downY_;
    const TResampleFilter filterDuring = StopGesture();
    scrolling_ = false;
    if (zoomRectDrawing_) {
        // No zoom without a release: the selection from before the press comes back.
        PopSelection();
        zoomRectDrawing_ = rectDrawing_ = false;
    } else if ((rectDrawing_ && moved) || ellipseDrawing_ || lassoDrawing_) {
        // The shape drawn so far is the selection, as if released there.
        if (lassoDrawing_)
            polygonDrawing_ = lassoDrawing_ = false;
        if (!addMode_)
            mask_.Empty();
        EndSelect();
        Update();
    }
    FinishGesture(filterDuring);
}

void TVodirAdView::FinishGesture(TResampleFilter filterDuring)
{
    if (moving_ == 0) {
        // A moved shape with points is filled again from them; a mask without points (a magic-wand
        // region) has moved already.
        if (points_.Count() > 0) {
            mask_.Empty();
            EndSelect();
        }
        moving_ = -1;
        Update();
    }
    grip_ = ieNone;
    TIELayer* layer = draggedLayer_;
    const TIEGrip layerGrip = layerGrip_;
    draggedLayer_ = nullptr;
    layerGrip_ = ieNone;
    rectDrawing_ = ellipseDrawing_ = false;
    if (!lassoDrawing_ && !mouseInteract_.Contains(miSelectPolygon))
        polygonDrawing_ = false;
    maskAtPress_.reset();
    if (layer) {
        DoLayerNotify(IndexOfLayer(layer), layerGrip != ieNone ? ielResized : ielMoved);
        Update();
    }
    if (filterDuring != zoomFilter_)
        InvalidateBackBuffer();
    else
        RedrawSelection();
    if (selectionChanged_) {
        selectionChanged_ = false;
        OnSelectionChange(this);
    }
}

// ---- automatic scrolling ------------------------------------------------------------------------------

// Scrolling while the mouse is held outside the image goes one step per tick of its own timer, so the
// window keeps answering and the user sees each step.
void TVodirAdView::AutoScroll(int x, int y)
{
    const int left = viewport_.OffsetX(), right = viewport_.OffsetX() + viewport_.ExtentX() - 1;
    const int top = viewport_.OffsetY(), bottom = viewport_.OffsetY() + viewport_.ExtentY() - 1;
    const bool outside = x < left || x > right || y < top || y > bottom;
    autoScrolling_ = outside;
    if (scrollTimer_ && scrollTimer_->Enabled() != outside)
        scrollTimer_->SetEnabled(outside);
}

void TVodirAdView::AutoScrollStep()
{
    if (!mouseDown_ || !autoScrolling_ || !HandleAllocated()) {
        scrollTimer_->SetEnabled(false);
        return;
    }
    POINT p;
    ::GetCursorPos(&p);
    ::ScreenToClient(Handle(), &p);
    const int left = viewport_.OffsetX(), right = viewport_.OffsetX() + viewport_.ExtentX() - 1;
    const int top = viewport_.OffsetY(), bottom = viewport_.OffsetY() + viewport_.ExtentY() - 1;
    const int dx = p.x < left ? p.x - left : p.x > right ? p.x - right : 0;
    const int dy = p.y < top ? p.y - top : p.y > bottom ? p.y - bottom : 0;
    const int oldX = viewport_.ViewX, oldY = viewport_.ViewY;
    if (dx != 0 || dy != 0)
        SetViewXY(oldX + dx, oldY + dy);
    const int movedX = viewport_.ViewX - oldX, movedY = viewport_.ViewY - oldY;
    if (movedX == 0 && movedY == 0) {
        autoScrolling_ = false;
        scrollTimer_->SetEnabled(false);
        return;
    }
    // The press point stays on the same image pixel.
    downX_ -= movedX;
    downY_ -= movedY;
    if (rectDrawing_)
        DragRectangle(p.x, p.y, SelectionCentered);
    else if (ellipseDrawing_)
        DragEllipse(p.x, p.y, SelectionCentered);
    else if (moving_ == 0) {
        const TIEPoint q = ToImage(p.x, p.y);
        if (q.X != moveLast_.X || q.Y != moveLast_.Y) {
            MoveSelection(q.X - moveLast_.X, q.Y - moveLast_.Y);
            moveLast_ = q;
        }
    }
}

// ---- wheel and keys ------------------------------------------------------------------------------

void TVodirAdView::SetZoomKeepingPoint(double Value, int X, int Y)
{
    if (!(Value > 0) || !std::isfinite(Value) || Value == Zoom())
        return;
    StartSuspensions();
    const int px = viewport_.XScr2Bmp(X), py = viewport_.YScr2Bmp(Y);
    viewport_.SetZoom(Value);
    Update();
    viewport_.ViewX = int(std::lround(px * Value / 100)) - (X - viewport_.OffsetX());
    viewport_.ViewY = int(std::lround(py * Value / 100)) - (Y - viewport_.OffsetY());
    viewport_.ClampOrigin();
    Update();
    DoViewChange(1);
}

void TVodirAdView::MouseWheel(int delta, win::TShiftState shift, int x, int y)
{
    if (autoFit_ || delta == 0)
        return;
    int direction = delta > 0 ? 1 : -1;
    if (MouseWheelParams.InvertDirection)
        direction = -direction;
    const TIEMouseWheelParams& p = MouseWheelParams;
    if (p.Action == 1) {
        const bool horizontal = shift.Contains(win::ssCtrl);
        const int client = horizontal ? viewport_.ClientWidth() : viewport_.ClientHeight();
        const int step = p.Variation == 0 ? p.Value : std::max(1, client * p.Value / 100);
        if (horizontal)
            SetViewXY(viewport_.ViewX - direction * step, viewport_.ViewY);
        else
            SetViewXY(viewport_.ViewX, viewport_.ViewY - direction * step);
    } else if (p.Action == 2) {
        const double change = p.Variation == 0 ? p.Value : Zoom() * p.Value / 100;
        double zoom = std::max(Zoom() + direction * change, 0.01);
        if (direction > 0)
            OnZoomIn(this, zoom);
        else
            OnZoomOut(this, zoom);
        if (p.ZoomPosition)
            SetZoomKeepingPoint(zoom, x, y);
        else
            SetZoom(zoom);
    }
}

void TVodirAdView::KeyDown(std::uint16_t& key, win::TShiftState shift)
{
    TIEView::KeyDown(key, shift);
    const int line = ScrollBarParams.LineStep > 0 ? ScrollBarParams.LineStep : 10;
    switch (key) {
    case VK_LEFT: SetViewXY(viewport_.ViewX - line, viewport_.ViewY); break;
    case VK_RIGHT: SetViewXY(viewport_.ViewX + line, viewport_.ViewY); break;
    case VK_UP: SetViewXY(viewport_.ViewX, viewport_.ViewY - line); break;
    case VK_DOWN: SetViewXY(viewport_.ViewX, viewport_.ViewY + line); break;
    case VK_PRIOR: ScrollMessage(SB_VERT, SB_PAGEUP); break;
    case VK_NEXT: ScrollMessage(SB_VERT, SB_PAGEDOWN); break;
    case VK_HOME: SetViewXY(0, 0); break;
    case VK_ESCAPE:
        if (polygonDrawing_) {
            // Escape takes back the polygon being drawn.
            if (rubberShown_)
                DrawRubberLine(rubberX_, rubberY_);
            points_.RemoveLastPolygon();
            polygonDrawing_ = lassoDrawing_ = false;
            mask_.Empty();
            EndSelect();
            RedrawSelection();
        }
        break;
    case VK_SHIFT:
        shiftDown_ = true;
        ShowCursorNow();
        break;
    default: break;
    }
}

void TVodirAdView::KeyUp(std::uint16_t& key, win::TShiftState shift)
{
    TIEView::KeyUp(key, shift);
    if (key == VK_SHIFT) {
        shiftDown_ = false;
        ShowCursorNow();
    }
}

}  // namespace imaging
