#include "components/qnlist.h"

#include <cmath>
#include <string>

EListError::EListError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")"),
      index_(index) {}

int TList::Add(void* item) {
    items_.push_back(item);
    return Count() - 1;
}

void* TList::Get(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return items_[static_cast<size_t>(index)];
}

void TList::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EListError(index);
    items_.erase(items_.begin() + index);
}

void TList::Clear() {
    items_.clear();
}

TObjectList::~TObjectList() {
    FreeAll();
}

void TObjectList::FreeAll() {
    for (int i = Count() - 1; i >= 0; --i)
        delete Object(i);
    Clear();
}

TExtended* TExtendedList::Items(int index) const {
    return static_cast<TExtended*>(Get(index));
}

long double TExtendedList::Values(int index) const {
    return Items(index)->Value;
}

long double TExtendedList::MinimumValue() const {
    long double result = 1.0E30L;
    for (int i = 0; i < Count(); ++i)
        if (result > Values(i))
            result = Values(i);
    return result;
}

long double TExtendedList::MaximumValue() const {
    long double result = -1.0E30L;
    for (int i = 0; i < Count(); ++i)
        if (!(result >= Values(i)))
            result = Values(i);
    return result;
}

long double TExtendedList::Average() const {
    if (Count() == 0)
        return 0.0L;
    long double sum = 0.0L;
    for (int i = 0; i < Count(); ++i)
        sum += Values(i);
    return sum / Count();
}

long double TExtendedList::Stdeviation() const {
    const long double mean = Average();
    if (Count() < 2)
        return 0.0L;
    long double squares = 0.0L;
    for (int i = 0; i < Count(); ++i) {
        const long double d = Values(i) - mean;
        squares += d * d;
    }
    return std::sqrt(squares / (Count() - 1));
}

void TExtendedList::Assign(const TExtendedList& source) {
    // Freeing first would empty the source as well and lose every value.
    if (&source == this)
        return;
    FreeAll();
    for (int i = 0; i < source.Count(); ++i)
        Add(new TExtended(source.Values(i)));
}

TInteger* TIntegerList::Items(int index) const {
    return static_cast<TInteger*>(Get(index));
}

int32_t TIntegerList::MinimumValue() const {
    int32_t result = 2147483647;
    for (int i = 0; i < Count(); ++i)
        if (result > Items(i)->Value)
            result = Items(i)->Value;
    return result;
}

int32_t TIntegerList::MaximumValue() const {
    int32_t result = -2147483647;
    for (int i = 0; i < Count(); ++i)
        if (result < Items(i)->Value)
            result = Items(i)->Value;
    return result;
}

void TIntegerList::Assign(const TIntegerList& source) {
    if (&source == this)
        return;
    FreeAll();
    for (int i = 0; i < source.Count(); ++i)
        Add(new TInteger(source.Items(i)->Value));
}
