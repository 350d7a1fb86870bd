// The DirectShow wrapper: COM set-up per thread, the file-playing graph with its sample grabber,
// the notifications, and the release of the graph.
#include "imaging/core/ieds_win32.h"

#include "imaging/core/iebitmap.h"

#include <dshow.h>
#include <qedit.h>

#include <cstring>
#include <limits>

namespace imaging {

bool IEComInitialized = false;

const std::array<const char*, 36> kIEVideoSubtypeNames = {
    "CLPL",   "YUYV",  "IYUV",  "YVU9",     "Y411",     "Y41P",   "YUY2", "YVYU", "UYVY",
    "Y211",   "YV12",  "CLJR",  "IF09",     "CPLA",     "MJPG",   "TVMJ", "WAKE", "CFCC",
    "IJPG",   "Plum",  "DVCS",  "DVSD",     "MDVF",     "RGB1",   "RGB4", "RGB8", "RGB565",
    "RGB555", "RGB24", "RGB32", "ARGB1555", "ARGB4444", "ARGB32", "AYUV", "AI44", "IA44"};

const std::array<const char*, 20> kIETVStandardNames = {
    "None",    "NTSC_M",  "NTSC_M_J", "NTSC_433", "PAL_B",    "PAL_D",      "PAL_H",
    "PAL_I",   "PAL_M",   "PAL_N",    "PAL_60",   "SECAM_B",  "SECAM_D",    "SECAM_G",
    "SECAM_H", "SECAM_K", "SECAM_K1", "SECAM_L",  "SECAM_L1", "PAL_N_COMBO"};

namespace {

// The editing filters' class identifiers, which the system headers do not carry.
const CLSID kClsidSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kClsidNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const IID kIidSampleGrabber = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
const IID kIidSampleGrabberCB = {
    0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};

// The RGB layouts the grabber takes, most wanted first.
struct TGrabbedFormat {
    const GUID* subtype;
    int bits;
};
const TGrabbedFormat kGrabbedFormats[] = {{&MEDIASUBTYPE_RGB24, 24},
                                          {&MEDIASUBTYPE_RGB32, 32},
                                          {&MEDIASUBTYPE_RGB565, 16},
                                          {&MEDIASUBTYPE_RGB555, 16}};

std::size_t RowBytes(int width, int bits) { return ((std::size_t(width) * std::size_t(bits) + 31) / 32) * 4; }

void FreeMediaTypeFields(AM_MEDIA_TYPE& mt)
{
    if (mt.cbFormat && mt.pbFormat)
        ::CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

// The first pin of Filter in Direction that is not connected yet.
bool FreePin(IBaseFilter* filter, PIN_DIRECTION direction, TIEComRef<IPin>& pin)
{
    TIEComRef<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put())) || !pins)
        return false;
    IPin* candidate = nullptr;
    while (pins->Next(1, &candidate, nullptr) == S_OK) {
        TIEComRef<IPin> held;
        *held.Put() = candidate;
        PIN_DIRECTION d;
        TIEComRef<IPin> peer;
        if (SUCCEEDED(held->QueryDirection(&d)) && d == direction &&
            held->ConnectedTo(peer.Put()) == VFW_E_NOT_CONNECTED) {
            *pin.Put() = held.Get();
            held->AddRef();
            return true;
        }
    }
    return false;
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

std::string Narrow(const wchar_t* text)
{
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string out(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(std::size_t(n - 1));
    return out;
}

}  // namespace

// Receives the grabbed frames on DirectShow's streaming thread. It holds no reference to the
// wrapper, only a pointer that the wrapper clears under the lock before it lets go.
class TIEDirectShow::TGrabberCallback : public ISampleGrabberCB {
public:
    explicit TGrabberCallback(TIEDirectShow* owner) : owner_(owner) {}

    void Detach()
    {
        std::lock_guard<std::mutex> lock(lock_);
        owner_ = nullptr;
    }
    long References() const { return refs_.load(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidSampleGrabberCB)) {
            *object = static_cast<ISampleGrabberCB*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --refs_;
        if (left == 0)
            delete this;
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE* buffer, long size) override
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (owner_ && buffer && size > 0)
            owner_->FrameArrived(buffer, size);
        return S_OK;
    }

private:
    virtual ~TGrabberCallback() = default;

    std::atomic<long> refs_{1};
    std::mutex lock_;
    TIEDirectShow* owner_;
};

TIEDirectShow::TIEDirectShow()
{
    if (!IEComInitialized) {
        // S_FALSE (already set up on this thread) counts too: every success is paired.
        if (SUCCEEDED(::OleInitialize(nullptr))) {
            comOwned_ = true;
            comThread_ = ::GetCurrentThreadId();
        }
    }
}

TIEDirectShow::~TIEDirectShow()
{
    Disconnect();
    // Taken down only on the thread that set it up: elsewhere it would unbalance that thread.
    if (comOwned_ && ::GetCurrentThreadId() == comThread_)
        ::OleUninitialize();
}

void TIEDirectShow::SetNotifyWindow(HWND Handle, UINT NewFrameMessage, UINT EventMessage)
{
    notifyWindow_ = Handle;
    newFrameMessage_ = NewFrameMessage;
    eventMessage_ = EventMessage;
    if (events_)
        events_->SetNotifyWindow(OAHWND(Handle), long(EventMessage), LONG_PTR(this));
}

bool TIEDirectShow::Fail(const std::string& What, long Result)
{
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(Result));
    lastError_ = What + " failed (" + code + ")";
    Disconnect();
    return false;
}

bool TIEDirectShow::ConnectFile(const std::string& FileName)
{
    Disconnect();
    lastError_.clear();
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                    graph_.PutVoid());
    if (FAILED(hr))
        return Fail("creating the filter graph", hr);
    TIEComRef<IMediaControl> control;
    if (FAILED(hr = graph_->QueryInterface(IID_IMediaControl, control.PutVoid())) ||
        FAILED(hr = graph_->QueryInterface(IID_IMediaSeeking, seeking_.PutVoid())) ||
        FAILED(hr = graph_->QueryInterface(IID_IMediaEventEx, events_.PutVoid())))
        return Fail("asking the graph for its control", hr);
    if (FAILED(hr = ::CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       grabberFilter_.PutVoid())) ||
        FAILED(hr = grabberFilter_->QueryInterface(kIidSampleGrabber, grabber_.PutVoid())))
        return Fail("creating the sample grabber", hr);
    grabber_->SetBufferSamples(FALSE);
    grabber_->SetOneShot(FALSE);
    callback_ = new TGrabberCallback(this);
    if (FAILED(hr = grabber_->SetCallback(callback_, 1)))
        return Fail("setting the grabber's callback", hr);
    if (FAILED(hr = ::CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       renderer_.PutVoid())))
        return Fail("creating the null renderer", hr);
    if (FAILED(hr = graph_->AddFilter(grabberFilter_.Get(), L"Sample Grabber")) ||
        FAILED(hr = graph_->AddFilter(renderer_.Get(), L"Null Renderer")))
        return Fail("adding the filters", hr);
    const std::wstring file = Wide(FileName);
    if (FAILED(hr = graph_->AddSourceFilter(file.c_str(), L"Source", source_.Put())))
        return Fail("opening " + FileName, hr);
    TIEComRef<IPin> sourceOut, grabberIn, grabberOut, rendererIn;
    if (!FreePin(source_.Get(), PINDIR_OUTPUT, sourceOut) ||
        !FreePin(grabberFilter_.Get(), PINDIR_INPUT, grabberIn) ||
        !FreePin(grabberFilter_.Get(), PINDIR_OUTPUT, grabberOut) ||
        !FreePin(renderer_.Get(), PINDIR_INPUT, rendererIn))
        return Fail("finding the filters' pins", E_FAIL);
    // The graph puts the splitter and decoder the file needs between the source and the grabber;
    // decoders differ in the RGB layouts they give, so each the frames can be read from is tried.
    hr = E_FAIL;
    for (const TGrabbedFormat& format : kGrabbedFormats) {
        AM_MEDIA_TYPE wanted{};
        wanted.majortype = MEDIATYPE_Video;
        wanted.subtype = *format.subtype;
        wanted.formattype = FORMAT_VideoInfo;
        if (SUCCEEDED(grabber_->SetMediaType(&wanted)) &&
            SUCCEEDED(hr = graph_->Connect(sourceOut.Get(), grabberIn.Get())))
            break;
    }
    if (FAILED(hr))
        return Fail("rendering " + FileName + " as RGB video", hr);
    if (FAILED(hr = graph_->Connect(grabberOut.Get(), rendererIn.Get())))
        return Fail("connecting the null renderer", hr);
    AM_MEDIA_TYPE got{};
    if (FAILED(hr = grabber_->GetConnectedMediaType(&got)))
        return Fail("reading the grabbed format", hr);
    int width = 0, height = 0, bits = 0;
    for (const TGrabbedFormat& format : kGrabbedFormats)
        if (IsEqualGUID(got.subtype, *format.subtype))
            bits = format.bits;
    if (IsEqualGUID(got.formattype, FORMAT_VideoInfo) && got.pbFormat &&
        got.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const BITMAPINFOHEADER& bih = reinterpret_cast<const VIDEOINFOHEADER*>(got.pbFormat)->bmiHeader;
        width = bih.biWidth;
        height = bih.biHeight;
    }
    const bool is565 = IsEqualGUID(got.subtype, MEDIASUBTYPE_RGB565);
    FreeMediaTypeFields(got);
    // Bottom-up rows of a known layout only: a top-down or empty format cannot be read as grabbed.
    if (bits == 0 || width < 1 || height < 1 || width > 32768 || height > 32768)
        return Fail("reading the grabbed frame format", E_FAIL);
    {
        std::lock_guard<std::mutex> lock(frameLock_);
        frameWidth_ = width;
        frameHeight_ = height;
        frameBits_ = bits;
        frame565_ = is565;
        frame_.clear();
    }
    fileName_ = FileName;
    if (notifyWindow_)
        events_->SetNotifyWindow(OAHWND(notifyWindow_), long(eventMessage_), LONG_PTR(this));
    *control_.Put() = control.Get();
    control.Get()->AddRef();
    return true;
}

void TIEDirectShow::Disconnect()
{
    if (control_) {
        OAFilterState state = State_Stopped;
        const HRESULT hr = control_->GetState(100, &state);
        // A graph still changing state, or one that cannot say, is stopped all the same.
        if (FAILED(hr) || hr == VFW_S_STATE_INTERMEDIATE || state != State_Stopped)
            control_->Stop();
    }
    if (events_)
        events_->SetNotifyWindow(0, 0, 0);
    if (grabber_)
        grabber_->SetCallback(nullptr, 1);
    if (callback_) {
        callback_->Detach();
        callback_->Release();
        callback_ = nullptr;
    }
    // Each reference once, the graph's own last.
    control_.Reset();
    seeking_.Reset();
    events_.Reset();
    grabber_.Reset();
    grabberFilter_.Reset();
    renderer_.Reset();
    source_.Reset();
    captureBuilder_.Reset();
    graph_.Reset();
    fileName_.clear();
    framesGrabbed_ = 0;
    framePosted_ = false;
    std::lock_guard<std::mutex> lock(frameLock_);
    frame_.clear();
    frameWidth_ = frameHeight_ = 0;
}

bool TIEDirectShow::Run() { return control_ && SUCCEEDED(control_->Run()); }
bool TIEDirectShow::Pause() { return control_ && SUCCEEDED(control_->Pause()); }
bool TIEDirectShow::Stop() { return control_ && SUCCEEDED(control_->Stop()); }

int TIEDirectShow::State(int TimeoutMs)
{
    if (!control_)
        return -1;
    OAFilterState state = State_Stopped;
    const HRESULT hr = control_->GetState(TimeoutMs < 0 ? 0 : TimeoutMs, &state);
    if (FAILED(hr) || hr == VFW_S_STATE_INTERMEDIATE)
        return -1;
    return state == State_Running ? 2 : state == State_Paused ? 1 : 0;
}

bool TIEDirectShow::GetEvent(long& Code, LONG_PTR& Param1, LONG_PTR& Param2)
{
    if (!events_)
        return false;
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events_->GetEvent(&code, &p1, &p2, 0) != S_OK)
        return false;
    Code = code;
    Param1 = p1;
    Param2 = p2;
    events_->FreeEventParams(code, p1, p2);
    return true;
}

void TIEDirectShow::FrameArrived(const std::uint8_t* Data, long Size)
{
    {
        std::lock_guard<std::mutex> lock(frameLock_);
        const std::uint64_t need =
            std::uint64_t(RowBytes(frameWidth_, frameBits_)) * std::uint64_t(frameHeight_);
        // A buffer shorter than the format says is not a frame of it.
        if (need == 0 || Size < 0 || std::uint64_t(Size) < need)
            return;
        frame_.assign(Data, Data + std::size_t(need));
    }
    ++framesGrabbed_;
    if (notifyWindow_ && !framePosted_.exchange(true))
        ::PostMessageA(notifyWindow_, newFrameMessage_, 0, LPARAM(this));
}

bool TIEDirectShow::GetSample(TIEBitmap& Bitmap)
{
    framePosted_ = false;
    std::lock_guard<std::mutex> lock(frameLock_);
    if (frame_.empty())
        return false;
    const std::size_t row = RowBytes(frameWidth_, frameBits_);
    Bitmap.Allocate(frameWidth_, frameHeight_, ie24RGB);
    for (int y = 0; y < frameHeight_; ++y) {
        const std::uint8_t* from = &frame_[row * std::size_t(frameHeight_ - 1 - y)];
        auto* to = reinterpret_cast<TRGB*>(Bitmap.ScanLine(y));
        for (int x = 0; x < frameWidth_; ++x) {
            switch (frameBits_) {
            case 24: to[x] = TRGB{from[3 * x], from[3 * x + 1], from[3 * x + 2]}; break;
            case 32: to[x] = TRGB{from[4 * x], from[4 * x + 1], from[4 * x + 2]}; break;
            default: {
                // 5 or 6 bits a channel, widened by repeating their high bits.
                const unsigned v = unsigned(from[2 * x]) | unsigned(from[2 * x + 1]) << 8;
                const unsigned b = v & 31, g = frame565_ ? (v >> 5) & 63 : (v >> 5) & 31;
                const unsigned r = frame565_ ? v >> 11 : (v >> 10) & 31;
                to[x] = TRGB{std::uint8_t(b << 3 | b >> 2),
                             std::uint8_t(frame565_ ? (g << 2 | g >> 4) : (g << 3 | g >> 2)),
                             std::uint8_t(r << 3 | r >> 2)};
            }
            }
        }
    }
    return true;
}

std::vector<std::string> TIEDirectShow::DeviceNames(const GUID& Category)
{
    std::vector<std::string> names;
    TIEComRef<ICreateDevEnum> devices;
    if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  devices.PutVoid())))
        return names;
    TIEComRef<IEnumMoniker> monikers;
    // S_FALSE: the category is empty.
    if (devices->CreateClassEnumerator(Category, monikers.Put(), 0) != S_OK || !monikers)
        return names;
    IMoniker* next = nullptr;
    while (monikers->Next(1, &next, nullptr) == S_OK) {
        TIEComRef<IMoniker> moniker;
        *moniker.Put() = next;
        TIEComRef<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())))
            continue;
        VARIANT value;
        ::VariantInit(&value);
        if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
            names.push_back(Narrow(value.bstrVal));
        ::VariantClear(&value);
    }
    return names;
}

std::vector<std::string> TIEDirectShow::VideoInputs() { return DeviceNames(CLSID_VideoInputDeviceCategory); }
std::vector<std::string> TIEDirectShow::AudioInputs() { return DeviceNames(CLSID_AudioInputDeviceCategory); }
std::vector<std::string> TIEDirectShow::VideoCodecs() { return DeviceNames(CLSID_VideoCompressorCategory); }

}  // namespace imaging
