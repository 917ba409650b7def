#include "camsim/picture_maker.h"

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>

namespace fotolyx::camsim {

std::vector<std::uint8_t> MakeSceneJpeg(int width, int height, int seed, int quality) {
    jpeg_compress_struct compressor{};
    jpeg_error_mgr errors{};
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&compressor, &buffer, &size);
    compressor.image_width = static_cast<JDIMENSION>(width);
    compressor.image_height = static_cast<JDIMENSION>(height);
    compressor.input_components = 3;
    compressor.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, quality, TRUE);
    jpeg_start_compress(&compressor, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
    while (compressor.next_scanline < compressor.image_height) {
        const int y = static_cast<int>(compressor.next_scanline);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<JSAMPLE>((x * 255 / width + seed * 40) & 0xFF);
            row[3 * x + 1] = static_cast<JSAMPLE>((y * 255 / height + seed * 70) & 0xFF);
            row[3 * x + 2] = static_cast<JSAMPLE>(((x + y) * 2 + seed * 90) & 0xFF);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&compressor, rows, 1);
    }
    jpeg_finish_compress(&compressor);
    std::vector<std::uint8_t> jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&compressor);
    std::free(buffer);
    return jpeg;
}

std::vector<SimPicture> MakeSamplePictures(int count) {
    std::vector<SimPicture> pictures;
    for (int i = 0; i < count; ++i) {
        SimPicture picture;
        const bool fine = i % 2 == 0;
        picture.attribute = fine ? 0x01 : 0x00;
        picture.width = fine ? 640 : 320;
        picture.height = fine ? 480 : 240;
        picture.date = UploadDate{2002, 5, 17, 14, 5 + i};
        picture.jpeg = MakeSceneJpeg(picture.width, picture.height, i, fine ? 90 : 70);
        picture.thumbnailWidth = 80;
        picture.thumbnailHeight = 60;
        picture.thumbnail = MakeSceneJpeg(80, 60, i, 75);
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

}  // namespace fotolyx::camsim

namespace fotolyx::camsim {

bool ReadJpegSize(const std::vector<std::uint8_t>& jpeg, std::uint16_t& width,
                  std::uint16_t& height) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        return false;
    }
    std::size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF) {
            return false;
        }
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {
            ++at;  // fill byte
            continue;
        }
        const std::size_t length = (std::size_t{jpeg[at + 2]} << 8) | jpeg[at + 3];
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || at + 9 > jpeg.size()) {
                return false;
            }
            height = static_cast<std::uint16_t>((jpeg[at + 5] << 8) | jpeg[at + 6]);
            width = static_cast<std::uint16_t>((jpeg[at + 7] << 8) | jpeg[at + 8]);
            return width != 0 && height != 0;
        }
        if (marker == 0xD9 || marker == 0xDA || length < 2) {
            return false;
        }
        at += 2 + length;
    }
    return false;
}

}  // namespace fotolyx::camsim
