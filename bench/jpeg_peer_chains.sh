#!/usr/bin/env bash
# The same job as the Openfile window's JPEG save, done with common tools, for the benchmark:
#   jpeg_peer_chains.sh common|fast IN.bmp WORKDIR
# common: cjpeg, a 160 x 120 thumbnail by ImageMagick, exiftool writing the tags and thumbnail.
# fast:   cjpeg, a thumbnail by djpeg/cjpeg, exiv2 setting the tags and inserting the thumbnail.
set -euo pipefail
mode=$1 input=$2 work=$3
out="$work/peer.jpg"
thumb="$work/peer-thumb.jpg"
stamp="2002:03:04 05:06:07"

/usr/bin/cjpeg -quality 75 -sample 2x1,1x1,1x1 -outfile "$out" "$input"
case "$mode" in
common)
    /usr/bin/convert "$out" -thumbnail 160x120 -background black -gravity center \
        -extent 160x120 -quality 10 "$thumb"
    /usr/bin/exiftool -q -overwrite_original -Make=Corvantis "-Model=ZT-K7700 " \
        -Software=Ver.1.0 -ExifVersion=0210 "-DateTimeOriginal=$stamp" "-CreateDate=$stamp" \
        "-ModifyDate=$stamp" -ExifImageWidth=640 -ExifImageHeight=480 \
        "-ThumbnailImage<=$thumb" "$out"
    ;;
fast)
    /usr/bin/djpeg -scale 1/4 "$out" | /usr/bin/cjpeg -quality 10 -baseline -outfile "$thumb"
    /usr/bin/exiv2 -M"set Exif.Image.Make Corvantis" -M"set Exif.Image.Model ZT-K7700 " \
        -M"set Exif.Image.Software Ver.1.0" -M"set Exif.Photo.DateTimeOriginal $stamp" \
        -M"set Exif.Photo.DateTimeDigitized $stamp" -M"set Exif.Image.DateTime $stamp" \
        -M"set Exif.Photo.PixelXDimension 640" -M"set Exif.Photo.PixelYDimension 480" \
        mo "$out"
    /usr/bin/exiv2 -it "$out"
    ;;
*)
    echo "usage: $0 common|fast IN.bmp WORKDIR" >&2
    exit 2
    ;;
esac
