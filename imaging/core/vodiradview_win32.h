// TVodirAdView: the image view. It shows its layers (layer 0 is the image) zoomed and scrolled over a
// background, through a back buffer, with an animated selection, and lets the user zoom, scroll,
// select and move layers with the mouse. Windows build only.
#pragma once

#include "imaging/core/hyieutils.h"
#include "imaging/core/ieview_win32.h"
#include "imaging/core/vodiradview.h"
#include "platform/win/StdCtrls.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace win {
class TTimer;
}

namespace imaging {

class TVodirAdIO;
class TVodirAdProc;
class TIETransitionEffects;

using TViewChangeEvent = rtl::TEvent<void(rtl::TObject* Sender, int Change)>;
using TIEMouseInResizingGripEvent = rtl::TEvent<void(rtl::TObject* Sender, TIEGrip Grip)>;
using TIEZoomEvent = rtl::TEvent<void(rtl::TObject* Sender, double& NewZoom)>;
using TIELayerNotify = rtl::TEvent<void(rtl::TObject* Sender, int Layer, TIELayerEvent Event)>;

// Message numbers the view answers: a threaded load or save ended, and the two a DirectShow graph
// posts for a new frame and for a graph event.
inline constexpr unsigned kIEMsgLoadEnded = WM_USER + 7000;
inline constexpr unsigned kIEMsgDShowNewFrame = WM_USER + 7001;
inline constexpr unsigned kIEMsgDShowEvent = WM_USER + 7002;

// The view reaches its I/O component through these, which the I/O unit installs at start-up; before
// that (or in a program without the I/O library) GetIO raises rtl::Exception.
struct TIEViewIOHooks {
    // A new component owned by View and attached to it.
    TVodirAdIO* (*Create)(TIEView* View) = nullptr;
    rtl::TComponent* (*AsComponent)(TVodirAdIO* IO) = nullptr;
    void (*SetOnProgress)(TVodirAdIO* IO, const TIEProgressNotifyEvent& Event) = nullptr;
    // The library-wide default resolution a new view starts with (300 x 300 without hooks).
    void (*DefaultDpi)(int& X, int& Y) = nullptr;
    // True when Wrapper is IO's own DirectShow wrapper and its graph exists. The pointer is only
    // compared, never followed: it arrives in a posted message and may be stale. Without this hook
    // the view ignores both messages.
    bool (*IsLiveDirectShow)(TVodirAdIO* IO, const void* Wrapper) = nullptr;
};
// nullptr removes them.
void IESetViewIOHooks(const TIEViewIOHooks* Hooks);

// The first of the 18 view cursors in the screen's table (1778..1795) and the view's default one.
inline constexpr win::TCursor kIEFirstViewCursor = 1778;
inline constexpr win::TCursor kIEViewCursor = 1785;

// Start-up of the view unit: screen facts, the clipboard formats and the cursors.
void IEInitializeViewUnit();
void IEFinalizeViewUnit();
// The screen's bits per pixel recorded at start-up; it chooses how the back buffer is copied.
int IEScreenBitsPerPixel();
// Clipboard formats of text and vector objects (0 before start-up).
unsigned IETextMemoClipboardFormat();
unsigned IEVectClipboardFormat();

class TVodirAdView : public TIEView {
    RTL_DECLARE_CLASS(TVodirAdView, TIEView)

public:
    explicit TVodirAdView(rtl::TComponent* AOwner);
    ~TVodirAdView() override;

    // ---- TIEView ------------------------------------------------------------------------------
    void SetBackground(TColor Value) override;
    // The platform bitmap of the shown image while LegacyBitmap is on and its format fits one
    // (16-bit grey and float images stay in memory: nullptr then).
    win::TBitmap* GetTBitmap() override;
    // The current layer's bitmap; never nullptr.
    TIEBitmap* GetIEBitmap() override { return bitmap_; }
    TIEBitmap* GetAlphaChannel() override;
    bool HasAlphaChannel() override;
    // With Merge, a 24-bit image is first blended toward Background by its alpha.
    void RemoveAlphaChannel(bool Merge) override;
    void LockUpdate() override { ++updateLock_; }
    void UnlockUpdate() override;
    void UnlockUpdateNoRefresh() override;
    int UpdateLockCount() const { return updateLock_; }
    // Does not sound: the next Update takes the pending rotation.
    void Beep() override { loadEnded_ = true; }
    void ImageChange() override;

    // ---- geometry and updating -------------------------------------------------------------------
    // Settles the geometry after any change of image, zoom, size or option and repaints.
    void Update() override;
    void SetBounds(int left, int top, int width, int height) override;
    double Zoom() const { return viewport_.Zoom(); }
    // Values not above 0 and the current zoom are ignored; keeps the centre.
    void SetZoom(double Value);
    int ViewX() const { return viewport_.ViewX; }
    int ViewY() const { return viewport_.ViewY; }
    void SetViewX(int Value) { SetViewXY(Value, viewport_.ViewY); }
    void SetViewY(int Value) { SetViewXY(viewport_.ViewX, Value); }
    void SetViewXY(int X, int Y);
    void MaxViewXY(int& X, int& Y) const { viewport_.MaxOrigin(X, Y); }
    // The largest zoom showing the whole image, with the scroll bars hidden; nothing without an image.
    void Fit();
    const TIEViewport& Viewport() const { return viewport_; }
    int XScr2Bmp(int X) const { return viewport_.XScr2Bmp(X); }
    int YScr2Bmp(int Y) const { return viewport_.YScr2Bmp(Y); }
    int XBmp2Scr(int X) const { return viewport_.XBmp2Scr(X); }
    int YBmp2Scr(int Y) const { return viewport_.YBmp2Scr(Y); }
    // Width and height of the client area the image may use.
    virtual int ClientWidthForImage();
    virtual int ClientHeightForImage();
    int ImageWidth() const { return viewport_.ImageWidth(); }
    int ImageHeight() const { return viewport_.ImageHeight(); }

    // nullptr clears the image to the background; a view gives a copy of its bitmap, background
    // and resolution; a TBitmap or picture is copied (24-bit unless it is 1-bit or 24-bit).
    void Assign(rtl::TPersistent* Source) override;

    // ---- published properties -------------------------------------------------------------------
    bool LegacyBitmap() const { return legacyBitmap_; }
    void SetLegacyBitmap(bool Value);
    bool DoubleBuffer() const { return doubleBuffer_; }
    void SetDoubleBuffer(bool Value);
    TResampleFilter ZoomFilter() const { return zoomFilter_; }
    void SetZoomFilter(TResampleFilter Value);
    bool DelayZoomFilter() const { return delayZoomFilter_; }
    void SetDelayZoomFilter(bool Value) { delayZoomFilter_ = Value; }
    win::TScrollStyle ScrollBars() const { return scrollBars_; }
    virtual void SetScrollBars(win::TScrollStyle Value);
    TIESelectionOptions SelectionOptions() const { return selectionOptions_; }
    void SetSelectionOptions(TIESelectionOptions Value);
    bool Center() const { return viewport_.Center; }
    void SetCenter(bool Value);
    TIEMouseInteract MouseInteract() const { return mouseInteract_; }
    virtual void SetMouseInteract(TIEMouseInteract Value);
    bool AutoFit() const { return autoFit_; }
    void SetAutoFit(bool Value);
    bool AutoStretch() const { return autoStretch_; }
    void SetAutoStretch(bool Value);
    bool AutoShrink() const { return autoShrink_; }
    void SetAutoShrink(bool Value);
    TIESelectionBase SelectionBase() const { return selectionBase_; }
    void SetSelectionBase(TIESelectionBase Value) { selectionBase_ = Value; }
    TIEBackgroundStyle BackgroundStyle() const { return backgroundStyle_; }
    void SetBackgroundStyle(TIEBackgroundStyle Value);
    bool EnableAlphaChannel() const { return enableAlpha_; }
    void SetEnableAlphaChannel(bool Value);
    bool DrawVersion() const { return drawVersion_; }
    void SetDrawVersion(bool Value);
    bool DrawCaption() const { return drawCaption_; }
    void SetDrawCaption(bool Value);
    win::TFont* CaptionFont() const { return captionFont_.get(); }
    void SetCaptionFont(win::TFont* Value);
    // The colour of the clear brush the caption is written with: the text goes straight on the
    // picture whatever the colour.
    TColor CaptionColor() const { return captionColor_; }
    void SetCaptionColor(TColor Value);
    // Given to the view's I/O and processing components, now and when they are made.
    TIEProgressNotifyEvent OnProgress() const { return onProgress_; }
    virtual void SetOnProgress(TIEProgressNotifyEvent Value);

    TViewChangeEvent OnViewChange;
    rtl::TNotifyEvent OnImageChange;
    rtl::TNotifyEvent OnSelectionChange;
    rtl::TNotifyEvent OnSelectionChanging;
    rtl::TNotifyEvent OnMouseInSel;
    rtl::TNotifyEvent OnPaint;
    TIEMouseInResizingGripEvent OnMouseInResizingGrip;
    TIEZoomEvent OnZoomIn;
    TIEZoomEvent OnZoomOut;
    rtl::TNotifyEvent OnBeforeSelectionChange;
    rtl::TNotifyEvent OnDrawBackBuffer;
    TIELayerNotify OnLayerNotify;
    rtl::TNotifyEvent OnDShowNewFrame;
    rtl::TNotifyEvent OnDShowEvent;

    // ---- further settings --------------------------------------------------------------------------
    TColor GradientEndColor = 0xFF0000;
    int ChessboardSize = 16;
    win::TBrushStyle ChessboardBrushStyle = win::bsSolid;
    // All layers take the size of the largest.
    bool LayersSync = true;
    // Frames every layer with a visible box, not only the current one.
    bool LayersFrameAll = false;
    // A line at every image pixel boundary from 400 % on.
    bool DisplayGrid = false;
    TColor GridColor = 0x808080;
    // Copies the back buffer with DrawDib whatever the screen.
    bool UseDrawDib = false;
    // Scroll bars with nothing to scroll stay, disabled.
    bool KeepScrollBarsVisible = false;
    TColor SelColor1 = 0x000000;
    TColor SelColor2 = 0xFFFFFF;
    // Rectangle aspect: AspectRatio -1 squares, a positive ratio gives height = width * ratio.
    bool SelectionKeepAspect = false;
    double SelectionAspectRatio = -1;
    // Rectangles and ellipses grow from the press point as their centre.
    bool SelectionCentered = false;
    // Shift adds the new selection to the present one.
    bool SelectionAddWithShift = true;
    // A new polygon joins the present ones without Alt.
    bool SelectionKeepPolygons = false;
    bool SelectionSideGrips = true;
    int SelectionGripSize = 5;
    int MagicWandMode = 0;  // 0 outline, 1 connected region, 2 every similar pixel
    int MagicWandTolerance = 15;
    std::uint8_t MagicWandOptions = 0;  // kIEMagicWand8Connected
    int SelectionMaskValue = 1;
    TIEScrollBarParams ScrollBarParams;
    TIEMouseWheelParams MouseWheelParams;
    // Applied by the Update that follows a threaded load's end: 1 a quarter turn clockwise, 2 a
    // half turn, 3 a quarter turn anticlockwise.
    int PendingRotation = 0;

    // ---- components ---------------------------------------------------------------------------------
    // Made on first use, owned by the view and attached to it.
    TVodirAdIO* GetIO();
    TVodirAdProc* GetProc();

    // ---- transitions ----------------------------------------------------------------------------------
    // The view's transition animation; never nullptr.
    TIETransitionEffects* Transitions() const { return transition_.get(); }
    // Keeps what the view shows now as the start of the next transition.
    void PrepareTransition();
    // Settles the view (stopping a running transition) and animates from the picture kept by
    // PrepareTransition (the background without one) to what it shows now. False, with the view
    // left as it is, for effect 0 or a number above 30 and for a view without a window.
    bool RunTransition(int Effect, int Duration = 1000, bool UpdateOnStop = false);

    // ---- layers ------------------------------------------------------------------------------------
    int LayersCount() const { return int(layers_.size()); }
    TIELayer* Layers(int Index) const;
    int LayersCurrent() const { return currentLayer_; }
    // Out of range is ignored. Attached components follow the new bitmap.
    virtual void SetLayersCurrent(int Index);
    // A new top layer holding a copy of Bitmap (an empty one for nullptr); returns its index and
    // makes it current.
    int LayersAdd(TIEBitmap* Bitmap = nullptr);
    // Removes a layer other than 0; the current one moves down when needed.
    void LayersRemove(int Index);
    // The topmost visible layer whose last drawn box holds the client point; -1 when none.
    int FindLayerAt(int X, int Y) const;

    // ---- selection ----------------------------------------------------------------------------------
    TIEMask& SelectionMask() { return mask_; }
    TIEMask* GetSelectionMask() override { return &mask_; }
    const TIESelectionPoints& SelectionPoints() const { return points_; }
    const TIESelectionPoints* GetSelectionPoints() const override { return &points_; }
    bool Selected() const override { return selected_; }
    // Corners in client pixels with iesbClientArea, else image pixels.
    virtual void Select(int X1, int Y1, int X2, int Y2, bool Add = false);
    virtual void AddSelPoint(int X, int Y);
    virtual void EndSelect();
    void Deselect();
    void MoveSelection(int DX, int DY);
    // The region of similar colour around the point, by MagicWandMode.
    void SelectMagicWand(int X, int Y, bool Add = false);
    // The selection snapshot (points, flag, mask) for undo and the zoom rectangle.
    void SaveSelectionToStream(rtl::TStream& Stream) override;
    // False, with nothing changed, for a snapshot of another image size or a damaged one.
    bool LoadSelectionFromStream(rtl::TStream& Stream) override;
    void PushSelection();
    // Restores and drops the newest pushed snapshot; false when none or when it does not fit.
    bool PopSelection();
    int SelectionStackCount() const { return int(selectionStack_.size()); }
    TIEGrip SelectionGripAt(int X, int Y) const;
    // Gesture state, for tests and owners drawing on top.
    bool IsSelecting() const { return rectDrawing_ || ellipseDrawing_ || polygonDrawing_; }
    bool IsScrolling() const { return scrolling_; }

    // ---- painting -------------------------------------------------------------------------------------
    // The 24-bit picture the view copies to its window, brought up to date.
    win::TBitmap* BackBuffer();
    // Recomposes the back buffer at the next paint and invalidates.
    void InvalidateBackBuffer();
    void DrawBackground(win::TCanvas& Canvas, const win::TRect& Rect, const win::TRect& ImageRect);
    // Whether a filter suspension (while scrolling) or an outline suspension is running.
    bool FilterSuspended() const { return filterDelay_ > 0; }
    // The 210 ms timer of the outline animation and the suspensions.
    win::TTimer* SelectionTimer() const { return timer_.get(); }
    // The mask outline's dash phase, one step further on each animated tick.
    int SelectionPhase() const { return phase_; }
    // The phase the point outline's dashes start at: 0 to 9, then 0 again.
    int OutlinePhase() const { return outlinePhase_; }

protected:
    void CreateParams(win::TCreateParams& params) override;
    void Loaded() override;
    void Paint() override;
    void WndProc(win::TMessage& message) override;
    void MouseDown(win::TMouseButton button, win::TShiftState shift, int x, int y) override;
    void MouseMove(win::TShiftState shift, int x, int y) override;
    void MouseUp(win::TMouseButton button, win::TShiftState shift, int x, int y) override;
    void DblClick() override;
    void KeyDown(std::uint16_t& key, win::TShiftState shift) override;
    void KeyUp(std::uint16_t& key, win::TShiftState shift) override;
    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;

    virtual void DoViewChange(int Change);
    virtual void DoLayerNotify(int Layer, TIELayerEvent Event);
    // Composes every layer into the back buffer.
    virtual void PaintLayers();
    virtual bool CanDraw();
    virtual bool TransitionRunning() const;
    virtual void StopTransition();
    // Realises the DrawDib palette in the window's device context (the main form's).
    virtual void RealizePaletteIn(HWND Window);

private:
    // vodiradview_win32.cpp
    void UpdateGeometry(int depth);
    void ApplyAutoZoom();
    // The control's borders (its size less the client's and the scroll bars').
    void BorderSize(int& W, int& H);
    void SyncImageSize();
    bool UpdateScrollBars();
    void ApplyPendingRotation();
    void ScrollMessage(int bar, int code);
    void SetZoomAtPoint(double Value, int X, int Y);
    void SetZoomKeepingPoint(double Value, int X, int Y);
    // Scrolling or zooming holds the filter (with DelayZoomFilter) and the outline for a few ticks.
    void StartSuspensions();
    void CancelSuspensions();
    void RefreshTimer();
    void TimerTick();
    void ShowCursorNow();
    win::TCursor CurrentCursor() const;
    void SetBitmapFromLayer();
    int IndexOfLayer(const TIELayer* Layer) const;
    void PlaceLegacyBitmap();
    void DShowMessage(win::TMessage& message, rtl::TNotifyEvent& event);

    // vodiradview_paint_win32.cpp
    void EnsureBackBuffer();
    void SyncLayerSizes();
    void DrawLayerFrame(win::TCanvas& canvas, TIELayer& layer, bool grips);
    void DrawSelectionIntoBackBuffer();
    void DrawGrid(win::TCanvas& canvas);
    void CopyBackBuffer(HDC dc, const win::TRect& rect);
    // The DrawDib handle, opened on first use.
    void* DrawDib();
    void DrawSelectionOutline(win::TCanvas& canvas);
    void DrawPointsOutline(win::TCanvas& canvas);
    void DrawSelectionGrips(win::TCanvas& canvas);
    void DrawCaptionText(win::TCanvas& canvas);
    void DrawBanner(win::TCanvas& canvas);
    void VisibleImageRect(int& ix0, int& iy0, int& ix1, int& iy1) const;
    void DrawRubberLine(int x, int y);

    // vodiradview_mouse_win32.cpp
    TIEPoint ToImage(int X, int Y) const;
    void AddPoint(int X, int Y);
    void BeginGesture();
    // The mouse is free again: automatic scrolling ends and ZoomFilter is what it was at the press.
    // Gives the filter the gesture ran with.
    TResampleFilter StopGesture();
    // What every gesture does last, released or not: pending moves committed, layers told, the
    // gesture state cleared, OnSelectionChange.
    void FinishGesture(TResampleFilter filterDuring);
    // The gesture lost the mouse (another window took the capture): it ends where it is, without
    // the actions of a release.
    void CancelGesture();
    // The selection a gesture works on went with an image of another size.
    void DropSelectionGesture();
    void AutoScroll(int x, int y);
    void AutoScrollStep();
    void DragGrip(int x, int y, bool keepAspect);
    void DragRectangle(int x, int y, bool centred);
    void DragEllipse(int x, int y, bool centred);
    void ClosePolygon(bool keepMask);
    void ZoomToRectangle();
    bool HitsSelection(int X, int Y) const;
    void MouseWheel(int delta, win::TShiftState shift, int x, int y);
    void RedrawSelection();
    void SelectionChanging();

    TIEViewport viewport_;
    std::vector<std::unique_ptr<TIELayer>> layers_;
    std::vector<TIERenderCache> renderCaches_;
    int currentLayer_ = 0;
    TIEBitmap* bitmap_ = nullptr;  // the current layer's; not owned
    int lastImageW_ = -1, lastImageH_ = -1;
    bool constructing_ = true;
    int updateLock_ = 0;
    bool loadEnded_ = false;

    bool legacyBitmap_ = true;
    std::pair<int, int> legacyRefused_{-1, -1};  // the size a platform bitmap could not hold
    bool doubleBuffer_ = true;
    TResampleFilter zoomFilter_ = rfNone;
    bool delayZoomFilter_ = false;
    win::TScrollStyle scrollBars_ = win::ssBoth;
    double hUnit_ = 1, vUnit_ = 1;
    TIESelectionOptions selectionOptions_ = kIEDefaultSelectionOptions;
    TIEMouseInteract mouseInteract_;
    bool autoFit_ = false, autoStretch_ = false, autoShrink_ = false;
    TIESelectionBase selectionBase_ = iesbClientArea;
    TIEBackgroundStyle backgroundStyle_ = iebsSolid;
    bool enableAlpha_ = false;
    bool drawVersion_ = false;
    bool drawCaption_ = false;
    std::unique_ptr<win::TFont> captionFont_;
    TColor captionColor_ = win::clNone;
    TIEProgressNotifyEvent onProgress_;

    std::unique_ptr<win::TBitmap> backBuffer_;
    std::unique_ptr<TIEPlatformBitmap> backBufferRows_;  // the back buffer's pixels; not owning them
    void* drawDib_ = nullptr;                            // closed by the destructor
    bool backBufferDirty_ = true;
    bool fullRepaint_ = true;

    std::unique_ptr<win::TTimer> timer_;        // selection animation and suspensions
    std::unique_ptr<win::TTimer> scrollTimer_;  // automatic scrolling, one step a tick
    int filterDelay_ = 0;
    int outlineDelay_ = 0;
    int phase_ = 0;
    int outlinePhase_ = 0;
    bool autoScrolling_ = false;

    std::unique_ptr<TIETransitionEffects> transition_;
    std::unique_ptr<win::TBitmap> transitionStart_;  // what PrepareTransition kept

    TVodirAdIO* io_ = nullptr;      // owned through the component owner list
    TVodirAdProc* proc_ = nullptr;  // likewise

    TIEMask mask_;
    TIESelectionPoints points_;
    bool selected_ = false;
    std::vector<std::unique_ptr<rtl::TMemoryStream>> selectionStack_;

    // Gesture state.
    int downX_ = 0, downY_ = 0;
    int downViewX_ = 0, downViewY_ = 0;
    int lastX_ = 0, lastY_ = 0;
    win::TMouseButton downButton_ = win::mbLeft;
    bool mouseDown_ = false;
    TResampleFilter savedFilter_ = rfNone;
    bool scrolling_ = false;
    TIEGrip grip_ = ieNone;
    TIEPoint gripStart_[4];
    int moving_ = -1;
    bool rectDrawing_ = false;
    bool ellipseDrawing_ = false;
    bool polygonDrawing_ = false;
    bool lassoDrawing_ = false;
    bool zoomRectDrawing_ = false;
    bool addMode_ = false;                  // this gesture adds to the selection
    int addedPoints_ = -1;                  // points before what this drag added
    std::unique_ptr<TIEMask> maskAtPress_;  // the mask before what this drag added
    TIEPoint moveLast_;
    bool selectionChanged_ = false;
    bool rubberShown_ = false;
    int rubberX_ = 0, rubberY_ = 0;
    // The layer being moved or resized. Handlers may remove layers mid-gesture, so it is held by
    // identity, looked up again after each event, and cleared when LayersRemove takes it.
    TIELayer* draggedLayer_ = nullptr;  // not owned
    TIEGrip layerGrip_ = ieNone;
    int layerStartX_ = 0, layerStartY_ = 0, layerStartW_ = 0, layerStartH_ = 0;
    win::TCursor gestureCursor_ = win::crDefault;
    bool shiftDown_ = false;
};

}  // namespace imaging
