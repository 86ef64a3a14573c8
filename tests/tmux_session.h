// lister in a tmux session of its own, for the end-to-end tests of the
// terminal back end: a private tmux server, lister run in a shell that
// records how it left the terminal, keys sent and the screen read back.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_lister.h"
#include "tests/temp_dir.h"

namespace testing_tmux {

using testing_files::TempDir;
using testing_lister::readFile;


using testing_files::TempDir;
using testing_lister::readFile;

inline constexpr auto patience = std::chrono::seconds(15);
inline constexpr const char* questionText = "NUMERO DE ELEMENTOS A COMBINAR";
inline constexpr const char* choiceText = "SALIDA SOLO POR";
inline constexpr const char* interruptedText = "PROCESO INTERRUMPIDO";
inline constexpr const char* afterText = "AFTER-LISTER";

inline std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Shell {
    int status = -1;
    std::string output;
};

inline Shell shell(const std::string& command) {
    Shell result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::string trimmed(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// One tmux server on a socket of its own, killed (with whatever runs in
// it) when the test ends.
struct Tmux {
    std::string socket;
    TempDir scratch;

    Tmux() {
        static int serial = 0;
        socket = "lister-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    }
    ~Tmux() { shell(command("kill-server")); }

    std::string command(const std::string& arguments) const {
        // A UTF-8 locale, so that tmux keeps the cells' characters whole.
        return "env -u TMUX LC_ALL=C.UTF-8 tmux -L " + socket + " -f /dev/null " + arguments;
    }
    Shell run(const std::string& arguments) const { return shell(command(arguments)); }

    // Runs `script` in sh in a new detached session of the given size.
    // The script ends in a long sleep so that the pane outlives lister.
    ::testing::AssertionResult start(const std::string& script, int columns = 100, int rows = 70) const {
        const Shell r = run("new-session -d -s t -x " + std::to_string(columns) + " -y " + std::to_string(rows) +
                            " " + quoted("exec sh -c " + quoted(script + "; exec sleep 600")));
        if (r.status != 0) return ::testing::AssertionFailure() << "tmux cannot start: " << r.output;
        return ::testing::AssertionSuccess();
    }

    std::vector<std::string> screen(bool colours = false) const {
        return linesOf(run(std::string("capture-pane -p -t t") + (colours ? " -e" : "")).output);
    }
    std::string row(int r, bool colours = false) const {
        const std::vector<std::string> lines = screen(colours);
        return r >= 1 && r <= static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(r - 1)] : "";
    }
    std::string display(const std::string& format) const {
        return trimmed(linesOf(run("display -p -t t " + quoted(format)).output + "\n")[0]);
    }
    void keys(const std::string& keys) const { run("send-keys -t t " + keys); }
    void literal(const std::string& text) const { run("send-keys -t t -l " + quoted(text)); }
    void resize(int columns, int rows) const {
        run("resize-window -t t -x " + std::to_string(columns) + " -y " + std::to_string(rows));
    }
};

inline ::testing::AssertionResult eventually(const std::function<bool()>& test, const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        if (test()) return ::testing::AssertionSuccess();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    return ::testing::AssertionFailure() << "waited in vain for " << what;
}

inline ::testing::AssertionResult rowShows(const Tmux& t, int row, const std::string& text) {
    std::string last;
    if (eventually([&] { return (last = t.row(row)).find(text) != std::string::npos; }, "")) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "row " << row << " never showed \"" << text << "\"; it shows \"" << last
                                         << "\"";
}

inline ::testing::AssertionResult fileAppears(const std::string& path) {
    return eventually([&] { return !trimmed(readFile(path)).empty() && readFile(path).back() == '\n'; }, path);
}

// Runs lister so that the test can see how it left the terminal: the modes
// before and after, its exit status, then a line printed after it. The
// shell outlives a Ctrl+C typed at lister.
inline std::string listerScript(const TempDir& d, const std::string& environment = "LISTER_SCREEN=terminal",
                         const std::string& binary = LISTER_BINARY) {
    return "trap : INT; ulimit -c 0; stty -g > " + d.path + "/before; sh -c 'echo $$ > " + d.path +
           "/pid; exec env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " COLORTERM=truecolor LISTER_CELLS=" +
           d.path + "/cells.txt " + binary + "'; echo $? > " + d.path + "/status; stty -g > " + d.path +
           "/after; echo " + afterText;
}

// The pane is back on the main screen with the cursor shown, the terminal
// modes are those from before, and what is printed next has no colour.
// (The shell may first say how lister ended, on a line of its own.)
inline void expectRestored(const Tmux& t, const TempDir& d) {
    std::string after;
    EXPECT_TRUE(eventually(
        [&] {
            for (const std::string& line : t.screen(true))
                if (line.find(afterText) != std::string::npos) after = line;
            return !after.empty();
        },
        afterText));
    EXPECT_EQ(after.find("\x1b["), std::string::npos) << "colours left on: " << after;
    EXPECT_EQ(t.display("#{alternate_on} #{cursor_flag}"), "0 1");
    EXPECT_EQ(readFile(d.path + "/before"), readFile(d.path + "/after"));
}

// The whole screen as one text, each line trimmed.
inline std::string screenText(const Tmux& t) {
    std::string text;
    for (const std::string& line : t.screen()) text += trimmed(line) + "\n";
    return text;
}

// The line that holds `text`, without the view's edge marks; empty when none.
inline std::string lineWith(const Tmux& t, const std::string& text) {
    for (std::string line : t.screen()) {
        if (line.find(text) == std::string::npos) continue;
        for (const std::string mark : {"\u00ab", "\u00bb"})
            for (std::size_t at; (at = line.find(mark)) != std::string::npos;) line.erase(at, mark.size());
        return trimmed(line);
    }
    return "";
}

}  // namespace testing_tmux
