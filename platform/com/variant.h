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
// Converts `src` to `vt` into `dest` (which may be `src`); on failure `dest` is left as it was.
// The types are the scalar ones listed above; arrays, references and objects answer
// DISP_E_BADVARTYPE.
// To VT_BSTR: integers in decimal; VT_R4 with up to 7 and VT_R8 with up to 15 significant
// digits in general format ("3.5", "1E+15", "1.5E-05"; "NaN", "INF", "-INF"); VT_CY with up to
// four decimals; all with the decimal separator of the user's LC_NUMERIC locale; booleans
// "True"/"False" (whatever the flags); VT_DATE as the user's LC_TIME short date and long time
// (the date alone at midnight, the time alone on day 0); VT_EMPTY and VT_NULL "" (the platform
// refuses VT_NULL here; every caller of this system wants the empty text); VT_ERROR
// DISP_E_TYPEMISMATCH.
// From text: optional blanks and sign, digits with at most one decimal separator, which may be
// the user's or a full stop, an optional exponent; no thousands separators, no words.
// VT_BOOL also takes "True"/"False" in any case; VT_DATE takes the user's date/time forms and
// ISO "YYYY-MM-DD[ HH:MM[:SS]]". DISP_E_TYPEMISMATCH for text of another form, DISP_E_OVERFLOW
// when the value does not fit the type.
// Between numbers: range checks (DISP_E_OVERFLOW); reals and currency become integers rounded
// half to even; VARIANT_TRUE is -1, which unsigned types hold as all bits set; VT_NULL and
// VT_ERROR convert to nothing but themselves (and VT_BSTR, above).
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

// The platform's variant-to-text conversion (VariantChangeType to VT_BSTR) without the BSTR;
// "" for VT_EMPTY and VT_NULL and whenever the value has no text form (VT_ERROR, a date beyond
// the year 9999, an unsupported type).
std::u16string VariantToText(const VARIANT& v);
