#!/usr/bin/env bash
# Installs the Debian 12 packages bankprep needs to build, test and run. Does nothing
# when everything is present. Installing needs root: run as root, or as a user with
# sudo; without sudo, in a terminal, it asks for root's password through su.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite qt6-translations-l10n
  libsqlite3-dev libsodium-dev libquazip1-qt6-dev
  sqlite3 xvfb xauth fonts-wqy-microhei
  python3
  # The Debian package and its checks, the printed lists' text, the input method.
  dpkg-dev file lintian desktop-file-utils appstream poppler-utils fcitx5-frontend-qt6
)

if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
  echo "install-deps.sh: 本脚本需要 Debian 12（dpkg 与 apt-get）。请手动安装：${packages[*]}" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

install_cmd="export DEBIAN_FRONTEND=noninteractive; apt-get update -q && apt-get install -y -q --no-install-recommends ${missing[*]}"

if [ "$(id -u)" -eq 0 ]; then
  echo "正在安装 / Installing: ${missing[*]}"
  bash -c "$install_cmd"
elif command -v sudo >/dev/null 2>&1; then
  echo "正在安装 / Installing: ${missing[*]}"
  sudo bash -c "$install_cmd"
elif [ -t 0 ] && command -v su >/dev/null 2>&1; then
  echo "正在安装 / Installing: ${missing[*]}"
  echo "没有 sudo：请输入 root 的密码。"
  su root -c "$install_cmd"
else
  echo "install-deps.sh: 缺少软件包，安装需要 root 权限，但本机没有 sudo。" >&2
  echo "请以 root 身份运行：" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  echo "然后再运行本命令。" >&2
  exit 1
fi
