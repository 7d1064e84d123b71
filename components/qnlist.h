// Value lists: an owning list of objects and two typed lists of boxed numbers built on it, one
// of 80-bit extended numbers with simple statistics, one of 32-bit integers.
//
// Ownership: a list owns every object from the moment it is added. FreeAll, Assign and the
// destructor free them; the base list's Delete and Clear only forget them (the caller then owns
// the box again). None of the lists locks: use each from one thread at a time.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

// The base of every boxed value: deleting through it frees the whole box.
class TObject {
  public:
    virtual ~TObject() = default;
};

// "List index out of bounds (N)": the index error of the base list.
class EListError : public std::out_of_range {
  public:
    explicit EListError(int index);
    int Index() const { return index_; }

  private:
    int index_;
};

// The growable list of untyped references the typed lists derive from: count, capacity and the
// item array; add, get by index (throws EListError outside 0 .. Count-1), delete and clear.
class TList {
  public:
    TList() = default;
    virtual ~TList() = default;
    TList(const TList&) = delete;
    TList& operator=(const TList&) = delete;

    int Add(void* item);  // answers the new entry's index
    void* Get(int index) const;
    void Delete(int index);  // removes the entry; the object it refers to stays alive
    void Clear();            // removes every entry; the objects stay alive
    int Count() const { return static_cast<int>(items_.size()); }
    int Capacity() const { return static_cast<int>(items_.capacity()); }

  private:
    std::vector<void*> items_;
};

// A list that owns the objects it refers to.
class TObjectList : public TList {
  public:
    ~TObjectList() override;
    int Add(TObject* object) { return TList::Add(object); }
    // Frees every held object, last index first, then empties the list.
    void FreeAll();
    TObject* Object(int index) const { return static_cast<TObject*>(Get(index)); }
};

class TExtended : public TObject {
  public:
    explicit TExtended(long double value) : Value(value) {}
    long double Value;
};

class TInteger : public TObject {
  public:
    explicit TInteger(int32_t value) : Value(value) {}
    int32_t Value;
};

class TExtendedList : public TObjectList {
  public:
    int Add(TExtended* box) { return TObjectList::Add(box); }
    TExtended* Items(int index) const;
    long double Values(int index) const;
    // The smallest value, but never above 1.0E30 (an empty list gives 1.0E30).
    long double MinimumValue() const;
    // The largest value, but never below -1.0E30 (an empty list gives -1.0E30).
    long double MaximumValue() const;
    // The mean; 0 for an empty list.
    long double Average() const;
    // The sample standard deviation; 0 for fewer than two values.
    long double Stdeviation() const;
    // Frees this list's boxes and fills it with new boxes holding the source's values in order.
    // Assigning a list to itself leaves it as it is.
    void Assign(const TExtendedList& source);
};

class TIntegerList : public TObjectList {
  public:
    int Add(TInteger* box) { return TObjectList::Add(box); }
    TInteger* Items(int index) const;
    // The smallest value; 2147483647 for an empty list.
    int32_t MinimumValue() const;
    // The largest value, but never below -2147483647 (also for an empty list).
    int32_t MaximumValue() const;
    // As TExtendedList::Assign.
    void Assign(const TIntegerList& source);
};
