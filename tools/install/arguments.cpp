#include "arguments.h"

#include <cstdlib>

#include "platform/file_system.h"

const char kUsage[] =
    "usage: kestrava-install COMMAND DIR [options]\n"
    "\n"
    "Installs and keeps the game in DIR up to date from a release tree, as the launcher\n"
    "does, without a window or an account. DIR has the launcher's layout (game/, work/,\n"
    "version.xml): a folder made by either is served by the other.\n"
    "\n"
    "commands:\n"
    "  install DIR [--version V]  install the latest version (or V), repairing what is there\n"
    "  update DIR                 bring DIR to the latest version; nothing to do when it\n"
    "                             holds it and every file is there at its size\n"
    "  validate DIR               check every file's SHA-256 against the installed version's\n"
    "                             list; name each missing, changed and unexpected file\n"
    "  repair DIR                 validate, then fetch what differs from the release's store\n"
    "  status DIR                 installed version, latest published, whether an update is due\n"
    "\n"
    "options:\n"
    "  --server URL      root of the release tree (https://host[/path], serving launcher/\n"
    "                    and update/); repeat it for mirrors, tried in order. A folder on\n"
    "                    this machine serves as a tree too. Default: the built-in servers\n"
    "  --keys FILE       release public keys, one a line (64 hexadecimal digits), instead of\n"
    "                    the built-in ones\n"
    "  --cacert FILE     a private certificate authority (PEM), trusted besides the system's\n"
    "                    (not on Windows: there the system's store holds it)\n"
    "  --limit-rate KB   at most KB kilobytes (1024 bytes) a second over all transfers\n"
    "  --threads N       worker threads for hashing and unpacking (1 to 8)\n"
    "  --json            one JSON object a line on stdout for each event, for programs\n"
    "\n"
    "A terminal shows a progress line on stderr; otherwise only the outcome is printed.\n"
    "One run at a time holds DIR (work/install.lock); a lock left by a killed run is\n"
    "free for the next one. SIGINT and SIGTERM stop the run at its next step.\n"
    "\n"
    "exit codes:\n";

namespace {

bool ParseCount(const std::string& text, std::uint64_t most, std::uint64_t& value) {
    if (text.empty() || text.size() > 12 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return value >= 1 && value <= most;
}

std::optional<Command> CommandNamed(const std::string& name) {
    if (name == "install") return Command::kInstall;
    if (name == "update") return Command::kUpdate;
    if (name == "validate") return Command::kValidate;
    if (name == "repair") return Command::kRepair;
    if (name == "status") return Command::kStatus;
    return std::nullopt;
}

std::string WithoutTrailingSlashes(std::string text) {
    while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    return text;
}

// An https root goes to the HTTP client; anything else must be a folder here.
bool AddServer(const std::string& value, Arguments& arguments, std::string& error) {
    const std::string server = WithoutTrailingSlashes(value);
    if (server.rfind("https://", 0) == 0) {
        if (server.size() == 8) {
            error = "--server " + value + " names no host";
            return false;
        }
        arguments.servers.push_back(server);
        return true;
    }
    if (server.find("://") != std::string::npos && server.rfind("file://", 0) != 0) {
        error = "--server " + value + ": only https:// and folders are served";
        return false;
    }
    const std::string folder = server.rfind("file://", 0) == 0 ? server.substr(7) : server;
    if (KindOf(folder) != EntryKind::kDirectory) {
        error = "--server " + value + " is neither an https:// URL nor a folder";
        return false;
    }
    if (!arguments.treeFolder.empty()) {
        error = "--server names more than one folder";
        return false;
    }
    arguments.treeFolder = folder;
    return true;
}

}  // namespace

std::optional<Arguments> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Arguments arguments;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            error.clear();
            return std::nullopt;
        }
        if (name == "--json") {
            arguments.json = true;
            continue;
        }
        if (name.rfind("--", 0) != 0) {
            positional.push_back(name);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        std::uint64_t number = 0;
        if (name == "--server") {
            if (!AddServer(value, arguments, error)) return std::nullopt;
        } else if (name == "--version") {
            arguments.version = value;
        } else if (name == "--keys") {
            arguments.keysFile = value;
        } else if (name == "--cacert") {
            arguments.caFile = value;
        } else if (name == "--limit-rate") {
            if (!ParseCount(value, std::uint64_t{1} << 32, number)) {
                error = "--limit-rate takes a number of kilobytes a second, not " + value;
                return std::nullopt;
            }
            arguments.limitBytesPerSecond = number * 1024;
        } else if (name == "--threads") {
            if (!ParseCount(value, 8, number)) {
                error = "--threads takes 1 to 8, not " + value;
                return std::nullopt;
            }
            arguments.threads = static_cast<unsigned>(number);
        } else {
            error = "unknown option " + name;
            return std::nullopt;
        }
    }
    if (positional.size() != 2) {
        error = positional.empty() ? "no command" : "expected one COMMAND and one DIR";
        return std::nullopt;
    }
    const std::optional<Command> command = CommandNamed(positional[0]);
    if (!command) {
        error = "unknown command " + positional[0];
        return std::nullopt;
    }
    arguments.command = *command;
    arguments.folder = WithoutTrailingSlashes(positional[1]);
    if (!arguments.version.empty() && arguments.command != Command::kInstall) {
        error = "--version is for install only";
        return std::nullopt;
    }
    if (!arguments.servers.empty() && !arguments.treeFolder.empty()) {
        error = "--server names both https servers and a folder";
        return std::nullopt;
    }
#ifdef _WIN32
    // The client checks each server's chain against the system's store itself (Schannel
    // under wine checks none), and that check knows no other authority.
    if (!arguments.caFile.empty()) {
        error = "--cacert is not taken on Windows: add the authority to the system's store";
        return std::nullopt;
    }
#endif
    if (!arguments.caFile.empty() && KindOf(arguments.caFile) != EntryKind::kFile) {
        error = "--cacert " + arguments.caFile + " is no file";
        return std::nullopt;
    }
    return arguments;
}
