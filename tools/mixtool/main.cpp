// mixtool: lists, extracts, creates, diffs and patches MIX archives.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "mix/mix_error.h"

namespace {

struct Subcommand {
    const char* name;
    const char* usage;
    const char* help;
};

const Subcommand kSubcommands[] = {
    {"list", "mixtool list [--tsv] ARCHIVE",
     "Lists the entries in id order. --tsv prints one line per entry,\n"
     "id<TAB>offset<TAB>size<TAB>name, numbers in decimal.\n"},
    {"extract", "mixtool extract ARCHIVE DIR",
     "Writes every entry to a file under DIR (created if missing). Names that would\n"
     "land outside DIR, and names equal but for letter case, are refused before\n"
     "anything is written.\n"},
    {"create", "mixtool create ARCHIVE [--id NAME=ID ...] FILE...",
     "Makes an archive of the files, each named after its last path component.\n"
     "An entry's id is the CRC-32 (IEEE) of its name in ASCII upper case unless\n"
     "--id gives one, in decimal or 0x-prefixed hex.\n"},
    {"diff", "mixtool diff [--delta [DELTA OPTIONS]] OLD NEW PATCH",
     "Writes the smallest patch archive that turns OLD into NEW: a descriptor\n"
     "\".vantle.patch\" listing removed and updated names, and NEW's changed or new\n"
     "entries. Archives holding two names equal but for letter case are refused.\n"
     "--delta carries a changed entry as a delta of its old self where that is\n"
     "smaller (a patch of format version 2, which older launchers cannot apply).\n"},
    {"patch", "mixtool patch OLD PATCH OUT",
     "Applies the patch archive PATCH to OLD and writes the result to OUT, which\n"
     "is replaced only once the new archive is complete.\n"},
    {"delta", "mixtool delta [DELTA OPTIONS] OLD NEW DELTA",
     "Writes the delta that rebuilds the file NEW from the file OLD. DELTA OPTIONS:\n"
     "--block KIB (4096), --window KIB (8192): NEW is cut into blocks, each found\n"
     "in a window of OLD; applying holds one of each. --level N: zstd's level (19).\n"},
    {"apply-delta", "mixtool apply-delta OLD DELTA OUT",
     "Rebuilds a file from OLD with DELTA into OUT, which is replaced only once the\n"
     "result has proved the SHA-256 the delta promises.\n"},
};

void PrintOverview(std::FILE* out) {
    std::fputs("usage:\n", out);
    for (const Subcommand& command : kSubcommands) std::fprintf(out, "  %s\n", command.usage);
    std::fputs("Exit code 0 on success, 1 on any error. mixtool SUBCOMMAND --help for more.\n",
               out);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "mixtool: %s\n", message.c_str());
    return 1;
}

void RequireCount(const Subcommand& command, const std::vector<std::string>& args,
                  std::size_t count) {
    if (args.size() != count) throw UsageError(std::string("usage: ") + command.usage);
}

void Run(const Subcommand& command, std::vector<std::string> args) {
    const std::string name = command.name;
    if (name == "list") {
        bool tsv = false;
        if (!args.empty() && args[0] == "--tsv") {
            tsv = true;
            args.erase(args.begin());
        }
        RequireCount(command, args, 1);
        ListArchive(args[0], tsv);
    } else if (name == "extract") {
        RequireCount(command, args, 2);
        ExtractArchive(args[0], args[1]);
    } else if (name == "create") {
        if (args.empty()) throw UsageError(std::string("usage: ") + command.usage);
        std::vector<IdOverride> ids;
        std::vector<std::string> files;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--id") {
                if (++i == args.size()) throw UsageError("--id needs NAME=ID");
                ids.push_back(ParseIdOverride(args[i]));
            } else if (args[i].rfind("--id=", 0) == 0) {
                ids.push_back(ParseIdOverride(args[i].substr(5)));
            } else {
                files.push_back(args[i]);
            }
        }
        if (files.empty()) throw UsageError(std::string("usage: ") + command.usage);
        CreateArchive(args[0], ids, files);
    } else if (name == "diff") {
        const bool deltas = !args.empty() && args[0] == "--delta";
        if (deltas) args.erase(args.begin());
        const DeltaOptions options = TakeDeltaOptions(args);
        RequireCount(command, args, 3);
        DiffArchives(args[0], args[1], args[2], deltas, options);
    } else if (name == "delta") {
        const DeltaOptions options = TakeDeltaOptions(args);
        RequireCount(command, args, 3);
        MakeFileDelta(args[0], args[1], args[2], options);
    } else if (name == "apply-delta") {
        RequireCount(command, args, 3);
        ApplyFileDelta(args[0], args[1], args[2]);
    } else {
        RequireCount(command, args, 3);
        PatchArchive(args[0], args[1], args[2]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintOverview(stderr);
        return 1;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        PrintOverview(stdout);
        return 0;
    }
    for (const Subcommand& command : kSubcommands) {
        if (first != command.name) continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        for (const std::string& arg : args) {
            if (arg == "--help" || arg == "-h") {
                std::printf("usage: %s\n\n%s", command.usage, command.help);
                return 0;
            }
        }
        try {
            Run(command, args);
            return 0;
        } catch (const UsageError& error) {
            return Fail(std::string(command.name) + ": " + error.what());
        } catch (const std::exception& error) {
            return Fail(error.what());
        }
    }
    return Fail("unknown subcommand \"" + first + "\"; mixtool --help lists them");
}
