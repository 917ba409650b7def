#include "imaging/jpeg_codec.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on

#include "imaging/dib_block.h"

#ifndef JCS_EXTENSIONS
#error "the codec needs the BGR colour spaces of libjpeg-turbo"
#endif

namespace fotolyx {

namespace {

constexpr std::uint32_t BMP_HEADER_OS2 = 12;
constexpr std::uint32_t BMP_HEADER_INFO = 40;
constexpr std::uint32_t BMP_HEADER_OS2_V2 = 64;
constexpr int DOTS_PER_CM = 2;
// A picture larger than this is refused before its rows are allocated.
constexpr std::uint64_t MAX_DECODED_PIXELS = std::uint64_t{1} << 26;

// The library's error manager with the way back into the wrapper. Plain data only: it lives
// across setjmp/longjmp.
struct CodecErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    JpegState* state;
};

extern "C" void CodecErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<CodecErrorManager*>(cinfo->err);
    manager->state->JpegErrorFlag = true;
    std::longjmp(manager->jump, 1);
}

// Library messages are never shown.
extern "C" void CodecOutputMessage(j_common_ptr) {}

void InstallErrorManager(CodecErrorManager& manager, JpegState& state) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = CodecErrorExit;
    manager.pub.output_message = CodecOutputMessage;
    manager.pub.trace_level = 0;
    manager.state = &state;
}

// Comment segments: read the length, drop the contents.
extern "C" boolean SkipCommentMarker(j_decompress_ptr cinfo) {
    jpeg_source_mgr* source = cinfo->src;
    unsigned length = 0;
    for (int i = 0; i < 2; ++i) {
        if (source->bytes_in_buffer == 0 && !(*source->fill_input_buffer)(cinfo)) {
            return FALSE;
        }
        length = (length << 8) | *source->next_input_byte++;
        --source->bytes_in_buffer;
    }
    if (length > 2) {
        (*source->skip_input_data)(cinfo, static_cast<long>(length - 2));
    }
    return TRUE;
}

class FileCloser {
public:
    explicit FileCloser(std::FILE* file) : file_(file) {}
    ~FileCloser() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;
    std::FILE* get() const { return file_; }
    // Closes now; false when buffered data could not be written.
    bool Close() {
        const bool ok = file_ != nullptr && std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

private:
    std::FILE* file_;
};

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::optional<std::vector<std::uint8_t>> ReadAll(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return std::nullopt;
    }
    const long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    try {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
            return std::nullopt;
        }
        return bytes;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

// ---- BMP input stage -------------------------------------------------------------------

// What the compressor needs of a checked BMP file; points into the file's bytes.
struct BmpSource {
    const std::uint8_t* bottomRow = nullptr;
    std::size_t stride = 0;
    JDIMENSION width = 0;
    JDIMENSION height = 0;
    int bitCount = 0;
    const std::uint8_t* colourTable = nullptr;  // blue, green, red[, reserved]
    int colourEntries = 0;
    int colourEntrySize = 0;
    UINT8 densityUnit = 0;
    UINT16 xDensity = 1;
    UINT16 yDensity = 1;
};

std::optional<BmpSource> ParseBmp(const std::vector<std::uint8_t>& file) {
    const std::size_t size = file.size();
    if (size < FILE_HEADER_SIZE + BMP_HEADER_OS2 || file[0] != 'B' || file[1] != 'M') {
        return std::nullopt;
    }
    const std::uint8_t* p = file.data();
    const std::uint32_t pixelOffset = ReadLe32(p + 10);
    const std::uint32_t headerSize = ReadLe32(p + 14);
    if (headerSize != BMP_HEADER_OS2 && headerSize != BMP_HEADER_INFO &&
        headerSize != BMP_HEADER_OS2_V2) {
        return std::nullopt;
    }
    if (FILE_HEADER_SIZE + headerSize > size) {
        return std::nullopt;
    }
    std::int64_t width = 0;
    std::int64_t height = 0;
    unsigned planes = 0;
    BmpSource source;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    if (headerSize == BMP_HEADER_OS2) {
        width = ReadLe16(p + 18);
        height = ReadLe16(p + 20);
        planes = ReadLe16(p + 22);
        source.bitCount = ReadLe16(p + 24);
        source.colourEntrySize = 3;
    } else {
        width = static_cast<std::int32_t>(ReadLe32(p + 18));
        height = static_cast<std::int32_t>(ReadLe32(p + 22));
        planes = ReadLe16(p + 26);
        source.bitCount = ReadLe16(p + 28);
        compression = ReadLe32(p + 30);
        const std::uint32_t xPerMetre = ReadLe32(p + 38);
        const std::uint32_t yPerMetre = ReadLe32(p + 42);
        coloursUsed = ReadLe32(p + 46);
        source.colourEntrySize = 4;
        if (xPerMetre > 0 && yPerMetre > 0 && xPerMetre / 100 <= 0xFFFF &&
            yPerMetre / 100 <= 0xFFFF) {
            source.densityUnit = DOTS_PER_CM;
            source.xDensity = static_cast<UINT16>(xPerMetre / 100);
            source.yDensity = static_cast<UINT16>(yPerMetre / 100);
        }
    }
    if (planes != 1 || compression != BI_RGB || (source.bitCount != 8 && source.bitCount != 24) ||
        width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
        return std::nullopt;
    }
    std::size_t tableEnd = FILE_HEADER_SIZE + headerSize;
    if (source.bitCount == 8) {
        source.colourEntries = coloursUsed == 0 ? 256 : static_cast<int>(coloursUsed);
        if (coloursUsed > 256) {
            return std::nullopt;
        }
        source.colourTable = p + tableEnd;
        tableEnd += static_cast<std::size_t>(source.colourEntries) * source.colourEntrySize;
    }
    source.width = static_cast<JDIMENSION>(width);
    source.height = static_cast<JDIMENSION>(height);
    source.stride = DibStride(static_cast<std::uint32_t>(source.bitCount), source.width);
    const std::uint64_t pixelBytes = static_cast<std::uint64_t>(source.stride) * source.height;
    if (pixelOffset < tableEnd || pixelOffset > size || pixelBytes > size - pixelOffset) {
        return std::nullopt;
    }
    source.bottomRow = p + pixelOffset;
    return source;
}

// Expands one 8-bit row into blue-green-red; false on an index outside the colour table.
bool ExpandIndexedRow(const BmpSource& source, const std::uint8_t* row, std::uint8_t* bgr) {
    for (JDIMENSION x = 0; x < source.width; ++x) {
        const int index = row[x];
        if (index >= source.colourEntries) {
            return false;
        }
        const std::uint8_t* entry = source.colourTable + index * source.colourEntrySize;
        bgr[3 * x] = entry[0];
        bgr[3 * x + 1] = entry[1];
        bgr[3 * x + 2] = entry[2];
    }
    return true;
}

// ---- Compression -----------------------------------------------------------------------

struct CompressSession {
    jpeg_compress_struct cinfo;
    CodecErrorManager error;
};

// Runs the library from object creation to the last row. No object with a destructor may be
// created here: the library's error exit jumps back into this frame.
bool RunCompression(CompressSession& session, std::FILE* output, const BmpSource& source,
                    const SamplingFactors& factors, int quality, std::uint8_t* rowBuffer) {
    if (setjmp(session.error.jump) != 0) {
        return false;
    }
    jpeg_compress_struct& cinfo = session.cinfo;
    cinfo.err = &session.error.pub;
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_EXT_BGR;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    cinfo.image_width = source.width;
    cinfo.image_height = source.height;
    cinfo.density_unit = source.densityUnit;
    cinfo.X_density = source.xDensity;
    cinfo.Y_density = source.yDensity;
    jpeg_default_colorspace(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    for (int component = 0; component < MAX_SAMPLED_COMPONENTS; ++component) {
        cinfo.comp_info[component].h_samp_factor = factors[component].horizontal;
        cinfo.comp_info[component].v_samp_factor = factors[component].vertical;
    }
    jpeg_stdio_dest(&cinfo, output);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* fileRow =
            source.bottomRow +
            static_cast<std::size_t>(cinfo.image_height - 1 - cinfo.next_scanline) * source.stride;
        JSAMPROW row = const_cast<JSAMPROW>(fileRow);
        if (source.bitCount == 8) {
            if (!ExpandIndexedRow(source, fileRow, rowBuffer)) {
                session.error.state->JpegErrorFlag = true;
                return false;
            }
            row = rowBuffer;
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

// ---- Decompression ---------------------------------------------------------------------

struct DecompressSession {
    jpeg_decompress_struct cinfo;
    CodecErrorManager error;
};

bool StartDecompression(DecompressSession& session, std::FILE* input, int colourCount) {
    if (setjmp(session.error.jump) != 0) {
        return false;
    }
    jpeg_decompress_struct& cinfo = session.cinfo;
    cinfo.err = &session.error.pub;
    jpeg_create_decompress(&cinfo);
    jpeg_set_marker_processor(&cinfo, JPEG_COM, SkipCommentMarker);
    jpeg_stdio_src(&cinfo, input);
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.jpeg_color_space != JCS_GRAYSCALE || colourCount > 0) {
        cinfo.out_color_space = JCS_EXT_BGR;
    }
    if (colourCount > 0) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors =
            colourCount < 2 ? 2 : (colourCount > 256 ? 256 : colourCount);
    }
    jpeg_calc_output_dimensions(&cinfo);
    return true;
}

bool DecompressRows(DecompressSession& session, std::uint8_t* pixels, std::size_t stride) {
    if (setjmp(session.error.jump) != 0) {
        return false;
    }
    jpeg_decompress_struct& cinfo = session.cinfo;
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row =
            pixels +
            static_cast<std::size_t>(cinfo.output_height - 1 - cinfo.output_scanline) * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    return true;
}

bool FinishDecompression(DecompressSession& session) {
    if (setjmp(session.error.jump) != 0) {
        return false;
    }
    jpeg_finish_decompress(&session.cinfo);
    return true;
}

// The 14-byte file header, the 40-byte info header and the colour table (blue, green, red, 0).
std::vector<std::uint8_t> MakeBmpHead(const jpeg_decompress_struct& cinfo, int bitCount,
                                      std::size_t stride) {
    int entries = 0;
    if (bitCount == 8) {
        entries = cinfo.quantize_colors ? cinfo.actual_number_of_colors : 256;
    }
    const std::uint32_t pixelOffset = FILE_HEADER_SIZE + INFO_HEADER_SIZE + 4u * entries;
    std::vector<std::uint8_t> head(pixelOffset, 0);
    std::uint8_t* p = head.data();
    WriteLe16(p, BMP_TYPE);
    WriteLe32(p + 2, static_cast<std::uint32_t>(pixelOffset + stride * cinfo.output_height));
    WriteLe32(p + 10, pixelOffset);
    p += FILE_HEADER_SIZE;
    WriteLe32(p, INFO_HEADER_SIZE);
    WriteLe32(p + 4, cinfo.output_width);
    WriteLe32(p + 8, cinfo.output_height);
    WriteLe16(p + 12, 1);
    WriteLe16(p + 14, static_cast<std::uint16_t>(bitCount));
    if (cinfo.density_unit == DOTS_PER_CM) {
        WriteLe32(p + 24, cinfo.X_density * 100u);
        WriteLe32(p + 28, cinfo.Y_density * 100u);
    }
    WriteLe32(p + 32, static_cast<std::uint32_t>(entries));
    std::uint8_t* table = p + INFO_HEADER_SIZE;
    for (int i = 0; i < entries; ++i) {
        std::uint8_t* entry = table + 4 * i;
        if (cinfo.quantize_colors) {
            // The quantiser's map follows the output order: blue, green, red.
            for (int c = 0; c < 3; ++c) {
                entry[c] =
                    cinfo.out_color_components == 1 ? cinfo.colormap[0][i] : cinfo.colormap[c][i];
            }
        } else {
            entry[0] = entry[1] = entry[2] = static_cast<std::uint8_t>(i);
        }
    }
    return head;
}

}  // namespace

std::optional<SamplingFactors> ParseSamplingFactors(std::string_view text) {
    SamplingFactors factors{};
    std::size_t position = 0;
    for (int component = 0; component < MAX_SAMPLED_COMPONENTS; ++component) {
        if (position >= text.size()) {
            return factors;
        }
        const auto digit = [&](std::size_t at) -> int {
            return at < text.size() && text[at] >= '1' && text[at] <= '4' ? text[at] - '0' : 0;
        };
        const int horizontal = digit(position);
        const bool hasX =
            position + 1 < text.size() && (text[position + 1] == 'x' || text[position + 1] == 'X');
        const int vertical = digit(position + 2);
        if (horizontal == 0 || !hasX || vertical == 0) {
            return std::nullopt;
        }
        factors[component] = {horizontal, vertical};
        position += 3;
        if (position < text.size()) {
            if (text[position] != ',') {
                return std::nullopt;
            }
            ++position;
            if (position >= text.size()) {
                return std::nullopt;
            }
        }
    }
    return position >= text.size() ? std::optional<SamplingFactors>(factors) : std::nullopt;
}

int CompressBmpToJpeg(JpegState& state, const std::filesystem::path& input,
                      const std::filesystem::path& output, std::string_view sampling, int quality) {
    state.JpegErrorFlag = false;
    const std::optional<SamplingFactors> factors = ParseSamplingFactors(sampling);
    if (!factors) {
        state.JpegErrorFlag = true;
        return 0;
    }
    FileCloser in(OpenFile(input, "rb"));
    if (in.get() == nullptr) {
        return 0;
    }
    const std::optional<std::vector<std::uint8_t>> bytes = ReadAll(in.get());
    in.Close();
    const std::optional<BmpSource> source = bytes ? ParseBmp(*bytes) : std::nullopt;
    if (!source) {
        state.JpegErrorFlag = true;
        return 0;
    }
    std::vector<std::uint8_t> rowBuffer;
    try {
        rowBuffer.resize(static_cast<std::size_t>(source->width) * 3);
    } catch (const std::bad_alloc&) {
        state.JpegErrorFlag = true;
        return 0;
    }
    FileCloser out(OpenFile(output, "wb"));
    if (out.get() == nullptr) {
        return 0;
    }
    CompressSession session{};
    InstallErrorManager(session.error, state);
    const bool compressed =
        RunCompression(session, out.get(), *source, *factors, quality, rowBuffer.data());
    jpeg_destroy_compress(&session.cinfo);
    const bool closed = out.Close();
    if (!compressed || !closed) {
        state.JpegErrorFlag = true;
        return 0;
    }
    return 1;
}

int DecompressJpegToBmp(JpegState& state, const std::filesystem::path& input,
                        const std::filesystem::path& output, int colourCount) {
    state.JpegErrorFlag = false;
    FileCloser in(OpenFile(input, "rb"));
    if (in.get() == nullptr) {
        return 0;
    }
    FileCloser out(OpenFile(output, "wb"));
    if (out.get() == nullptr) {
        return 0;
    }
    DecompressSession session{};
    InstallErrorManager(session.error, state);
    bool ok = StartDecompression(session, in.get(), colourCount);
    const jpeg_decompress_struct& cinfo = session.cinfo;
    const int bitCount = ok && cinfo.output_components == 1 ? 8 : 24;
    const std::uint64_t pixelCount =
        ok ? static_cast<std::uint64_t>(cinfo.output_width) * cinfo.output_height : 0;
    ok = ok && pixelCount > 0 && pixelCount <= MAX_DECODED_PIXELS &&
         (cinfo.output_components == 1 || cinfo.output_components == 3);
    std::vector<std::uint8_t> pixels;
    std::size_t stride = 0;
    if (ok) {
        stride = DibStride(static_cast<std::uint32_t>(bitCount), cinfo.output_width);
        try {
            pixels.assign(stride * cinfo.output_height, 0);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    ok = ok && DecompressRows(session, pixels.data(), stride);
    std::vector<std::uint8_t> head;
    if (ok) {
        head = MakeBmpHead(cinfo, bitCount, stride);
    }
    ok = ok && FinishDecompression(session);
    jpeg_destroy_decompress(&session.cinfo);
    in.Close();
    ok = ok && std::fwrite(head.data(), 1, head.size(), out.get()) == head.size() &&
         std::fwrite(pixels.data(), 1, pixels.size(), out.get()) == pixels.size();
    ok = out.Close() && ok;
    if (!ok) {
        state.JpegErrorFlag = true;
        // A failed decode leaves an empty file, never a partial picture.
        std::FILE* truncate = OpenFile(output, "wb");
        if (truncate != nullptr) {
            std::fclose(truncate);
        }
        return 0;
    }
    return 1;
}

}  // namespace fotolyx
