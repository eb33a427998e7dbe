#include "container/wave_format.h"

#include "container/riff.h"

WaveFormat ParseWaveFormat(const unsigned char* body) {
    WaveFormat format;
    format.formatTag = Le16(body);
    format.channels = Le16(body + 2);
    format.sampleRate = Le32(body + 4);
    format.byteRate = Le32(body + 8);
    format.blockAlign = Le16(body + 12);
    format.bitsPerSample = Le16(body + 14);
    return format;
}
