#pragma once

// Access to the engine test double from a test: the same loaded copy the
// component uses, reached through its extra exports.

#include "kelvra_double.h"
#include "library_loader.h"

#include <QString>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace velbrin::test {

inline QString doubleDir() {
    return QStringLiteral(KELVRA_DOUBLE_DIR);
}
inline std::string doublePath(const char *variant = "kelvra_double") {
    return (doubleDir() + QStringLiteral("/lib%1.so").arg(QLatin1String(variant))).toStdString();
}

class EngineDouble {
public:
    explicit EngineDouble(const char *variant = "kelvra_double")
        : lib_(platform::DynamicLibrary::open(QString::fromStdString(doublePath(variant)))) {
        reset();
    }
    template <typename Fn> Fn fn(const char *name) const {
        return reinterpret_cast<Fn>(lib_->symbol(name));
    }
    void reset() const { fn<kvdouble_reset_fn>("kvdouble_reset")(); }
    std::vector<std::string> log() const {
        std::vector<std::string> lines;
        std::istringstream in(fn<kvdouble_log_fn>("kvdouble_log")());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    void setPlayerNewResult(int32_t v) const {
        fn<kvdouble_set_int_fn>("kvdouble_set_player_new_result")(v);
    }
    void setSendResult(int32_t v) const { fn<kvdouble_set_int_fn>("kvdouble_set_send_result")(v); }
    void setAnalyzerNewResult(int32_t v) const {
        fn<kvdouble_set_int_fn>("kvdouble_set_analyzer_new_result")(v);
    }
    void setVersion(uint32_t word) const {
        fn<kvdouble_set_version_fn>("kvdouble_set_version")(word);
    }
    void offerExtensions(int32_t bits) const {
        fn<kvdouble_set_int_fn>("kvdouble_offer_extensions")(bits);
    }
    void setSpeechResult(int32_t v) const {
        fn<kvdouble_set_int_fn>("kvdouble_set_speech_result")(v);
    }
    void setSpeechPending(int32_t ms) const {
        fn<kvdouble_set_int_fn>("kvdouble_set_speech_pending")(ms);
    }
    void setAudibleEnd(kv_player *player, int32_t ms) const {
        fn<kvdouble_set_audible_end_fn>("kvdouble_set_audible_end")(player, ms);
    }
    void post(kv_player *player, const KV_Message &m) const {
        fn<kvdouble_post_fn>("kvdouble_post")(player, &m);
    }
    kv_player *player(int32_t id) const { return fn<kvdouble_player_fn>("kvdouble_player")(id); }
    // The player most recently created, as the component under test got it.
    kv_player *lastPlayer() const {
        kv_player *last = nullptr;
        for (int32_t id = 1; id < 1000; ++id) {
            if (kv_player *p = player(id)) {
                last = p;
            }
        }
        return last;
    }
    kv_window *window(kv_player *player) const {
        return fn<kvdouble_window_fn>("kvdouble_window")(player);
    }

private:
    std::unique_ptr<platform::DynamicLibrary> lib_;
};

} // namespace velbrin::test
