// A simulation run of a model: the entry points in their order, the step size as both time
// values, every step's outputs as CSV, a live table on a terminal and a summary at the end.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "host/model.h"

namespace korva {

struct RunOptions {
    uint64_t Steps = 10;
    double StepSize = 0.1;                    // seconds, passed as both time values of SimulateDLL2
    bool Realtime = false;                    // step k starts k step sizes after the first
    std::string CsvPath;                      // empty: no CSV; "-": standard output
    bool LiveTable = false;                   // redraw a table of the outputs on `out` (a terminal)
    const std::atomic<bool>* Stop = nullptr;  // set (by a signal) to end the run early
};

// One CSV field: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);
// A value for CSV and the table: the shortest text that reads back as the same double.
std::string FormatValue(long double value);

// Runs every block of the model. Blocks that cannot simulate are refused before anything
// starts. Answers the process exit code (0 done, 1 refused or the CSV file failed); messages go
// to `err`, the table and the summary to `out`.
int RunModel(Model& model, const RunOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korva
