// The lifecycle and description of block instances: what the entry points that create, describe
// and dispose of an instance do, on the host's thread.
#pragma once

#include <cstdint>

#include "host/block_abi.h"
#include "plugin/virelon_data.h"

namespace virelon {

// The library's constant name, "OPC Client Input"; the same address on every call.
const char* BlockLibraryName();

// A new instance with the defaults and the tag tree cache path. The caller owns it.
TVirelonData* CreateInstance();
// Deletes the tag tree cache file if there is one, then frees the instance (null: nothing).
void DisposeInstance(TVirelonData* data);

// 1 when the instance has a server name, else 0.
int32_t CanSimulate(const TVirelonData& data);

// OutputCount = Count and the names of outputs 1..Count (item identifiers cut to 40 characters,
// NUL-terminated). InputCount and the slots from Count on are not touched.
void DescribeOutputs(const TVirelonData& data, korva::abi::THostIOInfo& io);

// The owner window of every window the library opens (0: none). One setting for the library.
void SetOwnerWindow(korva::abi::HostWindowHandle window);
korva::abi::HostWindowHandle OwnerWindow();

// The instance a host record points at (null when none).
inline TVirelonData* InstanceOf(const korva::abi::THostBlock* block) {
    return block ? static_cast<TVirelonData*>(block->Instance) : nullptr;
}

// Sets up the library's own settings when it is loaded (number format, component library) and
// releases them when it is unloaded.
void StartLibrary();
void EndLibrary();

}  // namespace virelon
