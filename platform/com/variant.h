// BSTR and VARIANT as the platform has them, with its conversion rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/guid.h"

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;  // days since 30 December 1899
using BSTR = char16_t*;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
};

// Length-prefixed UTF-16 text in task memory. SysAllocString(nullptr) gives nullptr, which every
// function here treats as the empty text.
BSTR SysAllocString(const char16_t* text);
BSTR SysAllocStringLen(const char16_t* text, uint32_t length);
BSTR SysAllocStringView(std::u16string_view text);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);

struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved1, wReserved2, wReserved3;
    union {
        int8_t cVal;
        uint8_t bVal;
        int16_t iVal;
        uint16_t uiVal;
        int32_t lVal;
        uint32_t ulVal;
        int64_t llVal;
        uint64_t ullVal;
        int32_t intVal;
        uint32_t uintVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        DATE date;
        BSTR bstrVal;
        HRESULT scode;
        int64_t cyVal;  // currency, scaled by 10,000
    };
};
using VARIANTARG = VARIANT;

constexpr uint16_t VARIANT_NOVALUEPROP = 0x01;
constexpr uint16_t VARIANT_ALPHABOOL = 0x02;

void VariantInit(VARIANT* v);
// Frees what the variant owns (its BSTR) and makes it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy; `dest` is cleared first.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Converts `src` to `vt` into `dest` (which may be `src`). To VT_BSTR numbers become decimal
// text with the user's locale decimal separator (LC_NUMERIC), booleans "True"/"False", empty
// and null "". From text and between numbers: DISP_E_TYPEMISMATCH for text that is not a
// number, DISP_E_OVERFLOW when the value does not fit.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt);

// RAII holder that clears its variant.
class Variant {
  public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant& other) {
        VariantInit(&v_);
        VariantCopy(&v_, &other.v_);
    }
    Variant& operator=(const Variant& other) {
        if (this != &other)
            VariantCopy(&v_, &other.v_);
        return *this;
    }
    ~Variant() { VariantClear(&v_); }
    static Variant FromDouble(double d);
    static Variant FromText(std::u16string_view text);

    VARIANT* ptr() { return &v_; }
    const VARIANT& get() const { return v_; }
    VARIANT& get() { return v_; }

  private:
    VARIANT v_;
};

// The platform's variant-to-text conversion (VariantChangeType to VT_BSTR); "" when the value
// has no text form.
std::u16string VariantToText(const VARIANT& v);
