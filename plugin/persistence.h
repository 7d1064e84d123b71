// Storing a block's parameters in the host's model file: the parameter record (see
// parameter_record.h) at the file's current position, through the 16-bit-compatible file calls,
// so the position afterwards is exactly behind the record.
#pragma once

#include "platform/kernel/kernel.h"
#include "plugin/parameter_record.h"
#include "plugin/virelon_data.h"

namespace virelon {

// The instance's parameters as a record of the current version (801265).
ParameterRecord RecordOf(const TVirelonData& data);
// Sets the fields the record carries (by its version); the others keep their values. Item slots
// above the record's count keep their contents.
void ApplyRecord(const ParameterRecord& record, TVirelonData& data);

// Writes the record, one write call per line. Texts that a record line cannot hold are cut (at
// a CR LF, at 998 bytes), so the record always reads back. False when a write failed.
bool WriteToFile(HFILE file, const TVirelonData& data);

// Reads a record and applies it. A damaged record (see RecordStatus) changes nothing in the
// instance: it keeps what it had (the defaults, when the host loads a model), and the file
// position is where reading stopped. Outside a run only: during a run the record is read, so the
// host stays in step, but not applied, as the acquisition thread reads the configuration.
RecordStatus ReadFromFile(HFILE file, TVirelonData& data);

}  // namespace virelon
