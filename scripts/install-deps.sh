#!/usr/bin/env bash
# Installs the Debian packages Dovrane needs to build, run and test, if missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # (a build without libpulse-dev captures through Qt Multimedia: qt6-multimedia-dev)
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev libpulse-dev
  libsystemd-dev libfftw3-dev libsndfile1-dev libcurl4-openssl-dev
  # network streams as inputs (FFmpeg's libraries)
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  # SNMP subagent (net-snmp's agent library)
  libsnmp-dev
  # remote status (the HTTP server's CMake files look for the WebSockets ones too)
  qt6-httpserver-dev qt6-websockets-dev
  # the Debian package (cpack -G DEB finds its dependencies with dpkg-shlibdeps) and its check
  dpkg-dev file lintian
  # run: sound server, mail through a sendmail-compatible program
  pulseaudio pulseaudio-utils msmtp
  # tests: an Icecast server for the stream inputs
  icecast2
  # tests: clock shifting, SMTP sink, screenshots
  faketime python3-aiosmtpd xvfb xauth imagemagick x11-utils sndfile-programs
  # tests: an AgentX master, a trap receiver, the SNMP tools, the MIB checker
  snmpd snmptrapd snmp smitools
  # remote status: Prometheus rules and scraping, the status page in a browser
  prometheus chromium chromium-driver python3-selenium
  # the status port under attack: a self-signed certificate for its TLS
  openssl
  # processor-time comparison (scripts/measure_cpu.py); real programme for the detectors'
  # evaluation row (scripts/evaluate-programme.py --short: pop music, recorded speech)
  ffmpeg python3-numpy frozen-bubble-data asterisk-core-sounds-en-g722
  # scripts/selfcheck.sh: format, static analysis, g++'s AddressSanitizer and UBSan runtimes
  clang-format clang-tidy libasan8 libubsan1
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
