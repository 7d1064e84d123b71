#include "servers/opcsim/device.h"

#include <chrono>
#include <cmath>
#include <numbers>

namespace opcsim {
namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochAs100ns = 116444736000000000LL;

// splitmix64: a well-mixed 64-bit value from any input, so "random" stays a function of time.
uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

Value SignalValue(const ItemDef& def, size_t index, int64_t elapsedNs) {
    const SignalShape& s = def.shape;
    const int64_t period = std::max<int64_t>(1, std::llround(s.period * 1e9));
    const int64_t phase = elapsedNs % period;  // kept exact over long runs
    const double fraction = static_cast<double>(phase) / static_cast<double>(period);
    const bool firstHalf = phase < period - period / 2;
    switch (def.signal) {
        case Signal::Sine:
            return NumberValue(s.offset + s.amplitude * std::sin(2 * std::numbers::pi * fraction),
                               def.type);
        case Signal::Ramp:
            return NumberValue(s.offset + s.amplitude * fraction, def.type);
        case Signal::Square:
            return NumberValue(s.offset + (firstHalf ? s.amplitude : -s.amplitude), def.type);
        case Signal::Random: {
            const double r =
                static_cast<double>(Mix(static_cast<uint64_t>(elapsedNs) ^ Mix(index)) >> 11) *
                0x1.0p-53;
            return NumberValue(s.offset + s.amplitude * r, def.type);
        }
        case Signal::Counter: {
            const uint64_t count = static_cast<uint64_t>(elapsedNs / period);
            if (def.type == VT_R4 || def.type == VT_R8 || def.type == VT_DATE)
                return NumberValue(s.offset + static_cast<double>(count), def.type);
            return CounterValue(count + static_cast<uint64_t>(std::llround(s.offset)), def.type);
        }
        case Signal::Toggle:
            return NumberValue(firstHalf ? 0.0 : 1.0, def.type);
        case Signal::None:
            break;
    }
    return ZeroValue(def.type);
}

}  // namespace

Device::Device(SharedAddressSpace space, std::shared_ptr<const SimClock> clock)
    : space_(std::move(space)), clock_(std::move(clock)), start_(clock_->Now()) {
    const auto wall = std::chrono::system_clock::now().time_since_epoch();
    wallStart100ns_ = kUnixEpochAs100ns +
                      std::chrono::duration_cast<std::chrono::nanoseconds>(wall).count() / 100;
    registers_.resize(space_->Items().size());
    for (size_t i = 0; i < registers_.size(); ++i) {
        const ItemDef& def = space_->Item(i);
        if (def.signal == Signal::None) {
            registers_[i] = def.initial;
            GiveTextStorage(registers_[i].ptr());
        }
    }
}

FILETIME Device::ToFileTime(Nanos t) const {
    const uint64_t v = static_cast<uint64_t>(wallStart100ns_ + (t - start_).count() / 100);
    return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

void Device::Sample(size_t item, Nanos t, VARIANT* out) const {
    const ItemDef& def = space_->Item(item);
    VariantClear(out);
    if (def.special == Special::ServerState) {
        out->vt = VT_I4;
        out->lVal = static_cast<int32_t>(state_);
    } else if (def.signal == Signal::None) {
        VariantCopy(out, &registers_[item].get());
    } else {
        Value v = SignalValue(def, item, std::max<int64_t>(0, (t - start_).count()));
        *out = v.get();
        VariantInit(v.ptr());  // ownership moved to `out` (signals hold no text)
    }
}

HRESULT Device::Write(size_t item, const VARIANT& value, std::u16string* shutdownReason) {
    const ItemDef& def = space_->Item(item);
    if (!(def.access & OPC_WRITEABLE))
        return OPC_E_BADRIGHTS;
    Value converted;
    if (HRESULT hr = ConvertForWrite(value, def.type, converted.ptr()); FAILED(hr))
        return hr;
    switch (def.special) {
        case Special::ServerState: {
            const int32_t state = converted.get().lVal;
            if (state < static_cast<int32_t>(OPC_STATUS_RUNNING) ||
                state > static_cast<int32_t>(OPC_STATUS_COMM_FAULT))
                return OPC_E_RANGE;
            state_ = static_cast<OPCSERVERSTATE>(state);
            return S_OK;
        }
        case Special::Shutdown: {
            const BSTR text = converted.get().bstrVal;
            if (shutdownReason)
                shutdownReason->assign(text ? text : u"", SysStringLen(text));
            break;
        }
        case Special::None:
            break;
    }
    registers_[item] = std::move(converted);
    return S_OK;
}

}  // namespace opcsim
