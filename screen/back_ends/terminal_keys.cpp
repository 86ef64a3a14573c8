#include "screen/back_ends/terminal_keys.h"

#include <optional>

#include "screen/cp437.h"
#include "screen/keys/extended_keys.h"

namespace screen {
namespace {

constexpr std::uint8_t escape = 27;
constexpr std::uint8_t formFeed = 12;  // Ctrl+L
constexpr std::uint8_t erase = 127;    // what most terminals send for Backspace
// No key sequence is this long: past it the bytes are noise, not a key.
constexpr std::size_t longestSequence = 32;
constexpr int maxParameters = 4;
// How far the view moves: Alt+Up and Alt+Down a row, the wheel three,
// sideways ten columns; Alt+Home and Alt+End as far as the grid goes.
constexpr int wheelRows = 3;
constexpr int sidewaysColumns = 10;
constexpr int farAway = 1000;
// The mouse report's button byte: the wheel, and Shift held.
constexpr int wheelButton = 64;
constexpr int shiftHeld = 4;
constexpr std::size_t x10MouseLength = 6;  // ESC [ M and three bytes

// The function keys in order, F1 first.
constexpr PcKey functionKeys[12] = {PcKey::f1, PcKey::f2, PcKey::f3, PcKey::f4,  PcKey::f5,  PcKey::f6,
                                    PcKey::f7, PcKey::f8, PcKey::f9, PcKey::f10, PcKey::f11, PcKey::f12};

struct Modifiers {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;  // Alt or Meta: such keys post nothing
};

// The xterm modifier parameter: 1 + (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
Modifiers modifiersOf(int parameter) {
    const int bits = parameter > 1 ? parameter - 1 : 0;
    return {(bits & 1) != 0, (bits & 4) != 0, (bits & 10) != 0};
}

DecodedInput keyInput(KeyCode code, std::size_t used) { return {TerminalInput::key, code, used, {}}; }
DecodedInput nothingInput(std::size_t used) { return {TerminalInput::nothing, 0, used, {}}; }
DecodedInput incompleteInput() { return {TerminalInput::incomplete, 0, 0, {}}; }
DecodedInput moveInput(ViewMove move, std::size_t used) { return {TerminalInput::viewMove, 0, used, move}; }

// Alt with a key of the cursor block moves the view; lister never gets
// such keys (keys with Alt post nothing).
std::optional<ViewMove> viewMoveOf(PcKey key) {
    switch (key) {
        case PcKey::up: return ViewMove{-1, 0, 0};
        case PcKey::down: return ViewMove{1, 0, 0};
        case PcKey::left: return ViewMove{0, -sidewaysColumns, 0};
        case PcKey::right: return ViewMove{0, sidewaysColumns, 0};
        case PcKey::pageUp: return ViewMove{0, 0, -1};
        case PcKey::pageDown: return ViewMove{0, 0, 1};
        case PcKey::home: return ViewMove{-farAway, -farAway, 0};
        case PcKey::end: return ViewMove{farAway, farAway, 0};
        default: return std::nullopt;
    }
}

// The same for a key already decoded (ESC before a key is Alt with it).
std::optional<ViewMove> viewMoveOf(KeyCode code) {
    for (PcKey key : {PcKey::up, PcKey::down, PcKey::left, PcKey::right, PcKey::pageUp, PcKey::pageDown,
                      PcKey::home, PcKey::end})
        if (pcExtendedKey(key, false, false) == code) return viewMoveOf(key);
    return std::nullopt;
}

DecodedInput extendedInput(std::optional<PcKey> key, Modifiers m, std::size_t used) {
    if (key && m.alt && !m.ctrl) {
        if (const auto move = viewMoveOf(*key)) return moveInput(*move, used);
    }
    if (!key || m.alt) return nothingInput(used);
    return keyInput(pcExtendedKey(*key, m.shift, m.ctrl), used);
}

// A mouse report: the wheel moves the view (with Shift, or tilted,
// sideways); everything else of the mouse is swallowed.
DecodedInput mouseInput(int button, bool pressed, std::size_t used) {
    if (!pressed || !(button & wheelButton)) return nothingInput(used);
    int direction = button & 3;  // up, down, left, right
    if ((button & shiftHeld) && direction < 2) direction += 2;
    static constexpr ViewMove wheel[4] = {
        {-wheelRows, 0, 0}, {wheelRows, 0, 0}, {0, -sidewaysColumns, 0}, {0, sidewaysColumns, 0}};
    return moveInput(wheel[direction], used);
}

// The keys that end in A-D, H and F in both CSI and SS3 forms.
std::optional<PcKey> cursorKey(std::uint8_t final) {
    switch (final) {
        case 'A': return PcKey::up;
        case 'B': return PcKey::down;
        case 'C': return PcKey::right;
        case 'D': return PcKey::left;
        case 'H': return PcKey::home;
        case 'F': return PcKey::end;
        default: return std::nullopt;
    }
}

std::optional<PcKey> firstFourFunctionKeys(std::uint8_t final) {
    if (final < 'P' || final > 'S') return std::nullopt;
    return functionKeys[final - 'P'];
}

// rxvt's lower-case finals: a-d are Up, Down, Right, Left.
std::optional<PcKey> rxvtArrow(std::uint8_t final) {
    static constexpr PcKey arrows[4] = {PcKey::up, PcKey::down, PcKey::right, PcKey::left};
    if (final < 'a' || final > 'd') return std::nullopt;
    return arrows[final - 'a'];
}

// CSI n ~ (and rxvt's n $, n ^, n @). 25-34 are what rxvt and the Linux
// console send for Shift+F3 to Shift+F10; `shifted` then says so.
std::optional<PcKey> numberedKey(int number, bool& shifted) {
    shifted = false;
    switch (number) {
        case 1: case 7: return PcKey::home;
        case 2: return PcKey::insert;
        case 3: return PcKey::del;
        case 4: case 8: return PcKey::end;
        case 5: return PcKey::pageUp;
        case 6: return PcKey::pageDown;
        case 11: case 12: case 13: case 14: case 15: return functionKeys[number - 11];
        case 17: case 18: case 19: case 20: case 21: return functionKeys[number - 12];
        case 23: return PcKey::f11;
        case 24: return PcKey::f12;
        default: break;
    }
    static constexpr int shiftedNumbers[] = {25, 26, 28, 29, 31, 32, 33, 34};
    for (int i = 0; i < 8; ++i) {
        if (shiftedNumbers[i] == number) {
            shifted = true;
            return functionKeys[2 + i];
        }
    }
    return std::nullopt;
}

bool isParameterByte(std::uint8_t b) { return b >= 0x30 && b <= 0x3F; }
bool isIntermediateByte(std::uint8_t b) { return b >= 0x20 && b <= 0x2F; }
bool isFinalByte(std::uint8_t b) { return b >= 0x40 && b <= 0x7E; }

// Parameters "n;m;..." with ':' sub-parameters ignored; a missing one is 0.
int parseParameters(const std::uint8_t* bytes, std::size_t length, int (&values)[maxParameters]) {
    int count = 0;
    for (int& v : values) v = 0;
    if (length == 0) return 0;
    bool inSub = false;
    count = 1;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = bytes[i];
        if (b == ';') {
            inSub = false;
            if (count < maxParameters) ++count;
            continue;
        }
        if (b == ':') inSub = true;
        if (inSub || b < '0' || b > '9') continue;
        int& v = values[count - 1];
        if (v < 100000) v = v * 10 + (b - '0');
    }
    return count;
}

// ESC [ ... : bytes[0] is ESC, bytes[1] '['.
DecodedInput decodeCsi(const std::uint8_t* bytes, std::size_t length, bool quiet) {
    std::size_t i = 2;
    if (length > 2 && bytes[2] == '[') {  // the Linux console's F1-F5: ESC [ [ A-E
        if (length < 4) return quiet ? nothingInput(length) : incompleteInput();
        const std::uint8_t final = bytes[3];
        return final >= 'A' && final <= 'E' ? extendedInput(functionKeys[final - 'A'], {}, 4) : nothingInput(4);
    }
    if (length > 2 && bytes[2] == 'M') {  // the mouse's first report form: three bytes follow, never keys
        if (length < x10MouseLength) return quiet ? nothingInput(length) : incompleteInput();
        return mouseInput(bytes[3] - 32, true, x10MouseLength);
    }
    while (i < length && isParameterByte(bytes[i])) ++i;
    const std::size_t parametersEnd = i;
    while (i < length && isIntermediateByte(bytes[i]) && bytes[i] != '$') ++i;
    if (i >= longestSequence) return nothingInput(i);
    if (i == length) return quiet ? nothingInput(length) : incompleteInput();
    const std::uint8_t final = bytes[i];
    if (final != '$' && !isFinalByte(final)) return nothingInput(i);  // broken off: the byte stands alone
    const std::size_t used = i + 1;
    int p[maxParameters];
    if (bytes[2] == '<' && parametersEnd == i && (final == 'M' || final == 'm')) {  // the mouse, SGR form
        parseParameters(bytes + 3, parametersEnd - 3, p);
        return mouseInput(p[0], final == 'M', used);
    }
    // Other private markers (reports) and intermediates are never keys.
    if (parametersEnd > 2 && bytes[2] >= '<') return nothingInput(used);
    if (parametersEnd != i) return nothingInput(used);

    const int count = parseParameters(bytes + 2, parametersEnd - 2, p);
    const Modifiers fromSecond = modifiersOf(count >= 2 ? p[1] : 1);
    if (const auto k = cursorKey(final)) return extendedInput(k, fromSecond, used);
    if (const auto k = firstFourFunctionKeys(final)) return extendedInput(k, fromSecond, used);
    if (final == 'Z') return fromSecond.alt ? nothingInput(used) : keyInput(keyTab, used);  // Shift+Tab
    if (count == 0) {
        if (const auto k = rxvtArrow(final)) return extendedInput(k, {true, false, false}, used);
    }
    if (final == '~' || final == '$' || final == '^' || final == '@') {
        bool shifted = false;
        const std::optional<PcKey> k = numberedKey(p[0], shifted);
        Modifiers m = fromSecond;
        if (final == '$' || final == '@') m.shift = true;
        if (final == '^' || final == '@') m.ctrl = true;
        m.shift = m.shift || shifted;
        return extendedInput(k, m, used);
    }
    return nothingInput(used);
}

// The keypad in application mode, should the terminal have been left so.
KeyCode keypadCharacter(std::uint8_t final) {
    if (final >= 'p' && final <= 'y') return '0' + (final - 'p');
    switch (final) {
        case 'M': return keyEnter;
        case 'X': return '=';
        case 'j': return '*';
        case 'k': return '+';
        case 'l': return ',';
        case 'm': return '-';
        case 'n': return '.';
        case 'o': return '/';
        default: return 0;
    }
}

// ESC O ... : bytes[0] is ESC, bytes[1] 'O'.
DecodedInput decodeSs3(const std::uint8_t* bytes, std::size_t length, bool quiet) {
    std::size_t i = 2;
    int modifier = 1;
    while (i < length && bytes[i] >= '0' && bytes[i] <= '9') {
        modifier = bytes[i] - '0';  // old xterms: ESC O 5 P for Ctrl+F1
        ++i;
    }
    if (i == length) return quiet ? nothingInput(length) : incompleteInput();
    const std::uint8_t final = bytes[i];
    if (!isFinalByte(final)) return nothingInput(i);
    const std::size_t used = i + 1;
    const Modifiers m = modifiersOf(modifier);
    if (const auto k = cursorKey(final)) return extendedInput(k, m, used);
    if (const auto k = firstFourFunctionKeys(final)) return extendedInput(k, m, used);
    if (const auto k = rxvtArrow(final)) return extendedInput(k, {false, true, false}, used);
    const KeyCode c = keypadCharacter(final);
    return c && !m.alt ? keyInput(c, used) : nothingInput(used);
}

DecodedInput decodeAfterEscape(const std::uint8_t* bytes, std::size_t length, bool quiet) {
    if (length == 1) return quiet ? keyInput(escape, 1) : incompleteInput();
    const std::uint8_t next = bytes[1];
    if (next == '[') return decodeCsi(bytes, length, quiet);
    if (next == 'O') return decodeSs3(bytes, length, quiet);
    if (next == escape) {
        // ESC ESC [ ... is Alt with a sequence; two ESCs that merely came
        // together (a slow link) are two ESC keys, and none may be lost.
        if (length == 2) return quiet ? keyInput(escape, 1) : incompleteInput();
        if (bytes[2] != '[' && bytes[2] != 'O') return keyInput(escape, 1);
        const DecodedInput inner = decodeAfterEscape(bytes + 1, length - 1, quiet);
        if (inner.kind == TerminalInput::incomplete) return inner;
        if (inner.kind == TerminalInput::key) {
            if (const auto move = viewMoveOf(inner.code)) return moveInput(*move, 1 + inner.used);
        }
        return nothingInput(1 + inner.used);
    }
    // Alt with a character.
    const DecodedInput inner = decodeTerminalInput(bytes + 1, length - 1, quiet);
    if (inner.kind == TerminalInput::incomplete) return inner;
    return nothingInput(1 + inner.used);
}

}  // namespace

DecodedInput decodeTerminalInput(const std::uint8_t* bytes, std::size_t length, bool quiet) {
    if (length == 0) return incompleteInput();
    const std::uint8_t first = bytes[0];
    if (first == escape) return decodeAfterEscape(bytes, length, quiet);
    if (first == formFeed) return {TerminalInput::redraw, 0, 1, {}};
    if (first == erase || first == keyBackspace) return keyInput(keyBackspace, 1);
    if (first < 0x80) return keyInput(first, 1);
    char32_t character = 0;
    std::size_t used = 0;
    switch (decodeUtf8(bytes, length, character, used)) {
        case Utf8Status::complete: {
            const int byte = unicodeToCp437(character);
            return byte < 0 ? nothingInput(used) : keyInput(byte, used);
        }
        case Utf8Status::incomplete: return quiet ? nothingInput(1) : incompleteInput();
        case Utf8Status::invalid: break;
    }
    return nothingInput(1);
}

void takeTerminalKeys(std::vector<std::uint8_t>& pending, bool quiet, int room, std::vector<KeyCode>& keys,
                      TerminalRequests& requests) {
    std::size_t at = 0;
    int taken = 0;
    while (at < pending.size() && taken < room) {
        const DecodedInput d = decodeTerminalInput(pending.data() + at, pending.size() - at, quiet);
        if (d.kind == TerminalInput::incomplete) break;
        if (d.kind == TerminalInput::key) {
            keys.push_back(d.code);
            ++taken;
        } else if (d.kind == TerminalInput::redraw) {
            requests.redraw = true;
        } else if (d.kind == TerminalInput::viewMove) {
            requests.moved = true;
            requests.move.rows += d.move.rows;
            requests.move.columns += d.move.columns;
            requests.move.pages += d.move.pages;
        }
        at += d.used;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace screen
