#!/usr/bin/env bash
# Writes a corpus of MPEG audio files of the kinds users collect into the
# folder given as the only argument, with manifest.tsv listing each file, its
# class and whether a decoder must play it ("decode") or turn it down
# ("refuse"). Every encoder Debian offers takes part, so the files do not all
# come from one writer; tags, headers and damage are added byte by byte.
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
cd "$out"
manifest=manifest.tsv
: > "$manifest"
note() { printf '%s\t%s\t%s\n' "$1" "$2" "$3" >> "$manifest"; }

# A short source tone for each rate and channel count.
src() { # rate channels
    local f="src-$1-$2.wav"
    [ -f "$f" ] || sox -n -r "$1" -c "$2" -b 16 "$f" synth 1.2 sine 300-2500 vol 0.6
    echo "$f"
}

# Layer III from LAME at every rate, mono and stereo, CBR and VBR.
for rate in 32000 44100 48000 16000 22050 24000 8000 11025 12000; do
    for ch in 1 2; do
        lame --quiet -b 64 "$(src $rate $ch)" "l3-lame-cbr-$rate-$ch.mp3"
        note "l3-lame-cbr-$rate-$ch.mp3" layer3-cbr-info decode
    done
    lame --quiet -V 4 "$(src $rate 2)" "l3-lame-vbr-$rate.mp3"
    note "l3-lame-vbr-$rate.mp3" layer3-vbr-xing decode
done
for rate in 44100 22050 8000; do
    lame --quiet -t -V 3 "$(src $rate 2)" "l3-lame-noheader-$rate.mp3"
    note "l3-lame-noheader-$rate.mp3" layer3-no-header decode
done
# Other layer III writers: ffmpeg with LAME and with shine, sox.
for rate in 44100 22050 48000 11025; do
    ffmpeg -loglevel error -y -i "$(src $rate 2)" -c:a libmp3lame -q:a 5 "l3-ffmpeg-vbr-$rate.mp3"
    note "l3-ffmpeg-vbr-$rate.mp3" layer3-vbr-xing decode
    ffmpeg -loglevel error -y -i "$(src $rate 1)" -c:a libmp3lame -b:a 48k -write_xing 0 \
        "l3-ffmpeg-noxing-$rate.mp3"
    note "l3-ffmpeg-noxing-$rate.mp3" layer3-no-header decode
done
for rate in 32000 44100 48000 16000 22050 24000; do
    ffmpeg -loglevel error -y -i "$(src $rate 2)" -c:a libshine -b:a 64k "l3-shine-$rate.mp3"
    note "l3-shine-$rate.mp3" layer3-cbr-info decode
done
sox "$(src 44100 2)" -C -4.2 l3-sox-vbr-44100.mp3
sox "$(src 22050 1)" -C 32 l3-sox-cbr-22050.mp3
note l3-sox-vbr-44100.mp3 layer3-vbr-xing decode
note l3-sox-cbr-22050.mp3 layer3-cbr-info decode

# Layer II from twolame and from ffmpeg's two encoders.
for rate in 32000 44100 48000 16000 22050 24000; do
    for ch in 1 2; do
        twolame --quiet -b 96 "$(src $rate $ch)" "l2-twolame-$rate-$ch.mp2"
        note "l2-twolame-$rate-$ch.mp2" layer2 decode
    done
done
for enc in mp2 mp2fixed; do
    for rate in 44100 48000 32000; do
        ffmpeg -loglevel error -y -i "$(src $rate 2)" -c:a $enc -b:a 128k "l2-$enc-$rate.mp2"
        note "l2-$enc-$rate.mp2" layer2 decode
    done
done
twolame --quiet -b 256 --vbr -V 5 "$(src 48000 2)" l2-twolame-vbr-48000.mp2
note l2-twolame-vbr-48000.mp2 layer2 decode

# Layer I: no Debian package writes it, so frames are built here.
for rate in 32000 44100 48000 16000 22050 24000; do
    for ch in 1 2; do
        python3 "$here/mpeg_bytes.py" layer1 "$rate" "$ch" "l1-$rate-$ch.mp1"
        note "l1-$rate-$ch.mp1" layer1 decode
    done
done

# Headers: VBRI in front of a CBR stream, a Xing header without its LAME part.
lame --quiet -t -b 128 "$(src 44100 2)" plain.tmp
python3 "$here/mpeg_bytes.py" vbri plain.tmp l3-vbri.mp3
note l3-vbri.mp3 layer3-vbri decode
python3 "$here/mpeg_bytes.py" nolame l3-lame-vbr-44100.mp3 l3-xing-without-lame.mp3
note l3-xing-without-lame.mp3 layer3-vbr-xing decode

# Tags in front and behind, alone and together.
base=l3-lame-vbr-44100.mp3
cbase=l3-lame-cbr-22050-2.mp3
for t in id3v22 id3v23 id3v24 id3v23-padded id3v24-broken-frame id3v23-broken-frame; do
    python3 "$here/mpeg_bytes.py" tag "$t" "$base" "tag-$t.mp3"
    note "tag-$t.mp3" tags-front decode
done
for t in id3v1 ape ape-noheader ape-lyrics3 lyrics3-ape lyrics3v1 id3v1-ape-lyrics3 \
         id3v24+id3v1 id3v23+ape-lyrics3; do
    for f in "$base" "$cbase"; do
        python3 "$here/mpeg_bytes.py" tag "$t" "$f" "tag-$t-${f%.mp3}.mp3"
        note "tag-$t-${f%.mp3}.mp3" tags-behind decode
    done
done
python3 "$here/mpeg_bytes.py" tag id3v24+id3v1 l2-twolame-44100-2.mp2 tag-l2.mp2
note tag-l2.mp2 tags-behind decode

# Damage: junk before the first frame, a cut last frame.
for f in "$base" "$cbase" l2-twolame-48000-2.mp2 l3-lame-vbr-22050.mp3; do
    python3 "$here/mpeg_bytes.py" junk "$f" "damaged-junk-$f"
    note "damaged-junk-$f" damaged decode
    python3 "$here/mpeg_bytes.py" cut "$f" "damaged-cut-$f"
    note "damaged-cut-$f" damaged decode
done
python3 "$here/mpeg_bytes.py" tag ape-lyrics3 "damaged-cut-l3-lame-vbr-22050.mp3" damaged-cut-tagged.mp3
note damaged-cut-tagged.mp3 damaged decode

# A name with spaces, quotes and letters beyond ASCII.
cp "$base" "it's a \"quoted\" Motörhead – Sigur Rós song.mp3"
note "it's a \"quoted\" Motörhead – Sigur Rós song.mp3" odd-name decode

# Files with no audio to play.
: > empty.mp3
note empty.mp3 no-audio refuse
for n in 1 127 128; do
    head -c "$n" "$base" > "short-$n.mp3"
    note "short-$n.mp3" too-short refuse
done
python3 "$here/mpeg_bytes.py" tag id3v1 empty.mp3 tag-only-id3v1.mp3
note tag-only-id3v1.mp3 no-audio refuse
python3 "$here/mpeg_bytes.py" tag id3v23-padded empty.mp3 tag-only-id3v2.mp3
note tag-only-id3v2.mp3 no-audio refuse
printf 'This is a text file that someone named .mp3 by mistake.\r\n%.0s' $(seq 40) > text.mp3
note text.mp3 no-audio refuse
rm -f src-*.wav plain.tmp
