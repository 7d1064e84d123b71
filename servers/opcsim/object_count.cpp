#include "servers/opcsim/object_count.h"

namespace opcsim {

std::atomic<long>& LiveObjectCount() {
    static std::atomic<long> count{0};
    return count;
}

std::atomic<long>& ServerLockCount() {
    static std::atomic<long> count{0};
    return count;
}

}  // namespace opcsim
