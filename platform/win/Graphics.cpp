// Fonts, pens and brushes, graphics, and the picture registry.
#include "platform/win/Graphics.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace win {

// --- fonts, pens, brushes ---

namespace {

std::int32_t ScreenPixelsPerInch()
{
    static const std::int32_t ppi = [] {
        WindowDC dc(nullptr);
        int v = dc ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
        return v > 0 ? v : 96;
    }();
    return ppi;
}

[[noreturn]] void ThrowOutOfResources(const char* what)
{
    throw EOutOfResources(std::string("out of system resources: cannot create ") + what);
}

}  // namespace

void TFont::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Charset)).Type(CharsetTypeInfo());
    t.Property(RTL_GET_SET(Color)).Type(ColorTypeInfo());
    t.Property(RTL_GET_SET(Height));
    t.Property(RTL_GET_SET(Name));
    t.Property(RTL_GET_SET(Pitch)).Default(fpDefault);
    t.Property(RTL_GET_SET(Size)).Stored(false);
    t.Property(RTL_GET_SET(Style)).Default(TFontStyles{});
}

TFont::TFont() : charset_(DEFAULT_CHARSET), name_("MS Sans Serif"), pixelsPerInch_(ScreenPixelsPerInch())
{
    height_ = -::MulDiv(8, pixelsPerInch_, 72);
}

void TFont::SetName(const std::string& value)
{
    if (!value.empty())
        rtl::SetAndNotify(name_, value, this, &Self::Changed);
}

std::int32_t TFont::Size() const { return -::MulDiv(height_, 72, pixelsPerInch_); }

void TFont::SetSize(std::int32_t value) { SetHeight(-::MulDiv(value, pixelsPerInch_, 72)); }

void TFont::Changed()
{
    handle_.reset();
    TGraphicsObject::Changed();
}

SharedGdi<OwnedFont> TFont::SharedHandle()
{
    if (!handle_) {
        LOGFONTA lf{};
        lf.lfHeight = height_;
        lf.lfWeight = style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = style_.Contains(fsItalic);
        lf.lfUnderline = style_.Contains(fsUnderline);
        lf.lfStrikeOut = style_.Contains(fsStrikeOut);
        lf.lfCharSet = charset_;
        lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
        lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        lf.lfQuality = DEFAULT_QUALITY;
        lf.lfPitchAndFamily = pitch_ == fpFixed      ? FIXED_PITCH
                              : pitch_ == fpVariable ? VARIABLE_PITCH
                                                     : DEFAULT_PITCH;
        // LOGFONT holds at most 31 characters of the face name.
        std::strncpy(lf.lfFaceName, name_.c_str(), LF_FACESIZE - 1);
        HFONT h = ::CreateFontIndirectA(&lf);
        if (!h)
            ThrowOutOfResources("font");
        handle_ = std::make_shared<const OwnedFont>(h);
    }
    return handle_;
}

HFONT TFont::Handle() { return SharedHandle()->Get(); }

void TFont::SetHandle(HFONT font)
{
    LOGFONTA lf{};
    if (!font || ::GetObjectA(font, sizeof lf, &lf) == 0)
        throw EInvalidGraphicOperation("invalid font handle");
    charset_ = lf.lfCharSet;
    height_ = lf.lfHeight;
    name_ = lf.lfFaceName;
    pitch_ = (lf.lfPitchAndFamily & 3) == FIXED_PITCH      ? fpFixed
             : (lf.lfPitchAndFamily & 3) == VARIABLE_PITCH ? fpVariable
                                                           : fpDefault;
    TFontStyles style;
    if (lf.lfWeight >= FW_BOLD)
        style.Include(fsBold);
    if (lf.lfItalic)
        style.Include(fsItalic);
    if (lf.lfUnderline)
        style.Include(fsUnderline);
    if (lf.lfStrikeOut)
        style.Include(fsStrikeOut);
    style_ = style;
    Changed();
}

void TFont::Assign(rtl::TPersistent* source)
{
    if (auto* f = dynamic_cast<TFont*>(source)) {
        if (f == this)
            return;
        // Keep the point size when the two resolutions differ, as a printer font would.
        const std::int32_t height =
            f->pixelsPerInch_ == pixelsPerInch_ ? f->height_ : -::MulDiv(f->Size(), pixelsPerInch_, 72);
        // Controls assign their font to the canvas before every paint; an identical font
        // keeps its handle instead of making a new one each time.
        if (charset_ == f->charset_ && height_ == height && name_ == f->name_ && pitch_ == f->pitch_ &&
            style_ == f->style_) {
            SetColor(f->color_);
            return;
        }
        charset_ = f->charset_;
        color_ = f->color_;
        height_ = height;
        name_ = f->name_;
        pitch_ = f->pitch_;
        style_ = f->style_;
        Changed();
        return;
    }
    rtl::TPersistent::Assign(source);
}

void TPen::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Color)).Type(ColorTypeInfo()).Default(clBlack);
    t.Property(RTL_GET_SET(Mode)).Default(pmCopy);
    t.Property(RTL_GET_SET(Style)).Default(psSolid);
    t.Property(RTL_GET_SET(Width)).Default(1);
}

void TPen::SetWidth(std::int32_t value)
{
    if (value >= 0)
        rtl::SetAndNotify(width_, value, this, &Self::Changed);
}

void TPen::Changed()
{
    handle_.reset();
    TGraphicsObject::Changed();
}

SharedGdi<OwnedPen> TPen::SharedHandle()
{
    if (!handle_) {
        static constexpr int kStyles[] = {PS_SOLID,      PS_DASH, PS_DOT,        PS_DASHDOT,
                                          PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
        HPEN h = ::CreatePen(kStyles[style_], width_, ColorToRGB(color_));
        if (!h)
            ThrowOutOfResources("pen");
        handle_ = std::make_shared<const OwnedPen>(h);
    }
    return handle_;
}

HPEN TPen::Handle() { return SharedHandle()->Get(); }

void TPen::Assign(rtl::TPersistent* source)
{
    if (auto* p = dynamic_cast<TPen*>(source)) {
        if (p == this)
            return;
        color_ = p->color_;
        mode_ = p->mode_;
        style_ = p->style_;
        width_ = p->width_;
        Changed();
        return;
    }
    rtl::TPersistent::Assign(source);
}

void TBrush::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Color)).Type(ColorTypeInfo()).Default(clWhite);
    t.Property(RTL_GET_SET(Style)).Default(bsSolid);
}

TBrush::TBrush() = default;
TBrush::~TBrush() = default;

void TBrush::SetColor(TColor value)
{
    if (value != color_ || bitmap_) {
        color_ = value;
        bitmap_.reset();
        // Choosing a colour for a clear brush makes it solid, so the colour shows.
        if (style_ == bsClear)
            style_ = bsSolid;
        Changed();
    }
}

void TBrush::SetStyle(TBrushStyle value)
{
    if (value != style_ || bitmap_) {
        style_ = value;
        bitmap_.reset();
        Changed();
    }
}

void TBrush::SetBitmap(TBitmap* value)
{
    if (value) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(value);
        bitmap_ = std::move(copy);
    } else {
        bitmap_.reset();
    }
    Changed();
}

void TBrush::Changed()
{
    handle_.reset();
    TGraphicsObject::Changed();
}

SharedGdi<OwnedBrush> TBrush::SharedHandle()
{
    if (!handle_) {
        HBRUSH h = nullptr;
        if (bitmap_ && !bitmap_->Empty()) {
            h = ::CreatePatternBrush(bitmap_->Handle());
        } else if (style_ == bsSolid) {
            h = ::CreateSolidBrush(ColorToRGB(color_));
        } else if (style_ == bsClear) {
            LOGBRUSH lb{BS_NULL, 0, 0};
            h = ::CreateBrushIndirect(&lb);
        } else {
            static constexpr int kHatches[] = {
                0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
            h = ::CreateHatchBrush(kHatches[style_], ColorToRGB(color_));
        }
        if (!h)
            ThrowOutOfResources("brush");
        handle_ = std::make_shared<const OwnedBrush>(h);
    }
    return handle_;
}

HBRUSH TBrush::Handle() { return SharedHandle()->Get(); }

void TBrush::Assign(rtl::TPersistent* source)
{
    if (auto* b = dynamic_cast<TBrush*>(source)) {
        if (b == this)
            return;
        color_ = b->color_;
        style_ = b->style_;
        if (b->bitmap_) {
            auto copy = std::make_unique<TBitmap>();
            copy->Assign(b->bitmap_.get());
            bitmap_ = std::move(copy);
        } else {
            bitmap_.reset();
        }
        Changed();
        return;
    }
    rtl::TPersistent::Assign(source);
}

// --- graphics ---

void TGraphic::Publish(Table&) {}

void TGraphic::SetModified(bool value)
{
    if (value)
        Changed(this);
    else
        modified_ = false;
}

void TGraphic::Changed(rtl::TObject*)
{
    modified_ = true;
    OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& fileName)
{
    rtl::TFileStream stream(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName)
{
    rtl::TFileStream stream(fileName, rtl::fmCreate);
    SaveToStream(stream);
}

// --- picture registry ---

namespace {

struct FormatEntry {
    std::string Extension;  // empty: known by class name only
    std::string Description;
    const rtl::TClassInfo* Class;
    TGraphicFactory Factory;
};

std::mutex& RegistryMutex()
{
    static std::mutex m;
    return m;
}

std::vector<FormatEntry>& Registry()
{
    static std::vector<FormatEntry> entries = [] {
        std::vector<FormatEntry> e;
        auto bitmap = [] { return std::make_unique<TBitmap>(); };
        e.push_back({"bmp", "Bitmaps", &TBitmap::StaticClassInfo(), bitmap});
        // By its class too: a library that takes the extension over (the image library's BMP
        // pictures) leaves bitmaps copyable and readable by their stored class name.
        e.push_back({"", "", &TBitmap::StaticClassInfo(), bitmap});
        return e;
    }();
    return entries;
}

std::string StripDot(const std::string& extension)
{
    return !extension.empty() && extension[0] == '.' ? extension.substr(1) : extension;
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const rtl::TClassInfo& graphicClass, TGraphicFactory factory)
{
    std::lock_guard guard(RegistryMutex());
    auto& reg = Registry();
    const std::string ext = rtl::LowerCase(StripDot(extension));
    if (ext.empty())
        throw rtl::EInvalidArgument("a file format needs an extension");
    std::erase_if(reg, [&](const FormatEntry& e) { return e.Extension == ext; });
    reg.push_back({ext, description, &graphicClass, std::move(factory)});
}

void TPicture::RegisterGraphicClass(const rtl::TClassInfo& graphicClass, TGraphicFactory factory)
{
    std::lock_guard guard(RegistryMutex());
    auto& reg = Registry();
    std::erase_if(reg, [&](const FormatEntry& e) { return e.Extension.empty() && e.Class == &graphicClass; });
    reg.push_back({"", "", &graphicClass, std::move(factory)});
}

void TPicture::UnregisterGraphicClass(const rtl::TClassInfo& graphicClass)
{
    std::lock_guard guard(RegistryMutex());
    std::erase_if(Registry(), [&](const FormatEntry& e) { return e.Class->InheritsFrom(graphicClass); });
}

std::unique_ptr<TGraphic> TPicture::CreateGraphicByExtension(const std::string& extension)
{
    TGraphicFactory factory;
    {
        std::lock_guard guard(RegistryMutex());
        const std::string ext = rtl::LowerCase(StripDot(extension));
        for (const auto& e : Registry())
            if (!ext.empty() && e.Extension == ext)
                factory = e.Factory;
    }
    return factory ? factory() : nullptr;
}

std::unique_ptr<TGraphic> TPicture::CreateGraphicByClassName(const std::string& className)
{
    TGraphicFactory factory;
    {
        std::lock_guard guard(RegistryMutex());
        for (const auto& e : Registry())
            if (rtl::SameText(e.Class->Name, className))
                factory = e.Factory;
    }
    return factory ? factory() : nullptr;
}

std::string TPicture::GraphicFilter(const rtl::TClassInfo& graphicClass)
{
    std::lock_guard guard(RegistryMutex());
    std::string all, each;
    for (const auto& e : Registry()) {
        if (e.Extension.empty() || !e.Class->InheritsFrom(graphicClass))
            continue;
        const std::string mask = "*." + rtl::UpperCase(e.Extension);
        all += (all.empty() ? "" : ";") + mask;
        each += "|" + e.Description + " (" + mask + ")|" + mask;
    }
    return all.empty() ? std::string() : "All (" + all + ")|" + all + each;
}

// --- picture ---

void TPicture::Publish(Table&) {}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::TakeGraphic(std::unique_ptr<TGraphic> graphic)
{
    graphic_ = std::move(graphic);
    if (graphic_)
        graphic_->OnChange = [this](rtl::TObject*) { OnChange(this); };
    OnChange(this);
}

void TPicture::SetGraphic(TGraphic* value)
{
    if (value == graphic_.get())
        return;
    std::unique_ptr<TGraphic> copy;
    if (value) {
        copy = CreateGraphicByClassName(value->ClassName());
        if (!copy)
            throw EInvalidGraphic("Unknown graphic class " + value->ClassName());
        copy->Assign(value);
    }
    TakeGraphic(std::move(copy));
}

TBitmap* TPicture::Bitmap()
{
    if (auto* b = dynamic_cast<TBitmap*>(graphic_.get()))
        return b;
    TakeGraphic(std::make_unique<TBitmap>());
    return static_cast<TBitmap*>(graphic_.get());
}

void TPicture::SetBitmap(TBitmap* value) { SetGraphic(value); }

std::int32_t TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
std::int32_t TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::LoadFromFile(const std::string& fileName)
{
    const std::string ext = rtl::ExtractFileExt(fileName);
    auto graphic = CreateGraphicByExtension(ext);
    if (!graphic)
        throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
    graphic->LoadFromFile(fileName);
    TakeGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& fileName)
{
    if (graphic_)
        graphic_->SaveToFile(fileName);
}

void TPicture::Assign(rtl::TPersistent* source)
{
    if (!source) {
        TakeGraphic(nullptr);
    } else if (auto* p = dynamic_cast<TPicture*>(source)) {
        SetGraphic(p->Graphic());
    } else if (auto* g = dynamic_cast<TGraphic*>(source)) {
        SetGraphic(g);
    } else {
        rtl::TPersistent::Assign(source);
    }
}

void TPicture::DefineProperties(rtl::TFiler& filer)
{
    filer.DefineBinaryProperty(
        "Data", [this](rtl::TStream& s) { ReadData(s); }, [this](rtl::TStream& s) { WriteData(s); },
        graphic_ != nullptr);
}

void TPicture::ReadData(rtl::TStream& stream)
{
    std::uint8_t length = 0;
    if (stream.Read(&length, 1) != 1)
        throw rtl::EReadError("picture data is empty");
    std::string className(length, '\0');
    if (length && stream.Read(className.data(), length) != length)
        throw rtl::EReadError("picture data ends inside the class name");
    if (className.empty()) {
        TakeGraphic(nullptr);
        return;
    }
    auto graphic = CreateGraphicByClassName(className);
    if (!graphic)
        throw EInvalidGraphic("Unknown graphic class " + className);
    graphic->ReadData(stream);
    TakeGraphic(std::move(graphic));
}

void TPicture::WriteData(rtl::TStream& stream)
{
    if (!graphic_)
        return;
    const std::string& name = graphic_->ClassName();
    if (name.size() > 255)
        throw rtl::EWriteError("graphic class name longer than 255 characters");
    const auto length = static_cast<std::uint8_t>(name.size());
    stream.WriteBuffer(&length, 1);
    stream.WriteBuffer(name.data(), length);
    graphic_->WriteData(stream);
}

}  // namespace win
