// The lines of every combination of n, made the other way round from the
// program: stepping one combination to the next. Tests check the program's
// files against these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace testing_reference {

struct ReferenceLines {
    int n;
    std::array<int, 6> c{1, 2, 3, 4, 5, 6};
    bool done = false;
    explicit ReferenceLines(int elements) : n(elements) {}
    // Appends the next line to `out`; false when there are no more.
    bool next(std::string& out) {
        if (done) return false;
        for (int e : c) {
            out += static_cast<char>('0' + e / 10);
            out += static_cast<char>('0' + e % 10);
        }
        out += "\r\n";
        int i = 5;
        while (i >= 0 && c[static_cast<std::size_t>(i)] == n - 5 + i) --i;
        if (i < 0) {
            done = true;
        } else {
            ++c[static_cast<std::size_t>(i)];
            for (int j = i + 1; j < 6; ++j) c[static_cast<std::size_t>(j)] = c[static_cast<std::size_t>(j - 1)] + 1;
        }
        return true;
    }
};

// The first `lines` lines of n, or all of them.
inline std::string referenceFile(int n, std::size_t lines = SIZE_MAX) {
    std::string out;
    ReferenceLines reference(n);
    for (std::size_t i = 0; i < lines && reference.next(out); ++i) {
    }
    return out;
}

// Whether the file holds exactly the first `lines` lines of n, or all of
// them; read piece by piece, so that a file of n = 49 needs no 195 MB copy.
inline bool fileHoldsReference(const std::string& path, int n, std::size_t lines = SIZE_MAX) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    ReferenceLines reference(n);
    std::string expected, actual(1 << 20, '\0');
    std::size_t made = 0;
    bool same = true;
    for (std::size_t got; same && (got = std::fread(actual.data(), 1, actual.size(), file)) > 0;) {
        while (expected.size() < got && made < lines && reference.next(expected)) ++made;
        same = expected.compare(0, got, actual, 0, got) == 0;
        expected.erase(0, got);
    }
    std::fclose(file);
    return same && expected.empty() && (made == lines || !reference.next(expected));
}

}  // namespace testing_reference
