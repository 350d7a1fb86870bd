// Lists: TList of untyped pointers (and its typed and owning forms), the abstract TStrings and
// the concrete TStringList.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Object.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rtl {

class TStream;

// ---- TList ----

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// A list of pointers that owns nothing. Bad indexes raise EListError "List index out of bounds (i)";
// a negative capacity or count raises "List capacity out of bounds (i)" / "List count out of bounds (i)".
class TList : public TObject {
public:
    TList() = default;
    ~TList() override;
    TList(const TList&) = delete;
    TList& operator=(const TList&) = delete;

    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    // Growing fills with nullptr; shrinking notifies lnDeleted for the dropped items.
    void SetCount(std::int32_t count);
    std::int32_t Capacity() const { return static_cast<std::int32_t>(items_.capacity()); }
    void SetCapacity(std::int32_t capacity);

    void* Items(std::int32_t index) const;
    void SetItems(std::int32_t index, void* item);
    void* operator[](std::int32_t index) const { return Items(index); }
    void* First() const { return Items(0); }
    void* Last() const { return Items(Count() - 1); }

    std::int32_t Add(void* item);
    void Insert(std::int32_t index, void* item);  // index == Count appends
    void Delete(std::int32_t index);
    // Removes the first occurrence; returns its former index or -1.
    std::int32_t Remove(void* item);
    // Removes the first occurrence without the lnDeleted notice; returns it or nullptr.
    void* Extract(void* item);
    std::int32_t IndexOf(const void* item) const;
    void Exchange(std::int32_t index1, std::int32_t index2);
    void Move(std::int32_t curIndex, std::int32_t newIndex);
    // Removes every nullptr entry.
    void Pack();
    virtual void Clear();
    // Stable sort by `compare` (negative, zero, positive).
    void Sort(const std::function<int(void*, void*)>& compare);

    const std::vector<void*>& List() const { return items_; }

protected:
    // Every change of membership passes through here; owning lists free on lnDeleted.
    virtual void Notify(void* item, TListNotification action) {}
    [[noreturn]] static void IndexError(std::int32_t index);

private:
    void CheckIndex(std::int32_t index) const;

    std::vector<void*> items_;
};

// A list of T* that owns nothing, for code that wants the type back without casts.
template <class T>
class TListOf : public TList {
public:
    T* Items(std::int32_t index) const { return static_cast<T*>(TList::Items(index)); }
    T* operator[](std::int32_t index) const { return Items(index); }
    std::int32_t Add(T* item) { return TList::Add(item); }
    void Insert(std::int32_t index, T* item) { TList::Insert(index, item); }
    std::int32_t Remove(T* item) { return TList::Remove(item); }
    std::int32_t IndexOf(const T* item) const { return TList::IndexOf(item); }
    T* First() const { return Items(0); }
    T* Last() const { return Items(Count() - 1); }
};

// A list that deletes its TObjects when they are deleted, removed, overwritten or cleared
// (while OwnsObjects holds, the default); Extract hands one back without deleting it.
class TObjectList : public TList {
public:
    explicit TObjectList(bool ownsObjects = true) : ownsObjects_(ownsObjects) {}
    ~TObjectList() override;

    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool value) { ownsObjects_ = value; }
    TObject* Items(std::int32_t index) const { return static_cast<TObject*>(TList::Items(index)); }
    TObject* operator[](std::int32_t index) const { return Items(index); }
    std::int32_t Add(TObject* item) { return TList::Add(item); }
    void Insert(std::int32_t index, TObject* item) { TList::Insert(index, item); }
    std::int32_t Remove(TObject* item) { return TList::Remove(item); }
    TObject* Extract(TObject* item) { return static_cast<TObject*>(TList::Extract(item)); }

protected:
    void Notify(void* item, TListNotification action) override;

private:
    bool ownsObjects_;
};

// ---- TStrings ----

// An ordered list of strings, each with an optional object. The abstract base that controls'
// line lists and TStringList share; every text form lives here. Bad indexes raise
// EStringListError "List index out of bounds (i)".
class TStrings : public TObject {
public:
    TStrings() = default;
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;

    // ---- what a concrete list provides ----
    virtual std::int32_t Count() const = 0;
    virtual std::string Get(std::int32_t index) const = 0;
    virtual void Insert(std::int32_t index, const std::string& s) = 0;
    virtual void Delete(std::int32_t index) = 0;
    virtual void Clear() = 0;
    // The base replaces through Delete and Insert, keeping the object.
    virtual void Put(std::int32_t index, const std::string& s);
    // Lists without objects return nullptr and ignore the object.
    virtual TObject* GetObject(std::int32_t index) const;
    virtual void PutObject(std::int32_t index, TObject* object);

    // ---- built on the above ----
    std::string Strings(std::int32_t index) const { return Get(index); }
    void SetStrings(std::int32_t index, const std::string& s) { Put(index, s); }
    std::string operator[](std::int32_t index) const { return Get(index); }
    TObject* Objects(std::int32_t index) const { return GetObject(index); }
    void SetObjects(std::int32_t index, TObject* object) { PutObject(index, object); }

    virtual std::int32_t Add(const std::string& s);
    virtual std::int32_t AddObject(const std::string& s, TObject* object);
    void Append(const std::string& s) { Add(s); }
    virtual void InsertObject(std::int32_t index, const std::string& s, TObject* object);
    void AddStrings(const TStrings& strings);
    // Replaces the contents with the lines and objects of `source`.
    virtual void Assign(const TStrings& source);
    virtual void Exchange(std::int32_t index1, std::int32_t index2);
    virtual void Move(std::int32_t curIndex, std::int32_t newIndex);
    // Same lines in the same order (objects not compared).
    bool Equals(const TStrings& other) const;

    // First line equal to `s` by CompareStrings (without regard to case unless the list says
    // otherwise); -1 when absent.
    virtual std::int32_t IndexOf(const std::string& s) const;
    std::int32_t IndexOfObject(const TObject* object) const;

    // "name=value" lines. Names(i) is "" for a line without the separator.
    char NameValueSeparator() const { return nameValueSeparator_; }
    void SetNameValueSeparator(char c) { nameValueSeparator_ = c; }
    std::int32_t IndexOfName(const std::string& name) const;
    std::string Names(std::int32_t index) const;
    std::string Values(const std::string& name) const;
    // An empty value deletes the line; otherwise the line is replaced or added.
    void SetValues(const std::string& name, const std::string& value);
    std::string ValueFromIndex(std::int32_t index) const;
    void SetValueFromIndex(std::int32_t index, const std::string& value);

    // Every line followed by CR LF.
    std::string Text() const;
    // Splits on CR LF, CR or LF; a final line break adds no empty line.
    virtual void SetText(const std::string& text);

    // Lines joined by Delimiter; a line that is empty alone, or holds blanks, control characters,
    // the quote or the delimiter, is quoted with QuoteChar (inner quotes doubled). Reading splits on
    // the delimiter and, unless StrictDelimiter, on blanks too; quoted parts keep everything.
    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char c) { delimiter_ = c; }
    char QuoteChar() const { return quoteChar_; }
    void SetQuoteChar(char c) { quoteChar_ = c; }
    bool StrictDelimiter() const { return strictDelimiter_; }
    void SetStrictDelimiter(bool value) { strictDelimiter_ = value; }
    std::string DelimitedText() const;
    void SetDelimitedText(const std::string& text);
    // DelimitedText with ',' and '"' and blanks as separators, whatever the list's settings.
    std::string CommaText() const;
    void SetCommaText(const std::string& text);

    // The bytes from the stream's position to its end become the Text; saving writes Text.
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream) const;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    std::vector<std::string> ToVector() const;

    // Nested; change notifications are held back until the outermost EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    std::int32_t UpdateCount() const { return updateCount_; }

    // Negative, zero or positive. The base ignores case over the ANSI letters.
    virtual int CompareStrings(const std::string& a, const std::string& b) const;

protected:
    virtual void SetUpdateState(bool updating) {}
    // Replaces line `index` for SetValues; lists that cannot replace in place override it.
    virtual void ReplaceLine(std::int32_t index, const std::string& s);
    [[noreturn]] static void Error(const char* message, std::int64_t index);

private:
    std::string DelimitedTextWith(char delimiter, char quote, bool strict) const;
    void SetDelimitedTextWith(const std::string& text, char delimiter, char quote, bool strict);

    std::int32_t updateCount_ = 0;
    char delimiter_ = ',';
    char quoteChar_ = '"';
    char nameValueSeparator_ = '=';
    bool strictDelimiter_ = false;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// The usual string list: optionally sorted, with a duplicates policy for sorted adds, objects
// per line (owned when OwnsObjects), and change events.
//
// Sorted lists keep their order: Insert, Put, Exchange and Move on them raise EStringListError
// "Operation not allowed on sorted list". Adding a duplicate to a sorted list with dupError
// raises EStringListError "String list does not allow duplicates"; dupIgnore returns the index
// of the line already there.
class TStringList : public TStrings {
public:
    TStringList() = default;
    explicit TStringList(bool ownsObjects) : ownsObjects_(ownsObjects) {}
    ~TStringList() override;

    std::int32_t Count() const override { return static_cast<std::int32_t>(items_.size()); }
    std::string Get(std::int32_t index) const override;
    void Put(std::int32_t index, const std::string& s) override;
    TObject* GetObject(std::int32_t index) const override;
    void PutObject(std::int32_t index, TObject* object) override;
    std::int32_t Add(const std::string& s) override;
    std::int32_t AddObject(const std::string& s, TObject* object) override;
    void Insert(std::int32_t index, const std::string& s) override;
    void InsertObject(std::int32_t index, const std::string& s, TObject* object) override;
    void Delete(std::int32_t index) override;
    void Clear() override;
    void Exchange(std::int32_t index1, std::int32_t index2) override;
    void Move(std::int32_t curIndex, std::int32_t newIndex) override;
    std::int32_t IndexOf(const std::string& s) const override;

    // Binary search of a sorted list: true when found, `index` the first match or the place
    // where `s` would go. On an unsorted list the result means nothing.
    bool Find(const std::string& s, std::int32_t& index) const;
    void Sort();
    // Stable sort by `compare`; ignores Sorted (and leaves it as is).
    void CustomSort(const std::function<int(const std::string&, const std::string&)>& compare);

    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates value) { duplicates_ = value; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool value);
    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool value) { ownsObjects_ = value; }

    int CompareStrings(const std::string& a, const std::string& b) const override;

    // Fired around every change while no update is in progress (Sender is the list).
    std::function<void(TObject* sender)> OnChange;
    std::function<void(TObject* sender)> OnChanging;

protected:
    void SetUpdateState(bool updating) override;
    void ReplaceLine(std::int32_t index, const std::string& s) override;
    virtual void Changed();
    virtual void Changing();

private:
    struct Item {
        std::string text;
        TObject* object = nullptr;  // owned only when ownsObjects_
    };
    void CheckIndex(std::int32_t index) const;
    void CheckUnsorted() const;
    void InsertItem(std::int32_t index, const std::string& s, TObject* object);

    std::vector<Item> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    bool ownsObjects_ = false;
    TDuplicates duplicates_ = dupIgnore;
};

}  // namespace rtl
