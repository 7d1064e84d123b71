#include "tools/opc/commands.h"

namespace opctool {

namespace {

constexpr const char* kOverview =
    R"(Usage: opc COMMAND [ARGUMENTS] [OPTIONS]

Talks to the OPC DA servers of this computer or of another machine.

Commands:
  servers              list the OPC servers of a machine (name and class identifier)
  browse SERVER        list the server's item identifiers
  read SERVER ITEM...  read items from the server's cache
  write SERVER ITEM VALUE
                       write one value to an item
  status SERVER        show the server's status
  help [COMMAND]       show this help or a command's help

SERVER is a ProgID (OPCSim.Server.1) or a class identifier in braces
({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}).

Common options:
  -m, --machine NAME   the machine of the server (default: this computer)
  -o, --output FORMAT  table (default), csv or json
  -h, --help           show the command's help

Exit status:
  0  all went well
  1  an error: the server was not found, the connection or a call failed
  2  bad usage (unknown command or option, missing or malformed argument)
  3  some items failed (could not be added, read or written)
  130 interrupted (Ctrl+C)
When the reader of the output goes away (opc read ... | head -1), opc stops
quietly and exits with 0.
)";

constexpr const char* kServers =
    R"(Usage: opc servers [-m MACHINE] [-o table|csv|json]

Lists the OPC servers installed on a machine, sorted by name, with their class
identifiers. This computer's servers come from its class registry; another
machine's also from its OPC server list component. A machine that answers
neither way is an error (exit status 1).

Columns: NAME, CLASSID (csv/json: name, class_id).
)";

constexpr const char* kBrowse =
    R"(Usage: opc browse SERVER [-m MACHINE] [-o table|csv|json]

Prints the server's item identifiers, fully qualified, one per line, in the
server's order, and the organisation of its address space (hierarchical or
flat). The table starts with the line "Organisation: ..."; csv gives one
item_id per line; json gives {"organisation": ..., "items": [...]}.
A server that offers no browsing is an error (exit status 1).
)";

constexpr const char* kRead =
    R"(Usage: opc read SERVER ITEM... [-m MACHINE] [--repeat SECONDS] [--interval MS]
                                [--device] [-o table|csv|json]

Reads the items from the server's cache and prints, per item, the value, the
quality as text and number, the time stamp and the item's result. An ITEM
of "-" reads further item identifiers from standard input, one per line.

  --repeat SECONDS   read again every interval for this many seconds
                     (0: until interrupted)
  --interval MS      milliseconds between two reads (default 1000); also the
                     update rate asked of the server
  --device           read from the device instead of the cache

Columns: ITEM, VALUE, QUALITY, TIMESTAMP (local time), RESULT; csv/json:
item, value, quality, quality_code, timestamp (UTC, ISO 8601), result.
JSON gives one array per read on one line.
Exit status 3 when an item could not be added or read.
)";

constexpr const char* kWrite =
    R"(Usage: opc write SERVER ITEM VALUE [--type VT] [-m MACHINE] [-o table|csv|json]

Writes VALUE to ITEM. The value is converted to the item's own data type, or
to VT when given (VT_BOOL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8,
VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR; the VT_ prefix
may be left out). Numbers use the full stop; booleans are true/false or 1/0;
dates are days since 30 December 1899 or YYYY-MM-DD[THH:MM:SS].
Exit status 3 when the server refuses the value, 2 when VALUE is not of the
type.
)";

constexpr const char* kStatus =
    R"(Usage: opc status SERVER [-m MACHINE] [-o table|csv|json]

Shows the server's status: its state, vendor text, version, start, current
and last update time, number of groups and band width.
)";

}  // namespace

const char* HelpText(Command command) {
    switch (command) {
        case Command::Servers:
            return kServers;
        case Command::Browse:
            return kBrowse;
        case Command::Read:
            return kRead;
        case Command::Write:
            return kWrite;
        case Command::Status:
            return kStatus;
        default:
            return kOverview;
    }
}

}  // namespace opctool
