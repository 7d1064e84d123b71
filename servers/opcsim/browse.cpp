#include "servers/opcsim/browse.h"

#include "servers/opcsim/item_id.h"

namespace opcsim {
namespace {

bool ItemPasses(const ItemDef& item, VARTYPE dataType, DWORD accessRights) {
    if (dataType != VT_EMPTY && item.type != dataType)
        return false;
    return (item.access & accessRights) == accessRights;
}

std::u16string Join(std::u16string_view path, std::u16string_view name) {
    std::u16string id(path);
    if (!id.empty())
        id += u'.';
    id += name;
    return id;
}

}  // namespace

HRESULT ChangeBrowsePosition(const AddressSpace& space, size_t& position,
                             OPCBROWSEDIRECTION direction, std::u16string_view name) {
    if (space.Organization() == OPC_NS_FLAT) {
        if (direction == OPC_BROWSE_TO && name.empty()) {
            position = AddressSpace::kRoot;
            return S_OK;
        }
        return E_FAIL;
    }
    switch (direction) {
        case OPC_BROWSE_UP:
            if (position == AddressSpace::kRoot)
                return E_FAIL;
            position = space.BranchAt(position).parent;
            return S_OK;
        case OPC_BROWSE_DOWN: {
            if (name.empty())
                return E_INVALIDARG;
            std::optional<size_t> child = space.FindChildBranch(position, name);
            if (!child)
                return E_INVALIDARG;
            position = *child;
            return S_OK;
        }
        case OPC_BROWSE_TO: {
            std::optional<size_t> branch = space.FindBranch(name);
            if (!branch)
                return E_INVALIDARG;
            position = *branch;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT BrowseNames(const AddressSpace& space, size_t position, OPCBROWSETYPE type,
                    std::u16string_view filter, VARTYPE dataType, DWORD accessRights,
                    std::vector<std::u16string>& names) {
    names.clear();
    const AddressSpace::Branch& here = space.BranchAt(position);
    switch (type) {
        case OPC_BRANCH:
            for (size_t b : here.branches) {
                const std::u16string& name = space.BranchAt(b).name;
                if (MatchesFilter(name, filter))
                    names.push_back(name);
            }
            break;
        case OPC_LEAF:
            for (size_t i : here.leaves) {
                const std::u16string_view name = space.LeafName(i);
                if (ItemPasses(space.Item(i), dataType, accessRights) &&
                    MatchesFilter(name, filter))
                    names.emplace_back(name);
            }
            break;
        case OPC_FLAT: {
            // Everything below a branch is what starts with its path and a dot.
            const std::u16string prefix = here.path.empty() ? std::u16string() : here.path + u'.';
            for (const ItemDef& item : space.Items()) {
                if (!prefix.empty() &&
                    std::u16string_view(item.id).substr(0, prefix.size()) != prefix)
                    continue;
                if (ItemPasses(item, dataType, accessRights) && MatchesFilter(item.id, filter))
                    names.push_back(item.id);
            }
            break;
        }
        default:
            return E_INVALIDARG;
    }
    return names.empty() ? S_FALSE : S_OK;
}

HRESULT FullItemId(const AddressSpace& space, size_t position, std::u16string_view name,
                   std::u16string& id) {
    const AddressSpace::Branch& here = space.BranchAt(position);
    if (name.empty()) {
        id = here.path;
        return S_OK;
    }
    std::u16string candidate = Join(here.path, name);
    if (space.Find(candidate) || space.FindBranch(candidate)) {
        id = std::move(candidate);
        return S_OK;
    }
    return E_INVALIDARG;
}

}  // namespace opcsim
