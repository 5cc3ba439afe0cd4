#!/usr/bin/env bash
# Writes the library benchmark's data: COUNT (default 10000) small files with
# an MP3 frame header and an ID3v1 block, in folders of 100, under DIR/music,
# and DIR/playlist.lst naming every one of them (CR LF lines).
# Usage: bench/library_make_data.sh DIR [COUNT]
set -euo pipefail
dir=${1:?usage: $0 DIR [COUNT]}
count=${2:-10000}
mkdir -p "$dir/music"
dir=$(cd "$dir" && pwd)

# Only shell built-ins inside the loop, so ten thousand files take seconds.
body=$'\xff\xfb\x90\x64'
for _ in $(seq 1 24); do body+="0123456789abcdef"; done
genre_bytes=()
for g in $(seq 0 255); do genre_bytes[g]=$(printf '\\%03o' "$g"); done

playlist="$dir/playlist.lst"
: >"$playlist"
for ((i = 0; i < count; i++)); do
  printf -v folder '%s/music/folder_%03d' "$dir" $((i / 100))
  [[ -d $folder ]] || mkdir "$folder"
  printf -v file '%s/song_%05d.mp3' "$folder" "$i"
  {
    printf '%s' "$body"
    printf 'TAG%-30.30s%-30.30s%-30.30s%-4.4s%-30.30s' "Title $i" "Artist $((i % 250))" \
      "Album $((i / 100))" "$((1960 + i % 60))" "generated"
    printf "${genre_bytes[$((i % 116))]}"
  } >"$file"
  printf '%s\r\n' "$file" >>"$playlist"
done
echo "wrote $count songs under $dir/music and $playlist"
