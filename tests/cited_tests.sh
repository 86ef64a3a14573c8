#!/bin/sh
# Every test that RELIABILITY.md names (`Suite.Test`, `window.e2e.Group`,
# `Class.test_name`, a CTest name) still exists, so the notes never cite a
# test that is gone.
cd "$(dirname "$0")/.." || exit 2
missing=0
for name in $(grep -o '`[A-Za-z_][A-Za-z0-9_]*\.[A-Za-z_][A-Za-z0-9_.]*`' RELIABILITY.md | tr -d '`' | sort -u); do
    suite=${name%.*}
    test=${name##*.}
    case $name in
        *.exe) continue ;;  # a file, not a test
        window.e2e.*) grep -q "foreach(group .*\b$test\b" tests/CMakeLists.txt ;;
        *.test_*) grep -q "class $suite\b" tests/e2e/*.py && grep -q "def $test(" tests/e2e/*.py ;;
        *) grep -Eq "TEST(_P|_F)?\($suite, $test\)" tests/*/*.cpp || grep -q "add_test(NAME $name " tests/CMakeLists.txt ;;
    esac || { echo "RELIABILITY.md cites $name, which no test defines" >&2; missing=1; }
done
exit $missing
