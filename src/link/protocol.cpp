#include "link/protocol.h"

#include <algorithm>

namespace fotolyx {

std::uint32_t ReadBe32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return (static_cast<std::uint32_t>(bytes[offset]) << 24) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 8) | bytes[offset + 3];
}

std::uint16_t ReadBe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

void WriteBe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value >> 24);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 16);
    bytes[offset + 2] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 3] = static_cast<std::uint8_t>(value);
}

void WriteBe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<std::uint8_t>(value);
}

PacketKind ClassifyPacket(std::span<const std::uint8_t> packet, std::uint32_t packetCounter) {
    if (packet.size() < PACKET_LENGTH) {
        return PacketKind::Bad;
    }
    if (packet[PACKET_KIND_OFFSET] == PACKET_DATA && packet[END_OFFSET] == DATA_END) {
        return packet[SEQUENCE_OFFSET] == (packetCounter & 0xFF) ? PacketKind::GoodData
                                                                 : PacketKind::Bad;
    }
    if (packet[PACKET_KIND_OFFSET] == PACKET_STATUS) {
        return PacketKind::Status;
    }
    return PacketKind::Bad;
}

Packet MakeStatusPacket(std::uint8_t statusCode) {
    Packet packet{};
    packet[PACKET_KIND_OFFSET] = PACKET_STATUS;
    packet[STATUS_CODE_OFFSET] = statusCode;
    packet[TRAILER_OFFSET] = STATUS_TRAILER;
    return packet;
}

Packet MakeDataPacket(std::uint32_t sequence, std::span<const std::uint8_t> payload) {
    Packet packet{};
    const auto low = static_cast<std::uint8_t>(sequence & 0xFF);
    packet[PACKET_KIND_OFFSET] = PACKET_DATA;
    packet[SEQUENCE_OFFSET] = low;
    packet[SEQUENCE_COMPLEMENT_OFFSET] = static_cast<std::uint8_t>(256 - low);
    const std::size_t count = std::min(payload.size(), PACKET_PAYLOAD);
    std::copy_n(payload.begin(), count, packet.begin() + PAYLOAD_OFFSET);
    packet[END_OFFSET] = DATA_END;
    return packet;
}

Identification ReadIdentification(std::span<const std::uint8_t> packet) {
    Identification identification;
    for (std::size_t i = 0; i < 3; ++i) {
        identification.modelCode[i] = static_cast<char>(packet[MODEL_CODE_OFFSET + i]);
    }
    identification.value = ReadBe32(packet, IDENT_VALUE_OFFSET);
    identification.pictureCount = ReadBe16(packet, IDENT_PICTURES_OFFSET);
    return identification;
}

Packet MakeIdentificationPacket(const Identification& identification) {
    Packet packet = MakeStatusPacket(READY);
    for (std::size_t i = 0; i < 3; ++i) {
        packet[MODEL_CODE_OFFSET + i] = static_cast<std::uint8_t>(identification.modelCode[i]);
    }
    WriteBe32(packet, IDENT_VALUE_OFFSET, identification.value);
    WriteBe16(packet, IDENT_PICTURES_OFFSET, identification.pictureCount);
    return packet;
}

std::uint32_t DataPacketCount(std::uint32_t byteCount) {
    return byteCount / PACKET_PAYLOAD + 1;
}

std::array<std::uint8_t, 3> PictureNumberDigits(unsigned pictureNumber) {
    return {static_cast<std::uint8_t>(DIGIT_UNITS + pictureNumber % 10),
            static_cast<std::uint8_t>(DIGIT_TENS + (pictureNumber / 10) % 10),
            static_cast<std::uint8_t>(DIGIT_HUNDREDS + (pictureNumber / 100) % 10)};
}

Packet MakeUploadHeader(std::uint8_t counter, bool fine, std::uint32_t byteCount,
                        const UploadDate* date) {
    Packet packet{};
    for (std::size_t i = 0; i < PACKET_LENGTH; ++i) {
        packet[i] = static_cast<std::uint8_t>(i);
    }
    packet[PACKET_KIND_OFFSET] = PACKET_DATA;
    packet[SEQUENCE_OFFSET] = counter;
    packet[SEQUENCE_COMPLEMENT_OFFSET] = static_cast<std::uint8_t>(256 - counter);
    packet[HEADER_ATTRIBUTE_OFFSET] = fine ? 1 : 0;
    WriteBe32(packet, COUNT_OFFSET, byteCount);
    if (date != nullptr) {
        packet[HEADER_DATE_OFFSET] = static_cast<std::uint8_t>((date->year - 1900) & 0xFF);
        packet[HEADER_DATE_OFFSET + 1] = static_cast<std::uint8_t>(date->month);
        packet[HEADER_DATE_OFFSET + 2] = static_cast<std::uint8_t>(date->day);
        packet[HEADER_DATE_OFFSET + 3] = static_cast<std::uint8_t>(date->hour);
        packet[HEADER_DATE_OFFSET + 4] = static_cast<std::uint8_t>(date->minute);
    }
    packet[END_OFFSET] = DATA_END;
    return packet;
}

RetryRule::Answer RetryRule::OnBadPacket(std::uint8_t& retryCount) const {
    if (retryCount < RETRY_LIMIT) {
        ++retryCount;
        return Answer::Nak;
    }
    retryCount = 0;
    return Answer::Restart;
}

}  // namespace fotolyx
