// Runs the built lister as a user would script it: headless, keys from a
// script on standard input, the final cells (and picture) dumped to files.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "lister/run_driver.h"
#include "tests/temp_dir.h"

extern char** environ;

namespace testing_lister {

struct Run {
    int status = -1;  // the exit status, or -1 when it did not exit normally
    int signal = 0;   // the signal that ended it, if one did
    std::vector<std::string> rows;  // the final cell rows, 1-based (rows[0] unused)
    std::string errors;             // what it wrote on standard error
    std::string output;             // what it wrote on standard output
    std::string directory;          // where its executable stood
    std::string screenshot;         // the PNG's path, when asked for
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Options {
    std::string executable = LISTER_BINARY;  // where it runs from
    std::string workingDirectory;            // empty: the test's own
    bool screenshot = false;
    std::vector<std::string> environment;  // extra NAME=value entries
    std::vector<std::string> prefix;       // a command that runs lister, e.g. as another user
    std::vector<std::string> arguments;    // given to lister itself
    std::function<void(pid_t)> whileRunning;  // called once it started, before waiting for its end
};

// A copy of the program in a folder of its own, so that its output file
// lands there.
inline std::string copyOfLister(const std::string& directory) {
    const std::string path = directory + "/lister";
    std::filesystem::copy_file(LISTER_BINARY, path, std::filesystem::copy_options::overwrite_existing);
    return path;
}

inline Run runLister(const std::string& script, const testing_files::TempDir& scratch, const Options& options = {}) {
    Run run;
    run.directory = std::filesystem::path(options.executable).parent_path().string();
    const std::string scriptPath = scratch.path + "/script";
    const std::string cellsPath = scratch.path + "/cells.txt";
    const std::string errorsPath = scratch.path + "/errors.txt";
    const std::string outputPath = scratch.path + "/output.txt";
    run.screenshot = options.screenshot ? scratch.path + "/screen.png" : "";
    writeFile(scriptPath, script);
    std::filesystem::remove(cellsPath);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LISTER_", 0) != 0) env.push_back(entry);
    }
    env.push_back("LISTER_SCREEN=headless");
    env.push_back("LISTER_CELLS=" + cellsPath);
    if (options.screenshot) env.push_back("LISTER_SCREENSHOT=" + run.screenshot);
    for (const auto& extra : options.environment) env.push_back(extra);
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, scriptPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    std::vector<std::string> command = options.prefix;
    command.push_back(options.executable);
    command.insert(command.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (auto& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        if (options.whileRunning) options.whileRunning(pid);
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
        if (WIFSIGNALED(wstatus)) run.signal = WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);

    run.errors = readFile(errorsPath);
    run.output = readFile(outputPath);
    // Rows of 100 cells and a line feed; a cell may hold any byte, a line
    // feed included, so the rows are cut by length.
    const std::string cells = readFile(cellsPath);
    run.rows.push_back("");
    for (std::size_t at = 0; at + 101 <= cells.size(); at += 101) run.rows.push_back(cells.substr(at, 100));
    return run;
}

// Where a lister that stands in `directory` writes the listing of n.
inline std::string fileIn(const std::string& directory, int n) {
    return directory + "/" + lister::outputFileName(n);
}

// Whether the process has ended, without reaping it.
inline bool ended(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid;
}

// Waits until the file at `path` holds at least `bytes`; false when the
// process ended first. For Options::whileRunning.
inline bool grownTo(const std::string& path, std::uintmax_t bytes, pid_t pid) {
    for (;;) {
        std::error_code missing;
        const std::uintmax_t size = std::filesystem::file_size(path, missing);
        if (!missing && size >= bytes) return true;
        if (ended(pid)) return false;
    }
}

// A row without its trailing blanks.
inline std::string trimmed(std::string row) {
    row.erase(row.find_last_not_of(' ') + 1);
    return row;
}

}  // namespace testing_lister
