#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "commands.h"

bool IsHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

void PrintError(const std::string& message)
{
    std::fprintf(stderr, "3gpdemux: %s\n", message.c_str());
}

bool CheckReadableFile(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        PrintError("cannot read " + path + ": " + std::strerror(errno));
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        PrintError("cannot read " + path + ": it is a directory");
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        PrintError("cannot read " + path + ": " + std::strerror(errno));
        return false;
    }
    std::fclose(file);
    return true;
}

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string SelfPath()
{
    char sz[PATH_MAX];
    ssize_t cch = readlink("/proc/self/exe", sz, sizeof(sz) - 1);
    return cch > 0 ? std::string(sz, static_cast<size_t>(cch)) : "3gpdemux";
}

bool ParseInteger(const std::string& text, long long* pValue)
{
    if (text.empty()) return false;
    errno = 0;
    char* pEnd = nullptr;
    long long value = std::strtoll(text.c_str(), &pEnd, 10);
    if (errno != 0 || *pEnd != 0) return false;
    *pValue = value;
    return true;
}
