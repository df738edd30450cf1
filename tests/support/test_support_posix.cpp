// POSIX side of the test support. Tests may use the operating system directly.
#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testsupport {

std::string BuildDir() {
    if (const char* dir = std::getenv("TYDB_BUILD_DIR")) return dir;
    return TYDB_BUILD_DIR;
}

std::string BuildPath(const std::string& name) { return BuildDir() + "/" + name; }

std::string TestServerConnectionFile() {
    if (const char* file = std::getenv("TYDB_TEST_POSTGRES")) return file;
    return BuildDir() + "/test-postgres.connection";
}

bool RunTestServerScript(const std::string& action, const std::string& stateFile) {
    std::string script = std::string(TYDB_SOURCE_DIR) + "/scripts/test-postgres.sh";
    return std::system((script + " " + action + " " + stateFile).c_str()) == 0;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tydb-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    ServeFolderWhenAsked(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) {
        setenv(name_.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::optional<std::string>& hostName) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    std::vector<std::string> argv;
    if (hostName) {
        // A private UTS namespace, so the child's computer name differs from ours.
        argv = {"/usr/bin/unshare", "-u", "/bin/sh", "-c", "hostname \"$0\" && exec \"$@\"", *hostName, program};
    } else {
        argv = {program};
    }
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (rc != 0) {
        close(in[1]);
        close(out[0]);
        return;
    }
    pid_ = pid;
    toChild_ = in[1];
    fromChild_ = out[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        Wait(10000);
    }
    if (toChild_ >= 0) close(toChild_);
    if (fromChild_ >= 0) close(fromChild_);
}

bool ChildProcess::Send(const std::string& line) {
    if (toChild_ < 0) return false;
    std::string text = line + "\n";
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(toChild_, p, left);
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::optional<std::string> ChildProcess::ReadLine(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        if (fromChild_ < 0) return std::nullopt;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd pfd{fromChild_, POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready <= 0) continue;
        char buffer[4096];
        ssize_t n = read(fromChild_, buffer, sizeof buffer);
        if (n <= 0) {
            close(fromChild_);
            fromChild_ = -1;
            if (pending_.empty()) return std::nullopt;
            std::string line = pending_;
            pending_.clear();
            return line;
        }
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

bool ChildProcess::WaitFor(const std::string& expected, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        auto line = ReadLine(static_cast<int>(left.count()));
        if (!line) return false;
        if (*line == expected) return true;
    }
}

int ChildProcess::Wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    if (exited_) return exitCode_;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        if (r < 0 || std::chrono::steady_clock::now() > deadline) return -1;
        usleep(2000);
    }
}

void ChildProcess::Kill() {
    if (pid_ > 0 && !exited_) kill(pid_, SIGKILL);
}

bool CanChangeHostName() {
    if (geteuid() != 0 || access("/usr/bin/unshare", X_OK) != 0) return false;
    return std::system("/usr/bin/unshare -u /bin/true >/dev/null 2>&1") == 0;
}

namespace {

const char kReadOnlyMountScript[] = "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && exec \"$@\"";

}  // namespace

bool CanMountReadOnly() {
    if (geteuid() != 0 || access("/usr/bin/unshare", X_OK) != 0) return false;
    TempDir probe;
    std::vector<std::string> argv = OnReadOnlyMount(probe.path(), "/bin/true");
    std::string command;
    for (const std::string& arg : argv) command += "'" + arg + "' ";
    return std::system((command + ">/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> OnReadOnlyMount(const std::string& folder, const std::string& program) {
    return {"/usr/bin/unshare", "-m", "/bin/sh", "-c", kReadOnlyMountScript, folder, program};
}

GuardedBuffer::GuardedBuffer(size_t size) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t pages = (size + page - 1) / page + 1;
    mappingSize_ = pages * page;
    mapping_ = mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED) throw std::runtime_error("no memory for a guarded buffer");
    unsigned char* guard = static_cast<unsigned char*>(mapping_) + mappingSize_ - page;
    mprotect(guard, page, PROT_NONE);
    data_ = guard - size;
}

GuardedBuffer::~GuardedBuffer() { munmap(mapping_, mappingSize_); }

std::optional<std::string> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace testsupport
