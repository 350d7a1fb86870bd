// File themes and the theme manager: where skinned controls get their pictures and colours when
// they do not use a built-in style, and the component that pushes a style and a theme to a list
// of named components.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/rtl/Lists.h"
#include "platform/win/Forms.h"
#include "platform/win/Graphics.h"
#include "skin/SUI2Define.h"
#include "skin/SUI2SkinReader.h"
#include "skin/SUIThemes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace skin {

// Holds one open skin reader and the bitmaps decoded from it.
class TsuiFileThemeMgr : public rtl::TObject {
public:
    TsuiFileThemeMgr();
    ~TsuiFileThemeMgr() override;

    // Opens the skin file when it exists and keeps the new reader only when it loaded; a reader
    // that fails, for any reason, is dropped and the result is false. A missing file leaves the
    // old reader in place and returns false.
    bool Open(const std::string& fileName, const std::string& password);
    // The same from a skin file in memory (or any stream, from its start).
    bool Open(rtl::TStream& archive, const std::string& password);

    // Colour i (entry i), integer i (entry 66 + i), boolean i (entry 75 + i) and bitmap i (entry
    // 32 + i); only the low 7 bits of i count. An index outside its range or an entry the file
    // lacks answers -1 for colours and integers and False for booleans; without a reader the
    // answers are 0 and False.
    std::int32_t GetColor(std::int32_t i) const;
    std::int32_t GetInt(std::int32_t i) const;
    bool GetBool(std::int32_t i) const;
    // Never nullptr: an absent bitmap is an empty one, so callers never take sizes of nothing.
    // Owned by the manager, valid until the next successful Open.
    win::TBitmap* GetBitmap(std::int32_t i) const;
    bool HasReader() const { return reader_ != nullptr; }

private:
    bool Take(std::unique_ptr<Tsk2SkinFileReader> reader);

    std::unique_ptr<Tsk2SkinFileReader> reader_;
    std::array<std::unique_ptr<win::TBitmap>, kSkin2IntegerBase - kSkin2BitmapBase> bitmaps_;
    std::unique_ptr<win::TBitmap> empty_;
};

// A skin file opened by name.
class TsuiFileTheme : public rtl::TComponent {
    RTL_DECLARE_CLASS(TsuiFileTheme, rtl::TComponent)

public:
    explicit TsuiFileTheme(rtl::TComponent* owner);
    ~TsuiFileTheme() override;

    const std::string& ThemeFile() const { return themeFile_; }
    // Opens `value`, or a file of its bare name in the program's, the Windows or the System
    // folder; a name found nowhere changes nothing. After a successful open the owning form's
    // skinned components reload their pictures (not while the form is being read).
    virtual void SetThemeFile(const std::string& value);
    const std::string& Password() const { return password_; }
    // Reopens the file with the new password unless it is empty.
    void SetPassword(const std::string& value);
    bool Ready() const { return ready_; }
    void SetReady(bool) {}  // published for the designer's sake; writes are ignored
    bool IsReady() const { return ready_; }

    // The reader's bitmap i (never nullptr; empty when the file lacks it). Not a copy.
    win::TBitmap* GetBitmap(std::int32_t i) const;
    // Piece `pieceIndex` of `pieceCount` into `dest` when both are nonzero, else the whole
    // bitmap.
    void GetBitmapPiece(std::int32_t i, win::TBitmap* dest, std::int32_t pieceIndex,
                        std::int32_t pieceCount) const;
    // -1 for a colour or integer the file lacks: the control keeps its default. 0 when no skin
    // file is open.
    std::int32_t GetColor(std::int32_t i) const { return manager_->GetColor(i); }
    std::int32_t GetInt(std::int32_t i) const { return manager_->GetInt(i); }
    bool GetBool(std::int32_t i) const { return manager_->GetBool(i); }

protected:
    // Makes the owning form's skinned components that use this theme reload it.
    void Reapply(bool wasEmpty);
    void SetOpened(bool ready) { ready_ = ready; }
    TsuiFileThemeMgr& Manager() { return *manager_; }
    void SetThemeFileValue(const std::string& value) { themeFile_ = value; }

private:
    std::unique_ptr<TsuiFileThemeMgr> manager_;
    std::string themeFile_;
    bool ready_ = false;
    std::string password_;
};

// A file theme whose skin file travels inside the window description as "SkinData".
class TsuiBuiltInFileTheme : public TsuiFileTheme {
    RTL_DECLARE_CLASS(TsuiBuiltInFileTheme, TsuiFileTheme)

public:
    explicit TsuiBuiltInFileTheme(rtl::TComponent* owner) : TsuiFileTheme(owner) {}

    // Remembers `value` as the design-time file, whose bytes "SkinData" stores, then opens it.
    void SetThemeFile(const std::string& value) override;
    const std::string& DesignFile() const { return designFile_; }

    void DefineProperties(rtl::TFiler& filer) override;
    // Opens the skin file held in `stream` (its whole content) without touching the disk.
    void ReadSkinData(rtl::TStream& stream);
    void WriteSkinData(rtl::TStream& stream);

private:
    std::string designFile_;
};

// The list of component names a theme manager serves.
class TsuiThemeMgrCompList : public rtl::TStringList {};

// Pushes one style and one file theme to the components its list names, by their published
// "UIStyle" and "FileTheme" properties.
class TsuiThemeManager : public rtl::TComponent {
    RTL_DECLARE_CLASS(TsuiThemeManager, rtl::TComponent)

public:
    explicit TsuiThemeManager(rtl::TComponent* owner);
    ~TsuiThemeManager() override;

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    // Applies the style and theme to the list (also when unchanged); fires OnUIStyleChanged
    // only on a change.
    void SetUIStyle(TsuiUIStyle value);
    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* value);
    rtl::TStrings* CompList() const { return compList_.get(); }
    void SetCompList(rtl::TStrings* value);

    // Sets both properties of every listed component of the owning form. Names not found, and
    // components that lack either property or refuse the value, are skipped.
    void ApplyToCompList();

    rtl::TNotifyEvent OnUIStyleChanged;

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void Loaded() override;

private:
    TsuiUIStyle uiStyle_ = DeepBlue;
    TsuiFileTheme* fileTheme_ = nullptr;  // not owned
    std::unique_ptr<TsuiThemeMgrCompList> compList_;
};

// The UIStyle of the first skinned frame ("TsuiForm") among a form's direct child controls;
// DeepBlue when `component` is not a form or has none.
TsuiUIStyle GetFormUIStyle(rtl::TComponent* component);
// Sets `style` to `uiStyle` and answers whether the control should ask `fileTheme`: true only
// for FromThemeFile with a ready theme. FromThemeFile without one falls back to DeepBlue.
bool UsesFileTheme(const TsuiFileTheme* fileTheme, TsuiUIStyle uiStyle, TsuiUIStyle& style);
// The compiled-in bitmap of built-in entry `index` into `dest` (empty when the entry has none).
void LoadBuiltInThemeBitmap(TsuiUIStyle style, int index, win::TBitmap* dest);
// The whole bitmap with `pieceCount` 0, else piece `pieceIndex` of `pieceCount`.
void GetBuiltInThemeBitmap(TsuiUIStyle style, int index, win::TBitmap* dest, int pieceIndex, int pieceCount);
// A compiled-in bitmap by its name into `dest`; false (and `dest` empty) when unknown.
bool LoadBuiltInBitmap(const std::string& name, win::TBitmap* dest);

}  // namespace skin
