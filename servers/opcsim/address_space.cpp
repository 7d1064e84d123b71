#include "servers/opcsim/address_space.h"

#include "servers/opcsim/item_id.h"

namespace opcsim {

AddressSpace::AddressSpace(OPCNAMESPACETYPE organization) : organization_(organization) {
    branches_.push_back(Branch{});
    branchIndex_.emplace(std::u16string(), kRoot);
}

bool AddressSpace::Add(ItemDef item) {
    if (!IsWellFormedItemId(item.id, organization_))
        return false;
    if (itemIndex_.find(std::u16string_view(item.id)) != itemIndex_.end())
        return false;
    const size_t index = items_.size();
    size_t branch = kRoot;
    if (organization_ == OPC_NS_HIERARCHIAL) {
        const size_t dot = item.id.rfind(u'.');
        if (dot != std::u16string::npos)
            branch = BranchFor(std::u16string_view(item.id).substr(0, dot));
    }
    itemIndex_.emplace(item.id, index);
    items_.push_back(std::move(item));
    branches_[branch].leaves.push_back(index);
    return true;
}

size_t AddressSpace::BranchFor(std::u16string_view path) {
    if (auto it = branchIndex_.find(path); it != branchIndex_.end())
        return it->second;
    const size_t dot = path.rfind(u'.');
    const size_t parent = dot == std::u16string_view::npos ? kRoot : BranchFor(path.substr(0, dot));
    Branch branch;
    branch.name = dot == std::u16string_view::npos ? path : path.substr(dot + 1);
    branch.path = path;
    branch.parent = parent;
    const size_t index = branches_.size();
    branches_.push_back(std::move(branch));
    branches_[parent].branches.push_back(index);
    branchIndex_.emplace(std::u16string(path), index);
    return index;
}

std::optional<size_t> AddressSpace::Find(std::u16string_view id) const {
    auto it = itemIndex_.find(id);
    if (it == itemIndex_.end())
        return std::nullopt;
    return it->second;
}

std::u16string_view AddressSpace::LeafName(size_t index) const {
    std::u16string_view id = items_[index].id;
    if (organization_ != OPC_NS_HIERARCHIAL)
        return id;
    const size_t dot = id.rfind(u'.');
    return dot == std::u16string_view::npos ? id : id.substr(dot + 1);
}

std::optional<size_t> AddressSpace::FindBranch(std::u16string_view path) const {
    auto it = branchIndex_.find(path);
    if (it == branchIndex_.end())
        return std::nullopt;
    return it->second;
}

std::optional<size_t> AddressSpace::FindChildBranch(size_t parent, std::u16string_view name) const {
    const Branch& p = branches_[parent];
    if (p.path.empty())
        return FindBranch(name);
    std::u16string path = p.path;
    path += u'.';
    path += name;
    return FindBranch(path);
}

}  // namespace opcsim
