#include "PlayerInformation.h"

#include "KelvraSpectrum.h"
#include "PlayerLogic.h"

namespace velbrin::player {

using engine::TKelvraSpectrum;

PlayerInformation::PlayerInformation(std::function<Player *()> current, QObject *parent)
    : QObject(parent), current_(std::move(current)) {}

void PlayerInformation::watch(Player &p) {
    auto current = [this](TKelvraSpectrum *s) { return s == current_(); };
    auto text = [](const std::string &t) { return QString::fromLocal8Bit(t); };
    connect(&p, &TKelvraSpectrum::OnNotifyInputName, this,
            [=, this](TKelvraSpectrum *s, const std::string &n) {
                if (current(s)) {
                    emit inputNameChanged(text(n));
                }
            });
    connect(&p, &TKelvraSpectrum::OnNotifyOutputName, this,
            [=, this](TKelvraSpectrum *s, const std::string &n) {
                if (current(s)) {
                    emit outputNameChanged(text(n));
                }
            });
    connect(&p, &TKelvraSpectrum::OnNotifyInputModule, this,
            [=, this](TKelvraSpectrum *s, int16_t id) {
                if (current(s)) {
                    emit inputModuleChanged(moduleIdText(id));
                }
            });
    connect(&p, &TKelvraSpectrum::OnNotifyOutputModule, this,
            [=, this](TKelvraSpectrum *s, int16_t id) {
                if (current(s)) {
                    emit outputModuleChanged(moduleIdText(id));
                }
            });
    connect(&p, &TKelvraSpectrum::OnNotifyStreamMimeType, this,
            [=, this](TKelvraSpectrum *s, const std::string &t) {
                if (current(s)) {
                    emit mimeTypeChanged(text(t));
                }
            });
    connect(&p, &TKelvraSpectrum::OnNotifyStreamProperties, this,
            [=, this](TKelvraSpectrum *s, uint32_t n, const KV_Property *props) {
                if (current(s)) {
                    emit propertiesChanged(streamPropertyLines(n, props));
                }
            });
    auto moduleInfo = [=, this](TKelvraSpectrum *s, uint8_t, uint8_t, const std::string &name,
                                const std::string &description) {
        if (current(s)) {
            emit moduleListed(moduleNodeText(text(name), text(description)));
        }
    };
    auto deviceInfo = [=, this](TKelvraSpectrum *s, uint8_t module, uint8_t, uint8_t,
                                const std::string &name, const std::string &description) {
        if (current(s)) {
            emit deviceListed(module, moduleNodeText(text(name), text(description)));
        }
    };
    connect(&p, &TKelvraSpectrum::OnNotifyInputModuleInfo, this, moduleInfo);
    connect(&p, &TKelvraSpectrum::OnNotifyOutputModuleInfo, this, moduleInfo);
    connect(&p, &TKelvraSpectrum::OnNotifyCodecModuleInfo, this, moduleInfo);
    connect(&p, &TKelvraSpectrum::OnNotifyInputDeviceInfo, this, deviceInfo);
    connect(&p, &TKelvraSpectrum::OnNotifyOutputDeviceInfo, this, deviceInfo);
    connect(&p, &TKelvraSpectrum::OnNotifyCodecDeviceInfo, this, deviceInfo);
}

void PlayerInformation::listInputModules() {
    if (TKelvraSpectrum *p = current_()) {
        p->InputModulesList();
    }
}

void PlayerInformation::listOutputModules() {
    if (TKelvraSpectrum *p = current_()) {
        p->OutputModulesList();
    }
}

void PlayerInformation::listCodecModules() {
    if (TKelvraSpectrum *p = current_()) {
        p->CodecModulesList();
    }
}

void PlayerInformation::refresh() {
    if (TKelvraSpectrum *p = current_()) {
        p->GetInputModule();
        p->GetOutputModule();
    }
}

} // namespace velbrin::player
