#include "platform/com/hresult.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace {

constexpr HResultInfo kPlatformCodes[] = {
    {S_OK, "S_OK", "The operation completed successfully"},
    {S_FALSE, "S_FALSE", "The operation completed, with fewer results than asked for"},
    {CO_S_NOTALLINTERFACES, "CO_S_NOTALLINTERFACES",
     "Not all the requested interfaces were available"},
    {E_NOTIMPL, "E_NOTIMPL", "Not implemented"},
    {E_NOINTERFACE, "E_NOINTERFACE", "No such interface supported"},
    {E_POINTER, "E_POINTER", "Invalid pointer"},
    {E_FAIL, "E_FAIL", "Unspecified error"},
    {E_UNEXPECTED, "E_UNEXPECTED", "Catastrophic failure"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "Not enough memory"},
    {E_INVALIDARG, "E_INVALIDARG", "One or more arguments are invalid"},
    {E_ACCESSDENIED, "E_ACCESSDENIED", "Access denied"},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION", "Class does not support aggregation"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE",
     "The module does not offer this class"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "Class not registered"},
    {REGDB_E_READREGDB, "REGDB_E_READREGDB", "Could not read the registry"},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", "COM has not been initialised on this thread"},
    {CO_E_CLASSSTRING, "CO_E_CLASSSTRING", "Invalid class string"},
    {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND", "The server module could not be loaded"},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL", "The server module lacks DllGetClassObject"},
    {RPC_E_TOO_LATE, "RPC_E_TOO_LATE",
     "Security must be initialised before any interfaces are used"},
    {RPC_E_CHANGED_MODE, "RPC_E_CHANGED_MODE", "Cannot change the thread's apartment model"},
    {RPC_S_SERVER_UNAVAILABLE_HR, "RPC_S_SERVER_UNAVAILABLE", "The RPC server is unavailable"},
    {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION", "No such connection"},
    {CONNECT_E_ADVISELIMIT, "CONNECT_E_ADVISELIMIT",
     "The connection point has no room for another sink"},
    {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT",
     "The sink does not offer the point's interface"},
    {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH", "Type mismatch"},
    {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE", "Bad variable type"},
    {DISP_E_OVERFLOW, "DISP_E_OVERFLOW", "Out of present range"},
};

struct Registry {
    std::mutex mutex;
    std::vector<HResultInfo> codes{std::begin(kPlatformCodes), std::end(kPlatformCodes)};
};

Registry& Codes() {
    static Registry registry;
    return registry;
}

const HResultInfo* Find(HRESULT hr) {
    Registry& r = Codes();
    std::lock_guard lock(r.mutex);
    for (const HResultInfo& info : r.codes)
        if (info.code == hr)
            return &info;
    return nullptr;
}

std::string Hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

}  // namespace

void RegisterHResultNames(const HResultInfo* table, size_t count) {
    Registry& r = Codes();
    std::lock_guard lock(r.mutex);
    for (size_t i = 0; i < count; ++i) {
        bool known = false;
        for (const HResultInfo& info : r.codes)
            known = known || info.code == table[i].code;
        if (!known)
            r.codes.push_back(table[i]);
    }
}

std::string HResultName(HRESULT hr) {
    const HResultInfo* info = Find(hr);
    return info ? info->name : Hex(hr);
}

std::string HResultText(HRESULT hr) {
    const HResultInfo* info = Find(hr);
    return info ? info->text : (FAILED(hr) ? "Unknown error" : "Unknown success code");
}

std::string DescribeHResult(HRESULT hr) {
    const HResultInfo* info = Find(hr);
    if (!info)
        return Hex(hr) + ": " + HResultText(hr);
    return std::string(info->name) + " (" + Hex(hr) + "): " + info->text;
}
