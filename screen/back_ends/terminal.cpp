// The terminal back end: the grid drawn in the terminal lister runs in, at
// the terminal's size, colour depth and character set, and keys read from
// it in raw mode. Taking the terminal and giving it back, whatever ends
// lister, is terminal_restore's.
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "screen/back_end.h"
#include "screen/back_ends/terminal_keys.h"
#include "screen/back_ends/terminal_output.h"
#include "screen/back_ends/terminal_restore.h"

namespace screen {
namespace {

constexpr int inputFd = STDIN_FILENO;
constexpr int outputFd = STDOUT_FILENO;
// A lone ESC is the ESC key once nothing has followed it for this long.
constexpr auto escapeWait = std::chrono::milliseconds(25);
// The view follows the program again this long after the user moved it.
constexpr auto followAgain = std::chrono::seconds(5);
// Bytes read ahead of the key queue; beyond it they wait in the terminal.
constexpr std::size_t pendingLimit = 4096;
constexpr std::size_t readChunk = 1024;
// What a terminal that cannot tell its size (a serial line) is taken for.
constexpr int unknownColumns = 100;
constexpr int unknownRows = 70;

constexpr char bell[] = "\a";
// Mouse reports (the wheel, as SGR reports) while the view can move.
constexpr char mouseOn[] = "\x1b[?1000h\x1b[?1006h";
constexpr char mouseOff[] = "\x1b[?1006l\x1b[?1000l";
constexpr char notInputTerminal[] = "standard input is not a terminal";
constexpr char notOutputTerminal[] = "standard output is not a terminal";
constexpr char dumbTerminal[] = "TERM=dumb: the terminal cannot place the cursor";

enum class Mouse { unknown, off, on };

struct Terminal {
    TerminalView view;
    TerminalPicture picture;
    std::vector<std::uint8_t> pending;  // read but not yet posted
    std::chrono::steady_clock::time_point lastArrival{};
    bool inputEnded = false;
    bool outputBroken = false;
    bool messageShown = false;
    bool beepWanted = false;
    std::vector<KeyCode> keys;
    TerminalRequests requests;  // the view's moves not yet made
    bool programWrote = false;  // since the last picture
    std::chrono::steady_clock::time_point userMoved{};
    Mouse mouse = Mouse::unknown;
    std::string out;
};

Terminal& state(BackEnd& b) { return *static_cast<Terminal*>(b.state); }

// The terminal's size; the grid's when it cannot tell (a serial line
// reports 0 x 0), so that lister draws rather than complains.
void readSize(TerminalView& v) {
    winsize size{};
    if ((ioctl(outputFd, TIOCGWINSZ, &size) == 0 || ioctl(inputFd, TIOCGWINSZ, &size) == 0) && size.ws_col > 0 &&
        size.ws_row > 0) {
        v.columns = size.ws_col;
        v.rows = size.ws_row;
    } else {
        v.columns = unknownColumns;
        v.rows = unknownRows;
    }
}

// The character set of the user's locale, read without making that locale
// the program's: lister's number texts stay in the C locale. A locale the
// system lacks is judged by its name.
TerminalCharset localeCharset() {
    if (const locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
        const TerminalCharset charset = charsetFor(nl_langinfo_l(CODESET, user));
        freelocale(user);
        return charset;
    }
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return charsetFor(value);
    }
    return TerminalCharset::ascii;
}

bool writeAll(const std::string& bytes) {
    const char* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = write(outputFd, at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{outputFd, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) return false;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool open(BackEnd& b, const BackEndSetup&, std::string& why) {
    if (!isatty(inputFd)) {
        why = notInputTerminal;
        return false;
    }
    if (!isatty(outputFd)) {
        why = notOutputTerminal;
        return false;
    }
    const char* term = std::getenv("TERM");
    // Both ends are a terminal: from here on a failure is worth telling.
    b.failureWorthTelling = true;
    if (term && std::strcmp(term, "dumb") == 0) {
        why = dumbTerminal;
        return false;
    }
    if (!prepareTerminal(term && std::strncmp(term, "linux", 5) == 0, why)) return false;
    auto* t = new Terminal;
    b.state = t;
    t->view.depth = colorDepthFor(term, std::getenv("COLORTERM"), std::getenv("NO_COLOR"));
    t->view.charset = localeCharset();
    takeTerminal();
    readSize(t->view);
    return true;
}

bool wantsBytes(const Terminal& t) { return !t.inputEnded && t.pending.size() < pendingLimit; }

void waitForInput(BackEnd& b, int milliseconds) {
    Terminal& t = state(b);
    pollfd fds[2] = {{wakeFd(), POLLIN, 0}, {inputFd, POLLIN, 0}};
    poll(fds, wantsBytes(t) ? 2 : 1, milliseconds);
    if (fds[0].revents & POLLIN) {
        char drain[64];
        while (read(wakeFd(), drain, sizeof drain) > 0) {
        }
    }
}

// What the terminal holds now, up to the pending limit.
void readMore(Terminal& t) {
    while (t.pending.size() < pendingLimit) {
        pollfd p{inputFd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return;
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return;
        std::uint8_t chunk[readChunk];
        const std::size_t room = std::min(readChunk, pendingLimit - t.pending.size());
        const ssize_t got = (p.revents & POLLNVAL) ? 0 : read(inputFd, chunk, room);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (got <= 0) {
            t.inputEnded = true;  // the terminal hung up
            return;
        }
        t.pending.insert(t.pending.end(), chunk, chunk + got);
        t.lastArrival = std::chrono::steady_clock::now();
    }
}

void takeInput(BackEnd& b, KeyQueue& queue) {
    Terminal& t = state(b);
    do {
        if (wantsBytes(t)) readMore(t);
        const bool quiet = t.inputEnded || std::chrono::steady_clock::now() - t.lastArrival >= escapeWait;
        t.keys.clear();
        takeTerminalKeys(t.pending, quiet, keyRoom(queue), t.keys, t.requests);
        for (KeyCode k : t.keys) offerKey(queue, k);
        // A paste larger than the pending bytes goes on while there is room.
    } while (!t.keys.empty() && wantsBytes(t) && keyRoom(queue) > 0);
    if (t.requests.redraw) askRedraw();
    t.requests.redraw = false;
    if (t.inputEnded && t.pending.empty()) markInputEnded(queue);
}

void upload(BackEnd& b, const TextScreen& s, LineSpan lines) {
    Terminal& t = state(b);
    updatePicture(t.picture, s, lines);
    t.programWrote = true;
}

// The user's moves of the view, until the program writes again or the
// user has left the view alone for a while.
void moveView(Terminal& t) {
    const auto now = std::chrono::steady_clock::now();
    if (t.programWrote || now - t.userMoved >= followAgain) t.view.userRows = t.view.userColumns = 0;
    t.programWrote = false;
    if (!t.requests.moved) return;
    const ViewMove& move = t.requests.move;
    const int page = std::max(1, t.view.laid.windowRows - 1);
    t.view.userRows += move.rows + move.pages * page;
    t.view.userColumns += move.columns;
    t.userMoved = now;
    t.requests = {};
}

// Mouse reports only while part of the grid is folded away: they take the
// terminal's own selection and wheel from the user.
void setMouse(Terminal& t, bool wanted) {
    const Mouse mouse = wanted ? Mouse::on : Mouse::off;
    if (t.mouse != mouse) t.out += wanted ? mouseOn : mouseOff;
    t.mouse = mouse;
}

void present(BackEnd& b) {
    Terminal& t = state(b);
    if (t.outputBroken || !terminalTaken()) return;
    t.out.clear();
    const bool resized = takeResized();
    if (resized) readSize(t.view);
    const bool redraw = takeRedraw() || resized;
    if (redraw) t.mouse = Mouse::unknown;
    if (!pictureFits(t.view.columns, t.view.rows)) {
        // The message leaves the view invalid: the picture comes back whole.
        if (!t.messageShown || redraw) writeSizeMessage(t.view, t.out);
        t.messageShown = true;
        setMouse(t, false);
    } else {
        if (redraw) t.view.valid = false;
        t.messageShown = false;
        moveView(t);
        writePicture(t.picture, t.view, t.out);
        const GridView& laid = t.view.laid;
        setMouse(t, static_cast<int>(laid.rows.size()) < t.picture.rows || laid.columns < t.picture.columns);
    }
    if (t.beepWanted) t.out += bell;
    t.beepWanted = false;
    if (!t.out.empty() && !writeAll(t.out)) t.outputBroken = true;
}

void close(BackEnd& b) {
    giveTerminalBack();
    delete &state(b);
    b.state = nullptr;
}

// One bell however many were asked for since the last picture.
void beep(BackEnd& b, int, int, int) { state(b).beepWanted = true; }

void wakeForClosing(BackEnd&) { wake(); }

}  // namespace

BackEnd terminalBackEnd() {
    return {"terminal", nullptr, open, waitForInput, takeInput, upload, present, close, beep, wakeForClosing};
}

}  // namespace screen
