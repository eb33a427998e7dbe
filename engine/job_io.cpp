#include "job_io.h"

#include <algorithm>

#include "job_state.h"
#include "write_job_streams.h"

std::size_t ReadBytes(Job& job, void* buffer, std::size_t n) {
    if (JobFailed(job) || n == 0) {
        return 0;
    }
    if (job.streams != nullptr) {
        return job.streams->Read(buffer, n);
    }
    const std::size_t got = std::fread(buffer, 1, n, job.input);
    if (got < n && std::ferror(job.input)) {
        job.readFailed = true;
    }
    return got;
}

void WriteBytes(Job& job, const void* buffer, std::size_t n) {
    if (job.output == nullptr || JobFailed(job) || n == 0) {
        return;
    }
    if (job.streams != nullptr) {
        job.streams->Write(buffer, n);
        return;
    }
    if (std::fwrite(buffer, 1, n, job.output) != n) {
        job.writeFailed = true;
    }
}

void SeekInput(Job& job, std::int64_t position) {
    if (JobFailed(job)) {
        return;
    }
    if (job.streams != nullptr) {
        job.streams->Seek(position);
        return;
    }
    if (std::fseek(job.input, static_cast<long>(position), SEEK_SET) != 0) {
        job.readFailed = true;
    }
}

void CopyBody(Job& job, std::uint64_t n) {
    while (n > 0 && !JobFailed(job)) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(n, kBlockBytes));
        unsigned char* buffer = job.jobState->blockBuffer;
        const std::size_t got = ReadBytes(job, buffer, piece);
        WriteBytes(job, buffer, got);
        if (got < piece) {
            return;
        }
        n -= got;
    }
}
