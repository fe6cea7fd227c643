#include "cli/Cli.h"

#include "audio/AudioReader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <istream>
#include <new>
#include <ostream>
#include <stdexcept>

namespace lvtb {

void noteTruncatedData(const std::string& path, const TessarinEditor::AudioFileInfo& info, Io& io)
{
    if (info.declaredDataBytes > info.dataBytes) {
        io.err << "lvtb: " << path << ": data chunk truncated: " << info.dataBytes << " of " << info.declaredDataBytes
               << " bytes\n";
    }
}

void TruncatedDataNotes::recordingOf(const std::string& location, const std::string& wavName)
{
    const std::string path = (std::filesystem::path(location) / wavName).string();
    if (!m_seen.insert(path).second) {
        return;
    }
    TessarinEditor::AudioFileInfo info;
    if (TessarinEditor::audioFileExtension(path) == "wav" && TessarinEditor::probeAudioFile(path, info)) {
        noteTruncatedData(path, info, m_io);
    }
}

Args::Args(const std::vector<std::string>& argv, const std::set<std::string>& flags, const std::set<std::string>& options)
{
    bool onlyPositional = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (onlyPositional || a.size() < 3 || a.compare(0, 2, "--") != 0) {
            if (a == "--") {
                onlyPositional = true;
                continue;
            }
            m_positional.push_back(a);
            continue;
        }
        // --opt=value is --opt value in one word; the value may itself hold "=" or be empty.
        const std::size_t equals = a.find('=');
        const std::string name = a.substr(0, equals);
        if (flags.count(name) != 0) {
            if (equals != std::string::npos) {
                throw UsageError{name + " takes no value"};
            }
            m_flags.insert(name);
        } else if (options.count(name) != 0) {
            if (equals != std::string::npos) {
                m_options[name] = a.substr(equals + 1);
            } else if (i + 1 >= argv.size()) {
                throw UsageError{a + " needs a value"};
            } else {
                m_options[name] = argv[++i];
            }
        } else {
            throw UsageError{"unknown option " + name};
        }
    }
}

const std::string& Args::positional(std::size_t i) const
{
    if (i >= m_positional.size()) {
        throw UsageError{"missing argument"};
    }
    return m_positional[i];
}

void Args::expectPositional(std::size_t n, std::string_view names) const
{
    if (m_positional.size() != n) {
        throw UsageError{"expected " + std::string(names)};
    }
}

std::optional<std::string> Args::option(const std::string& name) const
{
    const auto it = m_options.find(name);
    if (it == m_options.end()) {
        return std::nullopt;
    }
    return it->second;
}

namespace {

void printHelp(std::ostream& out)
{
    out << "lvtb " << kProgramVersion << " - Lirvane ToolBox on the command line\n\n"
        << "usage: lvtb COMMAND [ARGS]   (lvtb COMMAND --help for its usage)\n\ncommands:\n";
    for (const Command& c : commands()) {
        out << "  " << c.name;
        for (std::size_t pad = c.name.size(); pad < 12; ++pad) {
            out << ' ';
        }
        out << ' ' << c.summary << '\n';
    }
}

} // namespace

namespace {

// Runs one command inside the boundary every command shares: a usage error or anything thrown
// (exhausted memory, a library's exception) is one "lvtb: " line on stderr and exit 2. Objects
// that own temporary files remove them as the stack unwinds.
int runGuarded(const Command& c, const std::vector<std::string>& args, Io& io)
{
    try {
        return c.run(args, io);
    } catch (const UsageError& e) {
        io.err << "lvtb: " << e.message << '\n';
    } catch (const std::bad_alloc&) {
        io.err << "lvtb: out of memory\n";
    } catch (const std::exception& e) {
        io.err << "lvtb: " << e.what() << '\n';
    } catch (...) {
        io.err << "lvtb: unexpected error\n";
    }
    return kExitUsage;
}

// The output has reached its destination, or the command fails: a full disk or a closed pipe must
// never pass for success.
int checkedOutput(int status, Io& io)
{
    // A write that failed before keeps its errno; one that fails now sets it.
    const bool failedBefore = !io.out;
    if (!failedBefore) {
        errno = 0;
    }
    io.out.flush();
    if (!io.out) {
        const int error = errno;
        io.err << "lvtb: cannot write the output" << (error != 0 ? ": " + std::string(std::strerror(error)) : std::string())
               << '\n';
        return kExitUsage;
    }
    return status;
}

} // namespace

int run(const std::vector<std::string>& argv, Io& io)
{
    if (argv.empty()) {
        io.err << "usage: lvtb COMMAND [ARGS]   (lvtb --help lists the commands)\n";
        return kExitUsage;
    }
    if (argv[0] == "--help" || argv[0] == "-h" || argv[0] == "help") {
        printHelp(io.out);
        return checkedOutput(kExitOk, io);
    }
    if (argv[0] == "--version") {
        io.out << kProgramVersion << '\n';
        return checkedOutput(kExitOk, io);
    }
    for (const Command& c : commands()) {
        if (c.name != argv[0]) {
            continue;
        }
        const std::vector<std::string> rest(argv.begin() + 1, argv.end());
        for (const std::string& a : rest) {
            if (a == "--help") {
                const auto sub = rest.empty() ? c.subcommandUsage.end() : c.subcommandUsage.find(rest[0]);
                io.out << (sub != c.subcommandUsage.end() ? sub->second : c.usage);
                return checkedOutput(kExitOk, io);
            }
        }
        return checkedOutput(runGuarded(c, rest, io), io);
    }
    io.err << "lvtb: unknown command " << argv[0] << " (lvtb --help lists them)\n";
    return kExitUsage;
}

} // namespace lvtb
