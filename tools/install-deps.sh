#!/usr/bin/env bash
# Installs every Debian package MIDI Sondrel needs to build, test and benchmark.
# Idempotent: packages already present are left alone. Run as root (or with sudo).
set -euo pipefail

packages=(
  # toolchain and test/bench frameworks
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the fuzz targets: clang with its sanitizer and libFuzzer runtimes
  clang libclang-rt-14-dev libfuzzer-14-dev
  # the formatter the sources are checked against (.clang-format)
  clang-format git
  # JUCE 7 and what its Linux modules link against
  juce-modules-source
  libasound2-dev libjack-jackd2-dev libfreetype-dev libfontconfig1-dev
  libx11-dev libxext-dev libxrandr-dev libxinerama-dev libxcursor-dev libxcomposite-dev
  libcurl4-openssl-dev libgl-dev
  # update-feed parser
  libexpat1-dev
  # the LV2 headers, for our own LV2 entry point
  lv2-dev
  # fonts embedded in the window
  fonts-inter fonts-league-spartan
  # real hosts and readers used by the tests (and x42's MIDI filters, the idle-cost benchmark's baseline)
  lilv-utils x42-plugins jalv jackd2 python3 python3-mido xvfb
  # Ardour 7, driven headless (ardour7-lua) by the host tests; Qtractor, driven under Xvfb
  ardour qtractor
  # the peak memory of the capture tool in its tests
  time
  # the plug-in's window in jalv under Xvfb: finding and resizing it, a screenshot of it and its pixels
  x11-utils xdotool maim python3-pil
  # a window manager for the plug-in's own window, menus and dialogs on a private display
  openbox
  # a take dragged, copied and saved out of the app: the clipboard and GTK 3 readers
  xclip python3-gi gir1.2-gtk-3.0
  # Standard MIDI Files we did not write, for the capture tool's tests (the small soundfont
  # satisfies the package's dependency)
  planetblupi-music-midi timgm6mb-soundfont
  # more of them, for the tempo detection's test on real files
  openttd-openmsx
  # a 12-hour locale (en_US.UTF-8, made below) for the test of the cards' clock
  locales
)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

make_locale() {
  locale -a 2>/dev/null | grep -qix 'en_US.utf8' && return 0
  echo "install-deps: making the locale en_US.UTF-8"
  $SUDO localedef -i en_US -f UTF-8 en_US.UTF-8
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  make_locale
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
make_locale
