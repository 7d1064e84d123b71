// The address-space file: a user's own item list that replaces the default hierarchical address
// space (docs/opcsim.md describes the format). UTF-8 text, one item per line:
//
//     # comment
//     ID TYPE [ACCESS] [SOURCE]
//
// ID is a word without blanks or a "quoted text" (\" and \\ inside); TYPE one of I1 UI1 I2 UI2
// I4 UI4 I8 UI8 INT UINT R4 R8 CY DATE BSTR BOOL (VT_ prefix and case optional); ACCESS R, W or
// RW; SOURCE either an initial value, a signal (sine, ramp, square, random, counter, toggle) with
// optional period=, amplitude=, offset=, or one of the server's own items (state, shutdown).
#pragma once

#include <string>
#include <string_view>

#include "servers/opcsim/address_space.h"

namespace opcsim {

struct AddressSpaceResult {
    SharedAddressSpace space;  // null on failure
    std::string error;         // "line 12: unknown type \"VT_FOO\"", empty on success
};

// Reads the whole text; the first malformed line ends the attempt.
AddressSpaceResult ParseAddressSpace(std::string_view text);

// Reads and parses a file; errors start with the path ("plant.txt:12: ..."). While a server
// object uses the address space of a file that has not changed since (same path, size,
// modification time and inode), the file is not parsed again: the address space is shared.
AddressSpaceResult LoadAddressSpaceFile(const std::string& path);

}  // namespace opcsim
