#include "host/commands.h"

#include <unistd.h>

#include <sys/stat.h>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ostream>

#include "host/block_options.h"
#include "host/model.h"
#include "host/run.h"
#include "platform/text/text.h"

namespace korva {
namespace {

std::atomic<bool> stopRequested{false};
HostWindowFactory hostWindowFactory;

// What `korva edit` puts into the block's OutputCount before the dialog: the block writes the
// count (at most 50) exactly when the user confirms the dialog, so finding this value again
// afterwards means the dialog was cancelled or never shown.
constexpr uint8_t kNotConfirmed = 0xFF;

constexpr char kUsage[] =
    "Usage: korva COMMAND [ARGS]\n"
    "The stand-in simulation host: builds models of user blocks and runs them.\n"
    "\n"
    "Commands:\n"
    "  new MODEL --library LIB --name NAME [BLOCK OPTIONS] [--name NAME [BLOCK OPTIONS]]...\n"
    "                   create a model with one or more blocks\n"
    "  set MODEL [--block NAME] BLOCK OPTIONS\n"
    "                   change a block's parameters\n"
    "  info MODEL       show the library, the blocks and their outputs\n"
    "  run MODEL [--steps N | --duration S] [--step S] [--realtime] [--csv FILE]\n"
    "                   run a simulation\n"
    "  edit MODEL [--block NAME]\n"
    "                   open a block's parameter dialog\n"
    "\n"
    "Run \"korva COMMAND --help\" for the options of a command.\n";

constexpr char kBlockOptionsHelp[] =
    "Block options (for the OPC input block library, libvirelon.so; the host builds the block's\n"
    "parameter record and hands it to the block's ReadFromFile):\n"
    "  --server NAME        OPC server: a ProgID, or a class identifier \"{...}\"\n"
    "  --machine NAME       machine running the server (default: this computer)\n"
    "  --item ID            item identifier; repeat for more items (at most 50). In \"set\" the\n"
    "                       items given replace the block's list\n"
    "  --add-item ID        append an item to the block's list\n"
    "  --clear-items        remove every item\n"
    "  --log, --no-log      write a run log beside the block library\n"
    "  --check-state, --no-check-state\n"
    "                       read items only while the server reports the running state\n"
    "  --pause auto|MS      pause between reads: half the step size, or MS milliseconds\n"
    "  --update-rate MS     update rate requested for the OPC group\n";

constexpr char kNewHelp[] =
    "Usage: korva new MODEL --library LIB --name NAME [BLOCK OPTIONS] [--name NAME ...] "
    "[--force]\n"
    "Creates the model file MODEL with one block for each --name; the block options after a\n"
    "--name configure that block. LIB is a path, or a bare file name looked for beside korva\n"
    "first and then on the loader's search path. An existing MODEL is replaced only with\n"
    "--force.\n\n";

constexpr char kSetHelp[] =
    "Usage: korva set MODEL [--block NAME] BLOCK OPTIONS\n"
    "Changes the parameters of a block (--block may be left out when the model has one block)\n"
    "and saves the model.\n\n";

constexpr char kInfoHelp[] =
    "Usage: korva info MODEL\n"
    "Shows the model's block library (its name from GetDLLName), and for every block whether it\n"
    "can simulate, its outputs and, for the OPC input block, its parameters.\n";

constexpr char kRunHelp[] =
    "Usage: korva run MODEL [--steps N | --duration S] [--step S] [--realtime] [--csv FILE]\n"
    "Runs a simulation of every block: InitSimulationDLL, one SimulateDLL2 per step with the\n"
    "step size as both time values, EndSimulationDLL2.\n"
    "  --steps N       number of steps (default 10)\n"
    "  --duration S    simulated seconds; the steps are those for t = 0, step, ... below S\n"
    "  --step S        step size in seconds (default 0.1)\n"
    "  --realtime      pace the steps with the clock\n"
    "  --csv FILE      write every step's outputs as CSV (\"-\": standard output)\n"
    "  --quiet         no live table\n"
    "On a terminal a live table shows the outputs; a summary ends the run. Ctrl-C ends the run\n"
    "early, cleanly.\n";

constexpr char kEditHelp[] =
    "Usage: korva edit MODEL [--block NAME]\n"
    "Opens a block's parameter dialog (CallParameterDialogDLL) on a main window of korva's own\n"
    "and saves the model when the dialog was confirmed with OK; Cancel leaves the model file as\n"
    "it was. --block may be left out when the model has one block. Needs a display.\n";

class Args {
  public:
    explicit Args(const std::vector<std::string>& args) : args_(args) {}
    bool More() const { return at_ < args_.size(); }
    const std::string& Peek() const { return args_[at_]; }
    std::string Next() { return args_[at_++]; }
    bool Value(const std::string& option, std::string& value, std::ostream& err) {
        if (!More()) {
            err << "korva: " << option << " needs a value\n";
            return false;
        }
        value = Next();
        return true;
    }

  private:
    const std::vector<std::string>& args_;
    size_t at_ = 0;
};

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h")
            return true;
    return false;
}

bool ParseInt32(const std::string& text, int32_t& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseUInt64(const std::string& text, uint64_t& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseSeconds(const std::string& text, double& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() &&
           std::isfinite(value) && value > 0.0;
}

enum class OptionResult { Taken, NotMine, Bad };

// Takes one block option from `args` into `options`.
OptionResult TakeBlockOption(Args& args, BlockOptions& options, std::ostream& err) {
    const std::string option = args.Peek();
    std::string value;
    auto needValue = [&]() {
        args.Next();
        return args.Value(option, value, err);
    };
    auto milliseconds = [&](std::optional<int32_t>& field) {
        if (!needValue())
            return OptionResult::Bad;
        int32_t ms = 0;
        if (!ParseInt32(value, ms)) {
            err << "korva: " << option << " needs a whole number of milliseconds, not \"" << value
                << "\"\n";
            return OptionResult::Bad;
        }
        field = ms;
        return OptionResult::Taken;
    };
    if (option == "--server") {
        if (!needValue())
            return OptionResult::Bad;
        options.Server = value;
    } else if (option == "--machine") {
        if (!needValue())
            return OptionResult::Bad;
        options.Machine = value;
    } else if (option == "--item") {
        if (!needValue())
            return OptionResult::Bad;
        if (!options.Items)
            options.Items.emplace();
        options.Items->push_back(value);
    } else if (option == "--add-item") {
        if (!needValue())
            return OptionResult::Bad;
        options.AddItems.push_back(value);
    } else if (option == "--clear-items") {
        args.Next();
        if (!options.Items)
            options.Items.emplace();
    } else if (option == "--log" || option == "--no-log") {
        args.Next();
        options.WriteLogFile = option == "--log" ? 1 : 0;
    } else if (option == "--check-state" || option == "--no-check-state") {
        args.Next();
        options.CheckServerState = option == "--check-state" ? 1 : 0;
    } else if (option == "--pause") {
        if (!needValue())
            return OptionResult::Bad;
        if (value == "auto") {
            options.DelayMode = 0;
        } else {
            int32_t ms = 0;
            if (!ParseInt32(value, ms) || ms < 0) {
                err << "korva: --pause needs \"auto\" or milliseconds (0 or more), not \"" << value
                    << "\"\n";
                return OptionResult::Bad;
            }
            options.DelayMode = 1;
            options.DelayTime = ms;
        }
    } else if (option == "--update-rate") {
        return milliseconds(options.GroupUpdateRate);
    } else {
        return OptionResult::NotMine;
    }
    return OptionResult::Taken;
}

bool LoadModel(Model& model, const std::string& path, std::ostream& err) {
    std::string error;
    if (!model.Load(path, error)) {
        err << "korva: " << error << "\n";
        return false;
    }
    return true;
}

HostBlock* ChooseBlock(Model& model, const std::string& name, std::ostream& err) {
    if (name.empty()) {
        if (model.Blocks().size() == 1)
            return model.Blocks().front().get();
        err << "korva: the model has " << model.Blocks().size()
            << " blocks; name one with --block\n";
        return nullptr;
    }
    HostBlock* block = model.FindBlock(Utf8ToAnsi(name));
    if (!block)
        err << "korva: the model has no block \"" << name << "\"\n";
    return block;
}

int CommandNew(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    if (WantsHelp(argv)) {
        out << kNewHelp << kBlockOptionsHelp;
        return 0;
    }
    Args args(argv);
    std::string path, library;
    bool force = false;
    std::vector<std::pair<std::string, BlockOptions>> blocks;
    while (args.More()) {
        const std::string arg = args.Peek();
        if (arg == "--library") {
            args.Next();
            if (!args.Value(arg, library, err))
                return 2;
        } else if (arg == "--name") {
            args.Next();
            std::string name;
            if (!args.Value(arg, name, err))
                return 2;
            blocks.emplace_back(name, BlockOptions{});
        } else if (arg == "--force") {
            args.Next();
            force = true;
        } else if (arg.rfind("--", 0) == 0) {
            if (blocks.empty()) {
                err << "korva: " << arg << " must follow the --name of the block it configures\n";
                return 2;
            }
            const OptionResult result = TakeBlockOption(args, blocks.back().second, err);
            if (result == OptionResult::Bad)
                return 2;
            if (result == OptionResult::NotMine) {
                err << "korva: new: unknown option " << arg << "\n";
                return 2;
            }
        } else if (path.empty()) {
            path = args.Next();
        } else {
            err << "korva: new: unexpected argument \"" << arg << "\"\n";
            return 2;
        }
    }
    if (path.empty() || library.empty() || blocks.empty()) {
        err << "korva: new needs MODEL, --library and at least one --name\n" << kNewHelp;
        return 2;
    }
    if (!force && ::access(path.c_str(), F_OK) == 0) {
        err << "korva: \"" << path << "\" exists; use --force to replace it\n";
        return 1;
    }
    Model model;
    std::string error;
    if (!model.Create(path, Utf8ToAnsi(library), error)) {
        err << "korva: " << error << "\n";
        return 1;
    }
    for (const auto& [name, options] : blocks) {
        const std::string ansi = Utf8ToAnsi(name);
        if (name.empty() || name.find_first_of("\r\n") != std::string::npos ||
            AnsiToUtf8(ansi) != name) {
            err << "korva: a block name must be one line of text in the system code page ("
                << AnsiCodePage() << ")\n";
            return 2;
        }
        if (model.FindBlock(ansi)) {
            err << "korva: two blocks are named \"" << name << "\"\n";
            return 2;
        }
        HostBlock& block = model.AddBlock(ansi);
        if (options.Any() && !ApplyBlockOptions(model, block, options, error)) {
            err << "korva: block \"" << name << "\": " << error << "\n";
            return 1;
        }
    }
    if (!model.Save(path, error)) {
        err << "korva: " << error << "\n";
        return 1;
    }
    out << "Created " << path << " with " << blocks.size()
        << (blocks.size() == 1 ? " block" : " blocks") << " of \"" << model.Library().GetDLLName()
        << "\".\n";
    return 0;
}

int CommandSet(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    if (WantsHelp(argv)) {
        out << kSetHelp << kBlockOptionsHelp;
        return 0;
    }
    Args args(argv);
    std::string path, blockName;
    BlockOptions options;
    while (args.More()) {
        const std::string arg = args.Peek();
        if (arg == "--block") {
            args.Next();
            if (!args.Value(arg, blockName, err))
                return 2;
        } else if (arg.rfind("--", 0) == 0) {
            const OptionResult result = TakeBlockOption(args, options, err);
            if (result == OptionResult::Bad)
                return 2;
            if (result == OptionResult::NotMine) {
                err << "korva: set: unknown option " << arg << "\n";
                return 2;
            }
        } else if (path.empty()) {
            path = args.Next();
        } else {
            err << "korva: set: unexpected argument \"" << arg << "\"\n";
            return 2;
        }
    }
    if (path.empty() || !options.Any()) {
        err << "korva: set needs MODEL and at least one block option\n" << kSetHelp;
        return 2;
    }
    Model model;
    if (!LoadModel(model, path, err))
        return 1;
    HostBlock* block = ChooseBlock(model, blockName, err);
    if (!block)
        return 1;
    std::string error;
    if (!ApplyBlockOptions(model, *block, options, error)) {
        err << "korva: block \"" << Shown(block->Name) << "\": " << error << "\n";
        return 1;
    }
    if (!model.Save(path, error)) {
        err << "korva: " << error << "\n";
        return 1;
    }
    out << "Saved " << path << ".\n";
    return 0;
}

std::string Milliseconds(int32_t ms) {
    return std::to_string(ms) + " ms";
}

int CommandInfo(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    if (WantsHelp(argv)) {
        out << kInfoHelp;
        return 0;
    }
    if (argv.size() != 1) {
        err << "korva: info needs exactly one MODEL\n" << kInfoHelp;
        return 2;
    }
    Model model;
    if (!LoadModel(model, argv[0], err))
        return 1;
    BlockLibrary& library = model.Library();
    out << "Model:   " << argv[0] << "\n"
        << "Library: " << Shown(library.GetDLLName()) << " (" << library.Path() << ")\n"
        << "Blocks:  " << model.Blocks().size() << "\n";
    for (auto& block : model.Blocks()) {
        out << "\nBlock \"" << Shown(block->Name) << "\"\n"
            << "  Can simulate: "
            << (library.CanSimulateDLL(block->Record.get()) ? "yes" : "no (no server set)") << "\n";
        const std::vector<std::string> names = model.OutputNames(*block);
        out << "  Outputs: " << names.size() << "\n";
        for (size_t k = 0; k < names.size(); ++k)
            out << "    " << (k + 1 < 10 ? " " : "") << k + 1 << "  " << Shown(names[k]) << "\n";
        virelon::ParameterRecord record;
        if (ReadBlockRecord(model, *block, record)) {
            out << "  Machine: "
                << (record.Machine.empty() ? "(this computer)" : Shown(record.Machine)) << "\n"
                << "  Server: " << (record.Server.empty() ? "(none)" : Shown(record.Server)) << "\n"
                << "  Items: " << record.Count << "\n";
            for (int32_t k = 0; k < record.Count; ++k)
                out << "    " << Shown(record.ItemIDs[k]) << "\n";
            out << "  Run log: " << (record.WriteLogFile ? "on" : "off") << "\n"
                << "  Server state check: " << (record.CheckServerState ? "on" : "off") << "\n"
                << "  Pause: "
                << (record.DelayMode == 0 ? "automatic (half the step size)"
                                          : "fixed, " + Milliseconds(record.DelayTime))
                << "\n"
                << "  Group update rate: " << Milliseconds(record.GroupUpdateRate) << "\n";
        }
    }
    return 0;
}

int CommandRun(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    if (WantsHelp(argv)) {
        out << kRunHelp;
        return 0;
    }
    Args args(argv);
    std::string path;
    RunOptions options;
    bool haveSteps = false, quiet = false;
    double duration = 0.0;
    while (args.More()) {
        const std::string arg = args.Next();
        std::string value;
        if (arg == "--steps") {
            if (!args.Value(arg, value, err))
                return 2;
            if (!ParseUInt64(value, options.Steps) || options.Steps == 0) {
                err << "korva: --steps needs a whole number above 0, not \"" << value << "\"\n";
                return 2;
            }
            haveSteps = true;
        } else if (arg == "--duration") {
            if (!args.Value(arg, value, err))
                return 2;
            if (!ParseSeconds(value, duration)) {
                err << "korva: --duration needs seconds above 0, not \"" << value << "\"\n";
                return 2;
            }
        } else if (arg == "--step") {
            if (!args.Value(arg, value, err))
                return 2;
            if (!ParseSeconds(value, options.StepSize)) {
                err << "korva: --step needs seconds above 0, not \"" << value << "\"\n";
                return 2;
            }
        } else if (arg == "--realtime") {
            options.Realtime = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--csv") {
            if (!args.Value(arg, options.CsvPath, err))
                return 2;
        } else if (arg.rfind("--", 0) == 0) {
            err << "korva: run: unknown option " << arg << "\n";
            return 2;
        } else if (path.empty()) {
            path = arg;
        } else {
            err << "korva: run: unexpected argument \"" << arg << "\"\n";
            return 2;
        }
    }
    if (path.empty()) {
        err << "korva: run needs a MODEL\n" << kRunHelp;
        return 2;
    }
    if (haveSteps && duration > 0.0) {
        err << "korva: give either --steps or --duration, not both\n";
        return 2;
    }
    if (duration > 0.0) {
        // The steps whose start time lies below the duration; a whisker of rounding is ignored.
        const double steps = std::ceil(duration / options.StepSize - 1e-9);
        if (steps > 1e12) {
            err << "korva: --duration " << duration << " with --step " << options.StepSize
                << " gives too many steps\n";
            return 2;
        }
        options.Steps = std::max<uint64_t>(1, static_cast<uint64_t>(steps));
    }
    options.LiveTable = !quiet && options.CsvPath != "-" && ::isatty(STDOUT_FILENO);
    options.Stop = &stopRequested;
    Model model;
    if (!LoadModel(model, path, err))
        return 1;
    return RunModel(model, options, out, err);
}

int CommandEdit(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    if (WantsHelp(argv)) {
        out << kEditHelp;
        return 0;
    }
    Args args(argv);
    std::string path, blockName;
    while (args.More()) {
        const std::string arg = args.Next();
        if (arg == "--block") {
            if (!args.Value(arg, blockName, err))
                return 2;
        } else if (arg.rfind("--", 0) == 0) {
            err << "korva: edit: unknown option " << arg << "\n";
            return 2;
        } else if (path.empty()) {
            path = arg;
        } else {
            err << "korva: edit: unexpected argument \"" << arg << "\"\n";
            return 2;
        }
    }
    if (path.empty()) {
        err << "korva: edit needs a MODEL\n" << kEditHelp;
        return 2;
    }
    // A model that cannot be read is reported as such, in every build.
    if (::access(path.c_str(), R_OK) != 0) {
        err << "korva: cannot open the model file \"" << path << "\": " << std::strerror(errno)
            << "\n";
        return 1;
    }
    if (!hostWindowFactory) {
        err << "korva: edit: the parameter dialog is not available in this build\n";
        return 1;
    }
    // The main window exists before the blocks do, so that InitUserDLL finds it in HostWindow
    // and the block's dialog is owned by it. It goes after the model, whose blocks are disposed
    // of first.
    std::string error;
    const std::unique_ptr<HostWindow> window = hostWindowFactory("korva - " + path, error);
    if (!window) {
        err << "korva: edit: " << error << "\n";
        return 1;
    }
    Model model;
    model.SetHostWindow(window->Handle());
    if (!LoadModel(model, path, err))
        return 1;
    HostBlock* block = ChooseBlock(model, blockName, err);
    if (!block)
        return 1;
    const uint8_t outputCount = block->IO.OutputCount;
    block->IO.OutputCount = kNotConfirmed;
    model.Library().CallParameterDialogDLL(block->Record.get(), &block->IO);
    if (block->IO.OutputCount == kNotConfirmed) {
        block->IO.OutputCount = outputCount;
        out << "Cancelled; " << path << " is unchanged.\n";
        return 0;
    }
    if (!model.Save(path, error)) {
        err << "korva: " << error << "\n";
        return 1;
    }
    out << "Saved " << path << ".\n";
    return 0;
}

}  // namespace

void SetHostWindowFactory(HostWindowFactory factory) {
    hostWindowFactory = std::move(factory);
}

void RequestStop() {
    stopRequested.store(true);
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "new")
        return CommandNew(rest, out, err);
    if (command == "set")
        return CommandSet(rest, out, err);
    if (command == "info")
        return CommandInfo(rest, out, err);
    if (command == "run")
        return CommandRun(rest, out, err);
    if (command == "edit")
        return CommandEdit(rest, out, err);
    err << "korva: unknown command \"" << command << "\"\n" << kUsage;
    return 2;
}

}  // namespace korva
