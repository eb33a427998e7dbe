#pragma once

// The free space jobs may fill on each file system, with what running jobs have set aside
// counted as taken: several decodings side by side (a batch) must not each count on the same
// free space. Shared by the jobs of whoever runs them; safe from any thread.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>

class DiskSpace {
  public:
    // Left free for everything else on every file system.
    static constexpr std::uint64_t kReserveBytes = 64u << 20;

    // Bytes a job may still write into folder's file system, the reserve left free.
    std::uint64_t Available(const std::filesystem::path& folder) const;
    // The same without the reserve: what is free less what running jobs set aside.
    std::uint64_t Free(const std::filesystem::path& folder) const;

    // Bytes set aside for a job until the object goes.
    class Reservation {
      public:
        Reservation() = default;
        Reservation(Reservation&& other) noexcept;
        Reservation& operator=(Reservation&& other) noexcept;
        ~Reservation();

      private:
        friend class DiskSpace;
        DiskSpace* m_space = nullptr;
        dev_t m_device = 0;
        std::uint64_t m_bytes = 0;
    };
    Reservation Reserve(const std::filesystem::path& folder, std::uint64_t bytes);

  private:
    void Release(dev_t device, std::uint64_t bytes);

    mutable std::mutex m_mutex;
    std::map<dev_t, std::uint64_t> m_reserved;
};
