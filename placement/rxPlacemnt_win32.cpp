// Form placement and form storage over INI files and the registry.
#include "placement/rxPlacemnt.h"

#include "placement/RXProps.h"
#include "placement/rxAppUtils.h"
#include "placement/rxStrUtils.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/Strings.h"
#include "platform/win/IniFiles.h"
#include "platform/rtl/Win32.h"

#include <algorithm>

namespace placement {

namespace {

constexpr const char* siVersion = "FormVersion";
constexpr const char* siActiveCtrl = "ActiveControl";

// Read access for a registry key (KEY_READ).
constexpr REGSAM kRegReadAccess = 0x20019;

HKEY RootKeyOf(TPlacementRegRoot root)
{
    switch (root) {
    case prLocalMachine: return HKEY_LOCAL_MACHINE;
    case prCurrentConfig: return HKEY_CURRENT_CONFIG;
    case prClassesRoot: return HKEY_CLASSES_ROOT;
    case prUsers: return HKEY_USERS;
    case prDynData: return HKEY_DYN_DATA;
    default: return HKEY_CURRENT_USER;
    }
}

// Reports the exception being handled; for the form events, which must not fail the show or
// the close.
void ReportException(rtl::TObject* sender)
{
    if (win::Application)
        win::Application->HandleException(sender);
}

}  // namespace

// ---- TWinMinMaxInfo ----

void TWinMinMaxInfo::Publish(Table& t)
{
    t.Property(RTL_GET_SET(MaxPosLeft)).Default(0);
    t.Property(RTL_GET_SET(MaxPosTop)).Default(0);
    t.Property(RTL_GET_SET(MaxSizeHeight)).Default(0);
    t.Property(RTL_GET_SET(MaxSizeWidth)).Default(0);
    t.Property(RTL_GET_SET(MaxTrackHeight)).Default(0);
    t.Property(RTL_GET_SET(MaxTrackWidth)).Default(0);
    t.Property(RTL_GET_SET(MinTrackHeight)).Default(0);
    t.Property(RTL_GET_SET(MinTrackWidth)).Default(0);
}

bool TWinMinMaxInfo::DefaultMinMaxInfo() const
{
    return std::all_of(std::begin(v_), std::end(v_), [](std::int32_t v) { return v == 0; });
}

void TWinMinMaxInfo::Modified()
{
    if (owner_)
        owner_->MinMaxInfoModified();
}

void TWinMinMaxInfo::Assign(rtl::TPersistent* source)
{
    auto* other = dynamic_cast<TWinMinMaxInfo*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    std::copy(std::begin(other->v_), std::end(other->v_), std::begin(v_));
    Modified();
}

// ---- TIniLink ----

TIniLink::~TIniLink() { SetStorage(nullptr); }

void TIniLink::SetStorage(TFormPlacement* value)
{
    if (value == storage_)
        return;
    if (storage_) {
        auto& v = storage_->links_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    storage_ = value;
    if (storage_)
        storage_->links_.push_back(this);
}

// ---- TFormPlacement ----

void TFormPlacement::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Active)).Default(true);
    t.Property(RTL_GET_SET(IniFileName)).Stored(&TFormPlacement::IsIniFileNameStored);
    t.Property(RTL_GET_SET(IniSection)).Stored(&TFormPlacement::IsIniSectionStored);
    t.Property(RTL_GET_SET(MinMaxInfo));
    t.Property(RTL_MEMBER(Options)).Stored(&TFormPlacement::IsOptionsStored);
    t.Property(RTL_GET_SET(PreventResize)).Default(false);
    t.Property(RTL_MEMBER(RegistryRoot)).Default(prCurrentUser);
    t.Property(RTL_MEMBER(UseRegistry)).Default(false);
    t.Property(RTL_MEMBER(Version)).Default(0);
    t.Event(RTL_MEMBER(OnSavePlacement));
    t.Event(RTL_MEMBER(OnRestorePlacement));
    t.Creatable();
}

TFormPlacement::TFormPlacement(rtl::TComponent* owner)
    : TComponent(owner), minMaxInfo_(std::make_unique<TWinMinMaxInfo>(this))
{
    if (dynamic_cast<win::TForm*>(owner))
        Options = TPlacementOptions{fpState, fpPosition};
    winHook_ = std::make_unique<TRxWindowHook>(nullptr);
    winHook_->SetActive(false);
    winHook_->AfterMessage = [this](rtl::TObject* sender, win::TMessage& msg, bool& handled) {
        WndMessage(sender, msg, handled);
    };
}

TFormPlacement::~TFormPlacement()
{
    iniOpenCount_ = 0;
    IniFree();
    while (!links_.empty())
        links_.back()->SetStorage(nullptr);
    if (!ComponentState().Contains(rtl::csDesigning)) {
        winHook_.reset();
        RestoreEvents();
    }
}

bool TFormPlacement::IsOptionsStored() const
{
    TPlacementOptions def =
        dynamic_cast<win::TForm*>(Owner()) ? TPlacementOptions{fpState, fpPosition} : TPlacementOptions{};
    return !(Options == def);
}

win::TCustomForm* TFormPlacement::Form() const { return dynamic_cast<win::TCustomForm*>(Owner()); }

std::string TFormPlacement::IniFileName() const
{
    if (!iniFileName_.empty())
        return iniFileName_;
    return UseRegistry ? GetDefaultIniRegKey() : GetDefaultIniName();
}

std::string TFormPlacement::IniSection() const
{
    if (!iniSection_.empty())
        return iniSection_;
    return GetDefaultSection(Owner());
}

void TFormPlacement::Loaded()
{
    bool loading = ComponentState().Contains(rtl::csLoading);
    TComponent::Loaded();
    if (ComponentState().Contains(rtl::csDesigning))
        return;
    if (loading)
        SetEvents();
    CheckToggleHook();
}

void TFormPlacement::SetEvents()
{
    win::TCustomForm* form = Form();
    if (!form || eventsSet_)
        return;
    saveFormShow_ = form->OnShow;
    saveFormCloseQuery_ = form->OnCloseQuery;
    saveFormDestroy_ = form->OnDestroy;
    // Bound under our own name so that we can tell later whether they are still ours.
    form->OnShow.Bind(this, "FormPlacementShow", [this](rtl::TObject* s) { FormShow(s); });
    form->OnCloseQuery.Bind(this, "FormPlacementCloseQuery",
                            [this](rtl::TObject* s, bool& canClose) { FormCloseQuery(s, canClose); });
    form->OnDestroy.Bind(this, "FormPlacementDestroy", [this](rtl::TObject* s) { FormDestroy(s); });
    eventsSet_ = true;
    defMaximize_ = form->BorderIcons().Contains(win::biMaximize);
    if (preventResize_)
        UpdatePreventResize();
}

void TFormPlacement::RestoreEvents()
{
    win::TCustomForm* form = Form();
    // A form being destroyed is past its own destructor: its events are gone with it.
    if (!form || !eventsSet_ || form->ComponentState().Contains(rtl::csDestroying))
        return;
    if (form->OnShow.Data() == this)
        form->OnShow = saveFormShow_;
    if (form->OnCloseQuery.Data() == this)
        form->OnCloseQuery = saveFormCloseQuery_;
    if (form->OnDestroy.Data() == this)
        form->OnDestroy = saveFormDestroy_;
    eventsSet_ = false;
}

void TFormPlacement::FormShow(rtl::TObject* sender)
{
    if (Active) {
        try {
            RestoreFormPlacement();
        } catch (...) {
            ReportException(this);
        }
    }
    saveFormShow_(sender);
}

void TFormPlacement::FormCloseQuery(rtl::TObject* sender, bool& canClose)
{
    saveFormCloseQuery_(sender, canClose);
    win::TCustomForm* form = Form();
    if (canClose && Active && form && form->HandleAllocated()) {
        try {
            SaveFormPlacement();
        } catch (...) {
            // The save of this close was tried and reported: the form's destruction, right after,
            // would fail the same way and report it a second time.
            saved_ = true;
            ReportException(this);
        }
    }
}

void TFormPlacement::FormDestroy(rtl::TObject* sender)
{
    if (Active && !saved_) {
        destroying_ = true;
        try {
            SaveFormPlacement();
        } catch (...) {
            ReportException(this);
        }
        destroying_ = false;
    }
    saveFormDestroy_(sender);
}

void TFormPlacement::SetPreventResize(bool v)
{
    rtl::SetAndNotify(preventResize_, v, [this] {
        if (ComponentState().Contains(rtl::csLoading) || ComponentState().Contains(rtl::csDesigning))
            return;
        UpdatePreventResize();
        UpdatePlacement();
        CheckToggleHook();
    });
}

void TFormPlacement::UpdatePreventResize()
{
    win::TCustomForm* form = Form();
    if (!form || ComponentState().Contains(rtl::csDesigning))
        return;
    win::TBorderIcons icons = form->BorderIcons();
    if (preventResize_) {
        if (form->BorderStyle() != win::bsSizeToolWin)
            icons.Exclude(win::biMaximize);
    } else if (defMaximize_) {
        icons.Include(win::biMaximize);
    }
    if (!(icons == form->BorderIcons()))
        form->SetBorderIcons(icons);
}

void TFormPlacement::MinMaxInfoModified()
{
    UpdatePlacement();
    if (!ComponentState().Contains(rtl::csLoading))
        CheckToggleHook();
}

void TFormPlacement::CheckToggleHook()
{
    win::TCustomForm* form = Form();
    if (!form || ComponentState().Contains(rtl::csDesigning) || ComponentState().Contains(rtl::csDestroying))
        return;
    if (!minMaxInfo_->DefaultMinMaxInfo() || preventResize_) {
        winHook_->SetWinControl(form);
        winHook_->SetActive(true);
    } else {
        winHook_->SetActive(false);
    }
}

void TFormPlacement::UpdatePlacement()
{
    win::TCustomForm* form = Form();
    if (!form || !form->HandleAllocated() || form->ComponentState().Contains(rtl::csLoading) ||
        form->ComponentState().Contains(rtl::csDestroying) || preventResize_ ||
        !minMaxInfo_->DefaultMinMaxInfo())
        return;
    HWND wnd = form->Handle();
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    if (!::GetWindowPlacement(wnd, &wp))
        return;
    if (!::IsWindowVisible(wnd))
        wp.showCmd = SW_HIDE;
    int metric = -1;
    switch (form->BorderStyle()) {
    case win::bsSingle:
    case win::bsToolWindow: metric = SM_CXBORDER; break;
    case win::bsSizeable:
    case win::bsSizeToolWin: metric = SM_CXFRAME; break;
    case win::bsDialog: metric = SM_CXDLGFRAME; break;
    default: break;
    }
    // The maximized window hides its frame just off the screen's edges.
    wp.ptMaxPosition.x = metric < 0 ? 0 : -::GetSystemMetrics(metric);
    wp.ptMaxPosition.y = metric < 0 ? 0 : -::GetSystemMetrics(metric + 1);
    ::SetWindowPlacement(wnd, &wp);
}

void TFormPlacement::WndMessage(rtl::TObject*, win::TMessage& msg, bool& handled)
{
    win::TCustomForm* form = Form();
    if (!form)
        return;
    if (preventResize_) {
        switch (msg.Msg) {
        case WM_GETMINMAXINFO:
            if (form->Visible()) {
                auto* mmi = reinterpret_cast<MINMAXINFO*>(msg.LParam);
                mmi->ptMinTrackSize = POINT{form->Width(), form->Height()};
                mmi->ptMaxTrackSize = POINT{form->Width(), form->Height()};
            }
            msg.Result = 1;
            handled = true;
            break;
        case WM_NCHITTEST:
            if (msg.Result >= HTLEFT && msg.Result <= HTBOTTOMRIGHT)
                msg.Result = HTNOWHERE;
            break;
        case WM_INITMENUPOPUP:
            if (HIWORD(msg.LParam) != 0) {
                auto menu = reinterpret_cast<HMENU>(msg.WParam);
                ::EnableMenuItem(menu, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
                ::EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
                msg.Result = 1;
                handled = true;
            }
            break;
        default: break;
        }
    } else if (msg.Msg == WM_GETMINMAXINFO) {
        auto* mmi = reinterpret_cast<MINMAXINFO*>(msg.LParam);
        const TWinMinMaxInfo& m = *minMaxInfo_;
        if (!m.DefaultMinMaxInfo()) {
            // A zero limit leaves the system's value in place.
            auto take = [](LONG& field, int value) {
                if (value != 0)
                    field = value;
            };
            take(mmi->ptMinTrackSize.x, m.MinTrackWidth());
            take(mmi->ptMinTrackSize.y, m.MinTrackHeight());
            take(mmi->ptMaxTrackSize.x, m.MaxTrackWidth());
            take(mmi->ptMaxTrackSize.y, m.MaxTrackHeight());
            take(mmi->ptMaxSize.x, m.MaxSizeWidth());
            take(mmi->ptMaxSize.y, m.MaxSizeHeight());
            take(mmi->ptMaxPosition.x, m.MaxPosLeft());
            take(mmi->ptMaxPosition.y, m.MaxPosTop());
        } else {
            mmi->ptMaxPosition = POINT{0, 0};
        }
        msg.Result = 1;
        handled = true;
    }
}

// ---- the INI object ----

void TFormPlacement::IniOpen(bool readOnly)
{
    if (iniFile_) {
        ++iniOpenCount_;
        return;
    }
    std::string name = IniFileName();
    if (UseRegistry) {
        REGSAM access = readOnly ? kRegReadAccess : KEY_ALL_ACCESS;
        std::unique_ptr<win::TRegIniFile> reg;
        if (RegistryRoot == prCurrentUser) {
            reg = std::make_unique<win::TRegIniFile>(name, access);
        } else {
            reg = std::make_unique<win::TRegIniFile>("", access);
            reg->SetRootKey(RootKeyOf(RegistryRoot));
            // A key that cannot be opened leaves the object without a key: reads give the
            // defaults and writes go nowhere.
            reg->OpenKey(name, !readOnly);
        }
        iniFile_ = std::move(reg);
    } else {
        auto ini = std::make_unique<win::TIniFile>(name);
        ini->SetMaxValueLength(maxValueLength_);
        iniFile_ = std::move(ini);
    }
    iniOpenCount_ = 1;
}

void TFormPlacement::IniFree()
{
    if (iniOpenCount_ > 0)
        --iniOpenCount_;
    if (iniOpenCount_ == 0)
        iniFile_.reset();
}

std::string TFormPlacement::DoReadString(const std::string& section, const std::string& ident,
                                         const std::string& defaultValue)
{
    if (iniFile_)
        return IniReadString(iniFile_.get(), section, ident, defaultValue);
    IniOpen(true);
    struct Closer {
        TFormPlacement* p;
        ~Closer() { p->IniFree(); }
    } closer{this};
    return IniReadString(iniFile_.get(), section, ident, defaultValue);
}

void TFormPlacement::DoWriteString(const std::string& section, const std::string& ident,
                                   const std::string& value)
{
    if (iniFile_) {
        IniWriteString(iniFile_.get(), section, ident, value);
        return;
    }
    IniOpen(false);
    struct Closer {
        TFormPlacement* p;
        ~Closer() { p->IniFree(); }
    } closer{this};
    IniWriteString(iniFile_.get(), section, ident, value);
}

std::string TFormPlacement::ReadString(const std::string& ident, const std::string& defaultValue)
{
    return DoReadString(IniSection(), ident, defaultValue);
}

void TFormPlacement::WriteString(const std::string& ident, const std::string& value)
{
    DoWriteString(IniSection(), ident, value);
}

std::int32_t TFormPlacement::ReadInteger(const std::string& ident, std::int32_t defaultValue)
{
    if (iniFile_)
        return IniReadInteger(iniFile_.get(), IniSection(), ident, defaultValue);
    IniOpen(true);
    struct Closer {
        TFormPlacement* p;
        ~Closer() { p->IniFree(); }
    } closer{this};
    return IniReadInteger(iniFile_.get(), IniSection(), ident, defaultValue);
}

void TFormPlacement::WriteInteger(const std::string& ident, std::int32_t value)
{
    if (iniFile_) {
        IniWriteInteger(iniFile_.get(), IniSection(), ident, value);
        return;
    }
    IniOpen(false);
    struct Closer {
        TFormPlacement* p;
        ~Closer() { p->IniFree(); }
    } closer{this};
    IniWriteInteger(iniFile_.get(), IniSection(), ident, value);
}

void TFormPlacement::EraseSections()
{
    IniOpen(false);
    struct Closer {
        TFormPlacement* p;
        ~Closer() { p->IniFree(); }
    } closer{this};
    IniEraseSection(iniFile_.get(), IniSection());
}

// ---- save and restore ----

void TFormPlacement::NotifyLinks(bool save)
{
    std::vector<TIniLink*> links = links_;
    for (TIniLink* link : links) {
        if (std::find(links_.begin(), links_.end(), link) == links_.end())
            continue;
        if (save)
            link->OnSave(this);
        else
            link->OnLoad(this);
    }
}

void TFormPlacement::SavePlacement()
{
    win::TCustomForm* form = Form();
    if (form && (Options.Contains(fpState) || Options.Contains(fpPosition))) {
        std::string section = IniSection();
        WriteFormPlacement(form, iniFile_.get(), section);
        IniWriteBool(iniFile_.get(), section, siVisible, destroying_);
        if (Options.Contains(fpActiveControl) && form->ActiveControl())
            IniWriteString(iniFile_.get(), section, siActiveCtrl, form->ActiveControl()->Name());
    }
    NotifyLinks(true);
}

void TFormPlacement::RestorePlacement()
{
    if (win::TCustomForm* form = Form())
        ReadFormPlacement(form, iniFile_.get(), IniSection(), Options.Contains(fpState),
                          Options.Contains(fpPosition));
    NotifyLinks(false);
}

void TFormPlacement::SaveFormPlacement()
{
    if (Active && !restored_)
        return;
    IniOpen(false);
    struct Closer {
        TFormPlacement* p;
        ~Closer() { p->IniFree(); }
    } closer{this};
    WriteInteger(siVersion, Version);
    SavePlacement();
    Save();
    saved_ = true;
}

void TFormPlacement::RestoreFormPlacement()
{
    saved_ = false;
    {
        try {
            IniOpen(true);
        } catch (...) {
            restored_ = true;  // what could not be read is a default; saving stays possible
            throw;
        }
        struct Closer {
            TFormPlacement* p;
            ~Closer()
            {
                p->restored_ = true;
                p->IniFree();
            }
        } closer{this};
        if (ReadInteger(siVersion, 0) >= Version) {
            RestorePlacement();
            restored_ = true;
            Restore();
            win::TCustomForm* form = Form();
            if (Options.Contains(fpActiveControl) && form) {
                std::string name = ReadString(siActiveCtrl, "");
                auto* control = dynamic_cast<win::TWinControl*>(form->FindComponent(name));
                if (control && control->CanFocus())
                    form->SetActiveControl(control);
            }
        }
    }
    UpdatePlacement();
}

// ---- TStoredValue ----

void TStoredValue::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Name));
    t.Property(RTL_MEMBER(Value)).Stored(&TStoredValue::IsValueStored);
    t.Property(RTL_MEMBER(KeyString));
    t.Event(RTL_MEMBER(OnSave));
    t.Event(RTL_MEMBER(OnRestore));
}

TStoredValue::TStoredValue(rtl::TCollection* collection) : TCollectionItem(collection) {}

void TStoredValue::SetName(const std::string& v)
{
    if (v == name_)
        return;
    if (!rtl::AnsiSameText(v, name_)) {
        if (auto* values = dynamic_cast<TStoredValues*>(Collection()); values && values->IndexOf(v) >= 0)
            throw rtl::Exception("String list does not allow duplicates");
    }
    name_ = v;
    Changed(false);
}

void TStoredValue::Assign(rtl::TPersistent* source)
{
    auto* other = dynamic_cast<TStoredValue*>(source);
    if (!other) {
        TCollectionItem::Assign(source);
        return;
    }
    if (other->Value.IsEmpty())
        Value.Clear();
    else
        Value = other->Value;
    SetName(other->name_);
    KeyString = other->KeyString;
}

std::string TStoredValue::DisplayName() const
{
    return name_.empty() ? TCollectionItem::DisplayName() : name_;
}

TFormStorage* TStoredValue::Storage() const
{
    auto* values = dynamic_cast<TStoredValues*>(Collection());
    return values ? values->Storage() : nullptr;
}

void TStoredValue::Save()
{
    TFormStorage* storage = Storage();
    if (!storage || name_.empty())
        return;
    rtl::Variant v = Value;
    if (OnSave.Assigned()) {
        OnSave(this, v);
        // The handler left nothing to write: the stored entry stays as it is.
        if (v.IsEmpty())
            return;
    }
    std::string s = rtl::VarToStr(v);
    if (!KeyString.empty())
        s = XorEncode(KeyString, s);
    storage->WriteString(name_, s);
}

void TStoredValue::Restore()
{
    TFormStorage* storage = Storage();
    if (!storage || name_.empty())
        return;
    std::string def = rtl::VarToStr(Value);
    if (!KeyString.empty())
        def = XorEncode(KeyString, def);
    std::string s = storage->ReadString(name_, def);
    if (!KeyString.empty())
        s = XorDecode(KeyString, s);
    rtl::Variant v(s);
    OnRestore(this, v);
    Value = v;
}

// ---- TStoredValues ----

void TStoredValues::Publish(Table&) {}

TStoredValues::TStoredValues(rtl::TPersistent* owner)
    : TOwnedCollection(owner, rtl::ItemClass<TStoredValue>())
{
}

std::int32_t TStoredValues::IndexOf(const std::string& name) const
{
    for (std::int32_t i = 0; i < Count(); ++i)
        if (rtl::AnsiSameText(Items(i)->Name(), name))
            return i;
    return -1;
}

TStoredValue* TStoredValues::Items(std::int32_t index) const
{
    return static_cast<TStoredValue*>(TOwnedCollection::Items(index));
}

rtl::Variant TStoredValues::StoredValue(const std::string& name) const
{
    std::int32_t i = IndexOf(name);
    return i >= 0 ? Items(i)->Value : rtl::Variant();
}

void TStoredValues::SetStoredValue(const std::string& name, const rtl::Variant& value)
{
    std::int32_t i = IndexOf(name);
    TStoredValue* item = i >= 0 ? Items(i) : nullptr;
    if (!item) {
        item = Add();
        item->SetName(name);
    }
    item->Value = value;
}

void TStoredValues::SaveValues()
{
    for (std::int32_t i = 0; i < Count(); ++i)
        Items(i)->Save();
}

void TStoredValues::RestoreValues()
{
    for (std::int32_t i = 0; i < Count(); ++i)
        Items(i)->Restore();
}

// ---- TFormStorage ----

void TFormStorage::Publish(Table& t)
{
    t.Property(RTL_GET_SET(StoredProps));
    t.Property(RTL_GET_SET(StoredValues));
    t.Creatable();
}

TFormStorage::TFormStorage(rtl::TComponent* owner)
    : TFormPlacement(owner),
      storedProps_(std::make_unique<rtl::TStringList>()),
      storedValues_(std::make_unique<TStoredValues>(this))
{
    storedValues_->SetStorage(this);
}

TFormStorage::~TFormStorage()
{
    // Saving from the form's destroy event needs the values; they go after it.
    Destroying();
}

void TFormStorage::SetStoredProps(rtl::TStrings* v)
{
    if (!v) {
        storedProps_->Clear();
        return;
    }
    storedProps_->Assign(*v);
    for (std::int32_t i = 0; i < storedProps_->Count(); ++i)
        if (auto* c = dynamic_cast<rtl::TComponent*>(storedProps_->Objects(i)))
            c->FreeNotification(this);
}

void TFormStorage::SetStoredValues(TStoredValues* v) { storedValues_->Assign(v); }

void TFormStorage::Loaded()
{
    TFormPlacement::Loaded();
    if (!ComponentState().Contains(rtl::csDesigning))
        UpdateStoredList(Owner(), *storedProps_, true);
}

void TFormStorage::WriteState(rtl::TWriter& writer)
{
    UpdateStoredList(Owner(), *storedProps_, false);
    TFormPlacement::WriteState(writer);
}

void TFormStorage::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TFormPlacement::Notification(component, operation);
    if (operation != rtl::opRemove || !storedProps_ || ComponentState().Contains(rtl::csDestroying))
        return;
    for (std::int32_t i = storedProps_->Count() - 1; i >= 0; --i)
        if (storedProps_->Objects(i) == component)
            storedProps_->Delete(i);
}

void TFormStorage::SavePlacement()
{
    TFormPlacement::SavePlacement();
    SaveProps();
    storedValues_->SaveValues();
}

void TFormStorage::RestorePlacement()
{
    TFormPlacement::RestorePlacement();
    restored_ = true;
    RestoreProps();
    storedValues_->RestoreValues();
}

namespace {

void ConnectStorage(
    TPropsStorage& storage, TFormPlacement& placement, const std::string& section,
    const std::function<std::string(const std::string&, const std::string&, const std::string&)>& read,
    const std::function<void(const std::string&, const std::string&, const std::string&)>& write)
{
    storage.Section = section;
    storage.OnReadString = read;
    storage.OnWriteString = write;
    storage.OnEraseSection = [&placement](const std::string& s) {
        if (rtl::TObject* ini = placement.IniFileObject())
            IniEraseSection(ini, s);
    };
}

}  // namespace

void TFormStorage::SaveProps()
{
    TPropsStorage storage;
    ConnectStorage(
        storage, *this, IniSection(),
        [this](const std::string& s, const std::string& k, const std::string& d) {
            return DoReadString(s, k, d);
        },
        [this](const std::string& s, const std::string& k, const std::string& v) { DoWriteString(s, k, v); });
    storage.StoreObjectsProps(Owner(), *storedProps_);
}

void TFormStorage::RestoreProps()
{
    TPropsStorage storage;
    ConnectStorage(
        storage, *this, IniSection(),
        [this](const std::string& s, const std::string& k, const std::string& d) {
            return DoReadString(s, k, d);
        },
        [this](const std::string& s, const std::string& k, const std::string& v) { DoWriteString(s, k, v); });
    storage.LoadObjectsProps(Owner(), *storedProps_);
}

}  // namespace placement
