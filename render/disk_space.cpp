#include "render/disk_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <utility>

std::uint64_t DiskSpace::Available(const std::filesystem::path& folder) const {
    const std::uint64_t free = Free(folder);
    return free > kReserveBytes ? free - kReserveBytes : 0;
}

std::uint64_t DiskSpace::Free(const std::filesystem::path& folder) const {
    struct statvfs info {};
    struct stat where {};
    if (::statvfs(folder.c_str(), &info) != 0 || ::stat(folder.c_str(), &where) != 0) {
        return 0;
    }
    const std::uint64_t free = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    const std::lock_guard lock(m_mutex);
    const auto it = m_reserved.find(where.st_dev);
    const std::uint64_t taken = it != m_reserved.end() ? it->second : 0;
    return free > taken ? free - taken : 0;
}

DiskSpace::Reservation DiskSpace::Reserve(const std::filesystem::path& folder,
                                          std::uint64_t bytes) {
    Reservation reservation;
    struct stat where {};
    if (bytes == 0 || ::stat(folder.c_str(), &where) != 0) {
        return reservation;
    }
    const std::lock_guard lock(m_mutex);
    m_reserved[where.st_dev] += bytes;
    reservation.m_space = this;
    reservation.m_device = where.st_dev;
    reservation.m_bytes = bytes;
    return reservation;
}

void DiskSpace::Release(dev_t device, std::uint64_t bytes) {
    const std::lock_guard lock(m_mutex);
    if ((m_reserved[device] -= bytes) == 0) {
        m_reserved.erase(device);
    }
}

DiskSpace::Reservation::Reservation(Reservation&& other) noexcept
    : m_space(std::exchange(other.m_space, nullptr)),
      m_device(other.m_device),
      m_bytes(other.m_bytes) {}

// What this one held is released as the one moved from goes.
DiskSpace::Reservation& DiskSpace::Reservation::operator=(Reservation&& other) noexcept {
    Reservation moved(std::move(other));
    std::swap(m_space, moved.m_space);
    std::swap(m_device, moved.m_device);
    std::swap(m_bytes, moved.m_bytes);
    return *this;
}

DiskSpace::Reservation::~Reservation() {
    if (m_space != nullptr) {
        m_space->Release(m_device, m_bytes);
    }
}
