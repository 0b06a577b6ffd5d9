// The benchmark's system calls on Linux.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "bench/merge/platform.h"

namespace pq::bench {

uint64_t PeakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;  // kB
    throw std::runtime_error("/proc/self/status has no VmHWM line");
}

int RunSelf(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string self = "/proc/self/exe";
    argv.push_back(self.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
    if (pid == 0) {
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error(std::string("waitpid failed: ") + std::strerror(errno));
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

void SettleDisk() {
    sync();
}

double SequentialWriteSeconds(const std::string& path, uint64_t bytes) {
    std::vector<char> chunk(64 * 1024);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 131 + 7);
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
    for (uint64_t left = bytes; left > 0;) {
        const size_t n = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
        const ssize_t put = ::write(fd, chunk.data(), n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            const std::string why = std::strerror(errno);
            ::close(fd);
            throw std::runtime_error(path + ": write failed (" + why + ")");
        }
        left -= static_cast<uint64_t>(put);
    }
    ::close(fd);
    const auto end = std::chrono::steady_clock::now();
    ::unlink(path.c_str());
    return std::chrono::duration<double>(end - start).count();
}

}  // namespace pq::bench
