// The items a server offers: their identifiers, types, access rights and what gives them their
// values, with the branch tree that browsing walks. Built once, then only read: server objects
// of the same configuration share one address space.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "servers/opcsim/item_value.h"

namespace opcsim {

// What computes a simulated item's value from the time since the server started.
enum class Signal : uint8_t {
    None,     // a register: holds what was last written (or its initial value)
    Sine,     // offset + amplitude * sin(2 pi t / period)
    Ramp,     // offset + amplitude * (t mod period) / period
    Square,   // offset + amplitude in the first half of each period, offset - amplitude after
    Random,   // offset + amplitude * r, r in [0, 1) drawn anew for every instant
    Counter,  // offset + number of whole periods since the start
    Toggle,   // true in the second half of each period (flips every period / 2)
};

struct SignalShape {
    double period = 10.0;  // seconds, > 0
    double amplitude = 1.0;
    double offset = 0.0;
};

// Items with a meaning for the server itself.
enum class Special : uint8_t {
    None,
    ServerState,  // VT_I4: the server state; writes of 1..6 set it
    Shutdown,     // VT_BSTR: a write sends the shutdown notice with the written text
};

struct ItemDef {
    std::u16string id;
    VARTYPE type = VT_EMPTY;
    DWORD access = OPC_READABLE;
    Signal signal = Signal::None;
    SignalShape shape;
    Special special = Special::None;
    Value initial;  // registers and special items
};

// Transparent hashing, so look-ups take a u16string_view without building a string.
struct TextHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
};
struct TextEqual {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const { return a == b; }
};
template <class V>
using TextMap = std::unordered_map<std::u16string, V, TextHash, TextEqual>;

class AddressSpace {
  public:
    // In a hierarchical space "." splits an identifier into branch names and the item's name.
    struct Branch {
        std::u16string name;  // as the parent lists it; "" for the root
        std::u16string path;  // fully qualified ("Signals", "Plant.Line1"); "" for the root
        size_t parent = 0;
        std::vector<size_t> branches;  // child branches, in the order they first appeared
        std::vector<size_t> leaves;    // items directly in this branch, in the order added
    };
    static constexpr size_t kRoot = 0;

    explicit AddressSpace(OPCNAMESPACETYPE organization);

    // Adds an item; false when its identifier is already taken or not well-formed for the
    // space's organisation.
    bool Add(ItemDef item);

    OPCNAMESPACETYPE Organization() const { return organization_; }
    const std::vector<ItemDef>& Items() const { return items_; }
    const ItemDef& Item(size_t index) const { return items_[index]; }
    std::optional<size_t> Find(std::u16string_view id) const;

    // The item's name within its branch: the text after the last "." (hierarchical) or the
    // whole identifier (flat).
    std::u16string_view LeafName(size_t index) const;

    // The tree; a flat space has only the root, holding every item.
    const std::vector<Branch>& Branches() const { return branches_; }
    const Branch& BranchAt(size_t index) const { return branches_[index]; }
    std::optional<size_t> FindBranch(std::u16string_view path) const;
    std::optional<size_t> FindChildBranch(size_t parent, std::u16string_view name) const;

  private:
    size_t BranchFor(std::u16string_view path);

    OPCNAMESPACETYPE organization_;
    std::vector<ItemDef> items_;
    TextMap<size_t> itemIndex_;
    std::vector<Branch> branches_;
    TextMap<size_t> branchIndex_;  // by fully qualified path
};

using SharedAddressSpace = std::shared_ptr<const AddressSpace>;

// The address spaces the server classes offer when no file replaces them.
SharedAddressSpace DefaultHierarchicalSpace();
SharedAddressSpace DefaultFlatSpace();

}  // namespace opcsim
