#!/usr/bin/env bash
# Counts C++ lines that are neither blank nor comment in tests/ and in src/ + tools/ + server/, per tests/
# folder against the code it covers, and prints the ratio tests / code.
#
#   scripts/count-test-ratio.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# Lines of every .cpp/.h under the given paths; // and /* */ comments are dropped.
count() {
    find "$@" \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null | xargs -0r cat | awk '
      { line = $0; out = ""
        while (length(line) > 0) {
          if (inblock) {
            e = index(line, "*/")
            if (e == 0) break
            line = substr(line, e + 2); inblock = 0; continue
          }
          s = index(line, "/*"); c = index(line, "//")
          if (c > 0 && (s == 0 || c < s)) { out = out substr(line, 1, c - 1); break }
          if (s > 0) { out = out substr(line, 1, s - 1); line = substr(line, s + 2); inblock = 1; continue }
          out = out line; break
        }
        if (out ~ /[^ \t]/) n++ }
      END { print n + 0 }'
}

ratio() { awk -v t="$1" -v c="$2" 'BEGIN { if (c > 0) printf "%5.2f", t / c; else printf "    -" }'; }

# The code a tests/ folder covers: tests/ui-screen -> src/ui, tests/platform/camera-sources ->
# src/platform/camera, tests/tools-report -> tools/lumivue-report, tests/tools -> tools/lumivue-enhance,
# tests/server -> server (the collector).
counterpart() {
    case $1 in
        tools) echo tools/lumivue-enhance ;;
        tools-*) echo "tools/lumivue-${1#tools-}" ;;
        server | server-*) echo server ;;
        support) echo "" ;;
        *) local base=${1%%-*}; [[ -d src/$base ]] && echo "src/$base" || echo "" ;;
    esac
}

printf '%-30s %6s  %-24s %6s  %s\n' "tests folder" lines "code" lines ratio
for dir in $(find tests -name '*.cpp' -o -name '*.h' | xargs -n1 dirname | sort -u); do
    rel=${dir#tests/}
    [[ $rel == */child ]] && continue  # helper programs count with their parent folder
    code=$(counterpart "$rel")
    t=$(count "$dir" -maxdepth 1)
    [[ -d $dir/child ]] && t=$((t + $(count "$dir/child")))
    if [[ -n $code ]]; then
        c=$(count "$code" -maxdepth 1)
        printf '%-30s %6d  %-24s %6d  %s\n' "$dir" "$t" "$code" "$c" "$(ratio "$t" "$c")"
    else
        printf '%-30s %6d  %-24s %6s\n' "$dir" "$t" "-" "-"
    fi
done
t=$(count tests)
c=$(count src tools server)
printf '%-30s %6d  %-24s %6d  %s\n' "tests/ (all)" "$t" "src/ tools/ server/" "$c" "$(ratio "$t" "$c")"
