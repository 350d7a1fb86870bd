// Imaging annotation blobs: parsing into marks and building them back.
#include "imaging/io/ieimagingannot.h"

#include "imaging/core/vodiradproc.h"
#include "platform/rtl/ByteCursor.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace imaging {

int IEAnnotScreenDpiX = 96;
int IEAnnotScreenDpiY = 96;

namespace {

constexpr std::uint32_t kRecordDefaultBlock = 2;
constexpr std::uint32_t kRecordAttributes = 5;
constexpr std::uint32_t kRecordMarkBlock = 6;
constexpr int kNameSize = 8;
constexpr std::uint32_t kNamedHeaderSize = 12;  // name and data size
constexpr int kFontHeightOffset = 48;
constexpr int kPointsHeaderSize = 8;  // largest count, point count
constexpr int kTextHeaderSize = 16;
constexpr std::uint32_t kUnitsPerInch = 72000;
// No sensible embedded picture is larger; the DIB reader refuses beyond it.
constexpr std::uint64_t kMaxDibPixelBytes = 64u << 20;

using Blocks = std::map<std::string, std::vector<std::uint8_t>>;

bool IsLineMark(int type) { return type == kIEMarkStraightLine || type == kIEMarkFreehandLine; }
bool IsTextMark(int type) { return type >= kIEMarkTypedText && type <= kIEMarkAttachANote; }
bool HasPlacement(int type)
{
    return type == kIEMarkImageEmbedded || type == kIEMarkImageReference || type == kIEMarkForm;
}

// Text up to its NUL or the end of the bytes, whichever comes first.
std::string CString(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {};
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    return std::string(reinterpret_cast<const char*>(data), end ? std::size_t(end - data) : size);
}

// The mark being read: its attribute record and named blocks.
struct TPendingMark {
    bool present = false;
    std::array<std::uint8_t, TIEImagingObject::kAttributesSize> attributes{};
    Blocks blocks;
};

// Builds the object of a finished mark; false when the mark cannot be valid.
bool FinishMark(TPendingMark& mark, std::vector<std::unique_ptr<TIEImagingObject>>& out)
{
    if (!mark.present)
        return true;
    mark.present = false;
    auto object = std::make_unique<TIEImagingObject>();
    object->Attributes = mark.attributes;
    const int type = object->MarkType();
    if (type <= 0)
        return true;  // not a mark: nothing to keep
    const auto block = [&](const char* name) -> const std::vector<std::uint8_t>* {
        const auto it = mark.blocks.find(name);
        return it == mark.blocks.end() ? nullptr : &it->second;
    };
    if (const auto* name = block("OiFilNam"))
        object->FileName = CString(name->data(), name->size());
    if (const auto* data = block("OiAnoDat")) {
        if (IsLineMark(type)) {
            if (data->size() < kPointsHeaderSize)
                return false;
            const std::uint32_t count = rtl::LoadLE32(data->data() + 4);
            if (std::uint64_t(count) * 8 > data->size() - kPointsHeaderSize)
                return false;
            object->Points.resize(count);
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t* p = data->data() + kPointsHeaderSize + 8 * std::size_t(i);
                object->Points[i] =
                    TIEPoint{std::int32_t(rtl::LoadLE32(p)), std::int32_t(rtl::LoadLE32(p + 4))};
            }
        } else if (HasPlacement(type)) {
            object->Placement = *data;
        }
    }
    if (const auto* dib = block("OiDIB"); dib && type == kIEMarkImageEmbedded) {
        auto bitmap = std::make_unique<TIEBitmap>();
        if (DIBToBitmap(dib->data(), dib->size(), bitmap.get(), nullptr, 0, kMaxDibPixelBytes) != 0)
            object->Bitmap = std::move(bitmap);
    }
    if (IsTextMark(type)) {
        const auto* text = block("OiAnText");
        if (text) {
            if (text->size() < kTextHeaderSize)
                return false;
            object->CreationScale = rtl::LoadLE32(text->data() + 8);
            // The font height is measured at this scale; without one it means nothing.
            if (object->CreationScale == 0)
                return false;
            const std::uint32_t length = rtl::LoadLE32(text->data() + 12);
            const std::size_t room = text->size() - kTextHeaderSize;
            object->Text = CString(text->data() + kTextHeaderSize, std::min<std::size_t>(length, room));
        }
    }
    out.push_back(std::move(object));
    return true;
}

// One named block at the cursor into `blocks`; a later block of a name replaces the earlier one.
bool ReadNamedBlock(rtl::ByteCursor& in, bool padded, Blocks* blocks)
{
    const std::uint8_t* name = in.Take(kNameSize);
    std::uint32_t size = 0;
    if (!name || !in.ReadLE32(size) || (padded && !in.Skip(4)))
        return false;
    const std::uint8_t* data = in.Take(size);
    if (!data)
        return false;
    if (blocks)
        (*blocks)[CString(name, kNameSize)].assign(data, data + size);
    return true;
}

// ---- building ----

class TBlobWriter {
public:
    void U32(std::uint32_t v)
    {
        std::uint8_t b[4];
        rtl::StoreLE32(b, v);
        out_.insert(out_.end(), b, b + 4);
    }
    void Bytes(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        out_.insert(out_.end(), p, p + size);
    }
    void Named(std::uint32_t record, const char* name, const void* data, std::size_t size)
    {
        U32(record);
        U32(kNamedHeaderSize);
        char padded[kNameSize] = {};
        std::memcpy(padded, name, std::min<std::size_t>(std::strlen(name), kNameSize));
        Bytes(padded, kNameSize);
        U32(std::uint32_t(size));
        Bytes(data, size);
    }
    void NamedText(std::uint32_t record, const char* name, const std::string& text)
    {
        Named(record, name, text.c_str(), text.size() + 1);
    }
    std::vector<std::uint8_t>& Out() { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

std::uint32_t ScreenScale() { return kUnitsPerInch / std::uint32_t(std::max(IEAnnotScreenDpiY, 1)); }

std::vector<std::uint8_t> DefaultPlacement()
{
    std::vector<std::uint8_t> p(TIEImagingObject::kPlacementSize, 0);
    const std::uint32_t values[6] = {1,
                                     1000,
                                     std::uint32_t(IEAnnotScreenDpiX),
                                     std::uint32_t(IEAnnotScreenDpiY),
                                     std::uint32_t(IEAnnotScreenDpiX),
                                     std::uint32_t(IEAnnotScreenDpiY)};
    for (int i = 0; i < 6; ++i)
        rtl::StoreLE32(p.data() + 4 * i, values[i]);
    return p;
}

}  // namespace

// ---- TIEImagingObject ----

TIEImagingObject::~TIEImagingObject() = default;

std::unique_ptr<TIEImagingObject> TIEImagingObject::Clone() const
{
    auto copy = std::make_unique<TIEImagingObject>();
    copy->Attributes = Attributes;
    copy->Points = Points;
    copy->Text = Text;
    if (Bitmap) {
        copy->Bitmap = std::make_unique<TIEBitmap>();
        copy->Bitmap->Assign(Bitmap.get());
    }
    copy->FileName = FileName;
    copy->Placement = Placement;
    copy->CreationScale = CreationScale;
    return copy;
}

int TIEImagingObject::MarkType() const { return int(rtl::LoadLE32(Attributes.data())); }

void TIEImagingObject::SetMarkType(int Value) { rtl::StoreLE32(Attributes.data(), std::uint32_t(Value)); }

int TIEImagingObject::FontHeight() const
{
    return std::int32_t(rtl::LoadLE32(Attributes.data() + kFontHeightOffset));
}

void TIEImagingObject::SetFontHeight(int Value)
{
    rtl::StoreLE32(Attributes.data() + kFontHeightOffset, std::uint32_t(Value));
}

int TIEImagingObject::ScreenFontHeight() const
{
    const double scale = CreationScale ? double(CreationScale) : double(ScreenScale());
    const double pixels =
        double(kUnitsPerInch) / scale / std::max(IEAnnotScreenDpiY, 1) * -double(FontHeight());
    return int(std::clamp<double>(std::nearbyint(pixels), INT32_MIN, INT32_MAX));
}

// ---- TIEImagingAnnot ----

TIEImagingAnnot::~TIEImagingAnnot() = default;

TIEImagingObject& TIEImagingAnnot::Object(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw rtl::EInvalidArgument("annotation " + std::to_string(Index) + " out of range");
    return *objects_[std::size_t(Index)];
}

void TIEImagingAnnot::Add(std::unique_ptr<TIEImagingObject> Object)
{
    if (Object)
        objects_.push_back(std::move(Object));
}

void TIEImagingAnnot::Clear()
{
    objects_.clear();
    Modified = false;
}

void TIEImagingAnnot::Assign(const TIEImagingAnnot& Source)
{
    if (&Source == this)
        return;
    objects_.clear();
    for (const auto& object : Source.objects_)
        objects_.push_back(object->Clone());
    Modified = Source.Modified;
}

bool TIEImagingAnnot::LoadFromBuffer(const void* Data, std::int64_t Length)
{
    if (!Data || Length < 8)
        return false;
    rtl::ByteCursor in(Data, std::size_t(Length));
    std::uint32_t unused = 0, flag = 0;
    if (!in.ReadLE32(unused) || !in.ReadLE32(flag))
        return false;
    // Flag 0 is the 16-bit variant, whose named blocks carry 4 more bytes.
    const bool padded = flag == 0;
    std::vector<std::unique_ptr<TIEImagingObject>> marks;
    TPendingMark mark;
    try {
        while (!in.AtEnd()) {
            std::uint32_t type = 0, size = 0;
            if (!in.ReadLE32(type) || !in.ReadLE32(size))
                return false;
            switch (type) {
            case kRecordDefaultBlock:
                // The defaults apply to all marks and are written back as this library's own.
                if (!ReadNamedBlock(in, padded, nullptr))
                    return false;
                break;
            case kRecordMarkBlock:
                if (!ReadNamedBlock(in, padded, mark.present ? &mark.blocks : nullptr))
                    return false;
                break;
            case kRecordAttributes: {
                if (size < TIEImagingObject::kAttributesSize || !FinishMark(mark, marks))
                    return false;
                const std::uint8_t* record = in.Take(size);
                if (!record)
                    return false;
                mark.present = true;
                mark.blocks.clear();
                std::copy(record, record + TIEImagingObject::kAttributesSize, mark.attributes.begin());
                break;
            }
            default:
                if (!in.Skip(size))
                    return false;
            }
        }
        if (!FinishMark(mark, marks))
            return false;
    } catch (const rtl::Exception&) {
        // An embedded picture that cannot be had.
        return false;
    }
    for (auto& m : marks)
        objects_.push_back(std::move(m));
    Modified = false;
    return true;
}

std::vector<std::uint8_t> TIEImagingAnnot::SaveToBuffer() const
{
    if (objects_.empty())
        return {};
    TBlobWriter w;
    w.U32(0);
    w.U32(1);
    w.NamedText(kRecordDefaultBlock, "OiGroup", "0");
    w.NamedText(kRecordDefaultBlock, "OiIndex", "1");
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        const TIEImagingObject& o = *objects_[i];
        const int type = o.MarkType();
        w.U32(kRecordAttributes);
        w.U32(TIEImagingObject::kAttributesSize);
        w.Bytes(o.Attributes.data(), o.Attributes.size());
        if (HasPlacement(type)) {
            const std::vector<std::uint8_t> placement = !o.Placement.empty() ? o.Placement
                                                        : type == kIEMarkImageEmbedded
                                                            ? DefaultPlacement()
                                                            : std::vector<std::uint8_t>{};
            if (!placement.empty())
                w.Named(kRecordMarkBlock, "OiAnoDat", placement.data(), placement.size());
            if (type == kIEMarkImageEmbedded && o.Bitmap) {
                const std::vector<std::uint8_t> dib = BitmapToPackedDIB(o.Bitmap.get(), 0, 0, 0);
                if (!dib.empty())
                    w.Named(kRecordMarkBlock, "OiDIB", dib.data(), dib.size());
            }
        } else if (IsLineMark(type)) {
            std::vector<std::uint8_t> data(kPointsHeaderSize + 8 * o.Points.size());
            rtl::StoreLE32(data.data(), std::uint32_t(o.Points.size()));
            rtl::StoreLE32(data.data() + 4, std::uint32_t(o.Points.size()));
            for (std::size_t k = 0; k < o.Points.size(); ++k) {
                rtl::StoreLE32(data.data() + kPointsHeaderSize + 8 * k, std::uint32_t(o.Points[k].X));
                rtl::StoreLE32(data.data() + kPointsHeaderSize + 8 * k + 4, std::uint32_t(o.Points[k].Y));
            }
            w.Named(kRecordMarkBlock, "OiAnoDat", data.data(), data.size());
        } else if (IsTextMark(type) && (o.CreationScale != 0 || !o.Text.empty())) {
            std::vector<std::uint8_t> data(kTextHeaderSize);
            rtl::StoreLE32(data.data() + 4, 1000);
            rtl::StoreLE32(data.data() + 8, o.CreationScale ? o.CreationScale : ScreenScale());
            rtl::StoreLE32(data.data() + 12, std::uint32_t(o.Text.size()));
            data.insert(data.end(), o.Text.begin(), o.Text.end());
            data.push_back(0);
            w.Named(kRecordMarkBlock, "OiAnText", data.data(), data.size());
        }
        if (!o.FileName.empty())
            w.NamedText(kRecordMarkBlock, "OiFilNam", o.FileName);
        w.NamedText(kRecordMarkBlock, "OiGroup", "0");
        w.NamedText(kRecordMarkBlock, "OiIndex", std::to_string(i));
    }
    return std::move(w.Out());
}

}  // namespace imaging
