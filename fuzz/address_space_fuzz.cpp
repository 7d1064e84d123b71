// The address-space file parser on arbitrary bytes: it must never crash, every refusal must name
// its line, and every item it accepts must be well-formed, findable, in the branch tree, and give
// a value of its type.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "servers/opcsim/address_space_file.h"
#include "servers/opcsim/device.h"
#include "servers/opcsim/item_id.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace opcsim;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const AddressSpaceResult parsed = ParseAddressSpace(text);
    if (!parsed.space) {
        if (parsed.error.rfind("line ", 0) != 0)
            std::abort();
        const unsigned long line = std::strtoul(parsed.error.c_str() + 5, nullptr, 10);
        size_t lines = 1;
        for (char c : text)
            lines += c == '\n';
        if (line < 1 || line > lines)
            std::abort();
        return 0;
    }
    const AddressSpace& space = *parsed.space;
    size_t leaves = 0;
    for (const AddressSpace::Branch& branch : space.Branches())
        leaves += branch.leaves.size();
    if (leaves != space.Items().size())
        std::abort();
    Device device(parsed.space, std::make_shared<ManualClock>(Nanos{12345}));
    for (size_t i = 0; i < space.Items().size(); ++i) {
        const ItemDef& item = space.Item(i);
        if (!IsWellFormedItemId(item.id, OPC_NS_HIERARCHIAL) || space.Find(item.id) != i)
            std::abort();
        if (!IsItemType(item.type) ||
            (item.signal != Signal::None && (item.access & OPC_WRITEABLE)))
            std::abort();
        Value value;
        device.Sample(i, Nanos{987654321}, value.ptr());
        if (value.get().vt != item.type)
            std::abort();
    }
    return 0;
}
