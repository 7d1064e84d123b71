// Result codes of the COM stand-in: one status type for every interface of the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/kernel/wintypes.h"

using HRESULT = int32_t;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

constexpr HRESULT MakeHResult(uint32_t bits) {
    return static_cast<HRESULT>(bits);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
// CoCreateInstanceEx served some of the requested interfaces, not all.
constexpr HRESULT CO_S_NOTALLINTERFACES = 0x00080012;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
constexpr HRESULT REGDB_E_READREGDB = MakeHResult(0x80040150);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0);
constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHResult(0x8004016F);
constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9);
constexpr HRESULT RPC_E_TOO_LATE = MakeHResult(0x80010119);
constexpr HRESULT RPC_E_CHANGED_MODE = MakeHResult(0x80010106);
constexpr HRESULT RPC_S_SERVER_UNAVAILABLE_HR = MakeHResult(0x800706BA);
constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHResult(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008);
constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000A);

// A result's symbolic name ("E_FAIL", "OPC_E_UNKNOWNITEMID") and its text ("Unspecified
// error"). Unknown codes are named by their hexadecimal value ("0x80041234").
std::string HResultName(HRESULT hr);
std::string HResultText(HRESULT hr);
// "E_FAIL (0x80004005): Unspecified error": the form used by logs, tools and test failures.
std::string DescribeHResult(HRESULT hr);

// Modules with codes of their own (the OPC declarations) add their names once at start-up.
struct HResultInfo {
    HRESULT code;
    const char* name;
    const char* text;
};
void RegisterHResultNames(const HResultInfo* table, size_t count);
