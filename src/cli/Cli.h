#pragma once

// lvtb's command dispatch. Every command is a function from its arguments to an exit status:
// 0 success, 1 the command ran and found problems, 2 bad usage or unreadable input (one line on
// stderr beginning "lvtb: ").

#include "core/ProgramVersion.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace TessarinEditor {
struct AudioFileInfo;
}

namespace lvtb {

using Tessarin::kProgramVersion;

enum ExitStatus : int { kExitOk = 0, kExitProblems = 1, kExitUsage = 2 };

struct Io {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Whether stdout and stderr are terminals: progress and a closing line end are for people only.
    bool outIsTerminal = false;
    bool errIsTerminal = false;
};

// Thrown by argument parsing and by commands for exit status 2; run() prints it as "lvtb: " + what.
struct UsageError {
    std::string message;
};

// Options of one command: flags (--json) and options with a value (--from S or --from=S). Everything
// else is positional, in order ("--" ends the options). An option that the command does not declare
// is a usage error.
class Args {
public:
    Args(const std::vector<std::string>& argv, const std::set<std::string>& flags, const std::set<std::string>& options);

    std::size_t positionalCount() const { return m_positional.size(); }
    const std::string& positional(std::size_t i) const;
    // Requires exactly n positional arguments, naming them in the error.
    void expectPositional(std::size_t n, std::string_view names) const;
    bool flag(const std::string& name) const { return m_flags.count(name) != 0; }
    std::optional<std::string> option(const std::string& name) const;

private:
    std::vector<std::string> m_positional;
    std::set<std::string> m_flags;
    std::map<std::string, std::string> m_options;
};

// --jobs N of the commands that analyse entries: 1 … 256, the number of processors when absent; a
// usage error otherwise.
int jobsOption(const Args& args);

struct Command {
    std::string name;    // "project", "wav-info", ...
    std::string summary; // one line for lvtb --help
    std::string usage;   // the whole text of lvtb NAME --help
    std::function<int(const std::vector<std::string>& args, Io& io)> run;
    // Texts of lvtb NAME SUB --help, for subcommands that have their own.
    std::map<std::string, std::string> subcommandUsage{};
};

// A recording whose data chunk declares more bytes than the file holds is read as far as it goes;
// the author is told on stderr ("lvtb: PATH: data chunk truncated: N of M bytes"), as a note, not an
// error.
void noteTruncatedData(const std::string& path, const TessarinEditor::AudioFileInfo& info, Io& io);

// The same note for commands that read many recordings through the builder: each recording is
// looked at (its header only) the first time an entry of it is reported, and noted once.
class TruncatedDataNotes {
public:
    explicit TruncatedDataNotes(Io& io) : m_io(io) {}
    void recordingOf(const std::string& location, const std::string& wavName);

private:
    Io& m_io;
    std::set<std::string> m_seen;
};

// Every command, in the order lvtb --help lists them.
const std::vector<Command>& commands();

// The whole program: argv without the program name.
int run(const std::vector<std::string>& argv, Io& io);

} // namespace lvtb
