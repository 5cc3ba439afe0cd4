#include "KelvraSpeechOutput.h"

#include "library_loader.h"

#include <QString>

#include <algorithm>
#include <limits>

namespace velbrin::engine {

std::shared_ptr<KelvraSpeechOutput> KelvraSpeechOutput::bind(const std::string &libraryPath) {
    auto library = platform::DynamicLibrary::open(QString::fromLocal8Bit(libraryPath.c_str()));
    if (!library) {
        return nullptr;
    }
    const auto query =
        reinterpret_cast<kv_get_extension_fn>(library->symbol(KV_GET_EXTENSION_EXPORT));
    if (query == nullptr) {
        return nullptr;
    }
    const auto *mix = static_cast<const kv_speech_mix_extension *>(query(KV_EXTENSION_SPEECH_MIX));
    if (mix == nullptr || mix->version < KV_SPEECH_MIX_VERSION || mix->speech_write == nullptr ||
        mix->speech_clear == nullptr || mix->speech_pending == nullptr ||
        mix->set_duck_depth == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<KelvraSpeechOutput>(new KelvraSpeechOutput(std::move(library), *mix));
}

KelvraSpeechOutput::KelvraSpeechOutput(std::unique_ptr<platform::DynamicLibrary> library,
                                       const kv_speech_mix_extension &mix)
    : library_(std::move(library)), mix_(mix) {}

KelvraSpeechOutput::~KelvraSpeechOutput() = default;

bool KelvraSpeechOutput::write(const int16_t *samples, size_t frames, int rate) {
    if (samples == nullptr || frames == 0 || frames > std::numeric_limits<uint32_t>::max() ||
        rate <= 0) {
        return false;
    }
    return mix_.speech_write(samples, static_cast<uint32_t>(frames), static_cast<uint32_t>(rate)) ==
           0;
}

void KelvraSpeechOutput::clear() {
    mix_.speech_clear();
}

int KelvraSpeechOutput::pendingMilliseconds() const {
    return static_cast<int>(
        std::min<uint32_t>(mix_.speech_pending(), std::numeric_limits<int>::max()));
}

void KelvraSpeechOutput::setDuckDepth(int decibels) {
    const int64_t hundredths = int64_t{std::clamp(decibels, 0, KV_DUCK_DEPTH_MAX / 100)} * 100;
    mix_.set_duck_depth(static_cast<int32_t>(hundredths));
}

} // namespace velbrin::engine
