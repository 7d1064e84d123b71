// Item values: the variant types an item may have, a movable variant holder, the conversions of
// writes and reads, and the texts of the address-space file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "opc/opc_types.h"

namespace opcsim {

// A VARIANT that owns what it holds and moves cheaply (the address space keeps one per item).
class Value {
  public:
    Value() { VariantInit(&v_); }
    Value(const Value& other) {
        VariantInit(&v_);
        VariantCopy(&v_, &other.v_);
    }
    Value(Value&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    Value& operator=(const Value& other) {
        if (this != &other)
            VariantCopy(&v_, &other.v_);
        return *this;
    }
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            VariantClear(&v_);
            v_ = other.v_;
            VariantInit(&other.v_);
        }
        return *this;
    }
    ~Value() { VariantClear(&v_); }

    VARIANT* ptr() { return &v_; }
    const VARIANT& get() const { return v_; }

  private:
    VARIANT v_;
};

// The canonical types an item may have: VT_I1..VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8, VT_CY,
// VT_DATE, VT_BSTR, VT_BOOL.
bool IsItemType(VARTYPE vt);
// Types a client may request for an item: the item types and VT_EMPTY (the canonical type).
bool IsRequestableType(VARTYPE vt);

// The zero of a type: 0, False, "". The empty text is a null BSTR, which the platform takes for
// "" and which needs no task memory (the address spaces' definitions keep such values).
Value ZeroValue(VARTYPE vt);
// Gives a null BSTR storage of its own, so that clients always receive a real (empty) text.
void GiveTextStorage(VARIANT* v);

// Converts a client's value to an item's type for a write (texts always get storage). OPC_E_BADTYPE
// when the value cannot be taken as that type (VT_EMPTY and VT_NULL included: a write must carry a
// value), OPC_E_RANGE when it does not fit.
HRESULT ConvertForWrite(const VARIANT& value, VARTYPE type, VARIANT* out);

// Converts a cached value to the type a client requested for a read (VT_EMPTY: as it is), with
// the same answers as ConvertForWrite.
HRESULT ConvertForRead(const VARIANT& value, VARTYPE requested, VARIANT* out);

// The value of a number for a numeric or boolean type: rounded to the nearest integer and held
// to the type's range for integer types, "not zero" for VT_BOOL, scaled by 10,000 for VT_CY.
Value NumberValue(double number, VARTYPE type);
// An integer count for an integer type, wrapping around the type's width as a hardware counter
// does; other numeric types take it as a number, VT_BOOL as "odd".
Value CounterValue(uint64_t count, VARTYPE type);

// Type names of the address-space file: "I1", "UI1", ..., "BSTR", "DATE", "CY", with or without
// "VT_", any case.
std::optional<VARTYPE> ParseTypeName(std::string_view name);
const char* TypeName(VARTYPE vt);

// An initial value written in the address-space file, independent of the user's locale:
// numbers with "." as decimal separator, booleans "true"/"false"/"1"/"0" (any case), dates as
// "YYYY-MM-DD" or "YYYY-MM-DDThh:mm:ss" or a day number, texts as they are. Nothing when the text
// is not a value of the type or does not fit.
std::optional<Value> ParseInitialValue(std::u16string_view text, VARTYPE type);

}  // namespace opcsim
