#pragma once

// A private CUPS scheduler for the tests: cupsd started in the foreground
// with its own configuration in a temporary folder, listening on a socket
// there, with queues whose device is a file of that folder (each job's PDF
// lands in OUT/<queue>.pdf). Header-only, so the whole-program tests use it
// too. Stopped (and its folder removed) by the destructor.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/child_process.h"

extern char** environ;

namespace kdx2::test_support {

class PrivateScheduler {
  public:
    PrivateScheduler() = default;
    ~PrivateScheduler() { stop(); }
    PrivateScheduler(const PrivateScheduler&) = delete;
    PrivateScheduler& operator=(const PrivateScheduler&) = delete;

    // Why a scheduler cannot run here (empty when it can): cupsd needs root
    // and the cups package.
    static std::string unavailableReason() {
        if (::geteuid() != 0) return "o cupsd de teste precisa de root";
        if (!std::filesystem::exists("/usr/sbin/cupsd")) return "cupsd não instalado (pacote cups)";
        if (!std::filesystem::exists("/usr/lib/cups/filter/gziptoany"))
            return "filtro gziptoany não instalado (pacote cups)";
        return "";
    }

    // Starts the scheduler; false with `why` when it did not come up.
    bool start(std::string& why) {
        char pattern[] = "/tmp/kdx2-cups-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            why = "mkdtemp";
            return false;
        }
        folder_ = pattern;
        // The filters run as the lp user and must reach the spool below.
        ::chmod(folder_.c_str(), 0755);
        for (const char* sub : {"spool", "tmp", "state", "cache", "logs", "out"})
            std::filesystem::create_directories(folder_ / sub);
        writeConfiguration();
        const std::string stderrFile = (folder_ / "logs" / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, stderrFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        const std::string conf = (folder_ / "cupsd.conf").string();
        const std::string files = (folder_ / "cups-files.conf").string();
        std::string args[] = {"cupsd", "-f", "-c", conf, "-s", files};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                        args[4].data(), args[5].data(), nullptr};
        const int rc = ::posix_spawn(&pid_, "/usr/sbin/cupsd", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            why = "cupsd não iniciou";
            pid_ = -1;
            return false;
        }
        for (int i = 0; i < 100; ++i) {
            if (running()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        why = "cupsd não respondeu: " + read(folder_ / "logs" / "error_log");
        return false;
    }

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
            folder_.clear();
        }
    }

    std::string socket() const { return (folder_ / "cups.sock").string(); }
    std::filesystem::path output(const std::string& queue) const {
        return folder_ / "out" / (queue + ".pdf");
    }

    // A queue whose jobs go to output(queue); false with the tool's words.
    bool addQueue(const std::string& queue, std::string& why) {
        int status = 0;
        why = client("lpadmin -p " + queue + " -E -v file://" + output(queue).string() + " -P " +
                         (folder_ / "pdffile.ppd").string(),
                     &status);
        return status == 0;
    }
    void setDefault(const std::string& queue) { client("lpadmin -d " + queue); }
    // The queue keeps existing but refuses new jobs.
    void reject(const std::string& queue) { client("cupsreject " + queue); }

    // Waits until no job is left unfinished; false when they did not finish.
    bool waitForJobs(int seconds = 30) {
        for (int i = 0; i < seconds * 10; ++i) {
            if (client("lpstat -W not-completed -o").empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // A command of the CUPS client tools run against this scheduler.
    std::string client(const std::string& command, int* status = nullptr) const {
        return runCommand("CUPS_SERVER=" + socket() + " " + command + " 2>&1", status);
    }

    static std::string read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    bool running() const {
        if (!std::filesystem::exists(socket())) return false;
        return client("lpstat -r").find("scheduler is running") != std::string::npos;
    }

    void writeConfiguration() const {
        std::ofstream(folder_ / "cupsd.conf") << "Listen " << socket() << "\n"
                                              << "LogLevel debug\n"
                                                 "Browsing No\n"
                                                 "WebInterface No\n"
                                                 "DefaultAuthType None\n"
                                                 "<Location />\n  Order allow,deny\n"
                                                 "  Allow all\n</Location>\n"
                                                 "<Policy default>\n  <Limit All>\n"
                                                 "    Order deny,allow\n    Allow all\n"
                                                 "  </Limit>\n</Policy>\n";
        const std::string root = folder_.string();
        std::ofstream(folder_ / "cups-files.conf")
            << "FileDevice Yes\n"
            << "ServerRoot " << root << "\n"
            << "RequestRoot " << root << "/spool\n"
            << "TempDir " << root << "/tmp\n"
            << "StateDir " << root << "/state\n"
            << "CacheDir " << root << "/cache\n"
            << "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
            << "ErrorLog " << root << "/logs/error_log\n"
            << "AccessLog " << root << "/logs/access_log\n"
            << "PageLog " << root << "/logs/page_log\n";
        // A printer that takes PDF and passes it through unchanged.
        std::ofstream(folder_ / "pdffile.ppd")
            << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
               "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
               "*PCFileName: \"PDFFILE.PPD\"\n*Manufacturer: \"Test\"\n"
               "*Product: \"(PDF file)\"\n*ModelName: \"PDF file\"\n"
               "*ShortNickName: \"PDF file\"\n*NickName: \"PDF file\"\n"
               "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: False\n"
               "*DefaultColorSpace: Gray\n*FileSystem: False\n*Throughput: \"1\"\n"
               "*cupsFilter: \"application/pdf 0 gziptoany\"\n"
               "*OpenUI *PageSize/Page Size: PickOne\n*DefaultPageSize: A4\n"
               "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
               "*CloseUI: *PageSize\n*DefaultImageableArea: A4\n"
               "*ImageableArea A4/A4: \"0 0 595 842\"\n*DefaultPaperDimension: A4\n"
               "*PaperDimension A4/A4: \"595 842\"\n";
    }

    std::filesystem::path folder_;
    pid_t pid_ = -1;
};

}  // namespace kdx2::test_support
