// Support shared by the tests: temporary folders, environment scopes and helper processes.
#ifndef TYDB_TESTS_SUPPORT_TEST_SUPPORT_H
#define TYDB_TESTS_SUPPORT_TEST_SUPPORT_H

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The build folder: products, helper programs and the fake engine live here.
std::string BuildDir();

// Full path of a program or library in the build folder.
std::string BuildPath(const std::string& name);

// The test suite's PostgreSQL server (scripts/test-postgres.sh): the file that holds its
// connection string (TYDB_TEST_POSTGRES, else in the build folder).
std::string TestServerConnectionFile();
// Runs that script with `action` (start, restart, stop) for the server whose connection string
// it keeps in `stateFile`; true when the script succeeded. Under Wine too, where the script runs
// as the POSIX program it is.
bool RunTestServerScript(const std::string& action, const std::string& stateFile);
// With TYDB_TEST_STORE=server, makes `folder` a served folder with a schema of its own on the test
// server (every TempDir's folder is one); with TYDB_TEST_STORE=network, has the SQLite store keep
// the files of the folders beside it in network-share mode; otherwise does nothing.
void ServeFolderWhenAsked(const std::string& folder);

// A fresh folder under the system's temporary folder (on Windows: under TYDB_TEST_TEMP when set),
// removed with everything in it. With TYDB_TEST_STORE=server it is a served folder, with a
// schema of its own on the test server.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

// Sets (or, with nullopt, removes) an environment variable for the life of the scope.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// A second process started from a helper program, with pipes to its standard input and
// output. The destructor kills a process that is still running and waits for it.
class ChildProcess {
public:
    // Starts `program` (a path) with `args`. `hostName`, when given, runs the child in its own
    // UTS namespace under that host name (needs root and unshare; see CanChangeHostName()).
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::optional<std::string>& hostName = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    // Sends a line (a '\n' is added) to the child's standard input.
    bool Send(const std::string& line);
    // Reads one line from the child's standard output (without its '\n'); nullopt at the end
    // of the output or after `timeoutMs`.
    std::optional<std::string> ReadLine(int timeoutMs = 10000);
    // Waits for the child's line equal to `expected`, skipping others; false on end or timeout.
    bool WaitFor(const std::string& expected, int timeoutMs = 10000);
    // Waits for the end of the child; its exit code, or 128 + signal, or -1 on timeout.
    int Wait(int timeoutMs = 30000);
    // SIGKILL.
    void Kill();

private:
    int pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
    bool exited_ = false;
    int exitCode_ = -1;
};

// True when tests may start children under another host name (root, and unshare works).
bool CanChangeHostName();

// True when tests may start children that see a folder as read-only media (root, and unshare
// gives a child a mount namespace of its own).
bool CanMountReadOnly();
// The program and arguments that run `program` in a mount namespace of its own, where `folder`
// is mounted read-only. Only when CanMountReadOnly().
std::vector<std::string> OnReadOnlyMount(const std::string& folder, const std::string& program);

// `size` bytes of memory followed by a page the process may neither read nor write: a call that
// touches one byte past them crashes instead of going unnoticed.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    unsigned char* data() const { return data_; }

private:
    void* mapping_ = nullptr;
    size_t mappingSize_ = 0;
    unsigned char* data_ = nullptr;
};

// Whole contents of a file; nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);
// Writes a file whole; false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace testsupport

#endif  // TYDB_TESTS_SUPPORT_TEST_SUPPORT_H
