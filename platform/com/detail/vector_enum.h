// The enumerator shape shared by IEnumString and IEnumGUID: a fixed list shared between clones,
// a position, Next/Skip/Reset/Clone with the platform's answers.
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/com/unknown.h"

namespace korva::com::detail {

// Traits: static bool Copy(const Item&, Out*) (false: out of memory) and static void Free(Out).
template <class Interface, class Item, class Out, class Traits>
class VectorEnum final : public ComObject<Interface> {
  public:
    using Items = std::shared_ptr<const std::vector<Item>>;
    VectorEnum(Items items, size_t position) : items_(std::move(items)), position_(position) {}

    HRESULT Next(ULONG count, Out* out, ULONG* fetched) override {
        if (!out)
            return E_POINTER;
        // As on the platform: without `fetched` the caller cannot learn how many came.
        if (!fetched && count != 1)
            return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        const size_t available = items_->size() - position_;
        const ULONG n = static_cast<ULONG>(std::min<size_t>(count, available));
        for (ULONG i = 0; i < n; ++i) {
            if (!Traits::Copy((*items_)[position_ + i], &out[i])) {
                // All or nothing: the caller owns no half-filled array.
                for (ULONG k = 0; k < i; ++k)
                    Traits::Free(out[k]);
                if (fetched)
                    *fetched = 0;
                return E_OUTOFMEMORY;
            }
        }
        position_ += n;
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }

    HRESULT Skip(ULONG count) override {
        std::lock_guard lock(mutex_);
        const size_t n = std::min<size_t>(count, items_->size() - position_);
        position_ += n;
        return n == count ? S_OK : S_FALSE;
    }

    HRESULT Reset() override {
        std::lock_guard lock(mutex_);
        position_ = 0;
        return S_OK;
    }

    HRESULT Clone(Interface** copy) override {
        if (!copy)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *copy = MakeComObject<VectorEnum>(items_, position_).Detach();
        return S_OK;
    }

  private:
    ~VectorEnum() override = default;

    const Items items_;
    std::mutex mutex_;
    size_t position_;
};

}  // namespace korva::com::detail
