#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets into tests/fuzz/<target>/corpus. The results are
# committed; run this again only to change the seeds (the float WAV and the Ogg files come out
# different every time: a time stamp, random stream numbers). The audio seeds are written with
# libsndfile by corvane_fuzz_audio_seeds, built here in the fuzz build folder.
# Usage: tests/fuzz/make-seeds.sh   (CONVERT=/path/to/convert to choose ImageMagick's program)
set -euo pipefail
cd "$(dirname "$0")/../.."
fuzz=tests/fuzz
build=${CORVANE_FUZZ_BUILD:-build-fuzz}
convert=${CONVERT:-convert}

fresh() {
  rm -rf "$fuzz/$1/corpus"
  mkdir -p "$fuzz/$1/corpus"
}

# Profile inputs: an operation line "section|key|value", then the file (none without a line
# break).
fresh profile
profile() { printf '%b' "$2" >"$fuzz/profile/corpus/$1"; }
settings='[Scales]\nAX=1\nAY=2\nFX=3\nFY=4\n[Form]\nWidth=800\nHeight=600\n'
profile replace-key "Scales|AX|7\n$settings"
profile new-key "Scales|Extra|1\n$settings"
profile new-section "Other|Key|value\n$settings"
profile crlf "Form|Height|580\n${settings//\\n/\\r\\n}"
profile mixed-endings 'Form|Width|777\n[Form]\r\nWidth=1\nHeight=2\r\n'
profile bare-cr-at-end-replaced 'Form|Width|1024\n[Scales]\r\nAX=3\r\n[Form]\r\nWidth=900\r'
profile bare-cr-at-end-new-key 'Form|Height|700\n[Scales]\r\nAX=3\r\n[Form]\r\nWidth=900\r'
profile bare-cr-at-end-new-section 'Extra|Key|1\n[Form]\nWidth=900\r'
profile no-final-line-break 'Extra|Key|value\n[Form]\nWidth=640'
profile nul-bytes 'Scales|FY|0x4\n[Scales]\nFY=1\0junk\nAX=\0\n[Fo\0rm]\nWidth=700\n'
profile blanks-comments-quotes \
  "  scales  | ax |  '5'  \n; comment\n# other\n[ SCALES ]\n  Ax  =  \"2\"  \n\n\n[Other]\nk=v\n"
profile blank-lines-end-section 'Scales|AY|2\n[Scales]\nAX=1\n\n\n[Form]\nWidth=800\n'
profile duplicates 'Scales|AX|9\n[Scales]\nAX=1\nAX=2\n[scales]\nAX=3\n'
profile odd-lines 'Scales|FX|2\n[Scales\nFX\n=3\n[]\n  [Scales]  trailing\nFX = 4\n'
profile not-ascii 'Sk\xc3\xa4len|\xc3\x84|\xf6\n[Sk\xc3\xa4len]\n\xc3\xa4=1\n'
profile empty-file 'Scales|AX|1\n'
profile missing-file 'Scales|AX|3'
profile refused-section 'Bad]Section|AX|1\n[Scales]\nAX=1\n'
profile refused-key 'Scales|A=X|1\n[Scales]\nAX=1\n'
profile refused-comment-key 'Scales|;AX|1\n[Scales]\nAX=1\n'
profile refused-value-with-cr 'Scales|AX|1\r\n[Scales]\nAX=1\n'
profile blank-section ' |AX|1\n[Scales]\nAX=1\n'
profile null-value 'Scales|AX\n[Scales]\nAX=1\n'
profile null-key 'Scales\n[Scales]\nAX=1\n'
{
  printf 'Scales|AY|5\n[Scales]\nAY='
  head -c 20000 /dev/zero | tr '\0' x
  printf '\n[Form]\nWidth=800\n'
} >"$fuzz/profile/corpus/huge-line"
{
  printf 'Form|Height|600\n[Scales]\n'
  for i in $(seq 1 400); do printf 'Key%d=%d\n' "$i" "$i"; done
  printf '[Form]\nHeight=1\n'
} >"$fuzz/profile/corpus/many-keys"

# Banner inputs: the real banner in both forms and pictures a decoder must refuse or survive.
fresh banner
banner=$fuzz/banner/corpus
cp assets/About.Image1.picture "$banner/stored-banner"
cp assets/banner.jpg "$banner/banner.jpg"
byte() { printf '%b' "\\0$(printf '%03o' "$1")"; }
stored() {  # stored <name> <class> <stream> [<length>]
  local length=${4:-$(stat -c %s "$3")}
  {
    byte "${#2}"
    printf '%s' "$2"
    for shift in 0 8 16 24; do byte $(((length >> shift) & 255)); done
    cat "$3"
  } >"$banner/$1"
}
"$convert" assets/banner.jpg -interlace Plane "$banner/progressive.jpg"
"$convert" assets/banner.jpg -colorspace Gray "$banner/grey.jpg"
"$convert" assets/banner.jpg -colorspace CMYK "$banner/cmyk.jpg"
"$convert" assets/banner.jpg -sampling-factor 1x1 -quality 50 "$banner/no-subsampling.jpg"
"$convert" -size 1x1 xc:red "$banner/one-pixel.jpg"
head -c 3000 assets/banner.jpg >"$banner/cut-in-scan.jpg"
head -c 300 assets/banner.jpg >"$banner/cut-in-tables.jpg"
# The frame header's width (two bytes, five after the SOF0 marker) set to 9000.
sof=$(LC_ALL=C grep -obUaP '\xff\xc0' assets/banner.jpg | head -n 1 | cut -d: -f1)
{ head -c $((sof + 7)) assets/banner.jpg; printf '\x23\x28'; tail -c +$((sof + 10)) assets/banner.jpg; } \
  >"$banner/too-wide.jpg"
stored stored-progressive TJPEGImage "$banner/progressive.jpg"
stored stored-wrong-class TBitmap assets/banner.jpg
stored stored-length-overruns TJPEGImage assets/banner.jpg 999999
stored stored-length-short TJPEGImage assets/banner.jpg 2000
{ cat assets/About.Image1.picture; printf 'trailing bytes'; } >"$banner/stored-trailing-bytes"

# Generator descriptions, accepted and refused.
fresh generator
generator() { printf '%s' "$2" >"$fuzz/generator/corpus/$1"; }
generator default 'sine,1000,0.5;square,440,0.25'
generator every-shape 'triangle,22050,1;sawtooth,1e3,5e-1'
generator noise-and-silence 'noise,0,1;silence'
generator blanks-and-signs ' sine , +440 , .25 ; noise '
generator shape-only 'sine'
generator square-extremes 'square,0,1;square,22050,1'
generator too-high 'sine,22050.0001'
generator negative 'sine,-1'
generator too-loud 'sine,1000,1.5'
generator not-a-number 'sine,nan;sine,inf,1'
generator out-of-double 'sine,1e400'
generator empty-fields 'square,,'
generator three-channels 'sine;sine;sine'
generator four-fields 'sine,1,0.5,3'
generator capitalised 'Sine'
generator hexadecimal 'sine,0x10'
generator tiny-and-negative-zero 'noise,1e-320,-0'
generator empty-second 'sine,1000,0.5;'

# Device names: a prefix, then the descriptions of one list, NUL-separated.
fresh device_name
name() { printf '%b' "$2" >"$fuzz/device_name/corpus/$1"; }
name plain '\0Built-in Audio Analog Stereo\0HDA Intel PCH: ALC887 Analog'
name monitor 'Monitor: \0Built-in Audio Analog Stereo\0Built-in Audio Digital Stereo (HDMI)'
name default-monitor 'Default: Monitor: \0Family 17h (Models 10h-1fh) HD Audio Controller Analog'
name duplicates '\0USB Audio\0USB Audio\0USB Audio\0USB Audio 2\0USB Audio'
name long-first-word '\0Supercalifragilisticexpialidocious-Microphone-Array Input'
name dashes '\0Built-in Audio \xe2\x80\x94 Analog Stereo \xe2\x80\x93 Headset Microphone'
name lines-and-blanks '\0First line of it\r\nSecond line\0   \0\t\0'
name long-prefix 'A prefix that alone is longer than a name: \0Microphone'
name utf8 '\0Mikrofon f\xc3\xbcr Pr\xc3\xa4sentationen im Konferenzraum Nord'\
'\0\xd0\x9c\xd0\xb8\xd0\xba\xd1\x80\xd0\xbe\xd1\x84\xd0\xbe\xd0\xbd \xd0\xb2\xd1\x81'\
'\xd1\x82\xd1\x80\xd0\xbe\xd0\xb5\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb9 \xd0\xb0\xd0\xbd\xd0\xb0'\
'\xd0\xbb\xd0\xbe\xd0\xb3\xd0\xbe\xd0\xb2\xd1\x8b\xd0\xb9'\
'\0\xe5\x86\x85\xe7\xbd\xae\xe9\x9f\xb3\xe9\xa2\x91\xe6\xa8\xa1\xe6\x8b\x9f\xe7\xab\x8b'\
'\xe4\xbd\x93\xe5\xa3\xb0\xe9\xba\xa6\xe5\x85\x8b\xe9\xa3\x8e'\
'\0\xf0\x9f\x8e\xa4\xf0\x9f\x8e\xa4\xf0\x9f\x8e\xa4\xf0\x9f\x8e\xa4\xf0\x9f\x8e\xa4'\
'\xf0\x9f\x8e\xa4\xf0\x9f\x8e\xa4\xf0\x9f\x8e\xa4 Microphone'
name latin1 '\0Mikrofon f\xfcr Pr\xe4sentationen im Konferenzraum Nord'
name broken-utf8 '\xe2\x80\0Stray \x80\xbf continuation bytes in a long name\0Overlong \xc0\xaf'\
' and surrogate \xed\xa0\x80 bytes in a name\0Cut short at the end \xe2\x82'

# Audio files from libsndfile, and damaged ones.
fresh audio_file
audio=$fuzz/audio_file/corpus
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCORVANE_FUZZ=ON -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target corvane_fuzz_audio_seeds
"$build/tests/fuzz/corvane_fuzz_audio_seeds" "$audio"
head -c 44 "$audio/pcm16-stereo-22050.wav" >"$audio/header-only.wav"
head -c 200 "$audio/pcm16-stereo-44100.flac" >"$audio/cut.flac"
head -c 100 "$audio/gsm-mono-8000.wav" >"$audio/cut-gsm.wav"
printf 'not a sound file\n' >"$audio/text"
