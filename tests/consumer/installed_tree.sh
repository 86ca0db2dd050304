#!/usr/bin/env bash
# The installed headers under <prefix>/include/orvoaes: the public ones a user includes and every
# project header they include, nothing else, and none of the tests' hooks.
#   tests/consumer/installed_tree.sh <prefix>
# Prints each fault and exits 1 when there is one.
set -euo pipefail
inc=$1/include/orvoaes
public=(crypto/engine/AESCore.h crypto/engine/AESKeyed.h crypto/engine/AESChunked.h crypto/engine/AESModes.h
        crypto/component/AESObj.h
        crypto/support/CryptBase.h crypto/support/MiscObj.h crypto/support/RandomCoreW.h
        crypto/support/error.h crypto/support/errorlist.h crypto/hash/Hash.h crypto/hash/HMAC.h
        crypto/hash/KDF.h orvoaes/Version.h orvoaes/orvoaes.h)
status=0

# What the public headers reach, following their "..." includes.
declare -A reached=()
pending=("${public[@]}")
while ((${#pending[@]})); do
  header=${pending[0]}
  pending=("${pending[@]:1}")
  [[ -n ${reached[$header]:-} ]] && continue
  reached[$header]=1
  if [[ ! -f $inc/$header ]]; then
    echo "not installed: $header (public, or included by a public header)"
    status=1
    continue
  fi
  while read -r included; do
    pending+=("$included")
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$inc/$header")
done

while read -r file; do
  if [[ -z ${reached[$file]:-} ]]; then
    echo "installed, but no public header includes it: $file"
    status=1
  fi
done < <(cd "$inc" && find . -type f | sed 's|^\./||' | sort)

# The tests' hooks: the generator's forced failure, and friend classes that no installed header
# defines (a test's way into private parts).
if grep -rn 'ScopedRandomFailure' "$inc"; then
  echo "the tests' forced failure of the generator is in the installed headers (above)"
  status=1
fi
while read -r friend; do
  if ! grep -rqE "(class|struct)[[:space:]]+$friend([[:space:]]+final)?[[:space:]]*[:{]" "$inc"; then
    echo "friend $friend is defined in no installed header: a hook of the tests"
    status=1
  fi
done < <(grep -rhoE 'friend[[:space:]]+(struct|class)[[:space:]]+[A-Za-z_][A-Za-z0-9_]*' "$inc" | awk '{print $3}' | sort -u)

((status == 0)) && echo "installed headers: ${#reached[@]}, all public or reached from one, no test hooks"
exit $status
