#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::player {

// What the engine says about the song being heard, for the information
// window and its module list: the reports of the current song player only,
// as texts, and the requests those windows make of that player. The windows
// see this, never the player.
//
// Threads: user-interface thread only.
class PlayerInformation : public QObject {
    Q_OBJECT
public:
    using Player = engine::TKelvraSpectrum;

    // `current` names the current song player (null once the players are gone).
    explicit PlayerInformation(std::function<Player *()> current, QObject *parent = nullptr);

    // Reports of `player` are passed on while it is the current one.
    void watch(Player &player);

    // The engine answers with the module reports below; errors reach the caller.
    void listInputModules();
    void listOutputModules();
    void listCodecModules();
    // Asks for the input and output module in use again.
    void refresh();

signals:
    void inputNameChanged(const QString &text);
    void outputNameChanged(const QString &text);
    void inputModuleChanged(const QString &text);
    void outputModuleChanged(const QString &text);
    void mimeTypeChanged(const QString &text);
    void propertiesChanged(const QStringList &lines);
    // A module of a list asked for, and a device of the module at
    // `moduleIndex` (0 = the first reported).
    void moduleListed(const QString &text);
    void deviceListed(int moduleIndex, const QString &text);

private:
    std::function<Player *()> current_;
};

} // namespace velbrin::player
