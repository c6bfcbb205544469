#include "commands.h"

#include <exception>
#include <functional>
#include <new>
#include <optional>

#include "platform/file_in_use.h"
#include "platform/file_system.h"
#include "platform/stop_request.h"
#include "update/opening.h"
#include "update/signed_release.h"
#include "update/update_flow.h"
#include "update/validation.h"
#include "update/xml_attribute.h"

namespace {

const char* const kProblemKinds[] = {"missing", "changed", "unexpected"};

std::optional<std::string> InstalledVersion(const InstallLayout& layout) {
    if (KindOf(layout.game) != EntryKind::kDirectory) return std::nullopt;
    return ReadRootAttribute(layout.record, "Version", "Current");
}

ExitCode NotInstalled(const InstallLayout& layout, ConsoleOutput& output) {
    return output.Finish(ExitCode::kInvalidInstallation,
                         "No installed version is recorded in " + layout.install +
                             " (version.xml): run install or update.");
}

// What the engine's run came to. Success without a change to the game folder is
// nothing to do.
ExitCode Finish(const UpdateOutcome& outcome, const InstallLayout& layout, ConsoleOutput& output) {
    switch (outcome.next) {
        case UpdateOutcome::Next::kNotifyWindow:
            if (!outcome.changed) {
                return output.Finish(
                    ExitCode::kNothingToDo,
                    layout.install + " already holds version " + outcome.version + ", intact.");
            }
            return output.Finish(ExitCode::kSuccess,
                                 layout.install + " holds version " + outcome.version + ".");
        case UpdateOutcome::Next::kStopped:
            return output.Finish(ExitCode::kStopped, "Stopped; the next run resumes the work.");
        case UpdateOutcome::Next::kShowMessage:
            return output.Finish(ExitCodeFor(outcome.cause), outcome.text);
        case UpdateOutcome::Next::kExitProcess:
            break;
    }
    return output.Finish(ExitCode::kOtherFailure, "The run ended in an unknown way.");
}

UpdateOptions EngineOptions(const std::string& version = {}) {
    UpdateOptions options;
    options.version = version;
    options.installRuntime = false;
    return options;
}

ExitCode Install(const Arguments& arguments, const InstallLayout& layout, ConsoleOutput& output) {
    return Finish(RunUpdate(UpdateAction::kInstall, layout, EngineOptions(arguments.version)),
                  layout, output);
}

// As the launcher's button decides: an installation whose record names the latest
// version and whose files are all there at their sizes needs nothing.
ExitCode Update(const InstallLayout& layout, ConsoleOutput& output) {
    const std::optional<std::string> installed = InstalledVersion(layout);
    if (!installed) {
        return Finish(RunUpdate(UpdateAction::kInstall, layout, EngineOptions()), layout, output);
    }
    const std::string latest = FetchLatestVersion(layout);
    if (*installed == latest && InstalledFilesPresent(layout)) {
        return output.Finish(ExitCode::kNothingToDo,
                             layout.install + " already holds the latest version, " + latest + ".");
    }
    return Finish(RunUpdate(UpdateAction::kUpdate, layout, EngineOptions()), layout, output);
}

// The installed version again, however little of it is left: what differs comes from
// the store, or the version is installed anew.
ExitCode Repair(const InstallLayout& layout, ConsoleOutput& output) {
    const std::optional<std::string> installed = InstalledVersion(layout);
    if (!installed) return NotInstalled(layout, output);
    return Finish(RunUpdate(UpdateAction::kInstall, layout, EngineOptions(*installed)), layout,
                  output);
}

// Against the list the installed version was proved by when it was installed: offline,
// and a tree that has since moved on does not change the answer.
ExitCode Validate(const InstallLayout& layout, ConsoleOutput& output) {
    const std::optional<std::string> installed = InstalledVersion(layout);
    if (!installed) return NotInstalled(layout, output);
    if (KindOf(layout.installedList) != EntryKind::kFile) {
        return output.Finish(ExitCode::kInvalidInstallation, "No validation list of version " +
                                                                 *installed + " is kept in " +
                                                                 layout.work + ": run repair.");
    }
    const ValidationReport report =
        ValidateBuild(layout.installedList, layout.game, "the list of version " + *installed);
    for (const FileProblem& problem : report.problems) {
        const char* kind = kProblemKinds[static_cast<int>(problem.kind)];
        output.Say(std::string(kind) + ": " + problem.name);
        output.Event({{"event", "problem"}, {"kind", kind}, {"file", problem.name}});
    }
    if (!report.ok()) {
        return output.Finish(ExitCode::kInvalidInstallation,
                             std::to_string(report.problems.size()) + " of the files of version " +
                                 *installed + " in " + layout.install +
                                 " are missing, changed or unexpected: run repair.");
    }
    return output.Finish(ExitCode::kSuccess, "Every file of version " + *installed + " in " +
                                                 layout.install + " is intact.");
}

ExitCode Status(const InstallLayout& layout, ConsoleOutput& output) {
    const std::optional<std::string> installed = InstalledVersion(layout);
    const std::string latest = FetchLatestVersion(layout);
    const bool due = !installed || *installed != latest || !InstalledFilesPresent(layout);
    output.Say("installed: " + installed.value_or("none"));
    output.Say("latest: " + latest);
    output.Say(std::string("update due: ") + (due ? "yes" : "no"));
    output.Event({{"event", "status"},
                  {"installed", installed ? nlohmann::json(*installed) : nlohmann::json()},
                  {"latest", latest},
                  {"update_due", due}});
    return output.Finish(ExitCode::kSuccess, "");
}

}  // namespace

ExitCode RunCommand(const Arguments& arguments, const InstallLayout& layout,
                    ConsoleOutput& output) {
    try {
        switch (arguments.command) {
            case Command::kInstall:
                return Install(arguments, layout, output);
            case Command::kUpdate:
                return Update(layout, output);
            case Command::kRepair:
                return Repair(layout, output);
            case Command::kValidate:
                return Validate(layout, output);
            case Command::kStatus:
                return Status(layout, output);
        }
    } catch (const WorkStopped&) {
        return output.Finish(ExitCode::kStopped, "Stopped; the next run resumes the work.");
    } catch (const VerificationError& error) {
        return output.Finish(ExitCode::kReleaseRefused, VerificationMessage(error, false));
    } catch (const InstallError& error) {
        return output.Finish(ExitCodeFor(error.cause), error.what());
    } catch (const FileInUseError& error) {
        return output.Finish(ExitCode::kOtherFailure, error.what());
    } catch (const FileSystemError& error) {
        return output.Finish(ExitCodeFor(CauseOfErrno(error.error)), error.what());
    } catch (const std::bad_alloc&) {
        return output.Finish(ExitCode::kOtherFailure, "Out of memory.");
    } catch (const std::exception& error) {
        return output.Finish(ExitCode::kOtherFailure, error.what());
    }
    return ExitCode::kOtherFailure;
}
