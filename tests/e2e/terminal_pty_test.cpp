// lister on a pseudo-terminal of the test's own, for what tmux cannot do:
// start hundreds of times, never read what lister writes, or see every
// byte it sends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Which colour forms the SGRs in `bytes` use: "24-bit", "256", "16".
std::set<std::string> colourForms(const std::string& bytes) {
    std::set<std::string> forms;
    for (std::size_t at = bytes.find("\x1b["); at != std::string::npos; at = bytes.find("\x1b[", at + 1)) {
        const std::size_t end = bytes.find_first_not_of("0123456789;", at + 2);
        if (end == std::string::npos || bytes[end] != 'm') continue;
        std::istringstream parameters(bytes.substr(at + 2, end - at - 2));
        std::vector<int> p;
        for (std::string n; std::getline(parameters, n, ';');) p.push_back(n.empty() ? 0 : std::stoi(n));
        for (std::size_t i = 0; i < p.size(); ++i) {
            const bool extended = (p[i] == 38 || p[i] == 48) && i + 1 < p.size();
            if (extended) forms.insert(p[i + 1] == 2 ? "24-bit" : "256");
            if (extended) i += p[i + 1] == 2 ? 4 : 2;
            else if (p[i] % 10 < 8 && (p[i] / 10 == 3 || p[i] / 10 == 4 || p[i] / 10 == 9 || p[i] / 10 == 10)) forms.insert("16");
        }
    }
    return forms;
}

// lister on a pseudo-terminal of the test's own, of the given size and
// with only the given environment beside LISTER_SCREEN.
struct PtyRun {
    int master = -1;
    pid_t pid = -1;
    std::string output;  // what the test read
    explicit PtyRun(std::vector<std::string> environment = {"TERM=xterm"}, int columns = 100, int rows = 70) {
        environment.push_back("LISTER_SCREEN=terminal");
        std::vector<char*> pointers;
        for (std::string& e : environment) pointers.push_back(e.data());
        pointers.push_back(nullptr);
        const winsize size{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
        pid = forkpty(&master, nullptr, nullptr, &size);
        if (pid != 0) return;
        execve(LISTER_BINARY, std::vector<char*>{const_cast<char*>(LISTER_BINARY), nullptr}.data(), pointers.data());
        _exit(127);
    }
    ~PtyRun() {
        if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
        close(master);
    }
    // False when nothing came within `milliseconds`.
    bool read(int milliseconds) {
        pollfd p{master, POLLIN, 0};
        char buffer[65536];
        const ssize_t got = poll(&p, 1, milliseconds) > 0 ? ::read(master, buffer, sizeof buffer) : 0;
        if (got > 0) output.append(buffer, static_cast<std::size_t>(got));
        return got > 0;
    }
    // The signal that ended lister, reading meanwhile or not; 0 when it did
    // not end within a minute: it was held up for ever.
    int endingSignal(bool reading) {
        for (int waited = 0, status = 0; waited < 60000; waited += 10) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                while (reading && read(50)) {  // what it wrote last
                }
                return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
            }
            if (!reading || !read(10)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }
    // Whether the terminal is back in line mode with echo, as lister found it.
    bool modesGivenBack() const {
        const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        termios now{};
        const bool read = tcgetattr(slave, &now) == 0;
        close(slave);
        return read && (now.c_lflag & (ICANON | ECHO | ISIG)) == (ICANON | ECHO | ISIG) && (now.c_oflag & OPOST);
    }
};

}  // namespace

// A signal at any moment of the start gives the terminal back: its modes,
// and the main screen after the last switch to the alternate one.
TEST(TerminalOnPty, ASignalInTheFirstMillisecondsGivesTheTerminalBack) {
    std::mt19937 random(20261209u);
    for (int run = 0; run < 300; ++run) {
        SCOPED_TRACE(run);
        PtyRun r;
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 12000)(random)));
        kill(r.pid, SIGINT);
        ASSERT_EQ(r.endingSignal(true), SIGINT);
        EXPECT_TRUE(r.modesGivenBack());
        const std::size_t entered = r.output.rfind("\x1b[?1049h");
        EXPECT_TRUE(entered == std::string::npos || r.output.find("\x1b[?1049l", entered) != std::string::npos)
            << "left on the alternate screen";
    }
}

// A terminal nobody reads (a stopped ssh, a stuck client) fills up during
// a screen listing; TERM from outside, or Ctrl+C typed, still ends lister at
// once, with the modes given back.
TEST(TerminalOnPty, TermEndsListerWhenNobodyReadsTheTerminal) {
    for (const bool typed : {false, true}) {
        SCOPED_TRACE(typed ? "Ctrl+C typed" : "TERM from outside");
        PtyRun r;
        while (r.output.find("\x1b[?1049h") == std::string::npos && r.read(5000)) {
        }
        ASSERT_EQ(write(r.master, "49\rP\r", 5), 5);
        // Unread from here on: once what waits to be read stays put, lister waits to write.
        for (int held = -1, now = 0, quiet = 0; quiet < 50; held = now) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ioctl(r.master, FIONREAD, &now);
            quiet = now == held ? quiet + 1 : 0;
        }
        if (typed) {
            ASSERT_EQ(write(r.master, "\x03", 1), 1);
        } else {
            kill(r.pid, SIGTERM);
        }
        ASSERT_EQ(r.endingSignal(false), typed ? SIGINT : SIGTERM) << "held up";
        EXPECT_TRUE(r.modesGivenBack());
    }
}

// Each colour depth sends its own colour form and nothing else, a locale
// without UTF-8 gets no byte above ASCII, and the terminal's cursor shows
// at the question: a screen run of n = 10 at 80 x 24 (folded) or 100 x 70.
TEST(TerminalOnPty, EachDepthAndCharsetSendsOnlyWhatTheTerminalHas) {
    struct Case {
        std::vector<std::string> environment;
        int columns, rows;
        std::set<std::string> forms;
        std::string foldDot;  // how the fold rows' middle dot is sent; empty: no fold
    };
    const Case cases[] = {
        {{"TERM=xterm-256color", "COLORTERM=truecolor", "LC_ALL=C.UTF-8"}, 100, 70, {"24-bit"}, ""},
        {{"TERM=xterm-256color", "LC_ALL=C.UTF-8"}, 80, 24, {"256"}, "\xc2\xb7"},
        {{"TERM=linux", "LC_ALL=C.UTF-8"}, 80, 24, {"16"}, "\xc2\xb7"},
        {{"TERM=xterm", "NO_COLOR=1", "LC_ALL=C.UTF-8"}, 80, 24, {}, "\xc2\xb7"},
        {{"TERM=vt100", "LC_ALL=C"}, 80, 24, {}, "."},
        {{"TERM=xterm", "LANG=de_DE.ISO-8859-1"}, 80, 24, {"16"}, "\xb7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.environment[0] + " " + c.environment[1] + " at " + std::to_string(c.columns));
        PtyRun r(c.environment, c.columns, c.rows);
        while (r.output.find("\x1b[?25h") == std::string::npos && r.read(5000)) {
        }
        ASSERT_NE(r.output.find("\x1b[?25h"), std::string::npos) << "the cursor shown at the question";
        ASSERT_EQ(write(r.master, "10\rP\r", 5), 5);
        while (r.output.find("segundos") == std::string::npos && r.read(5000)) {
        }
        ASSERT_EQ(write(r.master, "x", 1), 1);
        ASSERT_EQ(r.endingSignal(true), -1) << "ended by itself";
        EXPECT_EQ(colourForms(r.output), c.forms);
        if (!c.foldDot.empty()) {
            EXPECT_NE(r.output.find(c.foldDot + c.foldDot + c.foldDot), std::string::npos) << "a fold row";
        }
        if (c.foldDot == ".") {
            EXPECT_TRUE(std::none_of(r.output.begin(), r.output.end(), [](char b) { return b & 0x80; })) << "ASCII alone";
        }
    }
}
