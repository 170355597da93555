#!/usr/bin/env bash
# Installs the Debian packages a task needs, when they are missing.
#   scripts/install-deps.sh test|cross|fuzz|bench|all ...
set -euo pipefail

declare -A groups=(
  [test]="python3 python3-pil python3-numpy imagemagick netpbm"
  [cross]="g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 wine qemu-user g++-arm-linux-gnueabihf g++-s390x-linux-gnu python3-pefile googletest"
  [fuzz]="clang-14 libfuzzer-14-dev libclang-rt-14-dev"
  [bench]="hyperfine libstb-dev python3-pil python3-numpy time"
)

wanted=()
for group in "${@:-test}"; do
  if [[ "$group" == all ]]; then
    for g in "${!groups[@]}"; do wanted+=(${groups[$g]}); done
  elif [[ -n "${groups[$group]+x}" ]]; then
    wanted+=(${groups[$group]})
  else
    echo "install-deps: unknown group $group" >&2
    exit 2
  fi
done

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "install-deps: installing ${missing[*]}"
stamp=/tmp/.quarvel-apt-updated
if [[ ! -e $stamp ]]; then
  $sudo apt-get update -q >/dev/null
  touch "$stamp"
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
