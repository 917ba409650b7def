// The picture index transfer (TransferMode 0): entries with their thumbnails, the index
// request's digits, the Delete Page steps and the removal after DELETE_DONE.
#include <algorithm>
#include <utility>

#include "camera_index/decoded_bmp.h"
#include "camera_index/index_transfer.h"
#include "imaging/dib_block.h"
#include "imaging/rewrite_file.h"
#include "link/link_setup.h"
#include "link/protocol.h"
#include "windows/picture_window.h"

namespace fotolyx {

namespace {

constexpr int YEAR_CENTURY = 100;
constexpr int CAMERA_YEAR_BASE = 1900;
constexpr int FIRST_SCROLL_ENTRY = 12;

void WritePlaceholder(std::span<std::uint8_t> buffer) {
    WriteSlotHeader(buffer, EMPTY_THUMBNAIL_WIDTH, EMPTY_THUMBNAIL_HEIGHT);
    const std::size_t pixels = std::size_t{EMPTY_THUMBNAIL_WIDTH} * EMPTY_THUMBNAIL_HEIGHT * 3;
    std::fill_n(buffer.begin() + INFO_HEADER_SIZE, pixels, PLACEHOLDER_GREY);
}

}  // namespace

IndexTransfer::IndexTransfer(PicturePorts ports, PleaseWaitDialog& pleaseWait)
    : ports_(std::move(ports)),
      pleaseWait_(pleaseWait),
      download_(&ownDownload_),
      previewWatchdog_(WatchdogConfig{PREVIEW_WINDOW,
                                      INDEX_WATCHDOG_FIRST_MS,
                                      INDEX_WATCHDOG_RUNNING_MS,
                                      [this] { return index.IndexTransferActive; },
                                      {},
                                      {},
                                      true},
                       ports_.link, ports_.line, ports_.timers, ports_.openDisconnectDialog) {}

void IndexTransfer::Write(std::uint8_t byte) {
    ports_.line.Write({&byte, 1});
}

bool IndexTransfer::CreateThumbnailStore(std::uint32_t slotCount) {
    store = ThumbnailStore::Create(ports_.memory, slotCount);
    return store.has_value();
}

void IndexTransfer::StartIndexTransfer() {
    // A deletion the camera never confirmed ends here: its READY steps would otherwise turn this
    // index request into a delete command.
    index.DeleteSession = false;
    // The answers belong to the index handler, whatever transfer the user chose while the set-up
    // was stuck (a live view clicked after opening a file, say).
    ports_.link.TransferMode = TRANSFER_INDEX;
    index.CommandStep = 3;
    index.blockCounter = 0;
    index.thumbnailWriteOffset = 0;
    index.IndexTransferActive = true;
    ports_.link.WaitingForData = 1;
    Write(DIGIT_UNITS);
    previewWatchdog_.Arm();
    ports_.shell.SetStatusText(TEXT_RECEIVE_PREVIEW);
}

void IndexTransfer::IndexPacket() {
    LinkState& link = ports_.link;
    link.WaitingForData = 0;
    if (QuietRestartPending()) {
        return;
    }
    const Packet& packet = link.ReceiveBuffer;
    switch (ClassifyPacket(packet, static_cast<std::uint32_t>(index.blockCounter))) {
        case PacketKind::GoodData:
            IndexDataPacket(packet);
            return;
        case PacketKind::Status:
            break;
        case PacketKind::Bad:
            IndexBadPacket();
            return;
    }
    switch (packet[STATUS_CODE_OFFSET]) {
        case CAMERA_NOTICE:
            return;
        case READY:
            IndexReady();
            return;
        case DELETE_DONE:
            RemoveDeleted();
            return;
        default:
            IndexBadPacket();
            return;
    }
}

void IndexTransfer::IndexBadPacket() {
    const RetryRule rule{INDEX_RESEND};
    const auto answer = rule.OnBadPacket(ports_.link.RetryCount);
    if (answer == RetryRule::Answer::Restart) {
        index.blockCounter = 0;
        index.thumbnailWriteOffset = 0;
        index.thumbnailTooLarge = false;
        RestartWhenQuiet(rule.AnswerByte(answer));
        return;
    }
    Write(rule.AnswerByte(answer));
}

void IndexTransfer::RestartWhenQuiet(std::uint8_t restartByte) {
    ports_.line.Purge();
    ports_.link.ReceiveCount = 0;
    quietRestart_ = QuietRestart{restartByte, ports_.link.TransferMode};
    ports_.timers.StartTimer(PREVIEW_WINDOW, PREVIEW_TIMER_QUIET_RESTART, QUIET_RESTART_MS);
}

void IndexTransfer::QuietRestartDue() {
    const auto restart = std::exchange(quietRestart_, std::nullopt);
    const LinkState& link = ports_.link;
    const bool stillWanted = restart && link.SetupPhase == 0 &&
                             link.TransferMode == restart->transferMode &&
                             (index.IndexTransferActive || download_->CaptureWaiting);
    if (!stillWanted) {
        return;
    }
    ports_.line.Purge();
    ports_.link.ReceiveCount = 0;
    Write(restart->byte);
}

void IndexTransfer::IndexReady() {
    if (index.CommandStep == 0) {
        IndexBadPacket();
        return;
    }
    if (index.DeleteSession) {
        DeleteStep();
        return;
    }
    switch (index.CommandStep) {
        case 3:
            index.CommandStep = 2;
            Write(DIGIT_TENS);
            return;
        case 2:
            index.CommandStep = 1;
            Write(DIGIT_HUNDREDS);
            return;
        case 1:
            index.CommandStep = 0;
            index.DeleteSession = false;
            Write(INDEX_GET);
            return;
        default:
            return;
    }
}

void IndexTransfer::IndexDataPacket(const Packet& packet) {
    if (index.blockCounter == 0) {
        const bool endMark =
            packet[HEADER_END_MARK_OFFSET] == 0 && packet[HEADER_END_MARK_OFFSET + 1] == 0;
        if ((index.receivedCount > 0 && endMark) || index.receivedCount >= INDEX_POSITIONS) {
            // The end header; an index that has filled every position ends here too.
            IndexEnded();
            return;
        }
        index.reportedCount = ReadBe16(packet, HEADER_REPORTED_COUNT_OFFSET);
        index.fineCapacity = ReadBe16(packet, HEADER_FINE_CAPACITY_OFFSET);
        index.normalCapacity = ReadBe16(packet, HEADER_NORMAL_CAPACITY_OFFSET);
        if (index.reportedCount == 0) {
            IndexEmpty();
            return;
        }
        const std::uint32_t thumbnailBytes = ReadBe32(packet, COUNT_OFFSET);
        index.thumbnailWidth = ReadBe16(packet, HEADER_THUMB_WIDTH_OFFSET);
        index.thumbnailHeight = ReadBe16(packet, HEADER_THUMB_HEIGHT_OFFSET);
        index.dataPacketCount = DataPacketCount(thumbnailBytes);
        index.thumbnailTooLarge =
            std::uint64_t{index.dataPacketCount - 1} * PACKET_PAYLOAD > THUMBNAIL_SLOT_SIZE;
        index.thumbnailBytes = thumbnailBytes;
        EntryDate date;
        date.year = packet[HEADER_DATE_OFFSET];
        if (date.year >= YEAR_CENTURY) {
            date.year -= YEAR_CENTURY;
        }
        date.month = packet[HEADER_DATE_OFFSET + 1];
        date.day = packet[HEADER_DATE_OFFSET + 2];
        date.hour = packet[HEADER_DATE_OFFSET + 3];
        date.minute = packet[HEADER_DATE_OFFSET + 4];
        const unsigned position = index.receivedCount;
        PictureEntry& entry = index.entries[position];
        entry.attribute = packet[HEADER_ATTRIBUTE_OFFSET];
        entry.width = ReadBe16(packet, HEADER_WIDTH_OFFSET);
        entry.height = ReadBe16(packet, HEADER_HEIGHT_OFFSET);
        index.pendingListText = FormatListText(position, entry.Fine(), date);
        entry.fileName = FormatFileName(position, entry.Fine(), date);
        entry.takenAt = TakenAt{CAMERA_YEAR_BASE + packet[HEADER_DATE_OFFSET], date.month, date.day,
                                date.hour, date.minute};
    } else {
        auto& buffer = ports_.thumbnailBuffer;
        const std::uint32_t offset = index.thumbnailWriteOffset;
        if (!index.thumbnailTooLarge && buffer && offset + PACKET_PAYLOAD <= buffer->size()) {
            std::copy_n(packet.begin() + PAYLOAD_OFFSET, PACKET_PAYLOAD, buffer->begin() + offset);
            index.thumbnailWriteOffset = offset + PACKET_PAYLOAD;
        } else {
            index.thumbnailTooLarge = true;
        }
    }
    ++index.blockCounter;
    ports_.link.RetryCount = 0;
    if (static_cast<std::uint32_t>(index.blockCounter) <= index.dataPacketCount) {
        Write(ACK);
        return;
    }
    IndexEntryComplete();
}

bool IndexTransfer::DecodeThumbnail() {
    auto& buffer = *ports_.thumbnailBuffer;
    if (index.thumbnailWriteOffset > buffer.size() ||
        !RewriteFile(ports_.scratchFileA,
                     std::span<const std::uint8_t>(buffer).first(index.thumbnailWriteOffset))) {
        ports_.shell.MessageBox(TEXT_FILE_TYPE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
        return false;
    }
    DecompressJpegToBmp(jpeg_, ports_.scratchFileA, ports_.scratchFileB, 0);
    switch (
        ReadDecodedBmp(ports_.scratchFileB, index.thumbnailWidth, index.thumbnailHeight, buffer)) {
        case DecodedBmpResult::Ok:
            return true;
        case DecodedBmpResult::DoesNotFit:
            // Too large for a slot: the entry is listed with the placeholder.
            WritePlaceholder(buffer);
            return true;
        case DecodedBmpResult::WrongType:
            ports_.shell.MessageBox(TEXT_FILE_TYPE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
            return false;
        case DecodedBmpResult::WrongSize:
            ports_.shell.MessageBox(TEXT_FILE_SIZE_WRONG, CAPTION_ERROR, MB_ICONEXCLAMATION);
            return false;
    }
    return false;
}

void IndexTransfer::IndexEntryComplete() {
    auto& buffer = ports_.thumbnailBuffer;
    if (buffer) {
        if (index.dataPacketCount > 1 && !index.thumbnailTooLarge) {
            if (thumbnailArrived) {
                // The JPEG as it came, before decoding overwrites the buffer.
                const std::size_t length = std::min<std::size_t>(
                    {index.thumbnailBytes, index.thumbnailWriteOffset, buffer->size()});
                thumbnailArrived(index.receivedCount, std::span(buffer->data(), length));
            }
            if (!DecodeThumbnail()) {
                return;  // no answer: the watchdog takes over
            }
        } else {
            WritePlaceholder(*buffer);
        }
    }
    const unsigned position = index.receivedCount;
    index.entries[position].listText = index.pendingListText;
    ++index.receivedCount;
    Write(INDEX_NEXT);
    if (buffer && store) {
        auto slot = store->Slot(position);
        if (!slot.empty()) {
            std::copy_n(buffer->begin(), THUMBNAIL_SLOT_SIZE, slot.begin());
        }
    }
    index.blockCounter = 0;
    index.thumbnailWriteOffset = 0;
    index.thumbnailTooLarge = false;

    const unsigned received = index.receivedCount;
    if (received > FIRST_SCROLL_ENTRY && received % GRID_COLUMNS == 1) {
        ++selection.LastRow;
        SetPreviewScrollBar({0, selection.LastRow, 1, selection.LastRow});
        ScrollPreview(SB_LINEDOWN, 0);
    }
    ports_.shell.InvalidateWindow(PREVIEW_WINDOW, INDEX_GRID_AREA, false);
    if (received == 1) {
        ports_.shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
    }
}

void IndexTransfer::IndexEnded() {
    Shell& shell = ports_.shell;
    shell.SetStatusText(TEXT_READY);
    index.IndexTransferActive = false;
    shell.EnableMdiClient(true);
    shell.EnableMenuItem(MenuBar::Preview, CMD_DELETE_ALL, true);
    shell.EnableMenuItem(MenuBar::Preview, CMD_RELOAD, true);
    shell.EnableMenuItem(MenuBar::Imagefile, CMD_DATA_OUT_FINE, true);
    shell.EnableMenuItem(MenuBar::Imagefile, CMD_DATA_OUT_NORMAL, true);
    index.IndexLoaded = true;
}

void IndexTransfer::IndexEmpty() {
    Shell& shell = ports_.shell;
    index.IndexTransferActive = false;
    shell.SetStatusText(TEXT_READY);  // the transfer has ended, with nothing to list
    shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
    shell.MessageBox(TEXT_NO_IMAGES, CAPTION_VISTACAM_INFO, MB_ICONEXCLAMATION);
    shell.EnableMdiClient(true);
    shell.EnableMenuItem(MenuBar::Preview, CMD_RELOAD, true);
    shell.EnableMenuItem(MenuBar::Imagefile, CMD_DATA_OUT_FINE, true);
    shell.EnableMenuItem(MenuBar::Imagefile, CMD_DATA_OUT_NORMAL, true);
    index.IndexLoaded = true;
}

void IndexTransfer::DeleteStep() {
    const unsigned target = download_->TargetNumber;
    switch (index.CommandStep) {
        case 5:
            index.CommandStep = 4;
            Write(static_cast<std::uint8_t>(DIGIT_UNITS + target % 10));
            return;
        case 4:
            index.CommandStep = 3;
            Write(static_cast<std::uint8_t>(DIGIT_TENS + (target / 10) % 10));
            return;
        case 3:
            index.CommandStep = 2;
            Write(static_cast<std::uint8_t>(DIGIT_HUNDREDS + (target / 100) % 10));
            return;
        case 2: {
            if (download_->RemainingCount > 0) {
                --download_->RemainingCount;
            }
            if (target < INDEX_POSITIONS) {
                selection.SelectionMark[target] = MARK_DELETE;
            }
            bool more = false;
            if (download_->RemainingCount > 0) {
                const std::size_t limit =
                    std::min<std::size_t>(index.reportedCount, INDEX_POSITIONS);
                for (std::size_t p = limit; p-- > 0;) {
                    if (selection.SelectionMark[p] == MARK_SELECTED) {
                        download_->TargetNumber = static_cast<std::uint16_t>(p);
                        more = true;
                        break;
                    }
                }
            }
            index.CommandStep = more ? 5 : 1;
            Write(DELETE_PICTURE);
            return;
        }
        case 1:
            index.DeleteSession = false;
            index.CommandStep = 0;
            Write(DELETE_END);
            return;
        default:
            return;
    }
}

void IndexTransfer::RemoveDeleted() {
    Shell& shell = ports_.shell;
    pleaseWait_.End();
    const std::size_t count = std::min<std::size_t>(index.reportedCount, INDEX_POSITIONS);
    std::size_t removed = 0;
    for (std::size_t p = 0; p < count; ++p) {
        if (selection.SelectionMark[p] == MARK_DELETE) {
            // Acted on: a repeated DELETE_DONE finds nothing more to remove.
            selection.SelectionMark[p] = MARK_NONE;
            ++removed;
            continue;
        }
        if (removed == 0) {
            continue;
        }
        const std::size_t to = p - removed;
        if (store) {
            store->CopySlot(p, to);
        }
        PictureEntry& target = index.entries[to];
        const PictureEntry& source = index.entries[p];
        std::string number = target.listText.substr(0, LIST_NUMBER_CHARS);
        number.resize(LIST_NUMBER_CHARS, ' ');
        target.listText = source.listText.size() > LIST_NUMBER_CHARS
                              ? number + source.listText.substr(LIST_NUMBER_CHARS)
                              : source.listText;
        target.attribute = source.attribute;
        target.width = source.width;
        target.height = source.height;
        // The default file name goes with its picture.
        target.fileName = source.fileName;
    }
    for (std::size_t p = count - removed; p < count; ++p) {
        if (store) {
            store->ClearPixels(p);
        }
        index.entries[p] = PictureEntry{};
    }
    const auto d = static_cast<std::uint16_t>(removed);
    index.receivedCount = index.receivedCount > d ? index.receivedCount - d : 0;
    index.reportedCount = static_cast<std::uint16_t>(index.reportedCount - d);
    selection.CurrentPicture = NO_PICTURE;

    selection.LastRow =
        index.reportedCount > FIRST_SCROLL_ENTRY
            ? static_cast<std::uint16_t>((index.reportedCount - 13) / GRID_COLUMNS + 1)
            : 0;
    SetPreviewScrollBar({0, selection.LastRow, 1, 0});
    ScrollPreview(SB_THUMBTRACK, 0);
    shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
    shell.EnableMenuItem(MenuBar::Current, CMD_DATA_IN, false);
    shell.EnableMenuItem(MenuBar::Current, CMD_DELETE_PAGE, false);
    shell.EnableMenuItem(MenuBar::Current, CMD_SAVE_AS, false);
    if (index.reportedCount == 0) {
        shell.EnableMenuItem(MenuBar::Current, CMD_DELETE_ALL, false);
    }
    IndexBadPacket();
}

void IndexTransfer::SetPreviewScrollBar(const ScrollBarState& state) {
    previewScrollBar = state;
    ports_.shell.SetScrollBar(PREVIEW_WINDOW, ScrollBarKind::Vertical, state);
}

void IndexTransfer::DeletePage() {
    Shell& shell = ports_.shell;
    // Only marked pictures are deleted: a current picture the user deselected is kept, and
    // with nothing marked nothing happens.
    const auto target = MarkedTarget();
    if (selection.CurrentPicture == NO_PICTURE || !target) {
        return;
    }
    if (shell.MessageBox(TEXT_DELETE_PAGE, CAPTION_DELETE_PAGE, MB_OKCANCEL | MB_ICONQUESTION) !=
        IDOK) {
        return;
    }
    const std::size_t limit = std::min<std::size_t>(index.receivedCount, INDEX_POSITIONS);
    index.DeleteSession = true;
    index.CommandStep = 5;
    download_->TargetNumber = static_cast<std::uint16_t>(*target);
    download_->RemainingCount = static_cast<std::uint16_t>(std::count(
        selection.SelectionMark.begin(), selection.SelectionMark.begin() + limit, MARK_SELECTED));
    ports_.link.TransferMode = TRANSFER_INDEX;
    Write(DELETE_BEGIN);
    pleaseWait_.Show(PleaseWait::PeraseProc);
}

void IndexTransfer::DeleteAll() {
    Shell& shell = ports_.shell;
    if (shell.MessageBox(TEXT_DELETE_ALL, CAPTION_DELETE_ALL, MB_OKCANCEL | MB_ICONQUESTION) !=
        IDOK) {
        return;
    }
    const std::size_t count = std::min<std::size_t>(index.reportedCount, INDEX_POSITIONS);
    std::fill_n(selection.SelectionMark.begin(), count, MARK_DELETE);
    ports_.link.TransferMode = TRANSFER_INDEX;
    Write(ERASE_ALL);
    pleaseWait_.Show(PleaseWait::PeraseProc);
}

void IndexTransfer::ResetTransferState() {
    LinkState& link = ports_.link;
    link.ResetupPending = 1;
    link.TransferMode = TRANSFER_INDEX;
    link.SetupPhase = 1;
    link.ReceiveCount = 0;
    link.RetryCount = 0;
    link.ExpectedLength = PACKET_LENGTH;
    link.WaitingForData = 0;
    index.blockCounter = 0;
    index.thumbnailWriteOffset = 0;
    index.thumbnailTooLarge = false;
    index.receivedCount = 0;
    index.IndexTransferActive = false;
    index.CommandStep = 0;
    index.DeleteSession = false;
    download_->blockCounter = 0;
    download_->writeOffset = 0;
    download_->overrun = false;
    download_->CaptureWaiting = false;
    download_->RemainingCount = 0;
    download_->SaveAfterDownload = false;
    selection.CurrentPicture = NO_PICTURE;
    selection.TopRow = 0;
    selection.LastRow = 0;
    selection.SelectedCount = 0;
    ports_.timers.KillTimer(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD);
    ports_.timers.KillTimer(PREVIEW_WINDOW, PREVIEW_TIMER_QUIET_RESTART);
    quietRestart_.reset();
}

void IndexTransfer::ClearSlotsAndTexts() {
    if (store) {
        for (std::uint32_t i = 0; i < store->SlotCount(); ++i) {
            store->ClearSlot(i);
        }
    }
    for (auto& entry : index.entries) {
        entry = PictureEntry{};
    }
}

void IndexTransfer::Reload() {
    Shell& shell = ports_.shell;
    if (shell.MessageBox(TEXT_RELOAD, CAPTION_RELOAD, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        return;
    }
    for (int id : {CMD_RELOAD, CMD_DATA_IN, CMD_DELETE_PAGE, CMD_SAVE_AS, CMD_DELETE_ALL}) {
        shell.EnableMenuItem(MenuBar::Current, id, false);
    }
    index.IndexLoaded = false;
    shell.SetStatusText(TEXT_READY);
    shell.ShowProgressBar(false);
    pleaseWait_.End();
    ports_.line.Purge();
    ResetTransferState();
    SetPreviewScrollBar(PREVIEW_NO_THUMB);
    ClearSlotsAndTexts();
    shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
    ports_.startResetup();
}

void IndexTransfer::ResetForReconnect() {
    ResetTransferState();
    SetPreviewScrollBar(PREVIEW_NO_THUMB);
    ClearSlotsAndTexts();
    ports_.shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
}

std::optional<unsigned> IndexTransfer::MarkedTarget() const {
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

void IndexTransfer::ScrollPreview(int code, int pos) {
    SelectionState& s = selection;
    const std::uint16_t before = s.TopRow;
    switch (code) {
        case SB_LINEUP:
        case SB_PAGEUP:
            if (s.TopRow > 0) {
                --s.TopRow;
            }
            break;
        case SB_LINEDOWN:
        case SB_PAGEDOWN:
            if (s.TopRow < s.LastRow) {
                ++s.TopRow;
            }
            break;
        case SB_THUMBTRACK:
            // The thumb cannot leave the bar's range.
            s.TopRow = static_cast<std::uint16_t>(std::clamp<int>(pos, 0, s.LastRow));
            break;
        default:
            break;
    }
    if (s.TopRow != before) {
        ScrollBarState bar = previewScrollBar;
        bar.pos = s.TopRow;
        SetPreviewScrollBar(bar);
        ports_.shell.InvalidateWindow(PREVIEW_WINDOW, PREVIEW_GRID_AREA, false);
    }
}

}  // namespace fotolyx
