#include "upload/picture_upload.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "imaging/bmp_file.h"
#include "imaging/exif_save.h"
#include "imaging/jpeg_codec.h"
#include "imaging/picture_reductions.h"
#include "link/link_setup.h"

namespace fotolyx {

namespace {

constexpr std::uint8_t FINE_ATTRIBUTE = 1;
constexpr std::uint8_t NORMAL_ATTRIBUTE = 0;

int TwoDigitYear(int year) {
    return year < 2000 ? year - 1900 : year - 2000;
}

// A bitmap of `bytes` bytes (header and rows) from the start of a buffer, as a block.
DibBlock BitmapFrom(const std::vector<std::uint8_t>& buffer, std::size_t bytes) {
    return DibBlock(std::vector<std::uint8_t>(buffer.begin(),
                                              buffer.begin() + static_cast<std::ptrdiff_t>(bytes)));
}

}  // namespace

std::string UploadListText(bool fine, unsigned position, const LocalTime& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%3u%c: %02d/%d/%d %d:%02d", position + 1, fine ? 'F' : 'N',
                  TwoDigitYear(time.year), time.month, time.day, time.hour, time.minute);
    return text;
}

std::string UploadFileName(bool fine, unsigned position, const LocalTime& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%u%c%02d-%d-%d(%d-%d)", position + 1, fine ? 'F' : 'N',
                  TwoDigitYear(time.year), time.month, time.day, time.hour, time.minute);
    return text;
}

int UploadSaveQuality(bool fine, std::uint32_t firstSize) {
    if (fine) {
        return firstSize > FINE_QUALITY_THRESHOLD ? FINE_LARGE_QUALITY : UPLOAD_FIRST_QUALITY;
    }
    return firstSize > NORMAL_QUALITY_THRESHOLD ? NORMAL_LARGE_QUALITY : UPLOAD_FIRST_QUALITY;
}

bool PictureUpload::Refuse(const char* text, const char* caption) {
    ports_.shell.MessageBox(text, caption, MB_ICONEXCLAMATION);
    return false;
}

std::optional<std::uint32_t> PictureUpload::ReadInto(const std::filesystem::path& file,
                                                     std::vector<std::uint8_t>& buffer) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > buffer.size()) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(size));
    if (!in || static_cast<std::uintmax_t>(in.gcount()) != size) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(size);
}

std::optional<std::uint32_t> PictureUpload::CompressInto(const std::filesystem::path& bitmap,
                                                         std::vector<std::uint8_t>& buffer,
                                                         int quality) {
    SaveContext context = ports_.saveContext();
    if (CompressBmpToJpeg(context.jpeg, bitmap, context.scratchFileB, SAMPLING_2X1, quality) != 1) {
        return std::nullopt;
    }
    return ReadInto(context.scratchFileB, buffer);
}

bool PictureUpload::Prepare(bool fine, const DibBlock& picture) {
    // The new entry goes to the position after the last one: there must be one.
    if (ports_.host.ReceivedCount() >= ports_.host.IndexPositions()) {
        return Refuse(TEXT_INDEX_FULL, CAPTION_VISTACAM_INFO);
    }
    if (!ports_.transferBuffer || !ports_.thumbnailBuffer || !ports_.saveContext) {
        return Refuse(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY);
    }
    std::vector<std::uint8_t>& transfer = *ports_.transferBuffer;
    std::vector<std::uint8_t>& thumbnail = *ports_.thumbnailBuffer;
    SaveContext context = ports_.saveContext();

    // Both bitmaps first: a picture that is not 640 x 480 x 24 gives neither.
    std::vector<std::uint8_t> slot(UPLOAD_SLOT_SIZE, 0);
    if (MakeThumbnailBitmap(picture, slot) != THUMBNAIL_BITMAP_BYTES ||
        thumbnail.size() < THUMBNAIL_BITMAP_BYTES) {
        return Refuse(TEXT_UPLOAD_NOT_PREPARED, CAPTION_ERROR);
    }

    state_.UploadMode = fine ? 0 : 1;
    bool written = false;
    if (fine) {
        written = WritePictureBmp(context.scratchFileA, picture, false);
    } else {
        const std::size_t bytes = ReduceToNormalSize(picture, transfer);
        written =
            bytes != 0 && WritePictureBmp(context.scratchFileA, BitmapFrom(transfer, bytes), false);
    }
    const auto first =
        written ? CompressInto(context.scratchFileA, transfer, UPLOAD_FIRST_QUALITY) : std::nullopt;
    if (!first || *first == 0) {
        return Refuse(first ? TEXT_UPLOAD_NOT_PREPARED : TEXT_UPLOAD_TOO_LARGE, CAPTION_ERROR);
    }
    context.save.SaveQuality = UploadSaveQuality(fine, *first);
    // A failed Exif save leaves the plain JPEG in the scratch file, and that is sent.
    SaveJpegWithExif(context, context.scratchFileB, context.scratchFileB);
    const auto final = ReadInto(context.scratchFileB, transfer);
    if (!final) {
        return Refuse(TEXT_UPLOAD_TOO_LARGE, CAPTION_ERROR);
    }

    std::copy(slot.begin(), slot.end(), thumbnail.begin());
    if (!WritePictureBmp(context.scratchFileA, BitmapFrom(slot, THUMBNAIL_BITMAP_BYTES), false)) {
        return Refuse(TEXT_UPLOAD_NOT_PREPARED, CAPTION_ERROR);
    }
    const auto thumbSize = CompressInto(context.scratchFileA, thumbnail, UPLOAD_THUMBNAIL_QUALITY);
    if (!thumbSize || *thumbSize == 0) {
        return Refuse(thumbSize ? TEXT_UPLOAD_NOT_PREPARED : TEXT_UPLOAD_TOO_LARGE, CAPTION_ERROR);
    }
    state_.UploadSize = *final;
    state_.UploadThumbSize = *thumbSize;

    const std::uint16_t position = ports_.host.ReceivedCount();
    const LocalTime now = ports_.clock.Now();
    state_.preparedPosition = position;
    ports_.host.StoreEntry(
        position,
        UploadEntry{fine ? FINE_ATTRIBUTE : NORMAL_ATTRIBUTE,
                    static_cast<std::uint16_t>(fine ? UPLOAD_SOURCE_WIDTH : NORMAL_WIDTH),
                    static_cast<std::uint16_t>(fine ? UPLOAD_SOURCE_HEIGHT : NORMAL_HEIGHT),
                    UploadListText(fine, position, now), UploadFileName(fine, position, now),
                    slot});
    return true;
}

bool PictureUpload::Start(WindowId window, bool fine, const DibBlock& picture) {
    if (!Prepare(fine, picture)) {
        return false;
    }
    LinkState& link = ports_.link;
    state_.window = window;
    link.TransferMode = TRANSFER_UPLOAD;
    link.ExpectedLength = 1;
    link.ReceiveCount = 0;
    state_.UploadPacketNumber = 0;
    state_.SendOffset = 0;
    state_.SendingThumb = 0;
    state_.TotalPackets = 0;
    link.WaitingForData = 0;
    ports_.shell.SetStatusText(TEXT_SEND_IMAGE);
    const std::uint8_t command = fine ? UPLOAD_FINE : UPLOAD_NORMAL;
    ports_.line.Write({&command, 1});
    ports_.timers.StartTimer(window, UPLOAD_TIMER_WATCHDOG, UPLOAD_WATCHDOG_MS);
    ports_.host.ShowDataTransferDialog();
    return true;
}

Packet PictureUpload::CurrentPacket() const {
    const bool fine = state_.UploadMode == 0;
    const bool thumb = state_.SendingThumb != 0;
    if (state_.UploadPacketNumber == 0) {
        return MakeUploadHeader(0, fine, thumb ? state_.UploadThumbSize : state_.UploadSize,
                                thumb ? nullptr : &state_.headerDate);
    }
    // The slice and, after the file's end, the buffer bytes that follow; zeros past the buffer.
    std::array<std::uint8_t, PACKET_PAYLOAD> payload{};
    const auto& buffer = thumb ? ports_.thumbnailBuffer : ports_.transferBuffer;
    if (buffer && state_.SendOffset < buffer->size()) {
        const std::size_t count =
            std::min<std::size_t>(PACKET_PAYLOAD, buffer->size() - state_.SendOffset);
        std::copy_n(buffer->begin() + state_.SendOffset, count, payload.begin());
    }
    return MakeDataPacket(state_.UploadPacketNumber, payload);
}

void PictureUpload::SendCurrentPacket() {
    if (state_.UploadPacketNumber != 0) {
        state_.SendOffset = (static_cast<std::uint32_t>(state_.UploadPacketNumber) - 1) *
                            static_cast<std::uint32_t>(PACKET_PAYLOAD);
    }
    const Packet packet = CurrentPacket();
    ports_.line.Write(packet);
    if (state_.SendingThumb == 0) {
        ports_.host.SetProgressPosition(state_.UploadPacketNumber);
    }
}

void PictureUpload::Finish() {
    state_.UploadPacketNumber = 0;
    state_.SendOffset = 0;
    state_.SendingThumb = 0;
    ports_.link.TransferMode = TRANSFER_DOWNLOAD;
    ports_.link.ExpectedLength = PACKET_LENGTH;
}

void PictureUpload::HandleAnswer() {
    LinkState& link = ports_.link;
    if (state_.UploadPacketNumber != 0) {
        link.WaitingForData = 0;
    }
    UploadHost& host = ports_.host;
    switch (link.ReceiveBuffer[0]) {
        case UPLOAD_READY: {
            state_.TotalPackets = static_cast<std::uint16_t>(DataPacketCount(state_.UploadSize));
            const LocalTime now = ports_.clock.Now();
            state_.headerDate = UploadDate{now.year, now.month, now.day, now.hour, now.minute};
            SendCurrentPacket();
            host.ShowProgressBar(true);
            host.SetProgressPosition(0);
            host.SetProgressRange(state_.TotalPackets);
            return;
        }
        case ACK:
            ++state_.UploadPacketNumber;
            SendCurrentPacket();
            return;
        case NAK:
            SendCurrentPacket();
            return;
        case UPLOAD_SECOND:
            state_.UploadPacketNumber = 0;
            state_.SendOffset = 0;
            state_.SendingThumb = 1;
            state_.TotalPackets =
                static_cast<std::uint16_t>(DataPacketCount(state_.UploadThumbSize));
            SendCurrentPacket();
            return;
        case UPLOAD_DONE: {
            Finish();
            if (host.ReportedCount() == 0) {
                host.EnableDeleteAll();
            }
            host.SetReportedCount(static_cast<std::uint16_t>(host.ReportedCount() + 1));
            ports_.shell.SetStatusText(TEXT_READY);
            host.ShowProgressBar(false);
            host.EndDataTransferDialog();
            const auto received = static_cast<std::uint16_t>(
                std::min<unsigned>(host.ReceivedCount() + 1u, host.IndexPositions()));
            host.SetReceivedCount(received);
            if (received > 12 && received % 4 == 1) {
                host.ScrollPreviewDownOneRow();
            }
            host.InvalidatePreview();
            ++state_.uploadsDone;
            return;
        }
        case UPLOAD_FULL:
            Finish();
            host.BlankEntry(state_.preparedPosition);
            ports_.shell.SetStatusText(TEXT_READY);
            host.ShowProgressBar(false);
            host.EndDataTransferDialog();
            ++state_.uploadsFull;
            ports_.shell.MessageBox(TEXT_MEMORY_FULL, CAPTION_VISTACAM_INFO, MB_ICONEXCLAMATION);
            return;
        default:
            return;
    }
}

void PictureUpload::Timer(WindowId window, int id) {
    const bool silent = ports_.link.WaitingForData == 1;
    if (id == UPLOAD_TIMER_WATCHDOG) {
        ports_.timers.KillTimer(window, UPLOAD_TIMER_WATCHDOG);
        if (silent && (state_.TotalPackets == 0 ||
                       static_cast<std::int16_t>(state_.UploadPacketNumber) >= 2)) {
            if (ports_.openDisconnectDialog) {
                ports_.openDisconnectDialog();
            }
            return;
        }
        if (state_.UploadPacketNumber == 0) {
            return;
        }
        ports_.timers.StartTimer(window, UPLOAD_TIMER_WATCHDOG, UPLOAD_WATCHDOG_MS);
        ports_.link.WaitingForData = 1;
    } else if (id == UPLOAD_TIMER_SECOND) {
        ports_.timers.KillTimer(window, UPLOAD_TIMER_SECOND);
        if (silent && ports_.openDisconnectDialog) {
            ports_.openDisconnectDialog();
        }
    }
}

}  // namespace fotolyx
