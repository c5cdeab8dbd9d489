// Running the real show (or a tool) as a child process, as the viewer would.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct ProcessResult {
    int status;        // exit status, or 128 + signal
    bool timedOut;
    std::string out;   // standard output
    std::string err;   // standard error
};

struct ProcessOptions {
    std::string workDir;                    // empty: the current one
    std::vector<std::string> setEnv;        // "NAME=value"
    std::vector<std::string> unsetEnv;      // names
    double timeoutSeconds = 60;
    // Called every 20 ms while the child runs, with what it has printed so far and its process id;
    // return false to stop calling.
    std::function<bool(const std::string &out, int pid)> whileRunning;
};

ProcessResult runProcess(const std::vector<std::string> &argv, const ProcessOptions &options);
// Whether SDL said the X server refused its connection, as a fresh Xvfb here now and then does.
bool wasDisplayRefused(const ProcessResult &run);
// runProcess, run again (three runs at most) while the X server refuses the connection.
ProcessResult runDisplayProcess(const std::vector<std::string> &argv, const ProcessOptions &options);
// A shell command, for xdotool and friends; returns its exit status.
int runShell(const std::string &command);
// Splits text into lines (without their line breaks).
std::vector<std::string> splitLines(const std::string &text);

// A fresh temporary directory holding a copy of the show's content tree.
std::string makeShowDirectory();
// Reads and writes whole files.
std::string readWholeFile(const std::string &path);
void writeWholeFile(const std::string &path, const std::string &bytes);
