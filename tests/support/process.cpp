#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

std::string readWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeWholeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

int runShell(const std::string &command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProcessResult runProcess(const std::vector<std::string> &argv, const ProcessOptions &options)
{
    char scratch[] = "/tmp/show-process-XXXXXX";
    std::string dir = mkdtemp(scratch);
    std::string outPath = dir + "/out", errPath = dir + "/err";

    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        // Started as from a terminal: whatever this process ignores or blocks, the child does not.
        for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            signal(number, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0)
            _exit(126);
        for (const std::string &name : options.unsetEnv)
            unsetenv(name.c_str());
        for (const std::string &pair : options.setEnv)
            putenv(strdup(pair.c_str()));
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }

    ProcessResult result{-1, false, "", ""};
    auto start = std::chrono::steady_clock::now();
    bool watching = bool(options.whileRunning);
    // What the child printed so far, read on from where the last look stopped: the show prints
    // thousands of lines, and reading them all again every 20 ms would slow it down.
    std::ifstream printed;
    std::string out;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed > options.timeoutSeconds) {
            result.timedOut = true;
            kill(-child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        if (watching) {
            char block[65536];
            if (!printed.is_open())
                printed.open(outPath, std::ios::binary); // once the child has made it
            printed.clear();
            while (printed.read(block, sizeof block) || printed.gcount() > 0)
                out.append(block, size_t(printed.gcount()));
            watching = options.whileRunning(out, child);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readWholeFile(outPath);
    result.err = readWholeFile(errPath);
    fs::remove_all(dir);
    return result;
}

bool wasDisplayRefused(const ProcessResult &run)
{
    return run.err.find("Couldn't open X11 display") != std::string::npos ||
           run.err.find("x11 not available") != std::string::npos;
}

ProcessResult runDisplayProcess(const std::vector<std::string> &argv, const ProcessOptions &options)
{
    ProcessResult run = runProcess(argv, options);
    for (int retry = 0; retry < 2 && wasDisplayRefused(run); ++retry)
        run = runProcess(argv, options);
    return run;
}

std::string makeShowDirectory()
{
    char scratch[] = "/tmp/show-run-XXXXXX";
    std::string dir = mkdtemp(scratch);
    const fs::path source = SHOW_SOURCE_DIR;
    for (const char *tree : {"data", "Data"})
        if (fs::exists(source / tree))
            fs::copy(source / tree, fs::path(dir) / tree, fs::copy_options::recursive);
    return dir;
}
