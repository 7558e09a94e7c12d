#include "decoder_library/SnapshotFile.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/Files.h"

namespace halvane {

namespace {

constexpr int kBitmapFileHeaderBytes = 14;
constexpr std::size_t kJpegBufferBytes = 64 * 1024;

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    if (part.size() > text.size())
        return false;
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < part.size()) {
            char c = text[at + i];
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            if (c != part[i])
                break;
            ++i;
        }
        if (i == part.size())
            return true;
    }
    return false;
}

// The compressor's output goes through the platform's file, so drive letters map like every
// other path of the library, in blocks of kJpegBufferBytes.
struct FileDestination {
    jpeg_destination_mgr manager;  // first: the library hands back its address
    platform::File* file;
    std::vector<JOCTET>* buffer;
};

// Errors leave the compressor by a jump back into WriteJpegFile, never by ending the process.
struct JumpingErrorManager {
    jpeg_error_mgr manager;  // first: the library hands back its address
    std::jmp_buf jump;
};

void JumpOnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JumpingErrorManager*>(info->err)->jump, 1);
}

void SilenceMessage(j_common_ptr) {}

void InitDestination(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<FileDestination*>(info->dest);
    destination->manager.next_output_byte = destination->buffer->data();
    destination->manager.free_in_buffer = destination->buffer->size();
}

boolean EmptyOutputBuffer(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<FileDestination*>(info->dest);
    if (!destination->file->Write(destination->buffer->data(), destination->buffer->size()))
        ERREXIT(info, JERR_FILE_WRITE);
    destination->manager.next_output_byte = destination->buffer->data();
    destination->manager.free_in_buffer = destination->buffer->size();
    return TRUE;
}

void TermDestination(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<FileDestination*>(info->dest);
    const std::size_t bytes = destination->buffer->size() - destination->manager.free_in_buffer;
    if (bytes > 0 && !destination->file->Write(destination->buffer->data(), bytes))
        ERREXIT(info, JERR_FILE_WRITE);
}

// Compresses into an open file; false when the library or the file failed. Kept apart from
// the file handling so the jump target holds nothing that needs destroying.
bool Compress(platform::File& file, const SnapshotBitmap& bitmap, int quality)
{
    std::vector<JOCTET> buffer(kJpegBufferBytes);
    jpeg_compress_struct info{};
    JumpingErrorManager errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JumpOnError;
    errors.manager.output_message = SilenceMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    FileDestination destination{};
    destination.manager.init_destination = InitDestination;
    destination.manager.empty_output_buffer = EmptyOutputBuffer;
    destination.manager.term_destination = TermDestination;
    destination.file = &file;
    destination.buffer = &buffer;
    info.dest = &destination.manager;

    info.image_width = static_cast<JDIMENSION>(bitmap.width);
    info.image_height = static_cast<JDIMENSION>(bitmap.height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);

    // The bitmap runs bottom-up in blue-green-red, its rows packed without padding; the rows
    // are handed over top row first and the library reads blue-green-red as it lies.
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width) * 3;
    JSAMPARRAY rows = static_cast<JSAMPARRAY>((*info.mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, sizeof(JSAMPROW) * static_cast<std::size_t>(bitmap.height)));
    for (int i = 0; i < bitmap.height; ++i)
        rows[i] = const_cast<JSAMPROW>(bitmap.Pixels() + static_cast<std::size_t>(bitmap.height - 1 - i) * rowBytes);
    jpeg_write_scanlines(&info, rows, static_cast<JDIMENSION>(bitmap.height));
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

SnapshotFileType SnapshotTypeOfPath(std::string_view path)
{
    if (path.empty())
        return SnapshotFileType::None;
    if (ContainsNoCase(path, ".JPG"))
        return SnapshotFileType::Jpeg;
    if (path.find(".BMP") != std::string_view::npos)
        return SnapshotFileType::Bitmap;
    return SnapshotFileType::None;
}

bool WriteBitmapFile(std::string_view path, const SnapshotBitmap& bitmap)
{
    if (path.empty() || bitmap.bytes.size() < static_cast<std::size_t>(kBitmapInfoHeaderBytes))
        return false;
    std::uint8_t header[kBitmapFileHeaderBytes] = {'B', 'M'};
    const std::uint32_t fileBytes = static_cast<std::uint32_t>(kBitmapFileHeaderBytes + bitmap.bytes.size());
    const std::uint32_t pixelOffset = kBitmapFileHeaderBytes + kBitmapInfoHeaderBytes;
    for (int i = 0; i < 4; ++i) {
        header[2 + i] = static_cast<std::uint8_t>(fileBytes >> (8 * i));
        header[10 + i] = static_cast<std::uint8_t>(pixelOffset >> (8 * i));
    }
    platform::File file;
    if (!file.Open(path, platform::File::Mode::CreateAlways))
        return false;
    const bool written = file.Write(header, sizeof header) && file.Write(bitmap.bytes.data(), bitmap.bytes.size());
    const bool closed = file.Close();
    if (written && closed)
        return true;
    platform::DeleteFile(path);
    return false;
}

bool WriteJpegFile(std::string_view path, const SnapshotBitmap& bitmap, int quality)
{
    if (quality < 0 || quality > 100 || path.empty() || bitmap.width <= 0 || bitmap.height <= 0 ||
        bitmap.PixelBytes() < static_cast<std::size_t>(bitmap.width) * bitmap.height * 3)
        return false;
    platform::File file;
    if (!file.Open(path, platform::File::Mode::CreateAlways))
        return false;
    const bool written = Compress(file, bitmap, quality);
    const bool closed = file.Close();
    if (written && closed)
        return true;
    platform::DeleteFile(path);
    return false;
}

void SaveSnapshot(const std::uint8_t* yv12, int width, int height, std::string_view path)
{
    const SnapshotFileType type = SnapshotTypeOfPath(path);
    if (type == SnapshotFileType::None)
        return;
    try {
        SnapshotBitmap bitmap;
        if (!MakeSnapshotBitmap(yv12, width, height, bitmap))
            return;
        if (type == SnapshotFileType::Jpeg)
            WriteJpegFile(path, bitmap, 100);
        else
            WriteBitmapFile(path, bitmap);
    } catch (const std::bad_alloc&) {
        // A picture too large for the memory left is not saved; decoding goes on.
    }
}

}  // namespace halvane
