#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QTimer;
class QProgressBar;
class QPushButton;

namespace velbrin::tools {

class WavWriter;

// The recorder's window: captures the default audio input into the WAV file
// named in its field, showing the input's level while it records.
class TRecorderForm : public QWidget {
    Q_OBJECT
public:
    explicit TRecorderForm(QWidget *parent = nullptr);
    ~TRecorderForm() override;

    void RecordButtonClick();
    void StopButtonClick();
    bool recording() const { return writer_ != nullptr; }

    QLineEdit *FileNameEdit;
    QPushButton *BrowseButton;
    QPushButton *RecordButton;
    QPushButton *StopButton;
    QProgressBar *LevelMeter;
    QLabel *StatusLabel;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void captured();
    void fail(const QString &message);

    class Capture;
    std::unique_ptr<Capture> capture_;
    QTimer *drainTimer_;
    std::unique_ptr<WavWriter> writer_;
};

} // namespace velbrin::tools
