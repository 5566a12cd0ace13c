#!/usr/bin/env bash
# The symbol check passes a program built from one renderer and names each
# fault in programs that hold the other renderer's insides or a symbol that
# two linked libraries define.
set -uo pipefail
check="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/check_renderer_symbols.sh"
cxx="${CXX:-c++}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1
failures=0

lib() { # lib <name> <source>
  printf '%s\n' "$2" > "$1.cpp"
  "$cxx" -c "$1.cpp" -o "$1.o" && ar rcs "lib$1.a" "$1.o"
}
program() { # program <name> <main source> <libs>...
  local name=$1 source=$2
  shift 2
  printf '%s\n' "$source" > "$name.cpp"
  "$cxx" "$name.cpp" "$@" -o "$name"
}

manager='struct ScreenManager { void begin_frame(int); }; void ScreenManager::begin_frame(int) {}'
lib soft "$manager int video_init() { return 1; }"
lib gl "$manager namespace GLSys { int init() { return 1; } } int video_init() { return 2; }"
lib client 'int client_frame() { return 0; }'
calls='struct ScreenManager { void begin_frame(int); }; int video_init(); int client_frame();'
program good "$calls int main() { ScreenManager().begin_frame(0); return video_init() + client_frame(); }" libsoft.a libclient.a
program insides "$calls namespace GLSys { int init(); }
int main() { ScreenManager().begin_frame(0); return GLSys::init() + client_frame(); }" libgl.a libclient.a
program twice "$calls int main() { return video_init() + client_frame(); }" libgl.a libsoft.a libclient.a

expect() { # expect <pass|fail> <name> <message> <program> <own> <other> <linked>
  local want=$1 name=$2 message=$3 out status
  shift 3
  out="$(bash "$check" "$@" 2>&1)"
  status=$?
  if [[ $want == pass && $status -ne 0 ]] || [[ $want == fail && $status -eq 0 ]] ||
     [[ $want == fail && $out != *"$message"* ]]; then
    echo "FAILED: $name (exit $status): $out"
    failures=$((failures + 1))
  fi
}

expect pass "one renderer, every symbol from one library" "" good libsoft.a libgl.a "libsoft.a;libclient.a"
expect fail "the other renderer's insides" "holds the other renderer's GLSys::init()" \
  insides libsoft.a libgl.a "libgl.a;libclient.a"
expect fail "a symbol from two linked libraries" "video_init() is defined in libgl.a libsoft.a" \
  twice libgl.a libsoft.a "libgl.a;libsoft.a;libclient.a"
expect fail "a program without symbols" "no symbols read" /dev/null libsoft.a libgl.a libsoft.a

if (( failures > 0 )); then
  exit 1
fi
echo "renderer symbol check: finds each fault"
