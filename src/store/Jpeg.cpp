#include "store/Jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace quolva::store {

namespace {

// libjpeg reports failures through error_exit, which must not return. We jump back to the guarded call
// and turn the failure into an exception there. Between setjmp and a jump, the frames that are
// skipped hold nothing with a destructor: buffers are owned by the callers of Guarded.
struct ErrorState {
    jpeg_error_mgr manager; // first member: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

ErrorState& StateOf(j_common_ptr info) { return *reinterpret_cast<ErrorState*>(info->err); }

[[noreturn]] void FailWith(j_common_ptr info, const char* text)
{
    ErrorState& state = StateOf(info);
    std::snprintf(state.message, sizeof state.message, "%s", text);
    std::longjmp(state.jump, 1);
}

[[noreturn]] void OnError(j_common_ptr info)
{
    ErrorState& state = StateOf(info);
    (*info->err->format_message)(info, state.message);
    std::longjmp(state.jump, 1);
}

// Level -1 is a warning: corrupt or missing data that libjpeg would paper over with grey. A frame is
// either decoded whole or refused. Trace messages (level >= 0) are ignored.
void OnMessage(j_common_ptr info, int level)
{
    if (level < 0)
        OnError(info);
}

void Silent(j_common_ptr) {}

void InstallErrorState(ErrorState& state)
{
    jpeg_std_error(&state.manager);
    state.manager.error_exit = OnError;
    state.manager.emit_message = OnMessage;
    state.manager.output_message = Silent;
    state.message[0] = '\0';
}

template <typename Body>
void Guarded(ErrorState& state, std::string_view failure, Body&& body)
{
    if (setjmp(state.jump) != 0)
        throw JpegError(std::string(failure) + ": " + state.message);
    body();
}

struct Compressor {
    ErrorState errors{};
    jpeg_compress_struct info{};
    Compressor() { InstallErrorState(errors); info.err = &errors.manager; }
    ~Compressor() { jpeg_destroy_compress(&info); } // a no-op on a struct never created
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

struct Decompressor {
    ErrorState errors{};
    jpeg_decompress_struct info{};
    jpeg_progress_mgr progress{};
    Decompressor() { InstallErrorState(errors); info.err = &errors.manager; }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

// Our own pictures are single-scan; a progressive file with hundreds of scans can only be an attempt to
// keep the decoder busy.
constexpr int kMaxScans = 500;

// Enough for the coefficient buffers of a progressive picture of kMaxJpegPixels.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

void LimitScans(j_common_ptr info)
{
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans)
        FailWith(info, "too many scans");
}

// Compressed bytes go straight into a vector that grows as needed.
struct VectorDestination {
    jpeg_destination_mgr manager; // first member: libjpeg hands back a pointer to it
    std::vector<std::uint8_t>* out;
    std::size_t initialSize;
};

VectorDestination& DestinationOf(j_compress_ptr info) { return *reinterpret_cast<VectorDestination*>(info->dest); }

void StartDestination(j_compress_ptr info)
{
    VectorDestination& dest = DestinationOf(info);
    bool failed = false;
    try {
        dest.out->resize(dest.initialSize);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (failed)
        FailWith(reinterpret_cast<j_common_ptr>(info), "out of memory");
    dest.manager.next_output_byte = dest.out->data();
    dest.manager.free_in_buffer = dest.out->size();
}

boolean GrowDestination(j_compress_ptr info)
{
    VectorDestination& dest = DestinationOf(info);
    const std::size_t used = dest.out->size();
    bool failed = false;
    try {
        dest.out->resize(used * 2);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (failed)
        FailWith(reinterpret_cast<j_common_ptr>(info), "out of memory");
    dest.manager.next_output_byte = dest.out->data() + used;
    dest.manager.free_in_buffer = dest.out->size() - used;
    return TRUE;
}

void FinishDestination(j_compress_ptr info)
{
    VectorDestination& dest = DestinationOf(info);
    dest.out->resize(dest.out->size() - dest.manager.free_in_buffer);
}

void CheckEncodable(const PictureView& picture)
{
    const auto size = std::to_string(picture.width) + "×" + std::to_string(picture.height);
    if (picture.width <= 0 || picture.height <= 0 || picture.width > kMaxJpegSide || picture.height > kMaxJpegSide)
        throw JpegError("Cannot encode a picture of " + size + " pixels as JPEG");
    if (static_cast<std::int64_t>(picture.width) * picture.height > kMaxJpegPixels)
        throw JpegError("Cannot encode a picture of " + size + " pixels as JPEG: it is too large");
    if (picture.pixels == nullptr)
        throw JpegError("Cannot encode a picture of " + size + " pixels as JPEG: it has no pixels");
    if (picture.stride < static_cast<std::ptrdiff_t>(picture.width) * BytesPerPixel(picture.layout))
        throw JpegError("Cannot encode a picture of " + size + " pixels as JPEG: its rows are " +
                        std::to_string(picture.stride) + " bytes apart, less than one row of pixels");
}

std::string Described(std::string_view source, std::size_t size)
{
    return "Cannot decode " + std::string(source) + " (" + std::to_string(size) + " bytes)";
}

void ReadHeader(Decompressor& decoder, std::span<const std::uint8_t> jpeg, std::string_view failure)
{
    jpeg_decompress_struct& info = decoder.info;
    Guarded(decoder.errors, failure, [&] {
        jpeg_create_decompress(&info);
        info.mem->max_memory_to_use = kMaxDecoderMemory;
        decoder.progress.progress_monitor = LimitScans;
        info.progress = &decoder.progress;
        jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&info, TRUE);
    });
}

} // namespace

std::vector<std::uint8_t> EncodeJpeg(const PictureView& picture)
{
    CheckEncodable(picture);

    std::vector<JSAMPROW> rows(static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<JSAMPROW>(picture.Row(y)); // libjpeg only reads them

    std::vector<std::uint8_t> out;
    Compressor encoder;
    jpeg_compress_struct& info = encoder.info;
    VectorDestination destination{};
    destination.manager.init_destination = StartDestination;
    destination.manager.empty_output_buffer = GrowDestination;
    destination.manager.term_destination = FinishDestination;
    destination.out = &out;
    destination.initialSize = std::max<std::size_t>(
        64 * 1024, static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) / 2);

    Guarded(encoder.errors, "Cannot encode a picture as JPEG", [&] {
        jpeg_create_compress(&info);
        info.dest = &destination.manager;
        info.image_width = static_cast<JDIMENSION>(picture.width);
        info.image_height = static_cast<JDIMENSION>(picture.height);
        // 32-bit pixels go in as they lie: libjpeg-turbo's BGRX input gives the same bytes as a
        // converted 24-bit RGB copy (the tests hold it to that) and saves the copy.
        if (picture.layout == PixelLayout::Xrgb32) {
            info.input_components = 4;
            info.in_color_space = JCS_EXT_BGRX;
        } else if (picture.layout == PixelLayout::Bgr24) {
            info.input_components = 3;
            info.in_color_space = JCS_EXT_BGR;
        } else {
            info.input_components = 3;
            info.in_color_space = JCS_RGB;
        }
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, kJpegQuality, TRUE);
        info.dct_method = JDCT_FLOAT;
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height)
            jpeg_write_scanlines(&info, rows.data() + info.next_scanline, info.image_height - info.next_scanline);
        jpeg_finish_compress(&info);
    });
    return out;
}

JpegDimensions ReadJpegDimensions(std::span<const std::uint8_t> jpeg, std::string_view source)
{
    const std::string failure = Described(source, jpeg.size());
    if (jpeg.empty())
        throw JpegError(failure + ": there is no data");
    Decompressor decoder;
    ReadHeader(decoder, jpeg, failure);
    return {static_cast<int>(decoder.info.image_width), static_cast<int>(decoder.info.image_height)};
}

namespace {

// Reads the header of a picture to be decoded whole, refusing one too large to allocate; the text that
// names the picture in failures.
std::string ReadHeaderToDecode(Decompressor& decoder, std::span<const std::uint8_t> jpeg, std::string_view source)
{
    std::string failure = Described(source, jpeg.size());
    if (jpeg.empty())
        throw JpegError(failure + ": there is no data");
    ReadHeader(decoder, jpeg, failure);
    const std::int64_t width = decoder.info.image_width;
    const std::int64_t height = decoder.info.image_height;
    if (width <= 0 || height <= 0 || width * height > kMaxJpegPixels)
        throw JpegError(failure + ": a picture of " + std::to_string(width) + "×" + std::to_string(height) +
                        " pixels is too large");
    return failure;
}

// Decodes at full size into the rows `target` hands out once the size is known: 3 bytes a pixel (R, G, B
// or B, G, R) or 4 (B, G, R, 255). A negative stride fills the rows from the last upwards.
void DecodeInto(std::span<const std::uint8_t> jpeg, std::string_view source, PixelLayout layout,
                const std::function<PixelTarget(int width, int height)>& target)
{
    Decompressor decoder;
    jpeg_decompress_struct& info = decoder.info;
    const std::string failure = ReadHeaderToDecode(decoder, jpeg, source);
    const std::int64_t width = info.image_width;
    const std::int64_t height = info.image_height;

    const PixelTarget into = target(static_cast<int>(width), static_cast<int>(height));
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
    for (std::int64_t y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = into.pixels + y * into.stride;

    const int components = BytesPerPixel(layout);
    bool unexpectedShape = false;
    bool stalled = false;
    Guarded(decoder.errors, failure, [&] {
        // BGRA rather than BGRX: libjpeg-turbo then sets the fourth byte to 255.
        info.out_color_space = layout == PixelLayout::Xrgb32 ? JCS_EXT_BGRA
                               : layout == PixelLayout::Bgr24 ? JCS_EXT_BGR
                                                              : JCS_RGB;
        info.scale_num = 1;
        info.scale_denom = 1;
        jpeg_start_decompress(&info);
        if (info.output_width != info.image_width || info.output_height != info.image_height ||
            info.output_components != components) {
            unexpectedShape = true;
            return;
        }
        while (info.output_scanline < info.output_height) {
            if (jpeg_read_scanlines(&info, rows.data() + info.output_scanline,
                                    info.output_height - info.output_scanline) == 0) {
                stalled = true;
                return;
            }
        }
        jpeg_finish_decompress(&info);
    });
    if (unexpectedShape)
        throw JpegError(failure + ": the decoder did not give the pixels asked for at full size");
    if (stalled)
        throw JpegError(failure + ": the data ends before the picture does");
}

} // namespace

bool DecodeJpegYcc420Into(std::span<const std::uint8_t> jpeg, std::string_view source,
                          const std::function<std::optional<YccPlanes>(int width, int height)>& target)
{
    Decompressor decoder;
    jpeg_decompress_struct& info = decoder.info;
    const std::string failure = ReadHeaderToDecode(decoder, jpeg, source);
    const std::int64_t width = info.image_width;
    const std::int64_t height = info.image_height;
    const jpeg_component_info* parts = info.comp_info;
    if (info.num_components != 3 || info.jpeg_color_space != JCS_YCbCr || parts[0].h_samp_factor != 2 ||
        parts[0].v_samp_factor != 2 || parts[1].h_samp_factor != 1 || parts[1].v_samp_factor != 1 ||
        parts[2].h_samp_factor != 1 || parts[2].v_samp_factor != 1)
        return false;
    const std::optional<YccPlanes> planes = target(static_cast<int>(width), static_cast<int>(height));
    if (!planes)
        return false;

    // The decoder hands out whole rows of blocks, 16 rows of Y and 8 of Cb and Cr at a time; the rows it
    // fills below the picture go to a row of scratch.
    const std::int64_t planeHeight[3] = {height, (height + 1) / 2, (height + 1) / 2};
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>((width + 15) / 16 * 16));
    std::vector<JSAMPROW> rows[3];
    for (int c = 0; c < 3; ++c)
        rows[c].resize(c == 0 ? 16 : 8);
    bool stalled = false;
    Guarded(decoder.errors, failure, [&] {
        info.raw_data_out = TRUE;
        info.out_color_space = JCS_YCbCr;
        info.scale_num = 1;
        info.scale_denom = 1;
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            for (int c = 0; c < 3; ++c) {
                const std::int64_t first = c == 0 ? info.output_scanline : info.output_scanline / 2;
                for (std::size_t k = 0; k < rows[c].size(); ++k) {
                    const std::int64_t y = first + static_cast<std::int64_t>(k);
                    rows[c][k] = y < planeHeight[c] ? planes->data[c] + y * planes->stride[c] : scratch.data();
                }
            }
            JSAMPARRAY all[3] = {rows[0].data(), rows[1].data(), rows[2].data()};
            if (jpeg_read_raw_data(&info, all, 16) == 0) {
                stalled = true;
                return;
            }
        }
        jpeg_finish_decompress(&info);
    });
    if (stalled)
        throw JpegError(failure + ": the data ends before the picture does");
    return true;
}

Picture DecodeJpeg(std::span<const std::uint8_t> jpeg, std::string_view source)
{
    Picture picture;
    DecodeInto(jpeg, source, PixelLayout::Rgb24, [&](int width, int height) {
        picture = Picture(width, height);
        return PixelTarget{picture.Data(), picture.Stride()};
    });
    return picture;
}

void DecodeJpegInto(std::span<const std::uint8_t> jpeg, std::string_view source, PixelLayout layout,
                    const std::function<PixelTarget(int width, int height)>& target)
{
    DecodeInto(jpeg, source, layout, target);
}

} // namespace quolva::store
