#include "support/child_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

extern char** environ;

namespace kdx2::test_support {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe(in) != 0) return;
    if (::pipe(out) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
}

ChildProcess::~ChildProcess() {
    release();
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (fromChild_ >= 0) ::close(fromChild_);
}

void ChildProcess::send(const std::string& line) {
    const std::string text = line + "\n";
    if (toChild_ >= 0 && ::write(toChild_, text.data(), text.size()) < 0) release();
}

std::optional<std::string> ChildProcess::readLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (const size_t nl = pending_.find('\n'); nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (fromChild_ < 0 || left <= 0) return std::nullopt;
        pollfd p{fromChild_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
        std::array<char, 4096> buffer;
        const ssize_t n = ::read(fromChild_, buffer.data(), buffer.size());
        if (n <= 0) return std::nullopt;
        pending_.append(buffer.data(), static_cast<size_t>(n));
    }
}

std::string ChildProcess::ask(const std::string& line) {
    send(line);
    return readLine().value_or("(no answer)");
}

void ChildProcess::release() {
    if (toChild_ >= 0) ::close(toChild_);
    toChild_ = -1;
}

int ChildProcess::wait() {
    release();
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int runForked(const std::function<void()>& body) {
    std::cout.flush();
    std::cerr.flush();
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int code = 0;
        try {
            body();
        } catch (const std::exception& error) {
            std::cerr << "forked body threw: " << error.what() << '\n';
            code = 1;
        } catch (...) {
            code = 1;
        }
        std::cerr.flush();
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string runCommand(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        if (status) *status = -1;
        return out;
    }
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int rc = ::pclose(pipe);
    if (status) *status = rc;
    return out;
}

std::string runPython(const std::string& script, int* status) {
    static int counter = 0;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("kdx2_py_" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + ".py");
    std::ofstream(file) << script;
    std::string out = runCommand("/usr/bin/python3 " + file.string() + " 2>&1", status);
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    return out;
}

}  // namespace kdx2::test_support
