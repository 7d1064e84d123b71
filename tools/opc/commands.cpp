#include "tools/opc/commands.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "opc/opc_access.h"
#include "opc/opc_server_list.h"
#include "platform/text/text.h"
#include "tools/opc/output.h"
#include "tools/opc/server_status.h"
#include "tools/opc/value_text.h"

namespace opctool {

namespace {

volatile std::sig_atomic_t g_stop = 0;

using Clock = std::chrono::steady_clock;

struct Context {
    Context(const Options& o, const ToolStreams& s)
        : options(o), out(s.out), err(s.err), in(s.in) {}

    const Options& options;
    OutputSink out;
    OutputSink err;
    int in;

    void Error(const std::string& message) { err.Write("opc: " + message + "\n"); }

    // "server "X"" or "server "X" on MACHINE", for messages.
    std::string ServerWords(const std::string& server) const {
        std::string words = "server \"" + server + "\"";
        if (!options.machine.empty())
            words += " on " + options.machine;
        return words;
    }

    // The exit status once the output is done: a reader that went away is no error.
    int Finish(int status) {
        if (out.Broken())
            return kExitOk;
        if (out.Failed()) {
            Error("cannot write the output: " + std::string(std::strerror(out.ErrorNumber())));
            return kExitError;
        }
        return status;
    }
};

// Sleeps until `deadline` in short slices so that a stop request is seen soon, whichever
// thread the signal reached. False when a stop was requested.
bool WaitUntil(Clock::time_point deadline) {
    while (!g_stop) {
        const auto now = Clock::now();
        if (now >= deadline)
            return true;
        const auto slice =
            std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(100));
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(slice).count();
        timespec pause{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        nanosleep(&pause, nullptr);  // an interruption just ends the slice early
    }
    return false;
}

bool Connect(Context& context, const std::string& server, ComPtr<IOPCServer>& out) {
    const HRESULT hr =
        ConnectToServerResult(Utf8ToUtf16(context.options.machine), Utf8ToUtf16(server), out);
    if (FAILED(hr)) {
        context.Error("cannot connect to " + context.ServerWords(server) + ": " +
                      DescribeHResult(hr));
        return false;
    }
    return true;
}

// Item identifiers from the arguments, "-" standing for the lines of standard input (blank
// lines skipped, surrounding blanks and the CR of CR LF lines removed).
bool CollectItems(Context& context, const std::vector<std::string>& arguments,
                  std::vector<std::string>& items) {
    bool stdinRead = false;
    for (const std::string& argument : arguments) {
        if (argument != "-") {
            items.push_back(argument);
            continue;
        }
        if (stdinRead)
            continue;
        stdinRead = true;
        std::string text;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(context.in, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                context.Error("cannot read item identifiers from standard input: " +
                              std::string(std::strerror(errno)));
                return false;
            }
            if (got == 0)
                break;
            text.append(buffer, static_cast<size_t>(got));
        }
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == text.npos)
                end = text.size();
            std::string_view line(text.data() + start, end - start);
            while (!line.empty() &&
                   (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
                line.remove_suffix(1);
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
                line.remove_prefix(1);
            if (!line.empty())
                items.emplace_back(line);
            start = end + 1;
        }
    }
    return true;
}

// ---- servers ------------------------------------------------------------------------------

int RunServers(Context& context) {
    const std::u16string machine = Utf8ToUtf16(context.options.machine);
    std::vector<std::u16string> names;
    std::vector<std::u16string> classIds;
    EnumerateServers(machine, names, classIds);
    if (names.empty() && !machine.empty()) {
        // Nothing listed: tell a machine without servers from one that could not be asked.
        static constexpr CATID kDataAccess20[] = {CATID_OPCDAServer20};
        TOPCServerList list(machine, kDataAccess20, true);
        list.Refresh();
        if (!list.RegistryScanned() && !list.ServerListUsed()) {
            context.Error("cannot list the servers of " + context.options.machine +
                          ": its registry cannot be reached, and its server list component: " +
                          DescribeHResult(list.ServerListResult()));
            return kExitError;
        }
    }
    RowWriter writer(context.out, context.options.format,
                     {{"NAME", "name"}, {"CLASSID", "class_id"}});
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < names.size(); ++i)
        rows.push_back({Utf16ToUtf8(names[i]), Utf16ToUtf8(classIds[i])});
    writer.WriteBatch(rows);
    return context.Finish(kExitOk);
}

// ---- browse -------------------------------------------------------------------------------

const char* OrganisationName(DWORD organisation) {
    switch (organisation) {
        case OPC_NS_HIERARCHIAL:
            return "hierarchical";
        case OPC_NS_FLAT:
            return "flat";
        default:
            return "unknown";
    }
}

int RunBrowse(Context& context) {
    const std::string& serverName = context.options.arguments[0];
    ComPtr<IOPCServer> server;
    if (!Connect(context, serverName, server))
        return kExitError;
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    const HRESULT hr = server.As(&browse);
    if (FAILED(hr)) {
        context.Error(context.ServerWords(serverName) +
                      " offers no browsing: " + DescribeHResult(hr));
        return kExitError;
    }
    browse = nullptr;

    std::vector<std::u16string> items;
    auto organisation = static_cast<OPCNAMESPACETYPE>(0);
    ServerBrowseItemIDs(server.Get(), items, organisation);

    std::string text;
    switch (context.options.format) {
        case OutputFormat::Table:
            text = "Organisation: " + std::string(OrganisationName(organisation)) + "\n";
            for (const std::u16string& item : items)
                text += Utf16ToUtf8(item) + "\n";
            break;
        case OutputFormat::Csv:
            text = "item_id\n";
            for (const std::u16string& item : items)
                text += CsvField(Utf16ToUtf8(item)) + "\n";
            break;
        case OutputFormat::Json:
            text = "{\"organisation\":" + JsonString(OrganisationName(organisation)) +
                   ",\"organisation_code\":" + std::to_string(organisation) + ",\"items\":[";
            for (size_t i = 0; i < items.size(); ++i)
                text += (i ? "," : "") + JsonString(Utf16ToUtf8(items[i]));
            text += "]}\n";
            break;
    }
    context.out.Write(text);
    return context.Finish(kExitOk);
}

// ---- read ---------------------------------------------------------------------------------

struct ReadItem {
    std::string id;
    HRESULT addResult = E_FAIL;
    OPCHANDLE handle = 0;
    HRESULT lastReported = S_OK;  // the latest failure told on standard error
};

std::string QualityCode(WORD quality) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%02X", quality);
    return buffer;
}

std::vector<RowWriter::Column> ReadColumns(OutputFormat format) {
    if (format == OutputFormat::Table)
        return {{"ITEM", "item"},
                {"VALUE", "value"},
                {"QUALITY", "quality"},
                {"TIMESTAMP", "timestamp"},
                {"RESULT", "result"}};
    return {{"ITEM", "item"},           {"VALUE", "value", true},
            {"QUALITY", "quality"},     {"QUALITY_CODE", "quality_code", true},
            {"TIMESTAMP", "timestamp"}, {"RESULT", "result"}};
}

// The row of one item; `failed` tells whether adding or reading it failed.
std::vector<std::string> ReadRow(Context& context, IOPCItemMgt* group, ReadItem& item,
                                 bool& failed) {
    const OutputFormat format = context.options.format;
    const bool table = format == OutputFormat::Table;
    HRESULT hr = item.addResult;
    OpcItemReading reading;
    if (SUCCEEDED(hr)) {
        hr = GroupReadItemState(group, item.handle,
                                context.options.device ? OPC_DS_DEVICE : OPC_DS_CACHE, reading);
        if (FAILED(hr) && hr != item.lastReported)
            context.Error("cannot read item \"" + item.id + "\": " + DescribeHResult(hr));
        item.lastReported = FAILED(hr) ? hr : S_OK;
    }
    failed = FAILED(hr);
    const std::string result = HResultName(hr);
    if (!reading.received)
        return table ? std::vector<std::string>{item.id, "", "", "", result}
                     : std::vector<std::string>{item.id, "", "", "", "", result};
    const VARIANT& value = reading.value.get();
    const WORD quality = reading.quality;
    const FILETIME& time = reading.timeStamp;
    if (table)
        return {item.id, ValueText(value),
                std::string(OpcQualityText(quality)) + " (" + QualityCode(quality) + ")",
                LocalTimeText(time), result};
    return {item.id,
            format == OutputFormat::Json ? ValueJson(value) : ValueText(value),
            OpcQualityText(quality),
            std::to_string(quality),
            UtcTimeText(time),
            result};
}

int RunRead(Context& context) {
    const Options& options = context.options;
    std::vector<std::string> ids;
    if (!CollectItems(context, {options.arguments.begin() + 1, options.arguments.end()}, ids))
        return kExitError;
    if (ids.empty()) {
        context.Error("read: no items to read");
        return kExitUsage;
    }
    const std::string& serverName = options.arguments[0];
    ComPtr<IOPCServer> server;
    if (!Connect(context, serverName, server))
        return kExitError;
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE groupHandle = 0;
    HRESULT hr =
        ServerCreateGroup(server.Get(), u"opc", -1, options.intervalMs, group, groupHandle);
    if (FAILED(hr)) {
        context.Error("cannot create a group on " + context.ServerWords(serverName) + ": " +
                      DescribeHResult(hr));
        return kExitError;
    }

    bool anyFailed = false;
    std::vector<ReadItem> items;
    for (size_t i = 0; i < ids.size(); ++i) {
        ReadItem item;
        item.id = ids[i];
        VARTYPE canonical = VT_EMPTY;
        item.addResult = GroupAddItem(group.Get(), Utf8ToUtf16(item.id), static_cast<OPCHANDLE>(i),
                                      VT_EMPTY, item.handle, canonical);
        if (FAILED(item.addResult)) {
            anyFailed = true;
            context.Error("cannot add item \"" + item.id +
                          "\": " + DescribeHResult(item.addResult));
        }
        items.push_back(std::move(item));
    }

    RowWriter writer(context.out, options.format, ReadColumns(options.format));
    const auto start = Clock::now();
    const auto interval = std::chrono::milliseconds(options.intervalMs);
    const auto duration = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options.repeatSeconds.value_or(0)));
    bool interrupted = false;
    for (long long cycle = 1;; ++cycle) {
        std::vector<std::vector<std::string>> rows;
        for (ReadItem& item : items) {
            bool failed = false;
            rows.push_back(ReadRow(context, group.Get(), item, failed));
            anyFailed = anyFailed || failed;
        }
        if (!writer.WriteBatch(rows) || !options.repeatSeconds)
            break;
        const auto next = start + cycle * interval;
        if (*options.repeatSeconds > 0 && next > start + duration)
            break;
        if (!WaitUntil(next)) {
            interrupted = true;
            break;
        }
    }

    for (const ReadItem& item : items)
        if (SUCCEEDED(item.addResult))
            GroupDeleteItem(group.Get(), item.handle);
    group = nullptr;
    server->RemoveGroup(groupHandle, FALSE);

    if (interrupted && !context.out.Broken())
        return kExitInterrupted;
    return context.Finish(anyFailed ? kExitItemsFailed : kExitOk);
}

// ---- write --------------------------------------------------------------------------------

int RunWrite(Context& context) {
    const Options& options = context.options;
    const std::string& serverName = options.arguments[0];
    const std::string& itemId = options.arguments[1];
    const std::string& valueText = options.arguments[2];

    ComPtr<IOPCServer> server;
    if (!Connect(context, serverName, server))
        return kExitError;
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE groupHandle = 0;
    HRESULT hr = ServerCreateGroup(server.Get(), u"opc", -1, 1000, group, groupHandle);
    if (FAILED(hr)) {
        context.Error("cannot create a group on " + context.ServerWords(serverName) + ": " +
                      DescribeHResult(hr));
        return kExitError;
    }

    int status = kExitOk;
    OPCHANDLE handle = 0;
    VARTYPE canonical = VT_EMPTY;
    hr = GroupAddItem(group.Get(), Utf8ToUtf16(itemId), 0, VT_EMPTY, handle, canonical);
    if (FAILED(hr)) {
        context.Error("cannot add item \"" + itemId + "\": " + DescribeHResult(hr));
        status = kExitItemsFailed;
    } else {
        // An item without a canonical type takes the text and converts it itself.
        VARTYPE type = canonical == VT_EMPTY ? VARTYPE(VT_BSTR) : canonical;
        if (options.type)
            type = *options.type;
        Variant value;
        std::string error;
        if (!ParseValue(valueText, type, value, error)) {
            context.Error("write: " + error);
            status = kExitUsage;
        } else {
            hr = GroupWriteItemValue(group.Get(), handle, value.get());
            if (FAILED(hr)) {
                context.Error("cannot write item \"" + itemId + "\": " + DescribeHResult(hr));
                status = kExitItemsFailed;
            }
            RowWriter writer(context.out, options.format,
                             {{"ITEM", "item"},
                              {"VALUE", "value", true},
                              {"TYPE", "type"},
                              {"RESULT", "result"}});
            const std::string shown = options.format == OutputFormat::Json ? ValueJson(value.get())
                                                                           : ValueText(value.get());
            writer.WriteBatch({{itemId, shown, VarTypeName(type), HResultName(hr)}});
        }
        GroupDeleteItem(group.Get(), handle);
    }
    group = nullptr;
    server->RemoveGroup(groupHandle, FALSE);
    return context.Finish(status);
}

// ---- status -------------------------------------------------------------------------------

int RunStatus(Context& context) {
    const std::string& serverName = context.options.arguments[0];
    ComPtr<IOPCServer> server;
    if (!Connect(context, serverName, server))
        return kExitError;
    ServerStatus status;
    const HRESULT hr = ReadServerStatus(server.Get(), status);
    if (FAILED(hr)) {
        context.Error("cannot read the status of " + context.ServerWords(serverName) + ": " +
                      DescribeHResult(hr));
        return kExitError;
    }

    const OutputFormat format = context.options.format;
    const bool table = format == OutputFormat::Table;
    auto time = [&](const FILETIME& t) { return table ? LocalTimeText(t) : UtcTimeText(t); };
    const std::string version = std::to_string(status.majorVersion) + "." +
                                std::to_string(status.minorVersion) + "." +
                                std::to_string(status.buildNumber);
    struct Field {
        const char* title;
        const char* key;
        std::string text;
        bool number;
    };
    const Field fields[] = {
        {"State", "state", ServerStateName(status.state), false},
        {"State code", "state_code", std::to_string(status.state), true},
        {"Vendor", "vendor", Utf16ToUtf8(status.vendorInfo), false},
        {"Version", "version", version, false},
        {"Start time", "start_time", time(status.startTime), false},
        {"Current time", "current_time", time(status.currentTime), false},
        {"Last update", "last_update_time", time(status.lastUpdateTime), false},
        {"Groups", "group_count", std::to_string(status.groupCount), true},
        {"Band width", "band_width", std::to_string(status.bandWidth), true},
    };

    std::string text;
    switch (format) {
        case OutputFormat::Table:
            for (const Field& field : fields) {
                if (std::strcmp(field.key, "state_code") == 0)
                    continue;  // shown with the state
                std::string line = std::string(field.title) + ":";
                line.append(14 - line.size(), ' ');
                line += field.text;
                if (std::strcmp(field.key, "state") == 0)
                    line += " (" + std::to_string(status.state) + ")";
                text += line + "\n";
            }
            break;
        case OutputFormat::Csv: {
            std::string header, row;
            for (const Field& field : fields) {
                header += (header.empty() ? "" : ",") + std::string(field.key);
                row += (row.empty() ? "" : ",") + CsvField(field.text);
            }
            text = header + "\n" + row + "\n";
            break;
        }
        case OutputFormat::Json:
            text = "{";
            for (const Field& field : fields) {
                if (text.size() > 1)
                    text += ",";
                text += JsonString(field.key) + ":" +
                        (field.number ? field.text : JsonString(field.text));
            }
            text += "}\n";
            break;
    }
    context.out.Write(text);
    return context.Finish(kExitOk);
}

}  // namespace

void RequestStop() {
    g_stop = 1;
}

int RunOpcTool(const std::vector<std::string>& args, const ToolStreams& streams) {
    RegisterOpcResultNames();
    const ParseResult parsed = ParseCommandLine(args);
    Context context(parsed.options, streams);
    if (!parsed.error.empty()) {
        context.Error(parsed.error);
        const Command command = parsed.options.command;
        context.err.Write(command == Command::None || command == Command::Help
                              ? "Try 'opc --help'.\n"
                              : "Try 'opc " + std::string(CommandName(command)) + " --help'.\n");
        return kExitUsage;
    }
    switch (parsed.options.command) {
        case Command::Help:
            context.out.Write(HelpText(parsed.options.helpFor));
            return context.Finish(kExitOk);
        case Command::Servers:
            return RunServers(context);
        case Command::Browse:
            return RunBrowse(context);
        case Command::Read:
            return RunRead(context);
        case Command::Write:
            return RunWrite(context);
        case Command::Status:
            return RunStatus(context);
        case Command::None:
            break;
    }
    return kExitUsage;
}

}  // namespace opctool
