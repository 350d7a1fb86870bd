// Stored-file store: a non-visual component that carries whole files, LZH-compressed, inside
// its owner form's description, and extracts them again at run time.
#pragma once

#include "platform/rtl/Collections.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <memory>
#include <string>

namespace app {

// Raised for a second item whose name equals an existing one without regard to case.
class ERessourceStoreError : public rtl::Exception {
public:
    explicit ERessourceStoreError(std::string message) : rtl::Exception(std::move(message)) {}
};

enum TStoreMode { smStore };
RTL_ENUM_INFO(TStoreMode, "smStore")

class TzResStorage;

// One stored file. The data stream holds the compressed form: the 4-byte little-endian
// uncompressed size, then the LZH bit stream (see LHARoutines.h); it is empty for an item
// that never had a file. Streamed as published properties plus the binary property "ResData".
class TPackedItem : public rtl::TCollectionItem {
    RTL_DECLARE_CLASS(TPackedItem, rtl::TCollectionItem)

public:
    explicit TPackedItem(rtl::TCollection* collection);
    ~TPackedItem() override;

    // From another TPackedItem: its name (uniqueness applies) and its compressed data;
    // FileName and FileSize are not copied. Anything else: the inherited behaviour.
    void Assign(rtl::TPersistent* source) override;
    // The class name while the data is empty, else Name.
    std::string DisplayName() const override;

    TStoreMode StoreMode() const { return storeMode_; }
    // Only smStore exists; whatever is given, smStore is kept.
    void SetStoreMode(TStoreMode value);
    // Size of the compressed data. The setter ignores the value: it is derived, not stored.
    std::int32_t DataSize() const;
    void SetDataSize(std::int32_t value);
    std::int64_t FileSize() const { return fileSize_; }
    // Taken only while the owning store is being loaded from its description.
    void SetFileSize(std::int64_t value);
    const std::string& Name() const { return name_; }
    // Raises ERessourceStoreError "Item name "X" already exists !" when another item of the
    // collection has the same name without regard to case; the name is then unchanged.
    void SetName(const std::string& value);
    const std::string& FileName() const { return fileName_; }
    // Design time: an existing file is loaded (compressed) and the full path kept. Run time,
    // while the store is being loaded: only the file-name part is kept. Otherwise ignored.
    void SetFileName(const std::string& value);

    // The compressed form; owned by the item.
    rtl::TMemoryStream& Data() { return *data_; }
    const rtl::TMemoryStream& Data() const { return *data_; }

    // Design-time load: reads and compresses the file; names the item after the file when
    // the path changes or the item has no name. Raises the file stream's open error.
    void LoadFromFile(const std::string& path);
    // Replaces the data with the compressed form of the whole of `source`; FileSize becomes
    // the source's size.
    void CompressFromStream(rtl::TStream& source);
    // Expands the data into `dest` at its position. Empty data writes nothing. Raises
    // ECorruptFile for damaged data.
    void ExtractToStream(rtl::TStream& dest);
    // Creates (or replaces) the file and expands the data into it. Raises EFCreateError when
    // the file cannot be created, stream write errors and ECorruptFile.
    void ExtractToFile(const std::string& fileName);

protected:
    void DefineProperties(rtl::TFiler& filer) override;

private:
    TzResStorage* Store() const;
    bool StoreLoading() const;
    bool StoreDesigning() const;

    std::unique_ptr<rtl::TMemoryStream> data_;
    TStoreMode storeMode_ = smStore;
    std::string name_;
    std::string fileName_;
    std::int64_t fileSize_ = 0;
};

// The items of a store; the store is its owner.
class TPackedRessources : public rtl::TOwnedCollection {
    RTL_DECLARE_CLASS(TPackedRessources, rtl::TOwnedCollection)

public:
    explicit TPackedRessources(TzResStorage* owner);

    // Raises EListError "List index out of bounds (i)" for a bad index.
    TPackedItem* Items(std::int32_t index) const;
    TPackedItem* Add();
};

class TzResStorage : public rtl::TComponent {
    RTL_DECLARE_CLASS(TzResStorage, rtl::TComponent)

public:
    explicit TzResStorage(rtl::TComponent* owner);
    ~TzResStorage() override;

    TPackedRessources* Items() const { return items_.get(); }
    // Copies the items of `value` (nullptr clears).
    void SetItems(TPackedRessources* value);
    // Sum of the items' DataSize. The setter drops the value: a stored Size is read and ignored.
    std::int64_t Size() const;
    void SetSize(std::int64_t value);

    // Items()[index]; raises EListError for a bad index.
    TPackedItem* Item(std::int32_t index) const;
    // The item of that name without regard to case; nullptr when there is none.
    TPackedItem* FindItem(const std::string& name) const;

private:
    std::unique_ptr<TPackedRessources> items_;
};

// The bytes "ResData" holds for the contents of `source`: the 4-byte size then the LZH bit
// stream; nothing for an empty source.
void MakeResData(rtl::TStream& source, rtl::TStream& resData);

// Registers the form-text directive "{@lzh: path}", which stores the named file (relative to
// the text's folder) in the "ResData" form, exactly as naming the file at design time does.
void RegisterResDataDirective();

}  // namespace app
