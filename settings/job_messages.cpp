#include "settings/job_messages.h"

#include <filesystem>

#include "codecs/output_formats.h"

namespace {

// "wave" in the message texts; "MP3 (LAME)" and the others' labels for their files.
std::string FileKind(const JobMessage& message) {
    return message.format.empty() ? std::string("wave") : message.format;
}

}  // namespace

std::string MessageText(const JobMessage& message) {
    switch (message.error) {
        case JobError::ReadInput:
            return "Error reading input wave file...\n";
        case JobError::CreateOutput:
            return "Error creating output " + FileKind(message) + " file...\n";
        case JobError::WriteOutput:
            return "Error writing output " + FileKind(message) + " file...\n";
        case JobError::NotStereo:
            return "Error code 1101, Input not stereo! \n";
        case JobError::Not16Bit:
            return "Error code 1102, Input not 16-bit! \n";
        case JobError::NotAudio:
            return "Error code 1103, Input is not an audio file! \n";
        case JobError::NoDecodeSpace:
            return "Error code 1104, Not enough disk space to decode the input! \n";
        case JobError::TooLongForWav:
            return "The decoded input is longer than a WAV file can hold (4 GB of sample data): "
                   "write it as FLAC instead.";
        case JobError::CacheUnusable:
            return "The cache folder " + message.detail;
        case JobError::DecodedShort:
        case JobError::DeviceFailed:
            return message.detail;
        case JobError::NoDevice:
            return "A sound device was not found!\nPlease install one and try again.";
        case JobError::DeviceGone:
            return "sound device '" + message.detail +
                   "' is not there; playing on the default device";
        case JobError::SameFile:
            return "Enter a different filename. Trying to write to the input filename is not "
                   "allowed.";
        case JobError::CannotWriteFormat:
            if (!message.detail.empty() &&
                std::filesystem::path(message.file).filename() == message.detail) {
                return "a file named only " + message.detail +
                       " has no name before its extension; name it (song" + message.detail + ")";
            }
            return (message.detail.empty() ? std::string("cannot write files without an extension")
                                           : "cannot write " + message.detail + " files") +
                   "; use " + kWritableExtensions;
        case JobError::CannotStream:
            return message.detail +
                   " cannot be written to a pipe, a FIFO or a device: the end of the file fills "
                   "in its start. Write it to a file, or use .wav, .flac, .ogg, .opus or .aac";
        case JobError::LoopAtStart:
            return "Error 86: Play start is after play end. Play starts at 0.";
        case JobError::LoopAtReposition:
            return "Error 87: Play start is after play end. Play starts at 0.";
    }
    return message.detail;
}
