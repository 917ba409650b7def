#include "camsim/sim_camera.h"

#include <algorithm>
#include <utility>

#include "camsim/picture_maker.h"

namespace fotolyx::camsim {

namespace {

constexpr std::uint32_t LIVE_LINES = 60;
constexpr std::uint32_t PHOTO_PACKETS = 2160;
constexpr std::size_t PHOTO_GROUPS = 9;
constexpr std::size_t PHOTO_GROUP_SIZE = 12;

// The data packets carrying blob, 112 bytes each, numbered from 1, with one more packet when the
// size is a multiple of 112.
void AppendDataPackets(std::vector<Packet>& packets, const std::vector<std::uint8_t>& blob) {
    const std::uint32_t count = DataPacketCount(static_cast<std::uint32_t>(blob.size()));
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t begin = std::min<std::size_t>(i * PACKET_PAYLOAD, blob.size());
        const std::size_t end = std::min<std::size_t>(begin + PACKET_PAYLOAD, blob.size());
        packets.push_back(
            MakeDataPacket(i + 1, std::span<const std::uint8_t>(blob.data() + begin, end - begin)));
    }
}

void WriteDate(Packet& packet, const UploadDate& date) {
    packet[HEADER_DATE_OFFSET] = static_cast<std::uint8_t>(date.year - 1900);
    packet[HEADER_DATE_OFFSET + 1] = static_cast<std::uint8_t>(date.month);
    packet[HEADER_DATE_OFFSET + 2] = static_cast<std::uint8_t>(date.day);
    packet[HEADER_DATE_OFFSET + 3] = static_cast<std::uint8_t>(date.hour);
    packet[HEADER_DATE_OFFSET + 4] = static_cast<std::uint8_t>(date.minute);
}

}  // namespace

SimCamera::SimCamera(CameraConfig config) : config_(std::move(config)) {
    nakAnswersLeft_ = config_.faults.nakAnswers;
}

std::vector<Outgoing> SimCamera::TakeOutput() {
    return std::exchange(output_, {});
}

void SimCamera::Send(std::vector<std::uint8_t> bytes, bool isStatus) {
    if (cablePulled_) {
        return;
    }
    auto& faults = config_.faults;
    if (faults.hangUpAfterMessages && messagesSent_ >= *faults.hangUpAfterMessages) {
        cablePulled_ = true;
        return;
    }
    lastMessage_ = bytes;
    lastWasStatus_ = isStatus;
    if (faults.silentAfterMessages && messagesSent_ >= *faults.silentAfterMessages) {
        silent_ = true;
        config_.faults.silentAfterMessages.reset();  // once; RESET_LINK wakes it up again
    }
    if (silent_) {
        return;
    }
    const std::uint32_t number = messagesSent_++;
    if (isStatus && statusPacketsSent_++ < faults.badTrailerStatus) {
        bytes[TRAILER_OFFSET] ^= 0xFF;
    }
    if (faults.garbleMessage && number >= *faults.garbleMessage &&
        number - *faults.garbleMessage < faults.garbleCount) {
        bytes[0] = GARBLED_BYTE;
    }
    if (faults.wrongSequenceMessage == number && bytes.size() == PACKET_LENGTH &&
        bytes[PACKET_KIND_OFFSET] == PACKET_DATA) {
        bytes[SEQUENCE_OFFSET] = static_cast<std::uint8_t>(bytes[SEQUENCE_OFFSET] + 1);
    }
    if (faults.dropByteMessage == number) {
        bytes.pop_back();
    }
    if (faults.noiseBeforeMessage == number) {
        bytes.insert(bytes.begin(), faults.noiseBytes, GARBLED_BYTE);
    }
    output_.push_back({std::move(bytes), baud_});
}

void SimCamera::SendPacket(const Packet& packet) {
    Send(std::vector<std::uint8_t>(packet.begin(), packet.end()), false);
}

void SimCamera::SendStatus(std::uint8_t code) {
    const Packet packet = MakeStatusPacket(code);
    Send(std::vector<std::uint8_t>(packet.begin(), packet.end()), true);
}

void SimCamera::SendByte(std::uint8_t byte) {
    Send({byte}, false);
}

void SimCamera::PressPhotoButton() {
    SendStatus(CAMERA_NOTICE);
}

std::optional<Micros> SimCamera::NextWakeup() const {
    if (pendingSpeed_) {
        return pendingSpeed_->second;
    }
    if (config_.fallBackAfterSilence && baud_ != BAUD_9600 && !cablePulled_) {
        return lastHeard_ + *config_.fallBackAfterSilence;
    }
    return std::nullopt;
}

void SimCamera::Wake(Micros now) {
    if (pendingSpeed_ && pendingSpeed_->second <= now) {
        baud_ = pendingSpeed_->first;
        pendingSpeed_.reset();
        waitingConfirm_ = true;
        lastHeard_ = now;
        SendStatus(READY);
        return;
    }
    if (!pendingSpeed_ && config_.fallBackAfterSilence && baud_ != BAUD_9600 &&
        lastHeard_ + *config_.fallBackAfterSilence <= now) {
        BackTo9600();
    }
}

void SimCamera::BackTo9600() {
    baud_ = BAUD_9600;
    waitingConfirm_ = false;
}

void SimCamera::Receive(std::uint8_t byte, Micros now) {
    if (cablePulled_) {
        return;
    }
    received_.push_back(byte);
    lastHeard_ = now;
    // During an upload the PC's packets are collected; a byte that cannot open a packet is a
    // command (the PC giving up on the upload, for one).
    if (upload_.active && (!upload_.partial.empty() || byte == PACKET_DATA)) {
        UploadByte(byte);
        return;
    }
    Command(byte, now);
}

void SimCamera::StopEverything() {
    stream_ = StreamKind::None;
    packets_.clear();
    nextPacket_ = 0;
    upload_ = Upload{};
    waitingConfirm_ = false;
    pendingSpeed_.reset();
}

void SimCamera::StartStream(StreamKind kind, std::vector<Packet> packets) {
    stream_ = kind;
    packets_ = std::move(packets);
    nextPacket_ = 0;
    if (!packets_.empty()) {
        SendPacket(packets_[nextPacket_++]);
    }
}

unsigned SimCamera::DigitsNumber() const {
    return (digits_[0] & 0x0F) + 10 * (digits_[1] & 0x0F) + 100 * (digits_[2] & 0x0F);
}

void SimCamera::Command(std::uint8_t byte, Micros now) {
    switch (byte) {
        case IDENTIFY: {
            StopEverything();
            Identification identification;
            for (std::size_t i = 0; i < 3; ++i) {
                identification.modelCode[i] =
                    i < config_.modelCode.size() ? config_.modelCode[i] : ' ';
            }
            identification.value = config_.identValue;
            identification.pictureCount = static_cast<std::uint16_t>(config_.pictures.size());
            const Packet packet = MakeIdentificationPacket(identification);
            Send(std::vector<std::uint8_t>(packet.begin(), packet.end()), true);
            return;
        }
        case SPEED_115200:
        case SPEED_57600:
        case SPEED_19200: {
            const std::uint32_t speed = byte == SPEED_115200  ? BAUD_115200
                                        : byte == SPEED_57600 ? BAUD_57600
                                                              : BAUD_19200;
            if (std::find(config_.speeds.begin(), config_.speeds.end(), speed) !=
                config_.speeds.end()) {
                pendingSpeed_ = {speed, now + config_.speedAnswerDelay};
            }
            return;
        }
        case SPEED_CONFIRM:
            if (!waitingConfirm_) {
                return;
            }
            waitingConfirm_ = false;
            switch (config_.mode) {
                case CameraMode::Photo:
                    SendStatus(MODE_CAMERA);
                    return;
                case CameraMode::Vcr:
                    SendStatus(MODE_VCR);
                    BackTo9600();
                    return;
                case CameraMode::NoCard:
                    SendStatus(NO_CARD);
                    BackTo9600();
                    return;
            }
            return;
        case RESET_LINK:
            StopEverything();
            silent_ = false;
            BackTo9600();
            return;
        case ACK:
            if (stream_ != StreamKind::None && nextPacket_ < packets_.size()) {
                SendPacket(packets_[nextPacket_++]);
            }
            return;
        case NAK:
            if (!lastMessage_.empty()) {
                Send(lastMessage_, lastWasStatus_);
            }
            return;
        case RESTART:
            if (stream_ == StreamKind::Live || stream_ == StreamKind::Photo) {
                StartStream(stream_, std::move(packets_));
            }
            return;
        case INDEX_GET:
            indexPosition_ = 0;
            SendIndexEntry();
            return;
        case INDEX_NEXT:
            if (stream_ == StreamKind::Index) {
                ++indexPosition_;
                SendIndexEntry();
            }
            return;
        case INDEX_RESEND:
            if (stream_ == StreamKind::Index) {
                SendIndexEntry();
            }
            return;
        case PICTURE_GET: {
            const unsigned number = DigitsNumber();
            if (number >= config_.pictures.size()) {
                return;
            }
            const SimPicture& picture = config_.pictures[number];
            std::vector<Packet> packets;
            Packet header = MakeDataPacket(0, {});
            header[HEADER_ATTRIBUTE_OFFSET] = picture.attribute;
            WriteBe32(header, COUNT_OFFSET, static_cast<std::uint32_t>(picture.jpeg.size()));
            WriteBe16(header, HEADER_WIDTH_OFFSET, picture.width);
            WriteBe16(header, HEADER_HEIGHT_OFFSET, picture.height);
            WriteBe16(header, HEADER_FINE_CAPACITY_OFFSET, config_.fineCapacity);
            WriteBe16(header, HEADER_NORMAL_CAPACITY_OFFSET, config_.normalCapacity);
            WriteDate(header, picture.date);
            packets.push_back(header);
            AppendDataPackets(packets, picture.jpeg);
            StartStream(StreamKind::Picture, std::move(packets));
            return;
        }
        case DELETE_BEGIN:
            deleteMarks_.clear();
            SendStatus(READY);
            return;
        case DELETE_PICTURE:
            deleteMarks_.insert(DigitsNumber());
            SendStatus(READY);
            return;
        case DELETE_END:
            for (auto it = deleteMarks_.rbegin(); it != deleteMarks_.rend(); ++it) {
                if (*it < config_.pictures.size()) {
                    const bool fine = (config_.pictures[*it].attribute & 0x0F) != 0;
                    ++(fine ? config_.fineCapacity : config_.normalCapacity);
                    config_.pictures.erase(config_.pictures.begin() + *it);
                }
            }
            deleteMarks_.clear();
            SendStatus(DELETE_DONE);
            return;
        case ERASE_ALL:
            for (const auto& picture : config_.pictures) {
                ++((picture.attribute & 0x0F) != 0 ? config_.fineCapacity : config_.normalCapacity);
            }
            config_.pictures.clear();
            SendStatus(DELETE_DONE);
            return;
        case UPLOAD_FINE:
        case UPLOAD_NORMAL: {
            StopEverything();
            const bool fine = byte == UPLOAD_FINE;
            if ((fine ? config_.fineCapacity : config_.normalCapacity) == 0) {
                SendByte(UPLOAD_FULL);
                return;
            }
            upload_.active = true;
            upload_.fine = fine;
            SendByte(UPLOAD_READY);
            return;
        }
        case LIVE_START:
            StartStream(StreamKind::Live, LiveFrame());
            ++liveFrames_;
            return;
        case PHOTO_START:
            StartStream(StreamKind::Photo, PhotoPackets());
            ++photos_;
            return;
        case LIVE_STOP:
        case PHOTO_STOP:
            stream_ = StreamKind::None;
            packets_.clear();
            return;
        default:
            if ((byte & 0xF0) == DIGIT_UNITS || (byte & 0xF0) == DIGIT_TENS ||
                (byte & 0xF0) == DIGIT_HUNDREDS) {
                if ((byte & 0x0F) <= 9) {
                    digits_[((byte & 0xF0) - DIGIT_UNITS) >> 4] = byte;
                    SendStatus(READY);
                }
            }
            return;
    }
}

void SimCamera::SendIndexEntry() {
    const auto count = static_cast<std::uint16_t>(config_.pictures.size());
    std::vector<Packet> packets;
    Packet header = MakeDataPacket(0, {});
    WriteBe16(header, HEADER_FINE_CAPACITY_OFFSET, config_.fineCapacity);
    WriteBe16(header, HEADER_NORMAL_CAPACITY_OFFSET, config_.normalCapacity);
    WriteBe16(header, HEADER_REPORTED_COUNT_OFFSET, count);
    if (indexPosition_ < config_.pictures.size()) {
        const SimPicture& picture = config_.pictures[indexPosition_];
        header[HEADER_ATTRIBUTE_OFFSET] = picture.attribute;
        WriteBe32(header, COUNT_OFFSET, static_cast<std::uint32_t>(picture.thumbnail.size()));
        WriteBe16(header, HEADER_WIDTH_OFFSET, picture.width);
        WriteBe16(header, HEADER_HEIGHT_OFFSET, picture.height);
        WriteBe16(header, HEADER_END_MARK_OFFSET, static_cast<std::uint16_t>(indexPosition_ + 1));
        WriteBe16(header, HEADER_THUMB_WIDTH_OFFSET, picture.thumbnailWidth);
        WriteBe16(header, HEADER_THUMB_HEIGHT_OFFSET, picture.thumbnailHeight);
        WriteDate(header, picture.date);
        packets.push_back(header);
        AppendDataPackets(packets, picture.thumbnail);
    } else {
        // The end header (bytes 12 and 13 zero), or the only header of an empty card.
        packets.push_back(header);
    }
    StartStream(StreamKind::Index, std::move(packets));
}

void SimCamera::UploadByte(std::uint8_t byte) {
    upload_.partial.push_back(byte);
    if (upload_.partial.size() < PACKET_LENGTH) {
        return;
    }
    Packet packet{};
    std::copy(upload_.partial.begin(), upload_.partial.end(), packet.begin());
    upload_.partial.clear();
    UploadPacket(packet);
}

void SimCamera::UploadPacket(const Packet& packet) {
    if (nakAnswersLeft_ > 0) {
        --nakAnswersLeft_;
        SendByte(NAK);
        return;
    }
    if (packet[PACKET_KIND_OFFSET] != PACKET_DATA || packet[END_OFFSET] != DATA_END ||
        packet[SEQUENCE_OFFSET] != (upload_.counter & 0xFF)) {
        SendByte(NAK);
        return;
    }
    if (upload_.counter == 0) {
        upload_.byteCount = ReadBe32(packet, COUNT_OFFSET);
        if (upload_.file == 0) {
            if (upload_.byteCount > config_.uploadLimitBytes) {
                upload_ = Upload{};
                SendByte(UPLOAD_FULL);
                return;
            }
            upload_.fine = packet[HEADER_ATTRIBUTE_OFFSET] != 0;
            upload_.date =
                UploadDate{1900 + packet[HEADER_DATE_OFFSET], packet[HEADER_DATE_OFFSET + 1],
                           packet[HEADER_DATE_OFFSET + 2], packet[HEADER_DATE_OFFSET + 3],
                           packet[HEADER_DATE_OFFSET + 4]};
        }
        upload_.expectedPackets = DataPacketCount(upload_.byteCount);
        upload_.collected.clear();
        upload_.counter = 1;
        SendByte(ACK);
        return;
    }
    upload_.collected.insert(upload_.collected.end(), packet.begin() + PAYLOAD_OFFSET,
                             packet.begin() + PAYLOAD_OFFSET + PACKET_PAYLOAD);
    if (upload_.counter++ < upload_.expectedPackets) {
        SendByte(ACK);
        return;
    }
    upload_.collected.resize(std::min<std::size_t>(upload_.byteCount, upload_.collected.size()));
    if (upload_.file == 0) {
        upload_.pictureJpeg = std::move(upload_.collected);
        upload_.collected.clear();
        upload_.file = 1;
        upload_.counter = 0;
        SendByte(UPLOAD_SECOND);
        return;
    }
    SimPicture picture;
    picture.attribute = upload_.fine ? 0x01 : 0x00;
    picture.date = upload_.date;
    picture.jpeg = std::move(upload_.pictureJpeg);
    picture.thumbnail = std::move(upload_.collected);
    // The index tells the sizes the files really have (a file that cannot be read keeps the
    // sizes of the mode).
    picture.width = upload_.fine ? 640 : 320;
    picture.height = upload_.fine ? 480 : 240;
    ReadJpegSize(picture.jpeg, picture.width, picture.height);
    ReadJpegSize(picture.thumbnail, picture.thumbnailWidth, picture.thumbnailHeight);
    std::uint16_t& capacity = upload_.fine ? config_.fineCapacity : config_.normalCapacity;
    if (capacity > 0) {
        --capacity;
    }
    config_.pictures.push_back(std::move(picture));
    upload_ = Upload{};
    SendByte(UPLOAD_DONE);
}

std::vector<Packet> SimCamera::LiveFrame() const {
    // A scene of diagonal bands that moves a little with every frame.
    std::vector<Packet> packets;
    for (std::uint32_t line = 0; line < LIVE_LINES; ++line) {
        Packet packet = MakeDataPacket(line, {});
        for (std::size_t i = PAYLOAD_OFFSET; i < 112; ++i) {
            const auto luma = static_cast<std::uint8_t>(((i + line + liveFrames_ * 3) / 8) & 0x0F);
            const auto chroma = static_cast<std::uint8_t>((i / 16 + line / 10) & 0x0F);
            packet[i] = static_cast<std::uint8_t>((luma << 4) | chroma);
        }
        packets.push_back(packet);
    }
    return packets;
}

std::vector<Packet> SimCamera::PhotoPackets() const {
    std::vector<Packet> packets;
    packets.reserve(PHOTO_PACKETS);
    for (std::uint32_t k = 0; k < PHOTO_PACKETS; ++k) {
        Packet packet = MakeDataPacket(k, {});
        const std::uint32_t line = k / 9;
        for (std::size_t g = 0; g < PHOTO_GROUPS; ++g) {
            const std::size_t at = PAYLOAD_OFFSET + g * PHOTO_GROUP_SIZE;
            const std::uint32_t x0 = (k % 9) * 72 + static_cast<std::uint32_t>(g) * 8;
            for (std::size_t p = 0; p < 8; ++p) {
                packet[at + p] = static_cast<std::uint8_t>((x0 + p + line + photos_ * 16) & 0xFF);
            }
            packet[at + 8] = static_cast<std::uint8_t>(line & 0x3F);
            packet[at + 9] = static_cast<std::uint8_t>(line & 0x3F);
            packet[at + 10] = static_cast<std::uint8_t>(static_cast<std::int8_t>(-(x0 / 16)));
            packet[at + 11] = static_cast<std::uint8_t>(static_cast<std::int8_t>(-(x0 / 16)));
        }
        packets.push_back(packet);
    }
    return packets;
}

}  // namespace fotolyx::camsim
