// Image files for the kit, read into 24-bit sections by the table of formats near
// the end (kFormats: each one's signature, loader and name); surfaces written as PNG
// or BMP.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>

#include <gif_lib.h>
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "kit/picture.hpp"
#include <tiffio.h>
#include <webp/decode.h>

namespace kit {

using namespace gdi;

namespace {

// Decoded pixels, top row first, 3 bytes blue-green-red per pixel, no padding.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
};

// Pictures larger than this are refused before their pixels are allocated: each side
// within the 16-bit fields of the formats the kit writes, and at most 128 Mpixels
// (about 400 MB of 24-bit rows, twice: decoded and in the section).
constexpr int kMaxSide = 65535;
constexpr int64_t kMaxPixels = int64_t{1} << 27;
// Picture files larger than this are not read at all.
constexpr off_t kMaxFileBytes = off_t{1} << 28;

bool fits(int64_t width, int64_t height, std::string& error) {
    if (width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels) return true;
    error = width <= 0 || height <= 0
                ? "a picture of no size"
                : "a picture of " + std::to_string(width) + "x" + std::to_string(height) +
                      " pixels is larger than the " + std::to_string(kMaxPixels >> 20) + " Mpixels the kit loads";
    return false;
}

// Sizes `v` to `n` bytes; false when there is no memory for them (for decoders that
// must clean up before they report it).
bool grow(std::vector<uint8_t>& v, size_t n) {
    try {
        v.resize(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// A sample `c` of opacity `a` over white, in the file's own values (rounded as Pillow
// composites over white).
uint8_t over_white(unsigned c, unsigned a) { return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255); }

// The bytes of an ordinary file: a folder, a pipe or a device is refused (and a pipe
// with no writer is not waited on).
bool read_file(const std::string& path, std::vector<uint8_t>& data, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        error = path + ": not an ordinary file";
        return false;
    }
    if (st.st_size > kMaxFileBytes) {
        close(fd);
        error = path + ": larger than the " + std::to_string(kMaxFileBytes >> 20) + " MB a picture file may have";
        return false;
    }
    data.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t r = read(fd, data.data() + done, data.size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    data.resize(done);
    close(fd);
    return true;
}

// PNG through libpng's ordinary reader: the stored samples as they are (no gamma,
// chromaticity or ICC conversion), 16-bit samples by their high byte, every depth and
// colour type expanded to 8-bit BGR, tRNS as alpha, and alpha over white in the file's
// own values.
//
// libpng reports errors by longjmp: the functions holding its setjmp keep only plain
// values, and every buffer with a destructor belongs to decode_png, above them.

// Most one ancillary chunk (or a decompressed text or profile) may allocate, and how
// many such chunks are kept; pixel data is read in pieces and not bound by either.
constexpr png_alloc_size_t kPngChunkBytes = png_alloc_size_t{8} << 20;
constexpr png_uint_32 kPngChunkCount = 256;

uint32_t be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// deflate packs at most about 1,032 bytes into one (a run of 258-byte matches).
constexpr uint64_t kDeflateRatio = 1032;

// Walks the chunks before libpng does: a chunk claiming more bytes than the file has
// left is refused here, before anything is allocated for it, and so is a picture the
// header makes too large, or larger than its image data could hold at deflate's
// highest ratio (a few bytes claiming hundreds of megabytes of rows).
bool png_chunks_fit(const std::vector<uint8_t>& data, std::string& error) {
    uint64_t idat = 0, width = 0, height = 0, row_bits = 0;
    for (size_t at = 8; at + 8 <= data.size();) {
        uint32_t length = be32(&data[at]);
        std::string type(reinterpret_cast<const char*>(&data[at + 4]), 4);
        if (length > data.size() - at - 8 || data.size() - at - 8 - length < 4) {
            error = "a PNG " + type + " chunk of " + std::to_string(length) + " bytes in a file of " +
                    std::to_string(data.size()) + " bytes";
            return false;
        }
        if (at == 8 && type == "IHDR" && length >= 13) {
            width = be32(&data[at + 8]);
            height = be32(&data[at + 12]);
            if (!fits(static_cast<int64_t>(width), static_cast<int64_t>(height), error)) return false;
            static constexpr uint64_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
            uint8_t depth = data[at + 16], type_code = data[at + 17];
            row_bits = type_code < 7 ? kChannels[type_code] * depth : 0;
        }
        if (type == "IDAT") idat += length;
        if (type == "IEND") break;
        at += 12 + size_t{length};
    }
    // The filtered rows of a non-interlaced picture: the least an interlaced one holds.
    uint64_t rows = height * (1 + (width * row_bits + 7) / 8);
    if (row_bits && rows / kDeflateRatio > idat + 64) {
        error = "a PNG picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels with " +
                std::to_string(idat) + " bytes of image data, too few to hold it";
        return false;
    }
    return true;
}

// The memory a PNG is read from and the text of its error; plain data, as it lives
// across libpng's longjmp.
struct PngSource {
    const uint8_t* data;
    size_t size, at;
    char message[200];
};

void png_fail(png_structp png, png_const_charp text) {
    auto* s = static_cast<PngSource*>(png_get_error_ptr(png));
    // libpng's allocation failure, in the words the callers map to error 7
    std::snprintf(s->message, sizeof s->message, "%s",
                  std::strcmp(text, "Out of memory") == 0 ? "out of memory in libpng" : text);
    png_longjmp(png, 1);
}

void png_quiet(png_structp, png_const_charp) {}

void png_take(png_structp png, png_bytep out, size_t n) {
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > s->size - s->at) png_error(png, "truncated PNG file");
    std::memcpy(out, s->data + s->at, n);
    s->at += n;
}

// Reads the header and sets the transforms; the size and channel count (3: BGR, 4:
// BGRA) of the rows they give.
bool png_head(png_structp png, png_infop info, png_uint_32& width, png_uint_32& height, int& channels) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);  // the high byte
    png_set_expand(png);  // palette to RGB, grey of 1, 2 and 4 bits to 8, tRNS to alpha
    if (!(png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    channels = png_get_channels(png, info);
    if (png_get_bit_depth(png, info) != 8 || (channels != 3 && channels != 4) ||
        png_get_rowbytes(png, info) != size_t{width} * static_cast<size_t>(channels))
        png_error(png, "unexpected PNG row layout");
    return true;
}

bool png_rows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

bool decode_png(const std::vector<uint8_t>& data, Image& img, std::string& error) {
    if (!png_chunks_fit(data, error)) return false;
    PngSource src{data.data(), data.size(), 0, "malformed PNG file"};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &src, png_fail, png_quiet);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    struct Free {
        png_structp* png;
        png_infop* info;
        ~Free() { png_destroy_read_struct(png, info, nullptr); }
    } free_png{&png, &info};
    if (!info) {
        error = "out of memory in libpng";
        return false;
    }
    png_set_read_fn(png, &src, png_take);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, kPngChunkBytes);
    png_set_chunk_cache_max(png, kPngChunkCount);
    // Text, profiles and suggested palettes are never used: skipped unread.
    static const png_byte kSkipped[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, static_cast<int>(sizeof kSkipped / 5));
    png_uint_32 w = 0, h = 0;
    int channels = 0;
    if (!png_head(png, info, w, h, channels)) {
        error = src.message;
        return false;
    }
    if (!fits(w, h, error)) return false;
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    // BGRA rows are blended down to BGR in the same buffer.
    img.bgr.resize(size_t{w} * h * static_cast<size_t>(channels));
    std::vector<png_bytep> rows(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = &img.bgr[size_t{y} * w * static_cast<size_t>(channels)];
    if (!png_rows(png, rows.data())) {
        error = src.message;
        return false;
    }
    if (channels == 4) {
        size_t n = size_t{w} * h;
        uint8_t* p = img.bgr.data();
        for (size_t i = 0; i < n; ++i) {
            unsigned b = p[i * 4], g = p[i * 4 + 1], r = p[i * 4 + 2], a = p[i * 4 + 3];
            p[i * 3] = over_white(b, a);
            p[i * 3 + 1] = over_white(g, a);
            p[i * 3 + 2] = over_white(r, a);
        }
        img.bgr.resize(n * 3);
    }
    return true;
}

// Progressive files past this many scans are refused: each scan is another pass over
// the whole coefficient buffer, so a few kilobytes of scans cost seconds (a file of
// 1,000 empty scans took 18 s); real files have about 10.
constexpr int kMaxJpegScans = 100;
// What libjpeg may allocate for its own buffers; past it a file is refused ("backing
// store not supported").  A progressive file of 128 Mpixels in 4:2:0 needs 384 MB.
constexpr long kMaxJpegMemory = long{512} << 20;

// libjpeg's error state and progress hook; plain data, as it lives across libjpeg's
// longjmp.  Warnings are dropped: they never reach the caller's stderr.
struct JpegError {
    jpeg_error_mgr mgr;
    jpeg_progress_mgr progress;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 32];
};

[[noreturn]] void jpeg_fail(j_common_ptr c) {
    auto* e = reinterpret_cast<JpegError*>(c->err);
    char text[JMSG_LENGTH_MAX];
    c->err->format_message(c, text);
    // libjpeg's allocation failure, in the words the callers map to error 7
    std::snprintf(e->message, sizeof e->message, "%s%s",
                  c->err->msg_code == JERR_OUT_OF_MEMORY ? "out of memory in libjpeg: " : "", text);
    longjmp(e->jump, 1);
}

void jpeg_count_scans(j_common_ptr c) {
    if (!c->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(c);
    if (d->input_scan_number <= kMaxJpegScans) return;
    auto* e = reinterpret_cast<JpegError*>(c->err);
    std::snprintf(e->message, sizeof e->message, "a JPEG file of more than %d scans", kMaxJpegScans);
    longjmp(e->jump, 1);
}

// Everything from here to the end of decode_jpeg may be left by longjmp: no local has a
// destructor, and the CMYK row comes from libjpeg's pool, which jpeg_destroy frees.
bool decode_jpeg(const std::vector<uint8_t>& data, Image& img, std::string& error) {
    jpeg_decompress_struct cinfo{};
    JpegError err{};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpeg_fail;
    err.mgr.emit_message = [](j_common_ptr c, int level) {
        if (level < 0) ++c->err->num_warnings;
    };
    err.mgr.output_message = [](j_common_ptr) {};
    err.progress.progress_monitor = jpeg_count_scans;
    if (setjmp(err.jump)) {
        error = err.message;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &err.progress;
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (!fits(cinfo.image_width, cinfo.image_height, error)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // Huffman coding spends at least one bit on every block of the first component, so
    // a file too short for that is cut off: libjpeg would fill it out with grey, and a
    // few hundred bytes could claim 128 Mpixels of rows.  (Arithmetic coding can spend
    // less; its files are not bounded this way.)
    uint64_t blocks = uint64_t{cinfo.comp_info[0].width_in_blocks} * cinfo.comp_info[0].height_in_blocks;
    if (!cinfo.arith_code && data.size() * 8 < blocks) {
        error = "a JPEG picture of " + std::to_string(cinfo.image_width) + "x" + std::to_string(cinfo.image_height) +
                " pixels cannot be held in " + std::to_string(data.size()) + " bytes";
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // The decoder's own buffers (the coefficients of a progressive file) stay within this.
    cinfo.mem->max_memory_to_use = kMaxJpegMemory;
    // CMYK (and YCCK) files come out as CMYK and are mixed to BGR here: the
    // decoder converts only the colour spaces of three channels.
    bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    img.width = static_cast<int>(cinfo.output_width);
    img.height = static_cast<int>(cinfo.output_height);
    if (!grow(img.bgr, static_cast<size_t>(img.width) * img.height * 3)) {
        error = "out of memory for the rows of a " + std::to_string(img.width) + "x" + std::to_string(img.height) +
                " JPEG picture";
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    JSAMPARRAY four = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                        cinfo.output_width * 4, 1)
                           : nullptr;
    // Files with an Adobe marker store the inks inverted (0 is full ink).
    bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* out = &img.bgr[static_cast<size_t>(cinfo.output_scanline) * img.width * 3];
        JSAMPROW row = cmyk ? four[0] : out;
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (!cmyk) continue;
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* p = &four[0][static_cast<size_t>(x) * 4];
            auto ink = [&](int i) { return inverted ? p[i] : 255 - p[i]; };  // 255: no ink
            int k = ink(3);
            out[x * 3] = static_cast<uint8_t>((ink(2) * k + 127) / 255);
            out[x * 3 + 1] = static_cast<uint8_t>((ink(1) * k + 127) / 255);
            out[x * 3 + 2] = static_cast<uint8_t>((ink(0) * k + 127) / 255);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// giflib's text for an error code; some failures (a zero-size image) come without one.
std::string gif_error(int code) {
    const char* text = code ? GifErrorString(code) : nullptr;
    return text ? text : "malformed GIF file";
}

bool decode_gif(const std::vector<uint8_t>& data, Image& img, std::string& error) {
    struct Reader {
        const std::vector<uint8_t>* d;
        size_t pos;
    } reader{&data, 0};
    int code = 0;
    GifFileType* gif = DGifOpen(
        &reader,
        [](GifFileType* g, GifByteType* buf, int n) -> int {
            auto* r = static_cast<Reader*>(g->UserData);
            size_t take = std::min<size_t>(static_cast<size_t>(n), r->d->size() - r->pos);
            std::memcpy(buf, r->d->data() + r->pos, take);
            r->pos += take;
            return static_cast<int>(take);
        },
        &code);
    if (!gif) {
        error = gif_error(code);
        return false;
    }
    struct Close {
        GifFileType* gif;
        ~Close() {
            int ignored = 0;
            DGifCloseFile(gif, &ignored);
        }
    } close{gif};
    img.width = gif->SWidth;
    img.height = gif->SHeight;
    if (!fits(img.width, img.height, error)) return false;
    // The first image only, read record by record so that its size is checked before its
    // rows are allocated (a whole-file read would allocate every image a file declares).
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK) {
            error = gif_error(gif->Error);
            return false;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            error = "a GIF file without an image";
            return false;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int ext = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &ext, &block) != GIF_OK) {
                error = gif_error(gif->Error);
                return false;
            }
            while (block)
                if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
                    error = gif_error(gif->Error);
                    return false;
                }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) != GIF_OK) {
            error = gif_error(gif->Error);
            return false;
        }
        break;
    }
    const GifImageDesc& d = gif->Image;
    if (d.Width <= 0 || d.Height <= 0) {
        error = "a GIF image of no size";
        return false;
    }
    if (!fits(d.Width, d.Height, error)) return false;
    // An LZW code of at least 1.5 bytes (12 bits, once its table is full) stands for at
    // most 4,096 pixels: an image the rest of the file cannot hold is refused before its
    // pixels are allocated.
    if ((data.size() - reader.pos) * 2731 + 4096 < static_cast<uint64_t>(d.Width) * static_cast<uint64_t>(d.Height)) {
        error = "a GIF image of " + std::to_string(d.Width) + "x" + std::to_string(d.Height) +
                " pixels cannot be held in " + std::to_string(data.size() - reader.pos) + " bytes";
        return false;
    }
    std::vector<GifPixelType> raster(static_cast<size_t>(d.Width) * static_cast<size_t>(d.Height));
    static constexpr int kOffset[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};  // the four interlace passes
    for (int pass = 0; pass < (d.Interlace ? 4 : 1); ++pass)
        for (int y = d.Interlace ? kOffset[pass] : 0; y < d.Height; y += d.Interlace ? kStep[pass] : 1)
            if (DGifGetLine(gif, &raster[static_cast<size_t>(y) * d.Width], d.Width) != GIF_OK) {
                error = gif_error(gif->Error);
                return false;
            }
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    img.bgr.assign(static_cast<size_t>(img.width) * img.height * 3, 255);
    for (int y = 0; y < d.Height; ++y)
        for (int x = 0; x < d.Width; ++x) {
            int tx = d.Left + x, ty = d.Top + y;
            if (tx >= img.width || ty >= img.height || !map) continue;
            int idx = raster[static_cast<size_t>(y) * d.Width + x];
            if (idx >= map->ColorCount) continue;
            uint8_t* p = &img.bgr[(static_cast<size_t>(ty) * img.width + tx) * 3];
            p[0] = map->Colors[idx].Blue;
            p[1] = map->Colors[idx].Green;
            p[2] = map->Colors[idx].Red;
        }
    return true;
}

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Run-length coded 8- or 4-bit rows (compression 1 and 2) into one palette
// index per pixel, bottom row first as the file stores them.  Pixels the runs
// skip keep index 0; runs past a row's end or the last row are cut off.
bool decode_rle(const uint8_t* p, size_t n, int bpp, int32_t w, int32_t rows, std::vector<uint8_t>& idx,
                std::string& error) {
    idx.assign(static_cast<size_t>(w) * rows, 0);
    int64_t x = 0, y = 0;
    size_t i = 0;
    auto put = [&](unsigned v) {
        if (x < w && y < rows) idx[static_cast<size_t>(y) * w + static_cast<size_t>(x)] = static_cast<uint8_t>(v);
        ++x;
    };
    while (i + 1 < n) {
        unsigned count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            for (unsigned k = 0; k < count; ++k) put(bpp == 8 ? value : (k & 1) ? value & 15 : value >> 4);
            continue;
        }
        if (value == 0) {  // end of row
            x = 0;
            ++y;
        } else if (value == 1) {  // end of picture
            return true;
        } else if (value == 2) {  // move right and up
            if (i + 1 >= n) break;
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else {  // `value` pixels as they are, padded to an even byte count
            size_t bytes = bpp == 8 ? value : (value + 1) / 2;
            if (i + bytes > n) break;
            for (unsigned k = 0; k < value; ++k)
                put(bpp == 8 ? p[i + k] : (k & 1) ? p[i + k / 2] & 15 : p[i + k / 2] >> 4);
            i += bytes + (bytes & 1);
        }
        if (y >= rows) return true;
    }
    if (y >= rows - 1) return true;  // the end marker missing after the last row
    error = "truncated run-length bitmap data";
    return false;
}

// One channel of a 16- or 32-bit pixel: where its mask lies and its largest value.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    // The channel widened to 8 bits as Pillow does (v * 255 / max, rounded down); 0
    // without a mask.
    uint8_t of(uint32_t pixel) const {
        return max ? static_cast<uint8_t>(uint64_t{(pixel & mask) >> shift} * 255 / max) : 0;
    }
};

// A channel of a mask; false for a mask whose bits are not one run or lie past `bpp`.
bool channel_of(uint32_t mask, int bpp, Channel& c) {
    c = {mask, 0, 0};
    if (!mask) return true;
    if (bpp < 32 && (mask >> bpp) != 0) return false;
    while (!((mask >> c.shift) & 1)) ++c.shift;
    c.max = mask >> c.shift;
    return (c.max & (c.max + 1)) == 0;
}

// Bitmap files: the Windows headers (40 bytes and the longer V2 to V5 ones) with
// 1, 4, 8, 16, 24 and 32 bits, bit masks for 16 and 32 bits (and an alpha mask,
// blended over white), run-length coded 4 and 8 bits; and the OS/2 core header
// (12 bytes, 3-byte colour table entries) with 1, 4, 8 and 24 bits.
bool decode_bmp(const std::vector<uint8_t>& data, Image& img, std::string& error) {
    if (data.size() < 26) {
        error = "truncated bitmap file";
        return false;
    }
    uint32_t offset = le32(&data[10]), hsize = le32(&data[14]);
    bool core = hsize == 12;
    if (!core && hsize < 40) {
        error = "unsupported bitmap header of " + std::to_string(hsize) + " bytes";
        return false;
    }
    if (data.size() < 14 + size_t{hsize}) {
        error = "truncated bitmap file";
        return false;
    }
    int32_t w = 0, h = 0;
    uint16_t bpp = 0;
    uint32_t compression = 0, used = 0;
    if (core) {
        w = le16(&data[18]);
        h = le16(&data[20]);
        bpp = le16(&data[24]);
    } else {
        w = static_cast<int32_t>(le32(&data[18]));
        h = static_cast<int32_t>(le32(&data[22]));
        bpp = le16(&data[28]);
        compression = le32(&data[30]);
        used = le32(&data[46]);
    }
    const uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;
    bool rle = (compression == kRle8 && bpp == 8) || (compression == kRle4 && bpp == 4);
    bool masked = (compression == kBitfields || compression == kAlphaBitfields) && (bpp == 16 || bpp == 32);
    bool depth_ok = core ? bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24
                         : bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    if (!depth_ok || (compression != kRgb && !rle && !masked) || (rle && h < 0) || h == INT32_MIN) {
        error =
            "unsupported bitmap file (1, 4, 8, 16, 24 or 32 bits, bit masks for 16 and 32, run-length coded 4 and 8 "
            "bits; 1, 4, 8 or 24 bits with an OS/2 header)";
        return false;
    }
    bool top_down = h < 0;
    int32_t rows = top_down ? -h : h;
    if (!fits(w, rows, error)) return false;
    size_t stride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
    if (offset > data.size() || (!rle && stride * rows > data.size() - offset)) {
        error = "truncated bitmap file";
        return false;
    }
    // The channels of 16- and 32-bit pixels: masks in the V2 to V5 headers, after a
    // 40-byte header otherwise; without masks 5-5-5 and 8-8-8 (the fourth byte unused).
    Channel red, green, blue, alpha;
    if (bpp == 16 || bpp == 32) {
        uint32_t m[4] = {bpp == 16 ? 0x7C00u : 0xFF0000u, bpp == 16 ? 0x3E0u : 0xFF00u, bpp == 16 ? 0x1Fu : 0xFFu, 0};
        if (masked) {
            size_t n = hsize >= 56 ? 4 : hsize >= 52 ? 3 : compression == kAlphaBitfields ? 4 : 3;
            size_t at = 14 + 40;
            if (at + n * 4 > data.size() || (hsize == 40 && at + n * 4 > offset)) {
                error = "truncated bitmap file";
                return false;
            }
            for (size_t i = 0; i < n; ++i) m[i] = le32(&data[at + i * 4]);
        }
        if (!channel_of(m[0], bpp, red) || !channel_of(m[1], bpp, green) || !channel_of(m[2], bpp, blue) ||
            !channel_of(m[3], bpp, alpha)) {
            error = "bad bit masks in a bitmap file";
            return false;
        }
    }
    std::vector<RGBQUAD> palette;
    if (bpp <= 8) {
        size_t entry = core ? 3 : 4;
        size_t n = used ? used : (size_t{1} << bpp);
        size_t at = 14 + static_cast<size_t>(hsize);
        // an OS/2 table may stop short where the pixels begin; missing entries are black
        if (core && at + n * entry > offset) n = offset > at ? (offset - at) / entry : 0;
        if (n > 256 || at + n * entry > offset) {
            error = "bad colour table";
            return false;
        }
        for (size_t i = 0; i < n; ++i)
            palette.push_back({data[at + i * entry], data[at + i * entry + 1], data[at + i * entry + 2], 0});
    }
    std::vector<uint8_t> indices;
    if (rle && !decode_rle(&data[offset], data.size() - offset, bpp, w, rows, indices, error)) return false;
    auto pixel_at = [&](const uint8_t* in, int32_t x) { return bpp == 16 ? le16(in + x * 2) : le32(in + x * 4); };
    auto row_at = [&](int32_t y) {
        int32_t file_row = top_down ? y : rows - 1 - y;
        return rle ? &indices[static_cast<size_t>(file_row) * w]
                   : &data[offset + stride * static_cast<size_t>(file_row)];
    };
    // An alpha channel that is 0 everywhere is taken as unused rather than as a picture
    // all transparent.
    bool blend = false;
    for (int32_t y = 0; alpha.max && !blend && y < rows; ++y)
        for (int32_t x = 0; !blend && x < w; ++x) blend = alpha.of(pixel_at(row_at(y), x)) != 0;
    img.width = w;
    img.height = rows;
    img.bgr.resize(static_cast<size_t>(w) * rows * 3);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = row_at(y);
        uint8_t* out = &img.bgr[static_cast<size_t>(y) * w * 3];
        for (int32_t x = 0; x < w; ++x, out += 3) {
            if (bpp == 16 || bpp == 32) {
                uint32_t p = pixel_at(in, x);
                unsigned a = blend ? alpha.of(p) : 255;
                out[0] = over_white(blue.of(p), a);
                out[1] = over_white(green.of(p), a);
                out[2] = over_white(red.of(p), a);
                continue;
            }
            if (bpp == 24) {
                const uint8_t* p = in + x * 3;
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
                continue;
            }
            unsigned idx = rle || bpp == 8 ? in[x]
                           : bpp == 4      ? (in[x / 2] >> ((x & 1) ? 0 : 4)) & 15
                                           : (in[x / 8] >> (7 - (x & 7))) & 1;
            RGBQUAD q = idx < palette.size() ? palette[idx] : RGBQUAD{0, 0, 0, 0};
            out[0] = q.rgbBlue;
            out[1] = q.rgbGreen;
            out[2] = q.rgbRed;
        }
    }
    return true;
}

bool decode_webp(const std::vector<uint8_t>& data, Image& img, std::string& error) {
    int w = 0, h = 0;
    if (!WebPGetInfo(data.data(), data.size(), &w, &h)) {
        error = "malformed WebP file";
        return false;
    }
    if (!fits(w, h, error)) return false;
    img.width = w;
    img.height = h;
    img.bgr.resize(static_cast<size_t>(w) * h * 3);
    if (!WebPDecodeBGRInto(data.data(), data.size(), img.bgr.data(), img.bgr.size(), w * 3)) {
        error = "malformed WebP file";
        return false;
    }
    return true;
}

// libtiff reads from memory through these callbacks.  Its errors and warnings go to
// handlers of this one file (given when it is opened), so the process's own libtiff
// handlers are never touched: an error becomes the message, a warning is dropped.
struct TiffMemory {
    const std::vector<uint8_t>* data;
    toff_t at;
    char message[256];
};

int tiff_error(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    auto* m = static_cast<TiffMemory*>(user);
    std::vsnprintf(m->message, sizeof m->message, fmt, ap);
    return 1;  // handled: not passed on to the process's handler
}
int tiff_quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Whether the strips or tiles of a TIFF could hold the picture it claims, at its
// compression's highest ratio (within the file: a byte count past its end counts only
// up to it).  A few hundred bytes claimed tens of megapixels, which libtiff then read
// for seconds into a buffer of 4 bytes a pixel.
bool tiff_data_fits(TIFF* t, size_t file_bytes, uint32_t w, uint32_t h, std::string& error) {
    uint16_t compression = COMPRESSION_NONE, bits = 1, samples = 1;
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    const bool tiled = TIFFIsTiled(t) != 0;
    uint64_t* counts = nullptr;
    if (!TIFFGetField(t, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts) return true;
    const uint32_t n = tiled ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t);
    uint64_t stored = 0;
    for (uint32_t i = 0; i < n; ++i) stored += std::min<uint64_t>(counts[i], file_bytes);
    stored = std::min<uint64_t>(stored, file_bytes);
    uint64_t ratio;  // the most picture bytes one stored byte can give
    switch (compression) {
        case COMPRESSION_NONE: ratio = 1; break;
        case COMPRESSION_PACKBITS: ratio = 64; break;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE: ratio = 1032; break;
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4: ratio = 65536; break;  // a blank page costs almost nothing
        default: ratio = 4096; break;                      // LZW and the rest
    }
    const uint64_t needed = (uint64_t{w} * bits * samples + 7) / 8 * h;
    if (needed <= stored * ratio + 4096) return true;
    error = "a TIFF picture of " + std::to_string(w) + "x" + std::to_string(h) + " pixels cannot be held in " +
            std::to_string(stored) + " bytes of image data";
    return false;
}

bool decode_tiff(const std::vector<uint8_t>& data, Image& img, std::string& error) {
    TiffMemory mem{&data, 0, "malformed TIFF file"};
    auto rd = [](thandle_t h, tdata_t buf, tmsize_t n) -> tmsize_t {
        auto* m = static_cast<TiffMemory*>(h);
        size_t size = m->data->size();
        size_t take = m->at >= size ? 0 : std::min<size_t>(static_cast<size_t>(n), size - m->at);
        std::memcpy(buf, m->data->data() + m->at, take);
        m->at += take;
        return static_cast<tmsize_t>(take);
    };
    auto wr = [](thandle_t, tdata_t, tmsize_t) -> tmsize_t { return 0; };
    auto sk = [](thandle_t h, toff_t off, int whence) -> toff_t {
        auto* m = static_cast<TiffMemory*>(h);
        toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->data->size();
        m->at = base + off;
        return m->at;
    };
    auto cl = [](thandle_t) { return 0; };
    auto sz = [](thandle_t h) -> toff_t { return static_cast<TiffMemory*>(h)->data->size(); };
    auto mp = [](thandle_t, tdata_t*, toff_t*) { return 0; };
    auto um = [](thandle_t, tdata_t, toff_t) {};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        error = "out of memory in libtiff";
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiff_error, &mem);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiff_quiet, &mem);
    TIFF* t = TIFFClientOpenExt("picture", "rm", &mem, rd, wr, sk, cl, sz, mp, um, options);
    TIFFOpenOptionsFree(options);
    if (!t) {
        error = mem.message;
        return false;
    }
    struct Close {
        TIFF* t;
        ~Close() { TIFFClose(t); }
    } close{t};
    uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    if (!fits(w, h, error) || !tiff_data_fits(t, data.size(), w, h, error)) return false;
    std::vector<uint32_t> rgba(static_cast<size_t>(w) * h);
    if (!TIFFReadRGBAImageOriented(t, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
        error = mem.message;
        return false;
    }
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    img.bgr.resize(rgba.size() * 3);
    for (size_t i = 0; i < rgba.size(); ++i) {
        uint32_t p = rgba[i];
        unsigned a = TIFFGetA(p);  // transparent parts over white
        img.bgr[i * 3] = over_white(TIFFGetB(p), a);
        img.bgr[i * 3 + 1] = over_white(TIFFGetG(p), a);
        img.bgr[i * 3 + 2] = over_white(TIFFGetR(p), a);
    }
    return true;
}

bool starts(const std::vector<uint8_t>& d, size_t at, const char* bytes, size_t n) {
    return d.size() >= at + n && std::memcmp(d.data() + at, bytes, n) == 0;
}

// The formats the loader reads, tried in this order by their first bytes.  The
// loader's refusal, PictureFormats() and the host's usage all read their names here.
struct Format {
    const char* name;
    bool (*matches)(const std::vector<uint8_t>&);
    bool (*decode)(const std::vector<uint8_t>&, Image&, std::string&);
};
const Format kFormats[] = {
    {"PNG", [](const std::vector<uint8_t>& d) { return d.size() >= 8 && starts(d, 0, "\x89PNG", 4); }, decode_png},
    {"JPEG", [](const std::vector<uint8_t>& d) { return d.size() >= 3 && starts(d, 0, "\xFF\xD8", 2); }, decode_jpeg},
    {"GIF", [](const std::vector<uint8_t>& d) { return d.size() >= 6 && starts(d, 0, "GIF8", 4); }, decode_gif},
    {"BMP", [](const std::vector<uint8_t>& d) { return starts(d, 0, "BM", 2); }, decode_bmp},
    {"WebP", [](const std::vector<uint8_t>& d) { return starts(d, 0, "RIFF", 4) && starts(d, 8, "WEBP", 4); },
     decode_webp},
    {"TIFF",
     [](const std::vector<uint8_t>& d) {
         return d.size() >= 8 && (starts(d, 0, "II*\0", 4) || starts(d, 0, "MM\0*", 4));
     },
     decode_tiff},
};

// "PNG, JPEG, ..." with `last` before the final name.
std::string format_list(const char* last) {
    std::string text;
    size_t n = std::size(kFormats);
    for (size_t i = 0; i < n; ++i) text += (i == 0 ? "" : i + 1 == n ? last : ", ") + std::string(kFormats[i].name);
    return text;
}

HGDI decode_bytes(const std::vector<uint8_t>& data, const std::string& path, std::string& error) {
    const Format* format = nullptr;
    for (const Format& f : kFormats)
        if (!format && f.matches(data)) format = &f;
    if (!format) {
        error = path + ": not a " + format_list(" or ") + " file";
        return 0;
    }
    Image img;
    if (!format->decode(data, img, error)) {
        error = path + ": " + error;
        return 0;
    }
    BITMAPINFO bi{};
    bi.bmiHeader = {40, img.width, img.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    int32_t bits = 0;
    HGDI bm = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    Surface s;
    if (!bm || !surface_of(bm, s)) {
        // in the words the callers map to error 7
        error =
            path + ": out of memory for a " + std::to_string(img.width) + "x" + std::to_string(img.height) + " bitmap";
        if (bm) DeleteObject(bm);
        return 0;
    }
    for (int y = 0; y < img.height; ++y)
        std::memcpy(s.top + y * s.step, &img.bgr[static_cast<size_t>(y) * img.width * 3],
                    static_cast<size_t>(img.width) * 3);
    return bm;
}

}  // namespace

const char* picture_formats() {
    static const std::string text = format_list(", ");
    return text.c_str();
}

std::vector<std::string> picture_format_names() {
    std::vector<std::string> names;
    for (const Format& f : kFormats) names.emplace_back(f.name);
    return names;
}

HGDI load_image(const std::string& path, std::string& error) {
    try {
        std::vector<uint8_t> data;
        if (!read_file(path, data, error)) return 0;
        return decode_bytes(data, path, error);
    } catch (const std::bad_alloc&) {
        error = path + ": out of memory (error 7)";
        return 0;
    }
}

HGDI decode_image(const std::vector<uint8_t>& data, const std::string& name, std::string& error) {
    try {
        return decode_bytes(data, name, error);
    } catch (const std::bad_alloc&) {
        error = name + ": out of memory (error 7)";
        return 0;
    }
}

bool save_surface(HGDI h, const std::string& path, std::string& error) {
    Surface s;
    if (!surface_of(h, s)) {
        error = "no surface to save";
        return false;
    }
    // rows top first as 24-bit blue-green-red
    std::vector<uint8_t> bgr(static_cast<size_t>(s.width) * s.height * 3);
    for (int y = 0; y < s.height; ++y) {
        const uint8_t* in = s.top + y * s.step;
        uint8_t* out = &bgr[static_cast<size_t>(y) * s.width * 3];
        if (s.bpp == 24) {
            std::memcpy(out, in, static_cast<size_t>(s.width) * 3);
        } else {
            for (int x = 0; x < s.width; ++x) {
                const RGBQUAD& q = s.colors[in[x]];
                out[x * 3] = q.rgbBlue;
                out[x * 3 + 1] = q.rgbGreen;
                out[x * 3 + 2] = q.rgbRed;
            }
        }
    }
    std::string ext = extension(path);
    if (ext != "bmp" && ext != "png") {
        error = "cannot write " + path + ": a surface is saved as .png or .bmp";
        return false;
    }
    bool bmp = ext == "bmp";
    if (bmp) {
        size_t stride = (static_cast<size_t>(s.width) * 3 + 3) & ~size_t{3};
        uint32_t image = static_cast<uint32_t>(stride * s.height), total = 54 + image;
        std::vector<uint8_t> out(total, 0);
        out[0] = 'B';
        out[1] = 'M';
        std::memcpy(&out[2], &total, 4);
        uint32_t off = 54, hs = 40;
        std::memcpy(&out[10], &off, 4);
        std::memcpy(&out[14], &hs, 4);
        std::memcpy(&out[18], &s.width, 4);
        std::memcpy(&out[22], &s.height, 4);
        out[26] = 1;
        out[28] = 24;
        std::memcpy(&out[34], &image, 4);
        for (int y = 0; y < s.height; ++y)
            std::memcpy(&out[54 + stride * static_cast<size_t>(s.height - 1 - y)],
                        &bgr[static_cast<size_t>(y) * s.width * 3], static_cast<size_t>(s.width) * 3);
        return write_whole_file(path, out.data(), out.size(), error);
    }
    png_image p{};
    p.version = PNG_IMAGE_VERSION;
    p.width = static_cast<png_uint_32>(s.width);
    p.height = static_cast<png_uint_32>(s.height);
    p.format = PNG_FORMAT_BGR;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&p, nullptr, &size, 0, bgr.data(), 0, nullptr)) {
        error = "cannot write " + path + ": " + p.message;
        return false;
    }
    std::vector<uint8_t> png(size);
    if (!png_image_write_to_memory(&p, png.data(), &size, 0, bgr.data(), 0, nullptr)) {
        error = "cannot write " + path + ": " + p.message;
        return false;
    }
    return write_whole_file(path, png.data(), size, error);
}

}  // namespace kit
