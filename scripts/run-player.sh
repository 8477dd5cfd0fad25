#!/usr/bin/env bash
# Installs the packages, builds the player and starts it on its demo folder:
#   bash scripts/run-player.sh            plays the demo tracks and pictures made by the build
#   bash scripts/run-player.sh FOLDER     plays FOLDER/MarvoyMP3/ and shows FOLDER/MarvoyJPG/; when
#                                         FOLDER has no such sub-folders, its own *.mp3 and *.jpg files
# The player looks for MarvoyMP3/ and MarvoyJPG/ beside its executable, so for FOLDER a copy of the
# executable is started from build/player-run/ with links to the user's folders. It opens its lyrics
# file Lyrics/LYRIC.SVL in the folder it is started in: the demo's in build/player/; for FOLDER its
# own Lyrics/ when it has one, else one kept in build/player-lyrics/ from run to run.
# Set SONVALE_TRACE=1 to follow what it plays and shows on standard error, and SONVALE_SEED=N
# (0 … 4294967295) to replay one random order instead of a new one at every start.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target sonvale -j "$(nproc)"

if [ $# -eq 0 ]; then
  cd build/player
  exec ./sonvale
fi

folder=$(realpath "$1")
if [ ! -d "$folder" ]; then
  echo "run-player: $1 is not a folder" >&2
  exit 1
fi
run=build/player-run
rm -rf "$run"
mkdir -p "$run"
cp build/player/sonvale "$run/sonvale"
for kind in MP3 JPG; do
  if [ -d "$folder/Marvoy$kind" ]; then
    ln -s "$folder/Marvoy$kind" "$run/Marvoy$kind"
  else
    ln -s "$folder" "$run/Marvoy$kind"
  fi
done
if [ -d "$folder/Lyrics" ]; then
  ln -s "$folder/Lyrics" "$run/Lyrics"
else
  lyrics=build/player-lyrics
  if [ ! -f "$lyrics/LYRIC.SVL" ]; then
    build/tools/sonvale_lyrics "$lyrics/LYRIC.SVL" > /dev/null
  fi
  ln -s "$(realpath "$lyrics")" "$run/Lyrics"
fi
cd "$run"
exec ./sonvale
