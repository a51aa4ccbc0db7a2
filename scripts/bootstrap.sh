#!/usr/bin/env bash
# Installs what building and testing Tikora needs, from Debian's packages only.
# Idempotent: when everything is present it only runs dpkg-query once.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev libgl-dev
  # The history's picture as SVG.
  qt6-svg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcap-dev libcap2-bin libxcb1-dev
  netbase
  # The check history; the command-line shell looks into it in tests.
  libsqlite3-dev sqlite3
  xinetd rdate python3
  # The reference NTP server and client; tests run it only as `chronyd -x`.
  chrony
  # Authenticated time: TLS 1.3 and AES-SIV, the system's trust store, and
  # the tool that makes the tests' certificates.
  libgnutls28-dev ca-certificates openssl
  fonts-liberation2
  clang libfuzzer-14-dev libclang-rt-14-dev
  desktop-file-utils appstream dpkg-dev file iproute2
  # The desktop tests: a private session bus, a stand-in StatusNotifierWatcher,
  # an X display and a Wayland compositor, and the tools that look at them.
  dbus dbus-daemon dbus-bin libglib2.0-bin python3-dbusmock
  xvfb openbox x11-utils trayer xdotool qt6-wayland weston
)

# One dpkg-query for all: packages it does not know at all are missing too.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  case $'\n'"$installed"$'\n' in
    *$'\n'"$p installed"$'\n'*) ;;
    *) missing+=("$p") ;;
  esac
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
# Services among the packages (xinetd, chrony, dbus) must not start on install:
# the tests start their own instances on their own configurations. A
# policy-rc.d that denies every start does that; one already there is kept.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod 755 "$policy"
  own_policy=1
fi
status=0
# --no-install-recommends: xinetd would otherwise pull in rsyslog.
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
[ "$own_policy" -eq 0 ] || "${sudo_cmd[@]}" rm -f "$policy"
[ "$status" -eq 0 ] || exit "$status"

# Debian starts xinetd's own system service on install; the tests run their
# own instance on their own config, so the packaged one must not hold port 37.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet xinetd 2>/dev/null; then
  "${sudo_cmd[@]}" systemctl stop xinetd || true
fi

# The NTP tests rely on chronyd's -x (never touch the clock); a chronyd
# without it must not be used at all.
if ! /usr/sbin/chronyd --help 2>&1 | grep -q -- '-x'; then
  echo "bootstrap: chronyd has no -x option" >&2
  exit 1
fi
