// Block parameters from the command line. The host can hand parameters to a block only through
// its entry points, so the stand-in host builds a parameter record in the OPC input block's
// record format and passes it to the block's ReadFromFile. This is a convenience of the stand-in
// host for this block library: for a library with another record format the options are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/model.h"
#include "plugin/parameter_record.h"

namespace korva {

// Texts are UTF-8 as typed; they are stored in the system code page.
struct BlockOptions {
    std::optional<std::string> Machine;
    std::optional<std::string> Server;
    std::optional<std::vector<std::string>> Items;  // replaces the item list
    std::vector<std::string> AddItems;              // appended after that
    std::optional<uint8_t> WriteLogFile;
    std::optional<uint8_t> CheckServerState;
    std::optional<int32_t> DelayMode;
    std::optional<int32_t> DelayTime;
    std::optional<int32_t> GroupUpdateRate;

    bool Any() const {
        return Machine || Server || Items || !AddItems.empty() || WriteLogFile ||
               CheckServerState || DelayMode || DelayTime || GroupUpdateRate;
    }
};

// The block's current parameters, read back through its WriteToFile. False when the block does
// not write an OPC input block record.
bool ReadBlockRecord(Model& model, HostBlock& block, virelon::ParameterRecord& record);

// Applies the options through the block's ReadFromFile and checks, through WriteToFile, that the
// block took them. False with `error` set when an option cannot be stored (too many items, a
// text too long, a line break or a character outside the code page) or the block refused.
bool ApplyBlockOptions(Model& model, HostBlock& block, const BlockOptions& options,
                       std::string& error);

}  // namespace korva
