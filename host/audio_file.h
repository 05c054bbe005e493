// Reading and writing sound files through libsndfile. Writing goes to a
// temporary file next to the target that is renamed into place on commit, so
// a failed render never leaves a partial output file behind.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zhost {

struct AudioData {
    int32_t channels = 0;
    int32_t sampleRate = 0;
    int64_t frames = 0;
    std::vector<float> samples;  // interleaved, frames * channels

    float at(int64_t frame, int32_t channel) const {
        return samples[static_cast<size_t>(frame * channels + channel)];
    }
    std::vector<float> channel(int32_t ch) const;
};

// Any format libsndfile reads. Returns false and fills *error with a reason.
bool readAudioFile(const std::string& path, AudioData* out, std::string* error);

enum class SampleFormat { Float32, Pcm16, Pcm24 };

// Parses "float", "pcm16", "pcm24" (also "16", "24", "32f"); false if unknown.
bool parseSampleFormat(const std::string& text, SampleFormat* out);

class AudioWriter {
public:
    AudioWriter() = default;
    ~AudioWriter();  // an uncommitted file is removed
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    bool open(const std::string& path, int32_t channels, int32_t sampleRate, SampleFormat format,
              std::string* error);
    bool write(const float* interleaved, int64_t frames, std::string* error);
    // Closes the temporary file and renames it to the target path.
    bool commit(std::string* error);
    void abort();

private:
    SNDFILE* file_ = nullptr;
    std::string path_;
    std::string tempPath_;
    int32_t channels_ = 0;
};

// Whole-buffer convenience: interleaved samples, frames = size / channels.
bool writeAudioFile(const std::string& path, const std::vector<float>& interleaved,
                    int32_t channels, int32_t sampleRate, SampleFormat format, std::string* error);

}  // namespace zhost
