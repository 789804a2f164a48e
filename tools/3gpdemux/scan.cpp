// "3gpdemux scan [--ext LIST] [-j N] [--timeout S] [--ffprobe] PATH...": runs
// the files in parallel children, each with a time-out, prints a JSON line a
// file as each finishes, shows progress on a terminal and ends with a summary.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "commands.h"
#include "scan.h"

extern char** environ;

namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: 3gpdemux scan [--ext LIST] [-j N] [--timeout S] [--ffprobe] PATH...\n"
    "Every file under the PATHs (folders recursively) whose extension is in LIST (comma-separated;\n"
    "default 3gp,3g2,mp4,m4a,m4v,mov) is checked as info does and played to end-of-stream as samples\n"
    "does, each in a child process, N at a time (default: the number of processors), each given\n"
    "S seconds (default 60). Prints one JSON object a line per file as it finishes:\n"
    "  path, verdict (accepted, refused, failed, hung, crashed: killed by a signal or exited with\n"
    "  an error and no result), hr and hr_name (the result code),\n"
    "  reason, seconds, pins (kind, codec, samples and duration of the track, media_samples and\n"
    "  bytes delivered), stream_errors, and with --ffprobe, ffprobe's disagreements with the pins'\n"
    "  sample counts and durations (null when ffprobe cannot say).\n"
    "Progress on stderr when it is a terminal; a summary on stderr at the end.\n"
    "Exit status: 0 every file accepted, 2 any refused or failed, 3 any hung or crashed, 1 usage.\n";

struct ScanOptions {
    std::vector<std::string> paths;
    std::set<std::string> extensions = {"3gp", "3g2", "mp4", "m4a", "m4v", "mov"};
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    int timeoutSeconds = 60;
    bool bFfprobe = false;
};

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool ParseOptions(const std::vector<std::string>& args, ScanOptions* pOptions)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        long long llValue = 0;
        if (arg == "--ffprobe") {
            pOptions->bFfprobe = true;
        } else if (arg == "--ext" || arg == "-j" || arg == "--timeout") {
            if (i + 1 >= args.size()) {
                PrintError(arg + " needs a value");
                return false;
            }
            const std::string& value = args[++i];
            if (arg == "--ext") {
                pOptions->extensions.clear();
                for (size_t pos = 0; pos <= value.size();) {
                    size_t comma = std::min(value.find(',', pos), value.size());
                    std::string ext = Lower(value.substr(pos, comma - pos));
                    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
                    if (!ext.empty()) pOptions->extensions.insert(ext);
                    pos = comma + 1;
                }
            } else if (!ParseInteger(value, &llValue) || llValue < 1 || llValue > 100000) {
                PrintError(arg + " wants a positive whole number, not '" + value + "'");
                return false;
            } else if (arg == "-j") {
                pOptions->jobs = static_cast<unsigned>(llValue);
            } else {
                pOptions->timeoutSeconds = static_cast<int>(llValue);
            }
        } else if (!arg.empty() && arg[0] == '-') {
            PrintError("unknown option " + arg);
            return false;
        } else {
            pOptions->paths.push_back(arg);
        }
    }
    if (pOptions->paths.empty()) PrintError("no PATH given");
    return !pOptions->paths.empty();
}

bool Wanted(const std::filesystem::path& path, const std::set<std::string>& extensions)
{
    std::string ext = Lower(path.extension().string());
    return !ext.empty() && extensions.count(ext.substr(1)) != 0;
}

// The files to scan, each once, in name order under each PATH; false when a PATH does not exist.
bool CollectFiles(const ScanOptions& options, std::vector<std::string>* pFiles)
{
    namespace fs = std::filesystem;
    bool bOk = true;
    for (const std::string& root : options.paths) {
        std::error_code ec;
        if (fs::is_directory(root, ec)) {
            std::vector<std::string> found;
            for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
                 !ec && it != end; it.increment(ec)) {
                if (it->is_regular_file(ec) && Wanted(it->path(), options.extensions)) found.push_back(it->path().string());
            }
            std::sort(found.begin(), found.end());
            pFiles->insert(pFiles->end(), found.begin(), found.end());
        } else if (fs::exists(root, ec)) {
            pFiles->push_back(root);  // named on purpose: scanned whatever its extension
        } else {
            PrintError("no such file or folder: " + root);
            bOk = false;
        }
    }
    std::set<std::string> seen;
    pFiles->erase(std::remove_if(pFiles->begin(), pFiles->end(), [&](const std::string& f) { return !seen.insert(f).second; }),
                  pFiles->end());
    return bOk;
}

struct Child {
    pid_t pid = -1;
    int fd = -1;  // the child's stdout
    std::string path;
    std::string out;
    Clock::time_point start;
    bool bKilled = false;
};

// Starts "3gpdemux scan --one FILE" with stdout to a pipe and stderr (the filter's debug output) discarded.
bool StartChild(const std::string& self, const std::string& path, bool bFfprobe, Child* pChild)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {self, "scan", "--one", path};
    if (bFfprobe) args.push_back("--ffprobe");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    int error = posix_spawn(&pChild->pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (error != 0) {
        close(fds[0]);
        return false;
    }
    pChild->fd = fds[0];
    pChild->path = path;
    pChild->start = Clock::now();
    return true;
}

void Drain(Child* pChild)
{
    char buffer[4096];
    for (ssize_t cb; (cb = read(pChild->fd, buffer, sizeof(buffer))) > 0;) pChild->out.append(buffer, static_cast<size_t>(cb));
}

// The file's line, from the child's output and how it ended.
Json Result(const Child& child, int status, double dSeconds, int timeoutSeconds)
{
    Json result = Json::parse(child.out, nullptr, false);
    if (child.bKilled || WIFSIGNALED(status) || result.is_discarded() || !result.is_object()) {
        result = Json{{"path", child.path}, {"verdict", "failed"}, {"hr", nullptr}, {"hr_name", nullptr}, {"reason", ""},
                      {"seconds", dSeconds}, {"pins", Json::array()}, {"stream_errors", Json::array()}};
        if (child.bKilled) {
            result["verdict"] = "hung";
            result["reason"] = "no result within " + std::to_string(timeoutSeconds) + " s; the child was killed";
        } else if (WIFSIGNALED(status)) {
            result["verdict"] = "crashed";
            result["reason"] = std::string("the child was killed by signal ") + std::to_string(WTERMSIG(status)) +
                               " (" + strsignal(WTERMSIG(status)) + ")";
        } else if (WEXITSTATUS(status) != 0) {
            // What a crash under a sanitizer or a fatal error handler looks like.
            result["verdict"] = "crashed";
            result["reason"] = "the child exited with status " + std::to_string(WEXITSTATUS(status)) + " and no result";
        } else {
            result["reason"] = "the child gave no result";
        }
    }
    return result;
}

class CSummary {
public:
    void Add(const Json& result)
    {
        const std::string verdict = result["verdict"];
        ++m_verdicts[verdict];
        for (const Json& pin : result["pins"]) ++m_codecs[pin["kind"].get<std::string>() + " " + pin["codec"].get<std::string>()];
        m_times.emplace_back(result["seconds"].get<double>(), result["path"].get<std::string>());
        if (verdict != "accepted") m_problems.push_back(verdict + "  " + result["path"].get<std::string>() + ": " + result["reason"].get<std::string>());
        if (result.contains("ffprobe") && result["ffprobe"].is_array()) {
            for (const Json& d : result["ffprobe"]) m_ffprobe.push_back(result["path"].get<std::string>() + ": " + d.get<std::string>());
        } else if (result.contains("ffprobe") && verdict == "accepted") {
            m_ffprobe.push_back(result["path"].get<std::string>() + ": ffprobe gave no answer");
        }
    }

    void Print(size_t files, double dSeconds, bool bFfprobe) const
    {
        std::fprintf(stderr, "\n3gpdemux scan: %zu files in %.1f s\n\n  verdict     files\n", files, dSeconds);
        for (const char* pszVerdict : {"accepted", "refused", "failed", "hung", "crashed"}) {
            auto it = m_verdicts.find(pszVerdict);
            std::fprintf(stderr, "  %-10s %6ld\n", pszVerdict, it == m_verdicts.end() ? 0L : it->second);
        }
        std::fprintf(stderr, "\n  codec          pins\n");
        for (const auto& codec : m_codecs) std::fprintf(stderr, "  %-12s %6ld\n", codec.first.c_str(), codec.second);
        std::vector<std::pair<double, std::string>> slowest = m_times;
        std::sort(slowest.rbegin(), slowest.rend());
        slowest.resize(std::min<size_t>(slowest.size(), 5));
        std::fprintf(stderr, "\n  slowest\n");
        for (const auto& slow : slowest) std::fprintf(stderr, "  %7.2f s  %s\n", slow.first, slow.second.c_str());
        std::fprintf(stderr, "\n  not accepted: %zu\n", m_problems.size());
        for (const std::string& problem : m_problems) std::fprintf(stderr, "  %s\n", problem.c_str());
        if (bFfprobe) {
            std::fprintf(stderr, "\n  ffprobe disagrees: %zu\n", m_ffprobe.size());
            for (const std::string& line : m_ffprobe) std::fprintf(stderr, "  %s\n", line.c_str());
        }
    }

    int ExitStatus() const
    {
        if (m_verdicts.count("hung") || m_verdicts.count("crashed")) return kExitHungOrCrashed;
        return m_verdicts.count("refused") || m_verdicts.count("failed") ? kExitRefused : kExitOk;
    }

private:
    std::map<std::string, long> m_verdicts;
    std::map<std::string, long> m_codecs;
    std::vector<std::pair<double, std::string>> m_times;
    std::vector<std::string> m_problems;
    std::vector<std::string> m_ffprobe;
};

void ShowProgress(bool bShow, size_t done, size_t total, bool bEnd = false)
{
    if (!bShow) return;
    const size_t width = 30, filled = total ? done * width / total : width;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu files%s", std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), done, total, bEnd ? "\n" : "");
    std::fflush(stderr);
}

}  // namespace

int RunScan(const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (args.size() >= 2 && args[0] == "--one") return RunScanFile(args[1], args.size() > 2 && args[2] == "--ffprobe");
    ScanOptions options;
    if (!ParseOptions(args, &options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    std::vector<std::string> files;
    if (!CollectFiles(options, &files)) return kExitUsage;

    const auto tStart = Clock::now();
    const std::string self = SelfPath();
    const bool bProgress = isatty(STDERR_FILENO) == 1;
    CSummary summary;
    std::vector<Child> running;
    size_t next = 0, done = 0;
    ShowProgress(bProgress, 0, files.size());
    while (next < files.size() || !running.empty()) {
        while (running.size() < options.jobs && next < files.size()) {
            Child child;
            if (StartChild(self, files[next], options.bFfprobe, &child)) {
                running.push_back(child);
            } else {
                Json result{{"path", files[next]}, {"verdict", "failed"}, {"reason", "cannot start a child process"},
                            {"seconds", 0.0}, {"pins", Json::array()}};
                std::printf("%s\n", result.dump().c_str());
                summary.Add(result);
                ++done;
            }
            ++next;
        }
        std::vector<pollfd> fds;
        for (const Child& child : running) fds.push_back({child.fd, POLLIN, 0});
        poll(fds.data(), fds.size(), 50);
        for (size_t i = 0; i < running.size();) {
            Child& child = running[i];
            if (fds.size() > i && (fds[i].revents & (POLLIN | POLLHUP))) Drain(&child);
            const double dSeconds = std::chrono::duration<double>(Clock::now() - child.start).count();
            if (!child.bKilled && dSeconds > options.timeoutSeconds) {
                kill(child.pid, SIGKILL);
                child.bKilled = true;
            }
            int status = 0;
            if (waitpid(child.pid, &status, WNOHANG) != child.pid) {
                ++i;
                continue;
            }
            Drain(&child);
            close(child.fd);
            Json result = Result(child, status, dSeconds, options.timeoutSeconds);
            if (bProgress) std::fprintf(stderr, "\r\033[K");
            std::printf("%s\n", result.dump().c_str());
            std::fflush(stdout);
            summary.Add(result);
            ShowProgress(bProgress, ++done, files.size());
            running.erase(running.begin() + static_cast<long>(i));
            fds.erase(fds.begin() + static_cast<long>(std::min(i, fds.size())));
        }
    }
    ShowProgress(bProgress, done, files.size(), true);
    summary.Print(files.size(), std::chrono::duration<double>(Clock::now() - tStart).count(), options.bFfprobe);
    return summary.ExitStatus();
}
