#!/usr/bin/env bash
# Writes the library benchmarks' data: COUNT (default 10000) small files in
# folders of 100 under DIR/music, tagged as real collections are: an ID3v2.3
# tag in front (title longer than ID3v1 holds, artist, album, year, a numbered
# genre, track, comment and 1 KiB of padding; every tenth text in UTF-16, every
# twentieth with ReplayGain frames, every fifth with a 20 KiB front cover), an
# APEv2 tag on every twenty-fifth, and an ID3v1 block at the end; then
# DIR/playlist.lst naming every one of them (CR LF lines).
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

# Binary output through printf escapes: every byte as \ooo.
be32() { # big-endian 32-bit
  printf -v REPLY '\\%03o\\%03o\\%03o\\%03o' $(($1 >> 24 & 255)) $(($1 >> 16 & 255)) \
    $(($1 >> 8 & 255)) $(($1 & 255))
}
le32() {
  printf -v REPLY '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) \
    $(($1 >> 16 & 255)) $(($1 >> 24 & 255))
}
syncsafe() {
  printf -v REPLY '\\%03o\\%03o\\%03o\\%03o' $(($1 >> 21 & 127)) $(($1 >> 14 & 127)) \
    $(($1 >> 7 & 127)) $(($1 & 127))
}
# An ID3v2.3 frame: ID, size, no flags, then the escaped payload of $3 bytes.
frame() {
  be32 "$3"
  REPLY="$1$REPLY\\000\\000$2"
}
# Latin-1 text (encoding 0) or, with "utf16", UTF-16 with a byte-order mark.
text_payload() {
  local text=$1 out="" i
  if [[ ${2:-} == utf16 ]]; then
    out='\001\377\376'
    for ((i = 0; i < ${#text}; i++)); do out+="${text:i:1}\\000"; done
    REPLY=$out
    PAYLOAD_SIZE=$((3 + 2 * ${#text}))
  else
    REPLY="\\000$text"
    PAYLOAD_SIZE=$((1 + ${#text}))
  fi
}
text_frame() {
  text_payload "$2" "${3:-}"
  frame "$1" "$REPLY" "$PAYLOAD_SIZE"
  FRAMES+=$REPLY
  FRAMES_SIZE=$((FRAMES_SIZE + 10 + PAYLOAD_SIZE))
}

padding=$(printf '\\000%.0s' $(seq 1 1024))
cover_body=$(printf '\\377\\330\\377\\340%.0s' $(seq 1 5120)) # 20 KiB
cover_payload="\\000image/jpeg\\000\\003front\\000$cover_body"
cover_size=$((1 + 11 + 1 + 6 + 5120 * 4))

playlist="$dir/playlist.lst"
: >"$playlist"
for ((i = 0; i < count; i++)); do
  printf -v folder '%s/music/folder_%03d' "$dir" $((i / 100))
  [[ -d $folder ]] || mkdir "$folder"
  printf -v file '%s/song_%05d.mp3' "$folder" "$i"
  title="Title $i of the generated collection"
  artist="Artist $((i % 250))"
  album="Album $((i / 100))"
  year=$((1960 + i % 60))
  genre=$((i % 80))
  encoding=""
  ((i % 10 == 3)) && encoding=utf16
  FRAMES=""
  FRAMES_SIZE=0
  text_frame TIT2 "$title" "$encoding"
  text_frame TPE1 "$artist" "$encoding"
  text_frame TALB "$album" "$encoding"
  text_frame TYER "$year"
  text_frame TCON "($genre)"
  text_frame TRCK "$((i % 12 + 1))/12"
  # A comment: encoding, language, empty description, text.
  frame COMM '\000eng\000generated' 14
  FRAMES+=$REPLY
  FRAMES_SIZE=$((FRAMES_SIZE + 24))
  if ((i % 20 == 7)); then
    text_frame TXXX $'REPLAYGAIN_TRACK_GAIN\x01-6.50 dB'
    FRAMES=${FRAMES//$'\x01'/\\000}
  fi
  if ((i % 5 == 1)); then
    frame APIC "$cover_payload" "$cover_size"
    FRAMES+=$REPLY
    FRAMES_SIZE=$((FRAMES_SIZE + 10 + cover_size))
  fi
  syncsafe $((FRAMES_SIZE + 1024))
  {
    printf "ID3\\003\\000\\000$REPLY$FRAMES$padding"
    printf '%s' "$body"
    if ((i % 25 == 11)); then
      # APEv2: one item ("Title"), then the footer; the ID3v1 block follows.
      item="Ape title $i"
      le32 ${#item}
      ape_item="$REPLY\\000\\000\\000\\000Title\\000$item"
      ape_size=$((8 + 6 + ${#item} + 32))
      le32 $ape_size
      # Footer: version 2000, size, one item, no flags, eight reserved bytes.
      printf "$ape_item"'APETAGEX\320\007\000\000'"$REPLY"'\001\000\000\000'
      printf '\000%.0s' $(seq 1 12)
    fi
    printf 'TAG%-30.30s%-30.30s%-30.30s%-4.4s%-30.30s' "$title" "$artist" "$album" "$year" \
      "generated"
    printf "${genre_bytes[$genre]}"
  } >"$file"
  printf '%s\r\n' "$file" >>"$playlist"
done
echo "wrote $count songs under $dir/music and $playlist"
