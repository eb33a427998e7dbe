#include "codecs/codec_module.h"
#include "codecs/ffmpeg_codecs.h"

extern "C" __attribute__((visibility("default"))) const CodecModule* zerbex_codec_module() {
    static const CodecModule module = [] {
        SetUpFfmpeg();
        return CodecModule{kCodecModuleRevision, NewFfmpegDecoder, NewFfmpegEncoder,
                           NewFfmpegPacketEncoder};
    }();
    return &module;
}
