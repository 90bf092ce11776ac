#!/usr/bin/env bash
# Fails when a file of engine/, cli/ or settings/ outside a platform folder reaches the operating system: it may
# include only standard C++ headers and the project's own, and never a platform folder's headers. A second
# platform is then a second folder under engine/platform/.
set -euo pipefail
cd "$(dirname "$0")/.."

standard=" algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv chrono cinttypes
 climits clocale cmath codecvt compare complex concepts condition_variable coroutine csetjmp csignal cstdarg cstddef
 cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception execution expected filesystem format
 forward_list fstream functional future initializer_list iomanip ios iosfwd iostream istream iterator latch limits
 list locale map memory memory_resource mutex new numbers numeric optional ostream queue random ranges ratio regex
 scoped_allocator semaphore set shared_mutex source_location span sstream stack stdexcept stop_token streambuf
 string string_view syncstream system_error thread tuple type_traits typeindex typeinfo unordered_map
 unordered_set utility valarray variant vector version "
standard=" $(echo $standard) "
# Libraries the project builds on, beside the standard library: the JSON report.
allowed_libraries=" nlohmann/json.hpp "

status=0
while IFS= read -r file; do
  case "$file" in engine/platform/*/*) continue ;; esac
  while IFS= read -r line; do
    number=${line%%:*}
    text=${line#*:}
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^>]+)\> ]]; then
      header=${BASH_REMATCH[1]}
      if [[ $standard != *" $header "* && $allowed_libraries != *" $header "* ]]; then
        echo "$file:$number: <$header> is not a standard C++ header: system calls belong in engine/platform/<system>/"
        status=1
      fi
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      header=${BASH_REMATCH[1]}
      if [[ $header == engine/platform/*/* ]]; then
        echo "$file:$number: \"$header\" belongs to one platform; include the neutral header in engine/platform/"
        status=1
      elif [[ ! -f $header && ! -f $(dirname "$file")/$header ]]; then
        echo "$file:$number: \"$header\" is not a file of the project"
        status=1
      fi
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(git ls-files -- 'engine/*.h' 'engine/*.cpp' 'cli/*.h' 'cli/*.cpp' 'settings/*.h' 'settings/*.cpp')

if ((status == 0)); then echo "platform includes: every file outside engine/platform/<system>/ is portable"; fi
exit $status
