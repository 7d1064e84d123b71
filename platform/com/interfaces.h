// Standard interfaces beyond IUnknown: string and GUID enumerators, connection points.
#pragma once

#include "platform/com/unknown.h"

struct IEnumString : IUnknown {
    static constexpr IID kIID = MakeGuid("00000101-0000-0000-C000-000000000046");
    // Up to `count` strings (task memory, freed by the caller); S_FALSE when fewer came.
    virtual HRESULT Next(ULONG count, LPOLESTR* strings, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumString** copy) = 0;

  protected:
    ~IEnumString() = default;
};
using LPENUMSTRING = IEnumString*;

struct IEnumGUID : IUnknown {
    static constexpr IID kIID = MakeGuid("0002E000-0000-0000-C000-000000000046");
    virtual HRESULT Next(ULONG count, GUID* guids, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumGUID** copy) = 0;

  protected:
    ~IEnumGUID() = default;
};

struct IConnectionPointContainer;
struct IEnumConnections;       // not offered by this platform's objects (E_NOTIMPL)
struct IEnumConnectionPoints;  // not offered by this platform's objects (E_NOTIMPL)

struct IConnectionPoint : IUnknown {
    static constexpr IID kIID = MakeGuid("B196B286-BAB4-101A-B69C-00AA00341D07");
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    // Subscribes `sink`, which must offer the point's interface (else CONNECT_E_CANNOTCONNECT).
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

  protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    static constexpr IID kIID = MakeGuid("B196B284-BAB4-101A-B69C-00AA00341D07");
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

  protected:
    ~IConnectionPointContainer() = default;
};

constexpr IID IID_IEnumString = IEnumString::kIID;
constexpr IID IID_IEnumGUID = IEnumGUID::kIID;
constexpr IID IID_IConnectionPoint = IConnectionPoint::kIID;
constexpr IID IID_IConnectionPointContainer = IConnectionPointContainer::kIID;
