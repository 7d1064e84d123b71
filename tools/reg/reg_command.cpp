#include "tools/reg/reg_command.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr const char* kCompleted = "The operation completed successfully.\n";

constexpr const char* kMainHelp = R"help(Usage: reg COMMAND [ARGUMENTS] [SWITCHES]

Commands:
  query    show a key's values and sub-keys
  add      create a key or set a value
  delete   delete a key or values
  export   write a key and everything below it to a .reg file
  import   apply a .reg file
  access   show or set whether a key is read-only

Keys are written with their hive, long or short: HKEY_CLASSES_ROOT\Path or HKCR\Path,
HKEY_CURRENT_USER\Path or HKCU\Path. Switches start with "/" or "-" and ignore case.
"reg COMMAND /?" shows a command's help.

Exit status: 0 done, 1 failed (the message says why), 2 wrong usage.
The hives live in $KORVA_REGISTRY, else $XDG_CONFIG_HOME/korva/registry, else
~/.config/korva/registry.
)help";

const std::map<std::string, const char*, std::less<>> kCommandHelp = {
    {"query", R"help(Usage: reg query KEY [/v NAME | /ve] [/s]

  KEY      the key to show
  /v NAME  show only the value NAME
  /ve      show only the default value, shown as "(Default)"
  /s       include every key below KEY

Values are shown as NAME, type and data: texts as they are, REG_DWORD and REG_QWORD in
hexadecimal, REG_MULTI_SZ with "\0" between the strings, other types as hexadecimal bytes.
)help"},
    {"add", R"help(Usage: reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEPARATOR] [/f]

  KEY           the key; it and any missing key above it are created
  /v NAME       the value to set
  /ve           the default value (also meant when /t or /d is given without /v)
  /t TYPE       REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,
                REG_BINARY or REG_NONE
  /d DATA       the data: text; a decimal or 0x-hexadecimal number for REG_DWORD and
                REG_QWORD; hexadecimal digits for REG_BINARY and REG_NONE ("01ff"); for
                REG_MULTI_SZ the strings separated by SEPARATOR
  /s SEPARATOR  the REG_MULTI_SZ separator, "\0" (backslash, zero) unless given
  /f            overwrite an existing value without asking

Without /f an existing value is overwritten only when the user agrees on the terminal; when
the input is not a terminal the value is left alone and the command fails.
A key made read-only (reg access) refuses new values and new sub-keys.
)help"},
    {"delete", R"help(Usage: reg delete KEY [/v NAME | /ve | /va] [/f]

  KEY      the key; without /v, /ve or /va it is deleted with every key below it
  /v NAME  delete only the value NAME
  /ve      delete only the default value
  /va      delete every value of KEY (its sub-keys stay)
  /f       delete without asking

Without /f the deletion happens only when the user agrees on the terminal; when the input is
not a terminal nothing is deleted and the command fails. Read-only keys are not deleted.
)help"},
    {"export", R"help(Usage: reg export KEY FILE [/y]

  KEY   the key to write, with its values and every key below it
  FILE  the .reg file ("Windows Registry Editor Version 5.00", UTF-8); "-" writes to the
        standard output
  /y    overwrite an existing FILE without asking

Without /y an existing FILE is overwritten only when the user agrees on the terminal.
)help"},
    {"import", R"help(Usage: reg import FILE

  FILE  a .reg file ("Windows Registry Editor Version 5.00"; UTF-8 or UTF-16 with its
        byte-order mark); "-" reads the standard input

The whole file is checked first; a malformed line is reported with the file name and line
number and nothing is changed. The changes are then made all together or not at all.
)help"},
    {"access", R"help(Usage: reg access KEY [full | read]

  KEY   the key
  full  let the key be opened for reading and writing
  read  make the key read-only: it still opens for reading, but refuses to be opened with
        write access, to take new values or sub-keys and to be deleted

Without full or read the key's current rights are shown ("full" or "read").
)help"},
};

// ---- Command line -----------------------------------------------------------------------------

struct Switch {
    const char* name;
    bool takesArgument;
};

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string, std::less<>> switches;  // name (lower case) -> argument
    bool help = false;

    bool has(std::string_view name) const { return switches.find(name) != switches.end(); }
    const std::string* get(std::string_view name) const {
        const auto found = switches.find(name);
        return found == switches.end() ? nullptr : &found->second;
    }
};

class Tool {
  public:
    Tool(FILE* out, FILE* err) : out_(out), err_(err) {}

    int Run(int argc, char** argv) {
        if (argc < 2) {
            fputs(kMainHelp, err_);
            return kUsage;
        }
        std::string command = argv[1];
        for (char& c : command)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (IsHelp(command)) {
            fputs(kMainHelp, out_);
            return kDone;
        }
        static const std::map<std::string, std::vector<Switch>, std::less<>> kSwitches = {
            {"query", {{"v", true}, {"ve", false}, {"s", false}}},
            {"add",
             {{"v", true}, {"ve", false}, {"t", true}, {"d", true}, {"s", true}, {"f", false}}},
            {"delete", {{"v", true}, {"ve", false}, {"va", false}, {"f", false}}},
            {"export", {{"y", false}}},
            {"import", {}},
            {"access", {}},
        };
        const auto known = kSwitches.find(command);
        if (known == kSwitches.end())
            return Usage("unknown command \"" + std::string(argv[1]) + "\"; \"reg /?\" lists them");
        Arguments arguments;
        if (!ParseArguments(argc, argv, known->second, arguments))
            return kUsage;
        if (arguments.help) {
            fputs(kCommandHelp.at(command), out_);
            return kDone;
        }
        if (command == "query")
            return Query(arguments);
        if (command == "add")
            return Add(arguments);
        if (command == "delete")
            return Delete(arguments);
        if (command == "export")
            return Export(arguments);
        if (command == "import")
            return Import(arguments);
        return Access(arguments);
    }

  private:
    static bool IsHelp(std::string_view text) {
        return text == "/?" || text == "-?" || text == "-h" || text == "--help";
    }

    int Usage(const std::string& problem) {
        fprintf(err_, "reg: %s\n", problem.c_str());
        return kUsage;
    }

    int Failed(const std::string& problem) {
        fprintf(err_, "reg: %s\n", problem.c_str());
        return kFailed;
    }

    bool ParseArguments(int argc, char** argv, const std::vector<Switch>& allowed,
                        Arguments& arguments) {
        for (int i = 2; i < argc; ++i) {
            const std::string_view text = argv[i];
            if (IsHelp(text)) {
                arguments.help = true;
                continue;
            }
            // "/name" or "-name" is a switch only when it is one of the command's switches, so
            // that absolute file names pass as arguments.
            const Switch* matched = nullptr;
            if (text.size() >= 2 && (text[0] == '/' || text[0] == '-')) {
                for (const Switch& candidate : allowed)
                    if (strcasecmp(candidate.name, argv[i] + 1) == 0)
                        matched = &candidate;
            }
            if (!matched) {
                arguments.positional.emplace_back(text);
                continue;
            }
            if (arguments.has(matched->name)) {
                Usage(std::string("the switch /") + matched->name + " is given twice");
                return false;
            }
            std::string argument;
            if (matched->takesArgument) {
                if (i + 1 >= argc) {
                    Usage(std::string("the switch /") + matched->name + " needs an argument");
                    return false;
                }
                argument = argv[++i];
            }
            arguments.switches[matched->name] = argument;
        }
        return true;
    }

    bool ExpectPositional(const Arguments& arguments, size_t least, size_t most, const char* what) {
        if (arguments.positional.size() >= least && arguments.positional.size() <= most)
            return true;
        if (arguments.positional.size() < least)
            Usage(std::string("missing ") + what);
        else
            Usage("unexpected argument \"" + arguments.positional[most] + "\"");
        return false;
    }

    bool ParseKey(const std::string& name, HKEY& root, std::string& path) {
        std::string error;
        if (ParseFullKeyName(name, root, path, &error))
            return true;
        Failed(error);
        return false;
    }

    // Asks on the terminal; without one the answer is no.
    bool Confirm(const std::string& question) {
        if (!isatty(STDIN_FILENO))
            return false;
        fprintf(err_, "%s (Yes/No)? ", question.c_str());
        fflush(err_);
        char answer[16] = {};
        if (!fgets(answer, sizeof answer, stdin))
            return false;
        return answer[0] == 'y' || answer[0] == 'Y';
    }

    // The value name that /v or /ve chose; "" is the default value.
    static std::optional<std::string> ChosenValue(const Arguments& arguments) {
        if (const std::string* name = arguments.get("v"))
            return *name;
        if (arguments.has("ve"))
            return std::string();
        return std::nullopt;
    }

    bool ExclusiveValueSwitches(const Arguments& arguments) {
        const int chosen = arguments.has("v") + arguments.has("ve") + arguments.has("va");
        if (chosen <= 1)
            return true;
        Usage("use only one of /v, /ve and /va");
        return false;
    }

    // ---- query --------------------------------------------------------------------------

    static std::string TypeName(DWORD type) {
        switch (type) {
            case REG_NONE:
                return "REG_NONE";
            case REG_SZ:
                return "REG_SZ";
            case REG_EXPAND_SZ:
                return "REG_EXPAND_SZ";
            case REG_BINARY:
                return "REG_BINARY";
            case REG_DWORD:
                return "REG_DWORD";
            case REG_MULTI_SZ:
                return "REG_MULTI_SZ";
            case REG_QWORD:
                return "REG_QWORD";
            default:
                return "REG_TYPE_" + std::to_string(type);
        }
    }

    static std::string FormatData(const RegValue& value) {
        char buffer[32];
        switch (value.type) {
            case REG_SZ:
            case REG_EXPAND_SZ:
                return value.text;
            case REG_DWORD:
            case REG_QWORD:
                snprintf(buffer, sizeof buffer, "0x%" PRIx64, value.number);
                return buffer;
            case REG_MULTI_SZ: {
                std::string joined;
                for (const std::string& text : MultiStringList(value.data)) {
                    if (!joined.empty())
                        joined += "\\0";
                    joined += text;
                }
                return joined;
            }
            default: {
                std::string hex;
                for (const uint8_t byte : value.data) {
                    snprintf(buffer, sizeof buffer, "%02X", byte);
                    hex += buffer;
                }
                return hex;
            }
        }
    }

    void PrintValue(const std::string& name, const RegValue& value) {
        fprintf(out_, "    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(),
                TypeName(value.type).c_str(), FormatData(value).c_str());
    }

    int Query(const Arguments& arguments) {
        if (!ExpectPositional(arguments, 1, 1, "KEY") || !ExclusiveValueSwitches(arguments))
            return kUsage;
        HKEY root;
        std::string path;
        if (!ParseKey(arguments.positional[0], root, path))
            return kFailed;
        const std::optional<std::string> only = ChosenValue(arguments);

        if (arguments.has("s")) {
            std::string error;
            const std::optional<RegFile> tree = ReadRegTree(root, path, &error);
            if (!tree)
                return Failed(error);
            size_t matches = 0;
            for (const RegFileKey& key : tree->keys) {
                bool headed = false;
                for (const RegFileValue& value : key.values) {
                    if (only && strcasecmp(only->c_str(), value.name.c_str()) != 0)
                        continue;
                    if (!headed)
                        fprintf(out_, "\n%s\n", FullKeyName(root, key.path).c_str());
                    headed = true;
                    PrintValue(value.name, value.value);
                    ++matches;
                }
                if (!only && !headed)
                    fprintf(out_, "\n%s\n", FullKeyName(root, key.path).c_str());
            }
            if (only && matches == 0)
                return Failed("no value \"" + *only + "\" in " + FullKeyName(root, path) +
                              " or below it");
            return kDone;
        }

        TRegistry registry(KEY_READ);
        registry.SetRootKey(root);
        if (!registry.OpenKeyReadOnly("\\" + path))
            return Failed("cannot open " + FullKeyName(root, path) + ": " + registry.LastError());
        const std::string keyName = FullKeyName(root, registry.CurrentPath());
        if (only) {
            const std::optional<RegValue> value = registry.ReadValue(*only);
            if (!value)
                return Failed(only->empty() ? "no default value in " + keyName
                                            : "no value \"" + *only + "\" in " + keyName);
            fprintf(out_, "\n%s\n", keyName.c_str());
            PrintValue(*only, *value);
            return kDone;
        }
        fprintf(out_, "\n%s\n", keyName.c_str());
        for (const std::string& name : registry.GetValueNames())
            if (const std::optional<RegValue> value = registry.ReadValue(name))
                PrintValue(name, *value);
        const std::vector<std::string> children = registry.GetKeyNames();
        if (!children.empty())
            fputc('\n', out_);
        for (const std::string& child : children)
            fprintf(out_, "%s\\%s\n", keyName.c_str(), child.c_str());
        return kDone;
    }

    // ---- add ----------------------------------------------------------------------------

    static std::optional<uint64_t> ParseNumber(const std::string& text, uint64_t maximum) {
        if (text.empty() || text[0] == '-' || text[0] == '+' ||
            isspace(static_cast<unsigned char>(text[0])))
            return std::nullopt;
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        errno = 0;
        char* end = nullptr;
        const unsigned long long number =
            strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
        if (errno != 0 || *end != '\0' || end == text.c_str() + (hex ? 2 : 0) || number > maximum)
            return std::nullopt;
        return number;
    }

    static std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
        if (text.size() % 2 != 0)
            return std::nullopt;
        std::vector<uint8_t> bytes;
        for (size_t at = 0; at < text.size(); at += 2) {
            const std::string pair = text.substr(at, 2);
            if (!isxdigit(static_cast<unsigned char>(pair[0])) ||
                !isxdigit(static_cast<unsigned char>(pair[1])))
                return std::nullopt;
            bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
        }
        return bytes;
    }

    bool MakeValue(const std::string& typeName, const std::string& data,
                   const std::string& separator, RegValue& value) {
        static const std::map<std::string, RegType, std::less<>> kTypes = {
            {"REG_SZ", REG_SZ},
            {"REG_EXPAND_SZ", REG_EXPAND_SZ},
            {"REG_MULTI_SZ", REG_MULTI_SZ},
            {"REG_DWORD", REG_DWORD},
            {"REG_QWORD", REG_QWORD},
            {"REG_BINARY", REG_BINARY},
            {"REG_NONE", REG_NONE},
        };
        std::string upper = typeName;
        for (char& c : upper)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        const auto type = kTypes.find(upper);
        if (type == kTypes.end()) {
            Usage("unknown type \"" + typeName +
                  "\" (known: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, "
                  "REG_BINARY, REG_NONE)");
            return false;
        }
        value.type = type->second;
        switch (value.type) {
            case REG_SZ:
            case REG_EXPAND_SZ:
                value.text = data;
                return true;
            case REG_DWORD:
            case REG_QWORD: {
                const std::optional<uint64_t> number =
                    ParseNumber(data, value.type == REG_DWORD ? 0xFFFFFFFFull : UINT64_MAX);
                if (!number) {
                    Usage("\"" + data + "\" is not a " + upper +
                          " number (decimal or 0x-hexadecimal, " +
                          (value.type == REG_DWORD ? "32" : "64") + " bits)");
                    return false;
                }
                value.number = *number;
                return true;
            }
            case REG_MULTI_SZ: {
                if (separator.empty()) {
                    Usage("the REG_MULTI_SZ separator cannot be empty");
                    return false;
                }
                std::vector<std::string> strings;
                size_t start = 0;
                while (!data.empty()) {
                    const size_t end = data.find(separator, start);
                    strings.push_back(data.substr(start, end - start));
                    if (strings.back().empty()) {
                        Usage("a REG_MULTI_SZ value cannot hold an empty string");
                        return false;
                    }
                    if (end == std::string::npos)
                        break;
                    start = end + separator.size();
                }
                value.data = MultiStringData(strings);
                return true;
            }
            default: {
                const std::optional<std::vector<uint8_t>> bytes = ParseHexBytes(data);
                if (!bytes) {
                    Usage("\"" + data + "\" is not hexadecimal bytes (e.g. 01ff)");
                    return false;
                }
                value.data = *bytes;
                return true;
            }
        }
    }

    int Add(const Arguments& arguments) {
        if (!ExpectPositional(arguments, 1, 1, "KEY") || !ExclusiveValueSwitches(arguments))
            return kUsage;
        std::optional<std::string> name = ChosenValue(arguments);
        if (!name && (arguments.has("t") || arguments.has("d")))
            name = std::string();
        RegValue value;
        if (name) {
            const std::string* type = arguments.get("t");
            const std::string* data = arguments.get("d");
            const std::string* separator = arguments.get("s");
            if (!MakeValue(type ? *type : "REG_SZ", data ? *data : std::string(),
                           separator ? *separator : "\\0", value))
                return kUsage;
        } else if (arguments.has("s")) {
            return Usage("/s needs a REG_MULTI_SZ value");
        }
        HKEY root;
        std::string path;
        if (!ParseKey(arguments.positional[0], root, path))
            return kFailed;
        const std::string keyName = FullKeyName(root, path);
        TRegistry registry(KEY_ALL_ACCESS);
        registry.SetRootKey(root);
        if (!registry.OpenKey("\\" + path, true))
            return Failed("cannot create or open " + keyName + ": " + registry.LastError());
        if (name) {
            const std::string shown = name->empty() ? "(Default)" : *name;
            if (registry.ValueExists(*name) && !arguments.has("f") &&
                !Confirm("Value " + shown + " exists, overwrite"))
                return Failed("the value " + shown + " exists in " + keyName +
                              "; use /f to overwrite it");
            if (!registry.WriteValue(*name, value))
                return Failed("cannot write " + shown + " in " + keyName + ": " +
                              registry.LastError());
        }
        fputs(kCompleted, out_);
        return kDone;
    }

    // ---- delete -------------------------------------------------------------------------

    int Delete(const Arguments& arguments) {
        if (!ExpectPositional(arguments, 1, 1, "KEY") || !ExclusiveValueSwitches(arguments))
            return kUsage;
        HKEY root;
        std::string path;
        if (!ParseKey(arguments.positional[0], root, path))
            return kFailed;
        const std::string keyName = FullKeyName(root, path);
        TRegistry registry(KEY_ALL_ACCESS);
        registry.SetRootKey(root);
        const bool force = arguments.has("f");
        const std::optional<std::string> name = ChosenValue(arguments);

        if (!name && !arguments.has("va")) {
            if (path.empty())
                return Failed("a root key cannot be deleted");
            if (!registry.KeyExists("\\" + path))
                return Failed("key not found: " + keyName);
            if (!force && !Confirm("Permanently delete the registry key " + keyName))
                return Failed("nothing deleted; use /f to delete " + keyName);
            if (!registry.DeleteKey("\\" + path))
                return Failed("cannot delete " + keyName + ": " + registry.LastError());
            fputs(kCompleted, out_);
            return kDone;
        }

        if (!registry.OpenKey("\\" + path, false))
            return Failed("cannot open " + keyName + ": " + registry.LastError());
        if (name) {
            const std::string shown = name->empty() ? "(Default)" : *name;
            if (!registry.ValueExists(*name))
                return Failed("no value " + shown + " in " + keyName);
            if (!force && !Confirm("Delete the registry value " + shown))
                return Failed("nothing deleted; use /f to delete " + shown);
            if (!registry.DeleteValue(*name))
                return Failed("cannot delete " + shown + " in " + keyName + ": " +
                              registry.LastError());
        } else {
            if (!force && !Confirm("Delete all values under the registry key " + keyName))
                return Failed("nothing deleted; use /f to delete the values of " + keyName);
            for (const std::string& each : registry.GetValueNames())
                if (!registry.DeleteValue(each))
                    return Failed("cannot delete " + each + " in " + keyName + ": " +
                                  registry.LastError());
        }
        fputs(kCompleted, out_);
        return kDone;
    }

    // ---- export and import --------------------------------------------------------------

    // Writes through a temporary file beside the target and renames it, so that a failed
    // export never leaves a half-written file in its place.
    bool WriteFileAtomically(const std::string& file, const std::string& content,
                             std::string& error) {
        std::string temporary = file + ".XXXXXX";
        const int descriptor = mkstemp(temporary.data());
        if (descriptor < 0) {
            error = "cannot write " + file + ": " + strerror(errno);
            return false;
        }
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(descriptor, 0666 & ~mask);
        size_t written = 0;
        while (written < content.size()) {
            const ssize_t step =
                write(descriptor, content.data() + written, content.size() - written);
            if (step < 0 && errno == EINTR)
                continue;
            if (step <= 0)
                break;
            written += static_cast<size_t>(step);
        }
        const bool complete = written == content.size();
        const int savedErrno = errno;
        if (close(descriptor) != 0 || !complete || rename(temporary.c_str(), file.c_str()) != 0) {
            error = "cannot write " + file + ": " + strerror(complete ? errno : savedErrno);
            unlink(temporary.c_str());
            return false;
        }
        return true;
    }

    int Export(const Arguments& arguments) {
        if (!ExpectPositional(arguments, 2, 2, "KEY and FILE"))
            return kUsage;
        HKEY root;
        std::string path;
        if (!ParseKey(arguments.positional[0], root, path))
            return kFailed;
        const std::string& file = arguments.positional[1];
        std::string error;
        const std::optional<RegFile> tree = ReadRegTree(root, path, &error);
        if (!tree)
            return Failed(error);
        const std::string content = FormatRegFile(*tree);
        if (file == "-") {
            fwrite(content.data(), 1, content.size(), out_);
            return ferror(out_) ? Failed("cannot write the standard output") : kDone;
        }
        struct stat info {};
        if (stat(file.c_str(), &info) == 0 && !arguments.has("y") &&
            !Confirm("File " + file + " already exists. Overwrite"))
            return Failed("the file " + file + " exists; use /y to overwrite it");
        if (!WriteFileAtomically(file, content, error))
            return Failed(error);
        fputs(kCompleted, out_);
        return kDone;
    }

    static bool ReadWholeFile(const std::string& file, std::string& content, std::string& error) {
        FILE* stream = file == "-" ? stdin : fopen(file.c_str(), "rb");
        if (!stream) {
            error = "cannot open " + file + ": " + strerror(errno);
            return false;
        }
        char buffer[65536];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, stream)) > 0)
            content.append(buffer, got);
        const bool failed = ferror(stream) != 0;
        if (stream != stdin)
            fclose(stream);
        if (failed)
            error = "cannot read " + file;
        return !failed;
    }

    int Import(const Arguments& arguments) {
        if (!ExpectPositional(arguments, 1, 1, "FILE"))
            return kUsage;
        const std::string& file = arguments.positional[0];
        std::string content;
        std::string error;
        if (!ReadWholeFile(file, content, error))
            return Failed(error);
        const std::optional<RegFile> parsed =
            ParseRegFile(content, file == "-" ? "(standard input)" : file, &error);
        if (!parsed)
            return Failed(error);
        if (!ImportRegFile(*parsed, &error))
            return Failed(error + "; nothing was imported");
        fputs(kCompleted, out_);
        return kDone;
    }

    // ---- access -------------------------------------------------------------------------

    int Access(const Arguments& arguments) {
        if (!ExpectPositional(arguments, 1, 2, "KEY"))
            return kUsage;
        std::optional<KeyAccess> wanted;
        if (arguments.positional.size() == 2) {
            const std::string& mode = arguments.positional[1];
            if (strcasecmp(mode.c_str(), "full") == 0)
                wanted = KeyAccess::Full;
            else if (strcasecmp(mode.c_str(), "read") == 0)
                wanted = KeyAccess::ReadOnly;
            else
                return Usage("unknown rights \"" + mode + "\" (known: full, read)");
        }
        HKEY root;
        std::string path;
        if (!ParseKey(arguments.positional[0], root, path))
            return kFailed;
        const std::string keyName = FullKeyName(root, path);
        if (path.empty())
            return Failed("the rights of a root key cannot be changed or shown");
        TRegistry registry(KEY_READ);
        registry.SetRootKey(root);
        if (!wanted) {
            const std::optional<KeyAccess> current = registry.GetKeyAccess("\\" + path);
            if (!current)
                return Failed("key not found: " + keyName);
            fprintf(out_, "%s\n", *current == KeyAccess::Full ? "full" : "read");
            return kDone;
        }
        if (!registry.SetKeyAccess("\\" + path, *wanted))
            return Failed("cannot set the rights of " + keyName + ": " + registry.LastError());
        fputs(kCompleted, out_);
        return kDone;
    }

    FILE* out_;
    FILE* err_;
};

}  // namespace

int RunRegCommand(int argc, char** argv, FILE* out, FILE* err) {
    return Tool(out, err).Run(argc, argv);
}
