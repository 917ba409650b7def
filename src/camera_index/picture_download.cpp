// The picture download (TransferMode 1) into a Capture window, one picture or a sequence.
#include <algorithm>

#include "camera_index/camera_pictures.h"
#include "camera_index/decoded_bmp.h"
#include "imaging/colour_reduction.h"
#include "imaging/colour_treatment.h"
#include "imaging/rewrite_file.h"
#include "link/link_setup.h"
#include "link/protocol.h"

namespace fotolyx {

namespace {

constexpr std::size_t PIXEL_BLOCK_SPARE = 60;
constexpr std::size_t PALETTE_BLOCK_SIZE = 1'032;
constexpr int SAVE_AFTER_DOWNLOAD_POSITION = 5;
// The largest picture a Capture window takes: far beyond any camera picture, small enough
// that a garbled size cannot ask for absurd memory.
constexpr std::size_t MAX_PICTURE_PIXELS = std::size_t{8192} * 8192;

}  // namespace

void CameraPictures::StartDownload(unsigned position, bool alwaysShowDialog) {
    Shell& shell = context_.shell;
    if (position >= index.receivedCount) {
        return;
    }
    const PictureEntry& entry = index.entries[position];
    const std::size_t dibBytes = Rgb24DibBytes(entry.width, entry.height);
    if (entry.width < 4 || entry.height < 2 || dibBytes == 0 ||
        std::size_t{entry.width} * entry.height > MAX_PICTURE_PIXELS) {
        shell.MessageBox(TEXT_FILE_SIZE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
        EndDownloadSequence();
        return;
    }
    // Without the TransferBuffer no picture can be collected: nothing is started.
    std::optional<std::vector<std::uint8_t>> pixels;
    if (context_.transferBuffer) {
        pixels = context_.memory.AllocateZeroed(dibBytes + PIXEL_BLOCK_SPARE);
    }
    if (!pixels) {
        shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
        EndDownloadSequence();
        return;
    }
    PictureCreateData data;
    data.position = position;
    data.widthLess4 = static_cast<std::uint16_t>(entry.width - 4);
    data.heightLess2 = static_cast<std::uint16_t>(entry.height - 2);
    data.pixels = DibBlock(std::move(*pixels));
    if (!context_.trueColourDisplay) {
        if (context_.memory.AllocateZeroed(PALETTE_BLOCK_SIZE)) {
            data.palette = LogPalette{};
        } else {
            shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
        }
    }

    const WindowId id = nextCaptureId_++;
    ChildWindowRequest request;
    request.id = id;
    request.kind = ChildKind::Capture;
    request.title = entry.listText;
    if (download.SaveAfterDownload) {
        request.x = SAVE_AFTER_DOWNLOAD_POSITION;
        request.y = SAVE_AFTER_DOWNLOAD_POSITION;
    }
    request.width = entry.width + CAPTURE_FRAME_EXTRA_WIDTH;
    request.height = entry.height + CAPTURE_FRAME_EXTRA_HEIGHT;
    data.title = entry.listText;
    auto window = std::make_unique<PictureWindow>(
        id, CAPTURE_KIND, std::move(data),
        PictureWindowPorts{shell, *this, context_.screenPalette, nullptr});
    PictureWindow& created = *window;
    captures_[id] = std::move(window);
    shell.CreateChildWindow(request);
    created.Create(entry.width, entry.height, 0, 0);

    // The new window waits for its picture and watches the line.
    download.captureWindow = id;
    captureWatchdog_.emplace(WatchdogConfig{id,
                                            1500,
                                            WATCHDOG_NAK_PERIOD_MS,
                                            [this] { return download.CaptureWaiting; },
                                            {},
                                            {},
                                            true},
                             context_.link, context_.line, context_.timers,
                             context_.openDisconnectDialog);
    captureWatchdog_->Arm();
    context_.link.WaitingForData = 0;
    download.CaptureWaiting = true;

    // Every download starts from a clean count, whatever an earlier cancelled one left.
    download.blockCounter = 0;
    download.writeOffset = 0;
    download.overrun = false;
    context_.link.RetryCount = 0;
    download.TargetNumber = static_cast<std::uint16_t>(position);
    index.CommandStep = 3;
    context_.link.TransferMode = TRANSFER_DOWNLOAD;
    download.LastCommandByte = static_cast<std::uint8_t>(DIGIT_UNITS + position % 10);
    Write(download.LastCommandByte);
    shell.SetStatusText(TEXT_RECEIVE_IMAGE);
    if (!pleaseWait_ || alwaysShowDialog) {
        pleaseWait_ = PleaseWait::DataTrans;
        shell.ShowPleaseWait(PleaseWait::DataTrans);
    }
}

std::optional<unsigned> CameraPictures::MarkedTarget() const {
    const SelectionState& s = selection;
    const std::size_t limit = std::min<std::size_t>(index.receivedCount, INDEX_POSITIONS);
    if (s.CurrentPicture >= 0 && static_cast<std::size_t>(s.CurrentPicture) < limit &&
        s.SelectionMark[static_cast<std::size_t>(s.CurrentPicture)] == MARK_SELECTED) {
        return static_cast<unsigned>(s.CurrentPicture);
    }
    for (std::size_t p = limit; p-- > 0;) {
        if (s.SelectionMark[p] == MARK_SELECTED) {
            return static_cast<unsigned>(p);
        }
    }
    return std::nullopt;
}

void CameraPictures::EndDownloadSequence() {
    download.RemainingCount = 0;
    download.SaveAfterDownload = false;
    context_.timers.KillTimer(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD);
    EndPleaseWait();
    context_.shell.ShowProgressBar(false);
    context_.shell.SetStatusText(TEXT_READY);
}

void CameraPictures::DataIn() {
    SelectionState& s = selection;
    if (s.SelectedCount >= 2) {
        if (download.RemainingCount == 0) {
            download.RemainingCount = s.SelectedCount;
            s.CurrentPicture = -1;
        }
        std::optional<unsigned> next;
        for (unsigned p = static_cast<unsigned>(s.CurrentPicture + 1); p < INDEX_POSITIONS; ++p) {
            if (s.SelectionMark[p] == MARK_SELECTED) {
                next = p;
                break;
            }
        }
        if (!next) {
            EndDownloadSequence();
            return;
        }
        --download.RemainingCount;
        s.CurrentPicture = static_cast<std::int16_t>(*next);
        StartDownload(*next, false);
        return;
    }
    // One picture: the marked one (a current picture the user deselected is not downloaded).
    const auto target = MarkedTarget();
    if (!target) {
        EndDownloadSequence();
        return;
    }
    StartDownload(*target, false);
}

void CameraPictures::SaveAfterDownloadAll() {
    download.SaveAfterDownload = true;
    DataIn();
}

void CameraPictures::DownloadPacket() {
    LinkState& link = context_.link;
    link.WaitingForData = 0;
    if (QuietRestartPending()) {
        return;
    }
    const Packet& packet = link.ReceiveBuffer;
    switch (ClassifyPacket(packet, static_cast<std::uint32_t>(download.blockCounter))) {
        case PacketKind::GoodData:
            break;
        case PacketKind::Status:
            switch (packet[STATUS_CODE_OFFSET]) {
                case CAMERA_NOTICE:
                    return;
                case READY: {
                    const unsigned p = download.TargetNumber;
                    std::uint8_t next = 0;
                    switch (index.CommandStep) {
                        case 0:
                            DownloadBadPacket();
                            return;
                        case 3:
                            next = static_cast<std::uint8_t>(DIGIT_TENS + (p / 10) % 10);
                            break;
                        case 2:
                            next = static_cast<std::uint8_t>(DIGIT_HUNDREDS + (p / 100) % 10);
                            break;
                        case 1:
                            next = PICTURE_GET;
                            break;
                        default:
                            return;
                    }
                    --index.CommandStep;
                    download.LastCommandByte = next;
                    Write(next);
                    return;
                }
                default:
                    DownloadBadPacket();
                    return;
            }
        case PacketKind::Bad:
            DownloadBadPacket();
            return;
    }

    Shell& shell = context_.shell;
    if (download.blockCounter == 0) {
        const std::uint32_t bytes = ReadBe32(packet, COUNT_OFFSET);
        download.announcedBytes = bytes;
        index.dataPacketCount = DataPacketCount(bytes);
        shell.ShowProgressBar(true);
        shell.SetProgressPos(0);
        shell.SetProgressRange(
            static_cast<int>(std::min<std::uint32_t>(index.dataPacketCount, 0x7FFF'FFFF)));
        index.fineCapacity = ReadBe16(packet, HEADER_FINE_CAPACITY_OFFSET);
        index.normalCapacity = ReadBe16(packet, HEADER_NORMAL_CAPACITY_OFFSET);
    } else {
        auto& buffer = context_.transferBuffer;
        if (buffer && !download.overrun &&
            download.writeOffset + PACKET_PAYLOAD <= buffer->size()) {
            std::copy_n(packet.begin() + PAYLOAD_OFFSET, PACKET_PAYLOAD,
                        buffer->begin() + download.writeOffset);
            download.writeOffset += PACKET_PAYLOAD;
        } else {
            download.overrun = true;
        }
    }
    shell.SetProgressPos(download.blockCounter);
    ++download.blockCounter;
    link.RetryCount = 0;
    if (static_cast<std::uint32_t>(download.blockCounter) <= index.dataPacketCount) {
        Write(ACK);
        return;
    }
    DownloadComplete();
}

void CameraPictures::DownloadBadPacket() {
    const RetryRule rule{download.LastCommandByte};
    const auto answer = rule.OnBadPacket(context_.link.RetryCount);
    if (answer == RetryRule::Answer::Restart) {
        download.blockCounter = 0;
        download.writeOffset = 0;
        download.overrun = false;
        RestartWhenQuiet(rule.AnswerByte(answer));
        return;
    }
    Write(rule.AnswerByte(answer));
}

bool CameraPictures::DecodePicture(PictureWindow& window, const PictureEntry& entry) {
    Shell& shell = context_.shell;
    const auto& buffer = *context_.transferBuffer;
    if (download.writeOffset > buffer.size() ||
        !RewriteFile(context_.scratchFileA,
                     std::span<const std::uint8_t>(buffer).first(download.writeOffset))) {
        shell.MessageBox(TEXT_FILE_TYPE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
        download.writeOffset = 0;
        return false;
    }
    DecompressJpegToBmp(jpeg, context_.scratchFileA, context_.scratchFileB, 0);
    // Decoded into a block of the window's size; the window's picture changes only when the
    // whole picture was read.
    std::vector<std::uint8_t> decoded(window.picture().size());
    switch (ReadDecodedBmp(context_.scratchFileB, entry.width, entry.height, decoded)) {
        case DecodedBmpResult::Ok:
            break;
        case DecodedBmpResult::WrongType:
            shell.MessageBox(TEXT_FILE_TYPE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
            download.writeOffset = 0;
            return false;
        case DecodedBmpResult::WrongSize:
        case DecodedBmpResult::DoesNotFit:
            shell.MessageBox(TEXT_FILE_SIZE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
            return false;
    }
    std::copy(decoded.begin(), decoded.end(), window.picture().data());
    download.writeOffset = 0;
    return true;
}

void CameraPictures::DownloadComplete() {
    Shell& shell = context_.shell;
    if (!download.CaptureWaiting) {
        // The window was closed meanwhile: the picture is dropped.
        shell.SetStatusText(TEXT_READY);
        shell.ShowProgressBar(false);
        return;
    }
    download.blockCounter = 0;
    download.CaptureWaiting = false;
    shell.SetStatusText(TEXT_READY);
    shell.ShowProgressBar(false);
    if (download.RemainingCount == 0) {
        EndPleaseWait();
    }
    PictureWindow* window = Capture(download.captureWindow);
    if (window == nullptr || !context_.transferBuffer) {
        EndDownloadSequence();
        return;
    }
    const PictureEntry& entry = index.entries[window->position()];
    if (download.overrun) {
        download.overrun = false;
        download.writeOffset = 0;
        shell.MessageBox(TEXT_FILE_SIZE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
        EndDownloadSequence();
        return;
    }
    // The camera's own bytes, before DecodePicture resets the write offset.
    const std::size_t originalLength = std::min<std::size_t>(
        {download.announcedBytes, download.writeOffset, context_.transferBuffer->size()});
    if (!DecodePicture(*window, entry)) {
        EndDownloadSequence();
        return;
    }
    if (pictureArrived) {
        pictureArrived(window->position(),
                       std::span(context_.transferBuffer->data(), originalLength));
    }
    if ((entry.attribute >> 4) >= TREATMENT_FROM_LEVEL &&
        ApplyColourTreatment(window->picture(), entry.attribute, context_.memory) ==
            ColourTreatmentResult::NotEnoughMemory) {
        shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
    }
    if (!context_.trueColourDisplay) {
        context_.screenPalette.reset();
        LogPalette palette;
        if (BuildPopularityPalette(shell, context_.memory, window->picture(), palette) == 1) {
            context_.imagePalette = palette;
            context_.screenPalette = palette;
            if (window->palette()) {
                *window->palette() = palette;
            }
        }
    }
    shell.InvalidateWindow(window->id(), std::nullopt, false);
    shell.EnableMenuItem(MenuBar::Current, CMD_SAVE_AS, true);
    if (download.SaveAfterDownload) {
        window->Command(CMD_SAVE_AS);  // saves, closes the window and goes on
        return;
    }
    if (download.RemainingCount != 0) {
        context_.timers.StartTimer(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD,
                                   NEXT_DOWNLOAD_DELAY_MS);
    }
}

}  // namespace fotolyx
