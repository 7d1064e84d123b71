#include "host/run.h"

#include <time.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <ostream>
#include <vector>

#include "plugin/extended.h"

namespace korva {
namespace {

struct Output {
    std::string Name;  // UTF-8, for CSV and the table
    long double Last = 0.0L;
    long double Min = std::numeric_limits<long double>::infinity();
    long double Max = -std::numeric_limits<long double>::infinity();
};

struct RunBlock {
    HostBlock* Block = nullptr;
    // Room for every output the block may have, whatever it reports.
    std::vector<uint8_t> Outputs = std::vector<uint8_t>(abi::kMaxOutputs * abi::kOutputSlotSize);
    std::vector<uint8_t> Inputs = std::vector<uint8_t>(abi::kOutputSlotSize);
    std::vector<Output> Values;
};

void SleepUntil(const timespec& deadline) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

timespec AddSeconds(timespec start, double seconds) {
    const double whole = std::floor(seconds);
    long nanos = start.tv_nsec + static_cast<long>((seconds - whole) * 1e9);
    start.tv_sec += static_cast<time_t>(whole) + nanos / 1000000000L;
    start.tv_nsec = nanos % 1000000000L;
    return start;
}

std::string Pad(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

class LiveTable {
  public:
    explicit LiveTable(std::ostream& out) : out_(out) {}
    void Draw(const std::vector<RunBlock>& blocks, uint64_t step, uint64_t steps, double time) {
        if (lines_ > 0)
            out_ << "\x1b[" << lines_ << "A";
        lines_ = 0;
        const int width = 30;
        const int done = steps ? static_cast<int>(width * step / steps) : width;
        Line("[" + std::string(done, '#') + std::string(width - done, '.') + "] step " +
             std::to_string(step) + "/" + std::to_string(steps) + "  t = " + FormatValue(time) +
             " s");
        for (const RunBlock& block : blocks)
            for (const Output& output : block.Values)
                Line("  " + Pad(output.Name, 44) + " " + FormatValue(output.Last));
        out_.flush();
    }

  private:
    void Line(const std::string& text) {
        out_ << "\r\x1b[K" << text << "\n";
        ++lines_;
    }
    std::ostream& out_;
    int lines_ = 0;
};

}  // namespace

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string FormatValue(long double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value));
    return std::string(buffer, result.ptr);
}

int RunModel(Model& model, const RunOptions& options, std::ostream& out, std::ostream& err) {
    BlockLibrary& library = model.Library();
    if (model.Blocks().empty()) {
        err << "korva: the model has no blocks to run\n";
        return 1;
    }
    std::vector<RunBlock> blocks;
    for (auto& block : model.Blocks()) {
        if (library.CanSimulateDLL(block->Record.get()) == 0) {
            err << "korva: block \"" << Shown(block->Name)
                << "\" cannot simulate (CanSimulateDLL answered 0; for the OPC input block: no "
                   "server is set)\n";
            return 1;
        }
        RunBlock run;
        run.Block = block.get();
        for (const std::string& name : model.OutputNames(*block)) {
            Output output;
            output.Name =
                model.Blocks().size() > 1 ? Shown(block->Name) + "/" + Shown(name) : Shown(name);
            run.Values.push_back(output);
        }
        blocks.push_back(std::move(run));
    }

    std::ofstream csvFile;
    std::ostream* csv = nullptr;
    if (options.CsvPath == "-") {
        csv = &std::cout;
    } else if (!options.CsvPath.empty()) {
        csvFile.open(options.CsvPath, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!csvFile) {
            err << "korva: cannot write the CSV file \"" << options.CsvPath << "\"\n";
            return 1;
        }
        csv = &csvFile;
    }
    if (csv) {
        *csv << "time";
        for (const RunBlock& block : blocks)
            for (const Output& output : block.Values)
                *csv << ',' << CsvField(output.Name);
        *csv << '\n';
    }

    for (RunBlock& block : blocks)
        library.InitSimulationDLL(block.Block->Record.get(), block.Inputs.data(),
                                  block.Outputs.data());

    std::unique_ptr<LiveTable> table;
    if (options.LiveTable)
        table = std::make_unique<LiveTable>(out);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const auto wallStart = std::chrono::steady_clock::now();
    auto lastDraw = wallStart - std::chrono::seconds(1);
    const long double step = options.StepSize;

    uint64_t done = 0;
    for (; done < options.Steps; ++done) {
        if (options.Stop && options.Stop->load())
            break;
        const double time = static_cast<double>(done) * options.StepSize;
        if (options.Realtime)
            SleepUntil(AddSeconds(start, time));
        for (RunBlock& block : blocks) {
            library.SimulateDLL2(step, step, block.Block->Record.get(), block.Inputs.data(),
                                 block.Outputs.data());
            for (size_t k = 0; k < block.Values.size(); ++k) {
                Output& output = block.Values[k];
                output.Last =
                    virelon::FromExtended80(block.Outputs.data() + abi::OutputSlotOffset(k));
                output.Min = std::min(output.Min, output.Last);
                output.Max = std::max(output.Max, output.Last);
            }
        }
        if (csv) {
            *csv << FormatValue(time);
            for (const RunBlock& block : blocks)
                for (const Output& output : block.Values)
                    *csv << ',' << FormatValue(output.Last);
            *csv << '\n';
        }
        const auto now = std::chrono::steady_clock::now();
        // A fast run redraws ten times a second, not at every step.
        if (table && (options.Realtime || now - lastDraw >= std::chrono::milliseconds(100) ||
                      done + 1 == options.Steps)) {
            table->Draw(blocks, done + 1, options.Steps, time);
            lastDraw = now;
        }
    }

    for (RunBlock& block : blocks)
        library.EndSimulationDLL2(block.Block->Record.get());
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    int code = 0;
    if (csv) {
        csv->flush();
        if (!*csv) {
            err << "korva: writing the CSV output failed\n";
            code = 1;
        }
    }
    std::ostream& summary = options.CsvPath == "-" ? err : out;
    summary << (done < options.Steps ? "Stopped after " : "Ran ") << done << " steps of "
            << FormatValue(options.StepSize) << " s (" << FormatValue(done * options.StepSize)
            << " s simulated) in " << FormatValue(std::round(wall * 1000.0) / 1000.0) << " s.\n";
    for (const RunBlock& block : blocks) {
        for (const Output& output : block.Values) {
            summary << "  " << Pad(output.Name, 44) << " last " << FormatValue(output.Last);
            if (done > 0)
                summary << "  min " << FormatValue(output.Min) << "  max "
                        << FormatValue(output.Max);
            summary << '\n';
        }
    }
    if (!options.CsvPath.empty() && options.CsvPath != "-")
        summary << "CSV: " << options.CsvPath << '\n';
    return code;
}

}  // namespace korva
