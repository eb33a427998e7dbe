#include "wave_device.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr char kErrorCaption[] = "error";

// An output buffer's memory: the area's own address and the owning device sit right
// before the samples, so the header alone leads back to both when the buffer returns.
struct BlockPrefix {
    void* area;
    WaveOutDevice* owner;
};

BlockPrefix* PrefixOf(const WAVEHDR* header) {
    return reinterpret_cast<BlockPrefix*>(header->lpData - sizeof(BlockPrefix));
}

}  // namespace

WaveDevice::~WaveDevice() {
    m_hWaveOut = 0;
}

MMRESULT WaveDevice::Open(unsigned /*deviceId*/, const WaveFormat* /*format*/) {
    m_hWaveOut = 1;
    return MMSYSERR_NOERROR;
}

bool WaveDevice::IsOpen() const {
    return m_hWaveOut != 0;
}

MMRESULT WaveDevice::PrepareHeader(WAVEHDR* /*header*/, unsigned /*size*/) {
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::UnprepareHeader(WAVEHDR* /*header*/, unsigned /*size*/) {
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Close() {
    m_hWaveOut = 0;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::GetErrorText(MMRESULT /*error*/, char* text, unsigned size) {
    if (text != nullptr && size > 0) {
        std::strncpy(text, kErrorCaption, size - 1);
        text[size - 1] = '\0';
    }
    return MMSYSERR_NOERROR;
}

WaveOutDevice::~WaveOutDevice() {
    Close();
}

MMRESULT WaveOutDevice::PrepareHeader(WAVEHDR* header, unsigned size) {
    return m_backend.PrepareHeader(m_hWaveOut, header, size);
}

MMRESULT WaveOutDevice::UnprepareHeader(WAVEHDR* header, unsigned size) {
    if (!IsOpen()) {
        return MMSYSERR_NOERROR;
    }
    return m_backend.UnprepareHeader(m_hWaveOut, header, size);
}

MMRESULT WaveOutDevice::Close() {
    if (!IsOpen()) {
        return MMSYSERR_NOERROR;
    }
    const MMRESULT result = m_backend.Close(m_hWaveOut);
    if (result == MMSYSERR_NOERROR) {
        m_hWaveOut = 0;
    }
    return result;
}

MMRESULT WaveOutDevice::GetErrorText(MMRESULT error, char* text, unsigned size) {
    return m_backend.GetErrorText(error, text, size);
}

MMRESULT WaveOutDevice::Open(unsigned deviceId, const WaveFormat* format, WaveOutProc callback,
                             std::uintptr_t instance) {
    HWAVEOUT handle = 0;
    const MMRESULT result =
        m_backend.Open(&handle, deviceId, format, reinterpret_cast<std::uintptr_t>(callback),
                       instance, CALLBACK_FUNCTION);
    // A failed open leaves the object closed, so that nothing is ever closed twice.
    m_hWaveOut = result == MMSYSERR_NOERROR ? handle : 0;
    return result;
}

MMRESULT WaveOutDevice::Write(std::uint32_t length, const void* data) {
    if (!IsOpen()) {
        // WriteHeader would accept the buffer without queueing it: no completion would
        // ever come, and the caller would wait for it.
        return MMSYSERR_INVALHANDLE;
    }
    WAVEHDR* header = nullptr;
    const MMRESULT result = AllocBlock(&header, length, data);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    const MMRESULT written = WriteHeader(header, kWaveHdrSize);
    if (written != MMSYSERR_NOERROR) {
        ReleaseBlock(header);  // refused by the device: no completion will come for it
    }
    return written;
}

MMRESULT WaveOutDevice::WriteHeader(WAVEHDR* header, unsigned size) {
    if (!IsOpen()) {
        return MMSYSERR_NOERROR;
    }
    return m_backend.Write(m_hWaveOut, header, size);
}

MMRESULT WaveOutDevice::Reset() {
    return m_backend.Reset(m_hWaveOut);
}

MMRESULT WaveOutDevice::AllocBlock(WAVEHDR** header, std::uint32_t length, const void* data) {
    *header = new (std::nothrow) WAVEHDR{};
    if (*header == nullptr) {
        return MMSYSERR_NOMEM;
    }
    void* area = std::malloc(sizeof(BlockPrefix) + length);
    if (area == nullptr) {
        delete *header;
        *header = nullptr;
        return MMSYSERR_NOMEM;
    }
    auto* prefix = static_cast<BlockPrefix*>(area);
    prefix->area = area;
    prefix->owner = this;
    WAVEHDR& h = **header;
    h.lpData = static_cast<char*>(area) + sizeof(BlockPrefix);
    h.dwBufferLength = length;
    if (data != nullptr) {
        std::memcpy(h.lpData, data, length);
        h.dwBytesRecorded = length;
    }
    const MMRESULT result = PrepareHeader(*header, kWaveHdrSize);
    if (result != MMSYSERR_NOERROR) {
        // Nothing will ever return this buffer: free it here rather than leak it.
        std::free(area);
        delete *header;
        *header = nullptr;
    }
    return result;
}

void WaveOutDevice::ReleaseBlock(WAVEHDR* header) {
    BlockPrefix* prefix = PrefixOf(header);
    void* area = prefix->area;
    prefix->owner->UnprepareHeader(header, kWaveHdrSize);
    std::free(area);
    delete header;
}
