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

SendAdapters::SendAdapters(std::shared_ptr<PacketDriver> d) : driver(std::move(d)) {}

PacketAdapter *SendAdapters::Open(const QString &name, const ProbeSenders &senders)
{
    // A scan sends from a few blocks of senders (its own and those of its
    // confirmation probes) turn about, so the handles of each are kept.
    {
        std::lock_guard lock(mutex);
        for (Handle &h : handles) {
            if (!h.inUse && h.name == name && h.senders == senders) {
                h.inUse = true;
                return h.adapter.get();
            }
        }
    }
    // Opened outside the lock: it takes milliseconds.
    QString error;
    std::unique_ptr<PacketAdapter> adapter = driver->PacketOpenAdapter(name, &error);
    if (!adapter || !adapter->BindSenders(senders))
        return nullptr;
    std::lock_guard lock(mutex);
    ++opened;
    handles.push_back({name, senders, std::move(adapter), true});
    return handles.back().adapter.get();
}

void SendAdapters::Close(PacketAdapter *adapter)
{
    std::lock_guard lock(mutex);
    for (Handle &h : handles) {
        if (h.adapter.get() == adapter)
            h.inUse = false;
    }
}

int SendAdapters::OpenedCount() const
{
    std::lock_guard lock(mutex);
    return opened;
}

} // namespace keelwatch
