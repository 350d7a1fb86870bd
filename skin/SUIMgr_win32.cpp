// File themes, the built-in file theme and the theme manager.
#include "skin/SUIMgr.h"

#include "platform/rtl/Files.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/TypeInfo.h"
#include "platform/rtl/Win32.h"
#include "skin/SUI2Define.h"
#include "skin/SUIBuiltInBitmaps.h"
#include "skin/SUIPublic.h"

#include <vector>

namespace skin {

namespace {

std::string WithBackslash(std::string folder)
{
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string BareName(const std::string& path)
{
    const std::size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// `name` as given when that file exists, else its bare name in the program's, the Windows and
// the System folder; empty when none exists.
std::string ResolveThemeFile(const std::string& name)
{
    if (name.empty())
        return {};
    if (rtl::FileExists(name))
        return name;
    const std::string bare = BareName(name);
    char buffer[MAX_PATH + 1] = {};
    std::vector<std::string> folders;
    if (const std::string exe = rtl::ExecutableFileName(); !exe.empty())
        folders.push_back(exe.substr(0, exe.find_last_of('\\') + 1));
    if (const UINT w = ::GetWindowsDirectoryA(buffer, MAX_PATH); w > 0 && w < MAX_PATH)
        folders.push_back(WithBackslash(std::string(buffer, w)));
    if (const UINT s = ::GetSystemDirectoryA(buffer, MAX_PATH); s > 0 && s < MAX_PATH)
        folders.push_back(WithBackslash(std::string(buffer, s)));
    for (const std::string& folder : folders)
        if (rtl::FileExists(folder + bare))
            return folder + bare;
    return {};
}

// The SKIN2_ name of `base` + the low 7 bits of `i`, or empty outside that range.
std::string EntryName(std::int32_t base, std::int32_t end, std::int32_t i)
{
    const std::int32_t index = base + (i & 0x7F);
    return index < end ? std::string(Skin2Name(index)) : std::string();
}

bool LoadBmp(const unsigned char* data, std::size_t size, win::TBitmap* dest)
{
    rtl::TReadOnlyMemoryStream in(data, static_cast<std::int64_t>(size));
    dest->LoadFromStream(in);
    return true;
}

}  // namespace

// ---- TsuiFileThemeMgr ----

TsuiFileThemeMgr::TsuiFileThemeMgr() : empty_(std::make_unique<win::TBitmap>()) {}

TsuiFileThemeMgr::~TsuiFileThemeMgr() = default;

bool TsuiFileThemeMgr::Take(std::unique_ptr<Tsk2SkinFileReader> reader)
{
    for (auto& b : bitmaps_)
        b.reset();
    empty_->SetSize(0, 0);
    reader_.reset();
    if (!reader || !reader->Loaded())
        return false;
    // Decode every bitmap now: a damaged one fails the open instead of a later paint.
    for (std::size_t k = 0; k < bitmaps_.size(); ++k) {
        const TSkinBitmap* value =
            reader->GetBitmap(std::string(Skin2Name(kSkin2BitmapBase + static_cast<int>(k))));
        if (!value)
            continue;
        auto bitmap = std::make_unique<win::TBitmap>();
        LoadBmp(value->Data().data(), value->Data().size(), bitmap.get());
        bitmaps_[k] = std::move(bitmap);
    }
    reader_ = std::move(reader);
    return true;
}

bool TsuiFileThemeMgr::Open(const std::string& fileName, const std::string& password)
{
    if (!rtl::FileExists(fileName))
        return false;
    try {
        return Take(std::make_unique<Tsk2SkinFileReader>(fileName, password));
    } catch (const std::exception&) {
        Take(nullptr);
        return false;
    }
}

bool TsuiFileThemeMgr::Open(rtl::TStream& archive, const std::string& password)
{
    try {
        return Take(std::make_unique<Tsk2SkinFileReader>(archive, password));
    } catch (const std::exception&) {
        Take(nullptr);
        return false;
    }
}

std::int32_t TsuiFileThemeMgr::GetColor(std::int32_t i) const
{
    if (!reader_)
        return 0;
    const std::string name = EntryName(kSkin2ColorBase, kSkin2BitmapBase, i);
    return name.empty() ? -1 : reader_->GetInt(name);
}

std::int32_t TsuiFileThemeMgr::GetInt(std::int32_t i) const
{
    if (!reader_)
        return 0;
    const std::string name = EntryName(kSkin2IntegerBase, kSkin2BooleanBase, i);
    return name.empty() ? -1 : reader_->GetInt(name);
}

bool TsuiFileThemeMgr::GetBool(std::int32_t i) const
{
    const std::string name = EntryName(kSkin2BooleanBase, kSkin2NameCount, i);
    return reader_ && !name.empty() && reader_->GetBool(name);
}

win::TBitmap* TsuiFileThemeMgr::GetBitmap(std::int32_t i) const
{
    const std::size_t k = static_cast<std::size_t>(i & 0x7F);
    if (k < bitmaps_.size() && bitmaps_[k])
        return bitmaps_[k].get();
    return empty_.get();
}

// ---- TsuiFileTheme ----

TsuiFileTheme::TsuiFileTheme(rtl::TComponent* owner)
    : rtl::TComponent(owner), manager_(std::make_unique<TsuiFileThemeMgr>())
{
}

TsuiFileTheme::~TsuiFileTheme() = default;

void TsuiFileTheme::SetThemeFile(const std::string& value)
{
    const bool wasEmpty = themeFile_.empty();
    const std::string resolved = ResolveThemeFile(value);
    if (resolved.empty())
        return;
    themeFile_ = resolved;
    ready_ = manager_->Open(themeFile_, password_);
    if (ready_)
        Reapply(wasEmpty);
}

void TsuiFileTheme::SetPassword(const std::string& value)
{
    password_ = value;
    // The plain reopen: the built-in theme's override would take the opened name (empty once its
    // skin data was read) for its design-time file and stop storing the skin data.
    if (!value.empty())
        TsuiFileTheme::SetThemeFile(themeFile_);
}

win::TBitmap* TsuiFileTheme::GetBitmap(std::int32_t i) const { return manager_->GetBitmap(i); }

void TsuiFileTheme::GetBitmapPiece(std::int32_t i, win::TBitmap* dest, std::int32_t pieceIndex,
                                   std::int32_t pieceCount) const
{
    if (!dest)
        return;
    if (pieceIndex != 0 && pieceCount != 0)
        CutBitmapPiece(GetBitmap(i), dest, pieceCount, pieceIndex);
    else
        dest->Assign(GetBitmap(i));
}

void TsuiFileTheme::Reapply(bool wasEmpty)
{
    auto* form = dynamic_cast<win::TCustomForm*>(Owner());
    // While the form is read its components take the theme as they load.
    if (!form || form->ComponentState().Contains(rtl::csLoading))
        return;
    const bool mdiChild = form->FormStyle() == win::fsMDIChild;
    const bool wasVisible = form->Visible();
    if (!mdiChild)
        form->SetVisible(false);
    bool redrawFrame = false;
    try {
        for (std::int32_t i = 0; i < form->ComponentCount(); ++i) {
            rtl::TComponent* c = form->Components(i);
            const rtl::TClassInfo* info = rtl::ClassInfoOf(*c);
            if (!info || info->Name.rfind("Tsui", 0) != 0)
                continue;
            const rtl::TPropInfo* prop = rtl::GetPropInfo(*c, "FileTheme");
            if (!prop || prop->Kind() != rtl::tkClass || rtl::GetObjectProp(*c, *prop) != this)
                continue;
            if (info->Name == "TsuiForm")
                redrawFrame = true;
            rtl::SetObjectProp(*c, *prop, nullptr);
            rtl::SetObjectProp(*c, *prop, this);
        }
    } catch (...) {
        // A component that fails to take the theme must not leave the user without the window.
        if (!mdiChild)
            form->SetVisible(wasVisible);
        throw;
    }
    if (!mdiChild)
        form->SetVisible(wasVisible);
    if (redrawFrame && !wasEmpty && form->HandleAllocated())
        ::SetWindowPos(form->Handle(), nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TsuiFileTheme::Publish(Table& t)
{
    t.Property(RTL_GET_SET(ThemeFile));
    t.Property(RTL_GET_SET(Password));
    t.Property(RTL_GET_SET(Ready)).Stored(false);
    t.Creatable();
}

// ---- TsuiBuiltInFileTheme ----

void TsuiBuiltInFileTheme::SetThemeFile(const std::string& value)
{
    designFile_ = value;
    TsuiFileTheme::SetThemeFile(value);
}

void TsuiBuiltInFileTheme::DefineProperties(rtl::TFiler& filer)
{
    TsuiFileTheme::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "SkinData", [this](rtl::TStream& s) { ReadSkinData(s); },
        [this](rtl::TStream& s) { WriteSkinData(s); }, !designFile_.empty() && rtl::FileExists(designFile_));
}

void TsuiBuiltInFileTheme::ReadSkinData(rtl::TStream& stream)
{
    // The reader works on the bytes in memory: no temporary file is written for them.
    rtl::TMemoryStream copy;
    copy.CopyFrom(stream, 0);
    copy.SetPosition(0);
    const bool wasEmpty = ThemeFile().empty();
    SetOpened(Manager().Open(copy, Password()));
    if (Ready())
        Reapply(wasEmpty);
}

void TsuiBuiltInFileTheme::WriteSkinData(rtl::TStream& stream)
{
    rtl::TFileStream file(designFile_, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    stream.CopyFrom(file, 0);
}

void TsuiBuiltInFileTheme::Publish(Table& t) { t.Creatable(); }

// ---- TsuiThemeManager ----

TsuiThemeManager::TsuiThemeManager(rtl::TComponent* owner)
    : rtl::TComponent(owner), compList_(std::make_unique<TsuiThemeMgrCompList>())
{
    SetUIStyle(DeepBlue);
}

TsuiThemeManager::~TsuiThemeManager()
{
    if (fileTheme_)
        fileTheme_->RemoveFreeNotification(this);
}

void TsuiThemeManager::SetUIStyle(TsuiUIStyle value)
{
    const bool changed = value != uiStyle_;
    uiStyle_ = value;
    ApplyToCompList();
    if (changed)
        OnUIStyleChanged(this);
}

void TsuiThemeManager::SetFileTheme(TsuiFileTheme* value)
{
    if (fileTheme_ && fileTheme_ != value)
        fileTheme_->RemoveFreeNotification(this);
    fileTheme_ = value;
    if (value)
        value->FreeNotification(this);
    SetUIStyle(uiStyle_);
}

void TsuiThemeManager::SetCompList(rtl::TStrings* value)
{
    if (value)
        compList_->Assign(*value);
    else
        compList_->Clear();
}

void TsuiThemeManager::ApplyToCompList()
{
    auto* form = dynamic_cast<win::TCustomForm*>(Owner());
    if (!form || form->ComponentState().Contains(rtl::csLoading))
        return;
    for (std::int32_t i = 0; i < compList_->Count(); ++i) {
        rtl::TComponent* c = form->FindComponent(compList_->Get(i));
        if (!c || !HasPublishedProp(c, "UIStyle") || !HasPublishedProp(c, "FileTheme"))
            continue;
        try {
            rtl::SetOrdProp(*c, "UIStyle", uiStyle_);
            rtl::SetObjectProp(*c, "FileTheme", fileTheme_);
        } catch (const rtl::EPropertyError&) {
            // A property of another kind under the same name: that component is not ours to skin.
        }
    }
}

void TsuiThemeManager::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    rtl::TComponent::Notification(component, operation);
    if (operation != rtl::opRemove || component == this)
        return;
    if (component == fileTheme_) {
        fileTheme_ = nullptr;
        uiStyle_ = DeepBlue;
    }
    if (!component->Name().empty()) {
        const std::int32_t at = compList_->IndexOf(component->Name());
        if (at >= 0)
            compList_->Delete(at);
    }
}

void TsuiThemeManager::Loaded()
{
    rtl::TComponent::Loaded();
    ApplyToCompList();
}

void TsuiThemeManager::Publish(Table& t)
{
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(CompList));
    t.Event(RTL_MEMBER(OnUIStyleChanged));
    t.Creatable();
}

// ---- styles ----

TsuiUIStyle GetFormUIStyle(rtl::TComponent* component)
{
    auto* form = dynamic_cast<win::TCustomForm*>(component);
    if (!form)
        return DeepBlue;
    for (std::int32_t i = 0; i < form->ControlCount(); ++i) {
        win::TControl* c = form->Controls(i);
        const rtl::TClassInfo* info = rtl::ClassInfoOf(*c);
        if (info && info->Name == "TsuiForm" && HasPublishedProp(c, "UIStyle")) {
            const std::int64_t v = rtl::GetOrdProp(*c, "UIStyle");
            return v >= FromThemeFile && v <= BlueGlass ? static_cast<TsuiUIStyle>(v) : DeepBlue;
        }
    }
    return DeepBlue;
}

bool UsesFileTheme(const TsuiFileTheme* fileTheme, TsuiUIStyle uiStyle, TsuiUIStyle& style)
{
    style = uiStyle;
    if (uiStyle != FromThemeFile)
        return false;
    if (fileTheme && fileTheme->IsReady())
        return true;
    style = DeepBlue;
    return false;
}

bool LoadBuiltInBitmap(const std::string& name, win::TBitmap* dest)
{
    if (!dest)
        return false;
    const TBuiltInBitmapData* data = FindBuiltInBitmap(name);
    if (!data) {
        dest->SetSize(0, 0);
        return false;
    }
    return LoadBmp(data->Data, data->Size, dest);
}

void LoadBuiltInThemeBitmap(TsuiUIStyle style, int index, win::TBitmap* dest)
{
    if (!dest)
        return;
    const TBuiltInThemeEntry entry = GetBuiltInThemeEntry(style, index);
    if (entry.Kind == bkBitmap)
        LoadBuiltInBitmap(entry.BitmapName, dest);
}

void GetBuiltInThemeBitmap(TsuiUIStyle style, int index, win::TBitmap* dest, int pieceIndex, int pieceCount)
{
    if (!dest)
        return;
    if (pieceCount == 0) {
        LoadBuiltInThemeBitmap(style, index, dest);
        return;
    }
    win::TBitmap whole;
    LoadBuiltInThemeBitmap(style, index, &whole);
    CutBitmapPiece(&whole, dest, pieceCount, pieceIndex);
}

}  // namespace skin
