// Windows side of the test support. Tests may use the operating system directly.
//
// The tests run under Wine as well as on Windows, so nothing here relies on more than the
// documented kernel and C runtime calls.
#include "test_support.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {

// The kill exit code, as a shell reports a process ended by SIGKILL, so tests read the same
// number on every platform.
constexpr UINT kKilledExitCode = 128 + 9;

// The process handle of each running ChildProcess. The class keeps only the process id and
// C runtime descriptors (its layout is shared with POSIX), and a handle must be held from
// creation on: once the child has exited, its id alone may name another process.
std::map<const ChildProcess*, HANDLE>& ProcessHandles() {
    static std::map<const ChildProcess*, HANDLE> handles;
    return handles;
}

HANDLE ProcessHandleOf(const ChildProcess* child) {
    auto found = ProcessHandles().find(child);
    return found == ProcessHandles().end() ? nullptr : found->second;
}

// One argument quoted for CommandLineToArgvW and the C runtime's parser: quotes only when
// needed, backslashes doubled before a quote.
std::string QuoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

// Helper programs are named without their extension, as on POSIX.
std::string ProgramFile(const std::string& program) {
    size_t slash = program.find_last_of("/\\");
    size_t dot = program.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return program + ".exe";
    return program;
}

// A POSIX-style absolute path (as CMake writes the build folder) on Wine's drive Z:, which is
// the root of the Unix file system.
std::string WindowsPath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return "Z:" + path;
    return path;
}

// The name a POSIX program knows a file by: under Wine, the file's Unix path, which Wine's
// kernel32 gives; elsewhere the path itself.
std::string UnixPath(const std::string& path) {
    using Converter = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<Converter>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return path;
    std::wstring wide(path.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    if (length == 0) return path;
    char* unixName = convert(wide.c_str());
    if (unixName == nullptr) return path;
    std::string result = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

}  // namespace

std::string BuildDir() {
    if (const char* dir = std::getenv("TYDB_BUILD_DIR")) return WindowsPath(dir);
    return WindowsPath(TYDB_BUILD_DIR);
}

std::string BuildPath(const std::string& name) { return BuildDir() + "/" + name; }

TempDir::TempDir() {
    // TYDB_TEST_TEMP puts the folders elsewhere, such as on a drive the system reports as remote.
    std::string folder;
    if (const char* chosen = std::getenv("TYDB_TEST_TEMP"); chosen != nullptr && chosen[0] != '\0') {
        folder = chosen;
    } else {
        char base[MAX_PATH + 1];
        DWORD length = GetTempPathA(sizeof base, base);
        if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
        folder.assign(base, length);
    }
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    std::random_device seed;
    std::mt19937 random(seed() ^ GetCurrentProcessId());
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + "tydb-test-";
        for (int i = 0; i < 6; ++i) candidate += kLetters[random() % (sizeof kLetters - 1)];
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            ServeFolderWhenAsked(path_);
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw std::runtime_error("cannot create a temporary folder");
}

std::string TestServerConnectionFile() {
    if (const char* file = std::getenv("TYDB_TEST_POSTGRES")) return WindowsPath(file);
    return BuildDir() + "/test-postgres.connection";
}

bool RunTestServerScript(const std::string& action, const std::string& stateFile) {
    // Wine starts a POSIX program named by its Windows path (drive Z: is the Unix root), but
    // gives no handle to wait on: the shell that runs the script leaves its exit status in a file.
    std::string status = stateFile + "." + action + ".status";
    DeleteFileA(status.c_str());
    std::string unixStatus = UnixPath(status);
    std::string command = "Z:\\bin\\sh -c \"" + std::string(TYDB_SOURCE_DIR) + "/scripts/test-postgres.sh " + action +
                          " " + UnixPath(stateFile) + "; echo $? >" + unixStatus + ".part && mv " + unixStatus +
                          ".part " + unixStatus + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    for (int waited = 0; waited < 120000; waited += 50) {
        if (std::optional<std::string> code = ReadFileBytes(status)) return *code == "0\n";
        Sleep(50);
    }
    return false;
}

namespace {

// Deletes a folder tree, clearing read-only marks first. std::filesystem::remove_all stops at
// the first read-only file on Windows.
void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

}  // namespace

TempDir::~TempDir() { RemoveTree(path_); }

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

namespace {

// Both environments: the C runtime's copy that getenv reads, and the process environment that
// GetEnvironmentVariableA and child processes see. _putenv cannot store an empty value (it
// removes the variable), so the process environment is set last with the exact value.
void SetBothEnvironments(const std::string& name, const std::optional<std::string>& value) {
    std::string assignment = name + "=" + (value ? *value : std::string());
    _putenv(assignment.c_str());
    SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
}

}  // namespace

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    DWORD size = GetEnvironmentVariableA(name_.c_str(), nullptr, 0);
    if (size > 0) {
        std::string old(size, '\0');
        DWORD length = GetEnvironmentVariableA(name_.c_str(), old.data(), size);
        old.resize(length);
        old_ = old;
    }
    SetBothEnvironments(name_, value);
}

ScopedEnv::~ScopedEnv() { SetBothEnvironments(name_, old_); }

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::optional<std::string>& hostName) {
    // A second computer name needs a second machine; tests ask CanChangeHostName() first.
    if (hostName) return;

    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childInput = nullptr, toChild = nullptr, fromChild = nullptr, childOutput = nullptr;
    if (!CreatePipe(&childInput, &toChild, &inheritable, 0)) return;
    if (!CreatePipe(&fromChild, &childOutput, &inheritable, 0)) {
        CloseHandle(childInput);
        CloseHandle(toChild);
        return;
    }
    // Only the child's ends are inherited; our ends must close when we close them, or the
    // child never sees the end of its input.
    SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);

    std::string file = ProgramFile(program);
    std::string commandLine = QuoteArgument(file);
    for (const auto& argument : args) commandLine += " " + QuoteArgument(argument);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    BOOL created = CreateProcessA(file.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    if (!created) {
        CloseHandle(toChild);
        CloseHandle(fromChild);
        return;
    }
    CloseHandle(process.hThread);
    ProcessHandles()[this] = process.hProcess;
    pid_ = static_cast<int>(process.dwProcessId);
    toChild_ = _open_osfhandle(reinterpret_cast<intptr_t>(toChild), _O_WRONLY | _O_BINARY);
    fromChild_ = _open_osfhandle(reinterpret_cast<intptr_t>(fromChild), _O_RDONLY | _O_BINARY);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited_) {
        Kill();
        Wait(10000);
    }
    if (toChild_ >= 0) _close(toChild_);
    if (fromChild_ >= 0) _close(fromChild_);
    if (HANDLE process = ProcessHandleOf(this)) {
        CloseHandle(process);
        ProcessHandles().erase(this);
    }
}

bool ChildProcess::Send(const std::string& line) {
    if (toChild_ < 0) return false;
    std::string text = line + "\n";
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        int n = _write(toChild_, p, static_cast<unsigned>(left));
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
            // A child whose runtime writes text mode ends its lines with "\r\n".
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (fromChild_ < 0) return std::nullopt;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        // Anonymous pipes cannot be waited on with a timeout; peek, and read only what is there.
        HANDLE pipe = reinterpret_cast<HANDLE>(_get_osfhandle(fromChild_));
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            // The child closed its output: what is left is its last line.
            _close(fromChild_);
            fromChild_ = -1;
            if (pending_.empty()) return std::nullopt;
            std::string line = pending_;
            pending_.clear();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (available == 0) {
            Sleep(2);
            continue;
        }
        char buffer[4096];
        int n = _read(fromChild_, buffer, available < sizeof buffer ? available : sizeof buffer);
        if (n > 0) pending_.append(buffer, static_cast<size_t>(n));
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
    HANDLE process = ProcessHandleOf(this);
    if (process == nullptr) return -1;
    if (WaitForSingleObject(process, timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) return -1;
    exited_ = true;
    exitCode_ = static_cast<int>(code);
    return exitCode_;
}

void ChildProcess::Kill() {
    if (pid_ <= 0 || exited_) return;
    if (HANDLE process = ProcessHandleOf(this)) TerminateProcess(process, kKilledExitCode);
}

bool CanChangeHostName() { return false; }

// Read-only media would need a volume of its own; tests ask CanMountReadOnly() first.
bool CanMountReadOnly() { return false; }

std::vector<std::string> OnReadOnlyMount(const std::string&, const std::string& program) { return {program}; }

GuardedBuffer::GuardedBuffer(size_t size) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size_t page = system.dwPageSize;
    mappingSize_ = ((size + page - 1) / page + 1) * page;
    mapping_ = VirtualAlloc(nullptr, mappingSize_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (mapping_ == nullptr) throw std::runtime_error("no memory for a guarded buffer");
    unsigned char* guard = static_cast<unsigned char*>(mapping_) + mappingSize_ - page;
    DWORD old;
    VirtualProtect(guard, page, PAGE_NOACCESS, &old);
    data_ = guard - size;
}

GuardedBuffer::~GuardedBuffer() { VirtualFree(mapping_, 0, MEM_RELEASE); }

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
