// OPC Common interfaces: the shutdown callback, server locale and the server list component.
#pragma once

#include "opc/opc_types.h"

struct IOPCShutdown : IUnknown {
    static constexpr IID kIID = MakeGuid("F31DFDE1-07B6-11D2-B2D8-0060083BA1FB");
    virtual HRESULT ShutdownRequest(LPCWSTR reason) = 0;

protected:
    ~IOPCShutdown() = default;
};

struct IOPCCommon : IUnknown {
    static constexpr IID kIID = MakeGuid("F31DFDE2-07B6-11D2-B2D8-0060083BA1FB");
    virtual HRESULT SetLocaleID(LCID locale) = 0;
    virtual HRESULT GetLocaleID(LCID* locale) = 0;
    virtual HRESULT QueryAvailableLocaleIDs(DWORD* count, LCID** locales) = 0;
    virtual HRESULT GetErrorString(HRESULT error, LPWSTR* text) = 0;
    virtual HRESULT SetClientName(LPCWSTR name) = 0;

protected:
    ~IOPCCommon() = default;
};

struct IOPCServerList : IUnknown {
    static constexpr IID kIID = MakeGuid("13486D50-4821-11D2-A494-3CB306C10000");
    virtual HRESULT EnumClassesOfCategories(ULONG implementedCount, CATID* implemented,
                                            ULONG requiredCount, CATID* required,
                                            IEnumGUID** classes) = 0;
    // Both texts are task memory.
    virtual HRESULT GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType) = 0;
    virtual HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) = 0;

protected:
    ~IOPCServerList() = default;
};

struct IOPCServerList2 : IUnknown {
    static constexpr IID kIID = MakeGuid("9DD0B56C-AD9E-43EE-8305-487F3188BF7A");
    virtual HRESULT EnumClassesOfCategories(ULONG implementedCount, CATID* implemented,
                                            ULONG requiredCount, CATID* required,
                                            IEnumGUID** classes) = 0;
    // All three texts are task memory.
    virtual HRESULT GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType,
                                    LPOLESTR* versionIndependentProgId) = 0;
    virtual HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) = 0;

protected:
    ~IOPCServerList2() = default;
};

constexpr IID IID_IOPCShutdown = IOPCShutdown::kIID;
constexpr IID IID_IOPCCommon = IOPCCommon::kIID;
constexpr IID IID_IOPCServerList = IOPCServerList::kIID;
constexpr IID IID_IOPCServerList2 = IOPCServerList2::kIID;
constexpr CLSID CLSID_OpcServerList = MakeGuid("13486D51-4821-11D2-A494-3CB306C10000");
