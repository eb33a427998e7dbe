#include "audio_reader.h"

#include "codec_module.h"

AudioReader::AudioReader() {
    if (const CodecModule* codecs = Codecs()) {
        m = codecs->newDecoder();
    }
}

AudioReader::~AudioReader() = default;

AudioReader::Status AudioReader::Open(const std::filesystem::path& path) {
    return m ? m->Open(path) : Status::ReadError;
}

int AudioReader::SampleRate() const {
    return m ? m->SampleRate() : 0;
}

double AudioReader::DeclaredSeconds() const {
    return m ? m->DeclaredSeconds() : 0;
}

double AudioReader::Progress() const {
    return m ? m->Progress() : 0;
}

AudioTags AudioReader::Tags() const {
    return m ? m->Tags() : AudioTags{};
}

AudioReader::Next AudioReader::Read(std::vector<std::int16_t>& frames) {
    return m ? m->Read(frames) : Next::Failed;
}
