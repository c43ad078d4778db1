#include "scan/packetdriver.h"

#include <QtEndian>

#include <cstring>
#include <new>

namespace keelwatch {

bool AppendCaptureRecord(std::uint8_t *batch, std::size_t capacity, std::size_t &used,
                         std::span<const std::uint8_t> frame, std::size_t frameLength,
                         std::uint32_t seconds, std::uint32_t microseconds)
{
    namespace L = CaptureRecordLayout;
    const std::size_t start = L::Align(used);
    if (start > capacity || capacity - start < L::Header + frame.size())
        return false;
    std::uint8_t *record = batch + start;
    std::memset(batch + used, 0, start - used + L::Header);
    qToLittleEndian(seconds, record);
    qToLittleEndian(microseconds, record + 4);
    qToLittleEndian(std::uint32_t(frame.size()), record + L::CapturedLengthAt);
    qToLittleEndian(std::uint32_t(frameLength), record + L::FrameLengthAt);
    qToLittleEndian(std::uint16_t(L::Header), record + L::HeaderLengthAt);
    if (!frame.empty())
        std::memcpy(record + L::Header, frame.data(), frame.size());
    used = start + L::Header + frame.size();
    return true;
}

std::unique_ptr<Packet> PacketDriver::PacketAllocatePacket()
{
    return std::unique_ptr<Packet>(new (std::nothrow) Packet);
}

} // namespace keelwatch
