// TIEDirectShow: the DirectShow filter graph through which video reaches an image view. It plays a
// file through a sample grabber, keeps the newest frame, and tells a window about new frames and
// graph events by posting two messages whose LParam is the wrapper. Windows build only.
#pragma once

#include "platform/rtl/Win32.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct IBaseFilter;
struct IGraphBuilder;
struct ICaptureGraphBuilder2;
struct IMediaControl;
struct IMediaSeeking;
struct IMediaEventEx;
struct ISampleGrabber;

namespace imaging {

class TIEBitmap;

// Set by a program that sets COM up on its threads itself: wrappers made afterwards leave COM alone.
extern bool IEComInitialized;

// The names of the video sub-types (FOURCC and RGB layouts) and of the analog TV standards.
extern const std::array<const char*, 36> kIEVideoSubtypeNames;
extern const std::array<const char*, 20> kIETVStandardNames;

// A reference to a COM interface: released once, when it is reset or goes away.
template <class T>
class TIEComRef {
public:
    TIEComRef() = default;
    TIEComRef(const TIEComRef&) = delete;
    TIEComRef& operator=(const TIEComRef&) = delete;
    ~TIEComRef() { Reset(); }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For a call that hands out a new reference; any held one is released first.
    T** Put()
    {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset()
    {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }

private:
    T* p_ = nullptr;
};

// Use and destroy a wrapper on the thread that made it: its COM set-up belongs to that thread.
// DirectShow's threads only post the two messages and store frames under a lock.
class TIEDirectShow {
public:
    // Sets COM up on this thread unless IEComInitialized says the program has done it; the
    // destructor takes it down again on the same thread.
    TIEDirectShow();
    ~TIEDirectShow();
    TIEDirectShow(const TIEDirectShow&) = delete;
    TIEDirectShow& operator=(const TIEDirectShow&) = delete;

    // Where the two notifications go: NewFrameMessage for a grabbed frame, EventMessage for a
    // graph event, both with LParam = this wrapper. A window of 0 posts nothing.
    void SetNotifyWindow(HWND Handle, UINT NewFrameMessage, UINT EventMessage);
    HWND NotifyWindow() const { return notifyWindow_; }

    // A graph exists.
    bool Connected() const { return static_cast<bool>(control_); }
    // Builds a graph that plays FileName through a sample grabber (RGB frames of 16, 24 or 32 bits,
    // as the decoder gives them) into a null renderer. A graph already built is disconnected first. False,
    // with nothing connected, when COM, DirectShow or one of its filters cannot do it; LastError() then says
    // what failed.
    bool ConnectFile(const std::string& FileName);
    // Stops a running graph (waiting up to 100 ms for its state) and releases every reference of
    // the graph, each once. Nothing without a graph.
    void Disconnect();

    bool Run();
    bool Pause();
    bool Stop();
    // The graph's state after up to TimeoutMs ms of waiting: 0 stopped, 1 paused, 2 running;
    // -1 without a graph or when the state is still changing.
    int State(int TimeoutMs = 100);

    // The next queued graph event, its parameters freed; false when none is waiting.
    bool GetEvent(long& Code, LONG_PTR& Param1, LONG_PTR& Param2);
    // The newest grabbed frame into Bitmap, made 24-bit; false, with Bitmap unchanged, when none came.
    bool GetSample(TIEBitmap& Bitmap);
    // Frames grabbed since the graph was connected.
    std::uint32_t FramesGrabbed() const { return framesGrabbed_.load(); }
    // Size of the grabbed frames; 0 without a graph.
    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }

    // The names of the video and audio capture devices and the video compressors installed.
    std::vector<std::string> VideoInputs();
    std::vector<std::string> AudioInputs();
    std::vector<std::string> VideoCodecs();

    const std::string& LastError() const { return lastError_; }
    // For tests and callers driving the graph further; nullptr without a graph. Not AddRef'd.
    IGraphBuilder* Graph() const { return graph_.Get(); }
    IMediaControl* MediaControl() const { return control_.Get(); }
    // Whether this wrapper set COM up on its thread (and so takes it down).
    bool OwnsComInitialization() const { return comOwned_; }

private:
    class TGrabberCallback;
    friend class TGrabberCallback;

    bool Fail(const std::string& What, long Result);
    void FrameArrived(const std::uint8_t* Data, long Size);
    std::vector<std::string> DeviceNames(const GUID& Category);

    bool comOwned_ = false;
    DWORD comThread_ = 0;

    HWND notifyWindow_ = nullptr;
    UINT newFrameMessage_ = 0;
    UINT eventMessage_ = 0;

    TIEComRef<IGraphBuilder> graph_;
    TIEComRef<ICaptureGraphBuilder2> captureBuilder_;
    TIEComRef<IBaseFilter> source_;
    TIEComRef<IBaseFilter> grabberFilter_;
    TIEComRef<ISampleGrabber> grabber_;
    TIEComRef<IBaseFilter> renderer_;
    TIEComRef<IMediaControl> control_;
    TIEComRef<IMediaSeeking> seeking_;
    TIEComRef<IMediaEventEx> events_;
    TGrabberCallback* callback_ = nullptr;  // our own COM object; one reference held while connected
    std::string fileName_;
    std::string lastError_;

    std::mutex frameLock_;
    std::vector<std::uint8_t> frame_;  // bottom-up rows, as grabbed
    int frameWidth_ = 0, frameHeight_ = 0;
    int frameBits_ = 24;                    // 16, 24 or 32
    bool frame565_ = false;                 // 16-bit frames with 6 bits of green
    std::atomic<bool> framePosted_{false};  // a new-frame message waits in the queue
    std::atomic<std::uint32_t> framesGrabbed_{0};
};

}  // namespace imaging
