// The picture download (TransferMode 1) into a Capture window, one picture or a sequence.
#include <algorithm>

#include "camera_index/decoded_bmp.h"
#include "camera_index/picture_download.h"
#include "imaging/colour_reduction.h"
#include "imaging/colour_treatment.h"
#include "imaging/rewrite_file.h"
#include "link/link_setup.h"
#include "link/protocol.h"

namespace fotolyx {

namespace {

constexpr std::size_t PIXEL_BLOCK_SPARE = 60;
constexpr std::size_t PALETTE_BLOCK_SIZE = 1'032;
// The largest picture a Capture window takes: far beyond any camera picture, small enough
// that a garbled size cannot ask for absurd memory.
constexpr std::size_t MAX_PICTURE_PIXELS = std::size_t{8192} * 8192;

}  // namespace

PictureDownload::PictureDownload(PicturePorts ports, IndexTransfer& index, CaptureWindows& captures,
                                 PleaseWaitDialog& pleaseWait)
    : ports_(std::move(ports)), index_(index), captures_(captures), pleaseWait_(pleaseWait) {
    index_.ShareDownloadState(download);
    captures_.SetObserver(*this);
}

void PictureDownload::Write(std::uint8_t byte) {
    ports_.line.Write({&byte, 1});
}

void PictureDownload::StartDownload(unsigned position, bool alwaysShowDialog) {
    Shell& shell = ports_.shell;
    if (position >= index_.index.receivedCount) {
        return;
    }
    const PictureEntry& entry = index_.index.entries[position];
    const std::size_t dibBytes = Rgb24DibBytes(entry.width, entry.height);
    if (entry.width < 4 || entry.height < 2 || dibBytes == 0 ||
        std::size_t{entry.width} * entry.height > MAX_PICTURE_PIXELS) {
        shell.MessageBox(TEXT_FILE_SIZE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
        EndDownloadSequence();
        return;
    }
    // Without the TransferBuffer no picture can be collected: nothing is started.
    std::optional<std::vector<std::uint8_t>> pixels;
    if (ports_.transferBuffer) {
        pixels = ports_.memory.AllocateZeroed(dibBytes + PIXEL_BLOCK_SPARE);
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
    if (!ports_.trueColourDisplay) {
        if (ports_.memory.AllocateZeroed(PALETTE_BLOCK_SIZE)) {
            data.palette = LogPalette{};
        } else {
            shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
        }
    }

    const WindowId id = captures_.Open(entry, std::move(data), download.SaveAfterDownload).id();

    // The new window waits for its picture and watches the line.
    download.captureWindow = id;
    captureWatchdog_.emplace(WatchdogConfig{id,
                                            1500,
                                            WATCHDOG_NAK_PERIOD_MS,
                                            [this] { return download.CaptureWaiting; },
                                            {},
                                            {},
                                            true},
                             ports_.link, ports_.line, ports_.timers, ports_.openDisconnectDialog);
    captureWatchdog_->Arm();
    ports_.link.WaitingForData = 0;
    download.CaptureWaiting = true;

    // Every download starts from a clean count, whatever an earlier cancelled one left.
    download.blockCounter = 0;
    download.writeOffset = 0;
    download.overrun = false;
    ports_.link.RetryCount = 0;
    download.TargetNumber = static_cast<std::uint16_t>(position);
    index_.index.CommandStep = 3;
    ports_.link.TransferMode = TRANSFER_DOWNLOAD;
    download.LastCommandByte = static_cast<std::uint8_t>(DIGIT_UNITS + position % 10);
    Write(download.LastCommandByte);
    shell.SetStatusText(TEXT_RECEIVE_IMAGE);
    if (!pleaseWait_.Current() || alwaysShowDialog) {
        pleaseWait_.Show(PleaseWait::DataTrans);
    }
}

void PictureDownload::EndDownloadSequence() {
    download.RemainingCount = 0;
    download.SaveAfterDownload = false;
    ports_.timers.KillTimer(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD);
    pleaseWait_.End();
    ports_.shell.ShowProgressBar(false);
    ports_.shell.SetStatusText(TEXT_READY);
}

void PictureDownload::DataIn() {
    SelectionState& s = index_.selection;
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
    const auto target = index_.MarkedTarget();
    if (!target) {
        EndDownloadSequence();
        return;
    }
    StartDownload(*target, false);
}

void PictureDownload::SaveAfterDownloadAll() {
    download.SaveAfterDownload = true;
    DataIn();
}

void PictureDownload::DownloadPacket() {
    LinkState& link = ports_.link;
    link.WaitingForData = 0;
    if (index_.QuietRestartPending()) {
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
                    switch (index_.index.CommandStep) {
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
                    --index_.index.CommandStep;
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

    Shell& shell = ports_.shell;
    if (download.blockCounter == 0) {
        const std::uint32_t bytes = ReadBe32(packet, COUNT_OFFSET);
        download.announcedBytes = bytes;
        index_.index.dataPacketCount = DataPacketCount(bytes);
        shell.ShowProgressBar(true);
        shell.SetProgressPos(0);
        shell.SetProgressRange(
            static_cast<int>(std::min<std::uint32_t>(index_.index.dataPacketCount, 0x7FFF'FFFF)));
        index_.index.fineCapacity = ReadBe16(packet, HEADER_FINE_CAPACITY_OFFSET);
        index_.index.normalCapacity = ReadBe16(packet, HEADER_NORMAL_CAPACITY_OFFSET);
    } else {
        auto& buffer = ports_.transferBuffer;
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
    if (static_cast<std::uint32_t>(download.blockCounter) <= index_.index.dataPacketCount) {
        Write(ACK);
        return;
    }
    DownloadComplete();
}

void PictureDownload::DownloadBadPacket() {
    const RetryRule rule{download.LastCommandByte};
    const auto answer = rule.OnBadPacket(ports_.link.RetryCount);
    if (answer == RetryRule::Answer::Restart) {
        download.blockCounter = 0;
        download.writeOffset = 0;
        download.overrun = false;
        index_.RestartWhenQuiet(rule.AnswerByte(answer));
        return;
    }
    Write(rule.AnswerByte(answer));
}

bool PictureDownload::DecodePicture(PictureWindow& window, const PictureEntry& entry) {
    Shell& shell = ports_.shell;
    const auto& buffer = *ports_.transferBuffer;
    if (download.writeOffset > buffer.size() ||
        !RewriteFile(ports_.scratchFileA,
                     std::span<const std::uint8_t>(buffer).first(download.writeOffset))) {
        shell.MessageBox(TEXT_FILE_TYPE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
        download.writeOffset = 0;
        return false;
    }
    DecompressJpegToBmp(jpeg_, ports_.scratchFileA, ports_.scratchFileB, 0);
    // Decoded into a block of the window's size; the window's picture changes only when the
    // whole picture was read.
    std::vector<std::uint8_t> decoded(window.picture().size());
    switch (ReadDecodedBmp(ports_.scratchFileB, entry.width, entry.height, decoded)) {
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

void PictureDownload::DownloadComplete() {
    Shell& shell = ports_.shell;
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
        pleaseWait_.End();
    }
    PictureWindow* window = captures_.Find(download.captureWindow);
    if (window == nullptr || !ports_.transferBuffer) {
        EndDownloadSequence();
        return;
    }
    const PictureEntry& entry = index_.index.entries[window->position()];
    if (download.overrun) {
        download.overrun = false;
        download.writeOffset = 0;
        shell.MessageBox(TEXT_FILE_SIZE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
        EndDownloadSequence();
        return;
    }
    // The camera's own bytes, before DecodePicture resets the write offset.
    const std::size_t originalLength = std::min<std::size_t>(
        {download.announcedBytes, download.writeOffset, ports_.transferBuffer->size()});
    if (!DecodePicture(*window, entry)) {
        EndDownloadSequence();
        return;
    }
    if (pictureArrived) {
        pictureArrived(window->position(),
                       std::span(ports_.transferBuffer->data(), originalLength));
    }
    if ((entry.attribute >> 4) >= TREATMENT_FROM_LEVEL &&
        ApplyColourTreatment(window->picture(), entry.attribute, ports_.memory) ==
            ColourTreatmentResult::NotEnoughMemory) {
        shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
    }
    if (!ports_.trueColourDisplay) {
        ports_.screenPalette.reset();
        LogPalette palette;
        if (BuildPopularityPalette(shell, ports_.memory, window->picture(), palette) == 1) {
            ports_.imagePalette = palette;
            ports_.screenPalette = palette;
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
        ports_.timers.StartTimer(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD,
                                 NEXT_DOWNLOAD_DELAY_MS);
    }
}

void PictureDownload::PleaseWaitClosed(PleaseWait dialog) {
    pleaseWait_.Closed(dialog);
    if (dialog == PleaseWait::DataTrans && download.CaptureWaiting) {
        download.SaveAfterDownload = false;
        captures_.Destroy(download.captureWindow);
        ports_.shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, true);
    } else if (dialog == PleaseWait::DataTrans && download.RemainingCount != 0) {
        // Closed in the pause between two pictures: no further picture starts.
        EndDownloadSequence();
    }
}

void PictureDownload::CaptureSaved(WindowId window) {
    if (!download.SaveAfterDownload) {
        return;
    }
    captures_.CloseWindow(window);
    download.SaveAfterDownload = false;
    if (download.RemainingCount != 0) {
        download.SaveAfterDownload = true;
        DataIn();
    }
}

void PictureDownload::CaptureClosing(WindowId window) {
    Shell& shell = ports_.shell;
    if (download.CaptureWaiting && download.captureWindow == window) {
        // The picture never arrived: the download is given up and the selection reset.
        SelectionState& selection = index_.selection;
        download.CaptureWaiting = false;
        download.blockCounter = static_cast<std::int32_t>(index_.index.dataPacketCount + 1);
        selection.SelectedCount = 0;
        download.RemainingCount = 0;
        selection.CurrentPicture = NO_PICTURE;
        EndDownloadSequence();
        shell.EnableMenuItem(MenuBar::Current, CMD_DATA_IN, false);
        shell.EnableMenuItem(MenuBar::Current, CMD_DELETE_PAGE, false);
    }
    if (captureWatchdog_ && captureWatchdog_->config().window == window) {
        captureWatchdog_.reset();
    }
}

void PictureDownload::CloseForReconnect() {
    Shell& shell = ports_.shell;
    shell.EnableMenuItem(MenuBar::Preview, CMD_RELOAD, false);
    shell.EnableMenuItem(MenuBar::Preview, CMD_DELETE_ALL, false);
    index_.index.IndexLoaded = false;
    shell.ShowProgressBar(false);
    for (const WindowId id : captures_.Ids()) {
        captures_.CloseWindow(id);
    }
    pleaseWait_.End();
}

bool PictureDownload::CaptureTimerFired(WindowId window, int id) {
    if (captures_.Find(window) == nullptr) {
        return false;
    }
    if (id == WATCHDOG_TIMER && captureWatchdog_ && captureWatchdog_->config().window == window) {
        captureWatchdog_->Tick();
    } else {
        ports_.timers.KillTimer(window, id);
    }
    return true;
}

}  // namespace fotolyx
