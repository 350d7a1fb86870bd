// Stored-file store: items, their "ResData" streaming, and the build-time "{@lzh: path}" directive.
#include "app/zResStorage.h"

#include "app/LHARoutines.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Strings.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

namespace app {

namespace {

// The part after the last separator. Design-time paths may come from a build host that uses
// "/" as well as from Windows, and the stored name must be bare either way.
std::string BareFileName(const std::string& path)
{
    const std::size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

}  // namespace

// ---- TPackedItem ----

void TPackedItem::Publish(Table& t)
{
    t.Property(RTL_GET_SET(StoreMode));
    t.Property(RTL_GET_SET(DataSize));
    t.Property(RTL_GET_SET(FileSize));
    t.Property(RTL_GET_SET(Name));
    t.Property(RTL_GET_SET(FileName));
}

TPackedItem::TPackedItem(rtl::TCollection* collection)
    : rtl::TCollectionItem(collection), data_(std::make_unique<rtl::TMemoryStream>())
{
}

TPackedItem::~TPackedItem() = default;

void TPackedItem::Assign(rtl::TPersistent* source)
{
    auto* other = dynamic_cast<TPackedItem*>(source);
    if (other == nullptr) {
        rtl::TCollectionItem::Assign(source);
        return;
    }
    if (other == this)
        return;
    SetName(other->name_);
    data_->Clear();
    storeMode_ = smStore;
    data_->LoadFromStream(*other->data_);
}

std::string TPackedItem::DisplayName() const { return data_->Size() == 0 ? ClassName() : name_; }

void TPackedItem::SetStoreMode(TStoreMode) { storeMode_ = smStore; }

std::int32_t TPackedItem::DataSize() const
{
    // The form stream's binary values are limited to 2 GiB, so the size always fits.
    return static_cast<std::int32_t>(const_cast<rtl::TMemoryStream&>(*data_).Size());
}

void TPackedItem::SetDataSize(std::int32_t) {}

void TPackedItem::SetFileSize(std::int64_t value)
{
    if (StoreLoading())
        fileSize_ = value;
}

void TPackedItem::SetName(const std::string& value)
{
    if (rtl::TCollection* c = Collection()) {
        for (std::int32_t i = 0; i < c->Count(); ++i) {
            const auto* other = dynamic_cast<const TPackedItem*>(c->Items(i));
            if (other != nullptr && other->ID() != ID() && rtl::CompareText(other->name_, value) == 0)
                throw ERessourceStoreError("Item name \"" + value + "\" already exists !");
        }
    }
    name_ = value;
}

void TPackedItem::SetFileName(const std::string& value)
{
    if (StoreDesigning()) {
        if (FileExists(value))
            LoadFromFile(value);
        return;
    }
    if (StoreLoading())
        fileName_ = BareFileName(value);
}

void TPackedItem::LoadFromFile(const std::string& path)
{
    rtl::TFileStream file(path, rtl::fmOpenRead | rtl::fmShareDenyNone);
    if ((rtl::CompareText(path, fileName_) != 0 || name_.empty()) && !StoreLoading())
        SetName(BareFileName(path));
    fileName_ = path;
    CompressFromStream(file);
}

void TPackedItem::CompressFromStream(rtl::TStream& source)
{
    // Compress aside first: a failed read leaves the item as it was.
    auto packed = std::make_unique<rtl::TMemoryStream>();
    const std::int64_t size = source.Size();
    Compress(source, *packed);
    data_ = std::move(packed);
    fileSize_ = size;
}

void TPackedItem::ExtractToStream(rtl::TStream& dest) { Expand(*data_, dest); }

void TPackedItem::ExtractToFile(const std::string& fileName)
{
    std::exception_ptr failure;
    {
        rtl::TFileStream file(fileName, rtl::fmCreate);
        try {
            ExtractToStream(file);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure) {
        // A half-written program is worse than none: do not leave the partial copy behind.
        std::remove(fileName.c_str());
        std::rethrow_exception(failure);
    }
}

void TPackedItem::DefineProperties(rtl::TFiler& filer)
{
    rtl::TCollectionItem::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "ResData",
        [this](rtl::TStream& stream) {
            data_->Clear();
            if (stream.Size() > 0)
                data_->CopyFrom(stream, 0);
        },
        [this](rtl::TStream& stream) { data_->SaveToStream(stream); }, data_->Size() > 0);
}

TzResStorage* TPackedItem::Store() const
{
    rtl::TCollection* c = Collection();
    return c != nullptr ? dynamic_cast<TzResStorage*>(c->GetOwner()) : nullptr;
}

bool TPackedItem::StoreLoading() const
{
    const TzResStorage* store = Store();
    return store != nullptr && store->ComponentState().Contains(rtl::csLoading);
}

bool TPackedItem::StoreDesigning() const
{
    const TzResStorage* store = Store();
    return store != nullptr && store->ComponentState().Contains(rtl::csDesigning);
}

// ---- TPackedRessources ----

void TPackedRessources::Publish(Table&) {}

TPackedRessources::TPackedRessources(TzResStorage* owner)
    : rtl::TOwnedCollection(owner, rtl::ItemClass<TPackedItem>())
{
}

TPackedItem* TPackedRessources::Items(std::int32_t index) const
{
    return static_cast<TPackedItem*>(rtl::TCollection::Items(index));
}

TPackedItem* TPackedRessources::Add() { return static_cast<TPackedItem*>(rtl::TCollection::Add()); }

// ---- TzResStorage ----

void TzResStorage::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Items));
    t.Property(RTL_GET_SET(Size));
    t.Creatable();
}

TzResStorage::TzResStorage(rtl::TComponent* owner)
    : rtl::TComponent(owner), items_(std::make_unique<TPackedRessources>(this))
{
}

TzResStorage::~TzResStorage() = default;

void TzResStorage::SetItems(TPackedRessources* value)
{
    if (value == nullptr)
        items_->Clear();
    else
        items_->Assign(value);
}

std::int64_t TzResStorage::Size() const
{
    std::int64_t total = 0;
    for (std::int32_t i = 0; i < items_->Count(); ++i)
        total += items_->Items(i)->DataSize();
    return total;
}

void TzResStorage::SetSize(std::int64_t) {}

TPackedItem* TzResStorage::Item(std::int32_t index) const { return items_->Items(index); }

TPackedItem* TzResStorage::FindItem(const std::string& name) const
{
    for (std::int32_t i = 0; i < items_->Count(); ++i) {
        TPackedItem* item = items_->Items(i);
        if (rtl::CompareText(item->Name(), name) == 0)
            return item;
    }
    return nullptr;
}

void MakeResData(rtl::TStream& source, rtl::TStream& resData) { Compress(source, resData); }

void RegisterResDataDirective()
{
    rtl::RegisterBinaryDirective(
        "lzh", [](const std::string& argument, const std::string& baseDir, rtl::TStream& out) {
            std::string path = argument;
            const bool absolute =
                !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
            if (!absolute && !baseDir.empty())
                path = baseDir + "/" + path;
            rtl::TFileStream file(path, rtl::fmOpenRead | rtl::fmShareDenyWrite);
            MakeResData(file, out);
        });
}

}  // namespace app
