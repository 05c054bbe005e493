#include "host/audio_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zhost {

std::vector<float> AudioData::channel(int32_t ch) const {
    std::vector<float> out(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) out[static_cast<size_t>(i)] = at(i, ch);
    return out;
}

bool readAudioFile(const std::string& path, AudioData* out, std::string* error) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) {
        *error = sf_strerror(nullptr);
        return false;
    }
    if (info.channels <= 0 || info.frames < 0) {
        sf_close(f);
        *error = "no audio channels";
        return false;
    }
    out->channels = info.channels;
    out->sampleRate = info.samplerate;
    out->frames = info.frames;
    out->samples.assign(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels),
                        0.0f);
    // Integer formats come back scaled to [-1, 1) without clipping.
    const sf_count_t got = sf_readf_float(f, out->samples.data(), info.frames);
    sf_close(f);
    if (got != info.frames) {
        *error = "truncated or unreadable audio data";
        return false;
    }
    return true;
}

bool parseSampleFormat(const std::string& text, SampleFormat* out) {
    if (text == "float" || text == "float32" || text == "32f") {
        *out = SampleFormat::Float32;
    } else if (text == "pcm16" || text == "16") {
        *out = SampleFormat::Pcm16;
    } else if (text == "pcm24" || text == "24") {
        *out = SampleFormat::Pcm24;
    } else {
        return false;
    }
    return true;
}

AudioWriter::~AudioWriter() {
    abort();
}

bool AudioWriter::open(const std::string& path, int32_t channels, int32_t sampleRate,
                       SampleFormat format, std::string* error) {
    abort();
    if (channels <= 0) {
        *error = "no channels to write";
        return false;
    }
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::Pcm16   ? SF_FORMAT_PCM_16
                                   : format == SampleFormat::Pcm24 ? SF_FORMAT_PCM_24
                                                                   : SF_FORMAT_FLOAT);
    if (!sf_format_check(&info)) {
        *error = "unsupported output format";
        return false;
    }
    // The temporary file sits in the target's directory so the rename stays
    // on one file system and is atomic.
    std::string tmpl = path + ".tmpXXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd < 0) {
        *error = std::string("cannot create output file: ") + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; give it the permissions a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = sf_open_fd(fd, SFM_WRITE, &info, 1);
    if (file_ == nullptr) {
        *error = std::string("cannot write output file: ") + sf_strerror(nullptr);
        ::close(fd);
        ::unlink(tmpl.c_str());
        return false;
    }
    // Float files are written as they are; PCM files clip instead of wrapping.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    path_ = path;
    tempPath_ = tmpl;
    channels_ = channels;
    return true;
}

bool AudioWriter::write(const float* interleaved, int64_t frames, std::string* error) {
    if (file_ == nullptr) {
        *error = "output file is not open";
        return false;
    }
    if (frames <= 0) return true;
    if (sf_writef_float(file_, interleaved, frames) != frames) {
        *error = std::string("write failed: ") + sf_strerror(file_);
        return false;
    }
    return true;
}

bool AudioWriter::commit(std::string* error) {
    if (file_ == nullptr) {
        *error = "output file is not open";
        return false;
    }
    sf_write_sync(file_);
    const int rc = sf_close(file_);
    file_ = nullptr;
    if (rc != 0) {
        *error = "closing the output file failed";
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        return false;
    }
    if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        *error = std::string("cannot rename into place: ") + std::strerror(errno);
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        return false;
    }
    tempPath_.clear();
    return true;
}

void AudioWriter::abort() {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

bool writeAudioFile(const std::string& path, const std::vector<float>& interleaved,
                    int32_t channels, int32_t sampleRate, SampleFormat format, std::string* error) {
    AudioWriter w;
    if (!w.open(path, channels, sampleRate, format, error)) return false;
    if (!w.write(interleaved.data(), static_cast<int64_t>(interleaved.size()) / channels, error)) {
        return false;
    }
    return w.commit(error);
}

}  // namespace zhost
